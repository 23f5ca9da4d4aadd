#pragma once

#include <QList>
#include <QString>
#include <array>
#include <cstdint>

namespace fernhold {

inline constexpr int kTargetCount = 9;

// One backup target, numbered 1 to 9.
struct TargetEntry
{
    QString TargetType; // "WIN" folder, "FTP" server, anything else: unused
    QString TargetDir;  // folder of a "WIN" target, ending in "/"
    QString FTPServerName;
    QString FTPServerPort = QStringLiteral("21");
    QString FTPWebDir; // kept for the settings file only
    QString FTPSubDir;
    QString FTPUserName; // plain in memory, protected in the file
    QString FTPPassword; // plain in memory, protected in the file
    std::int8_t FTPUnicode = 0;
    std::int8_t FTPTransport = 0; // FtpTransport: 0 plain, 1 explicit TLS, 2 implicit TLS, 3 SFTP
    QString FTPFingerprint;       // pinned server key, "SHA256:" and Base64; "" none
    QString FTPKeyFile;           // SFTP private key; the password then unlocks it
};

// One watched folder.
struct SourceEntry
{
    QString SourceDirPfad;                         // the folder, ending in "/"
    std::int8_t SourceDirSub = 0;                  // 1: include sub-folders
    QString SourceDirFilter;                       // extensions, "" for all files
    QString SourceDirTarget = QStringLiteral("1"); // target numbers joined by ","
    std::int8_t Indexed = 0;                       // not stored: files are in the source index
};

// Every setting of the settings and source-list files, named by its key, plus
// the window state that lives beside them. Defaults are those of a fresh
// installation.
struct JobSettings
{
    JobSettings();

    std::int8_t ProgrammStatus = -1;
    std::int8_t MonitorActive = 0;
    int MonitorPositionX = 0;
    int MonitorPositionY = 0;
    int WorkModeExtended = 0;
    int WaitForTargetDirCount = 12;
    int WaitForTargetDirTime = 10;
    int WaitAtProgramEnd = 20;
    int MaxCleanUpEachMinutes = 60;
    std::int8_t LoadOnWindowsStart = 1;
    std::int8_t ShowSplashScreen = 1;
    int BackupCycle = 15;
    int BackupCopies = 100;
    int BackupDays = 14;
    std::int8_t BackupKeepLatest = 1; // the newest version of a file is kept whatever its age
    int BackupSize = 10;
    std::int8_t BackupUnit = 1;
    std::int8_t CompressData = 1;
    std::int8_t CryptData = 0;
    std::int8_t CryptMethode = 0;
    QString CryptPassword;
    std::int8_t InitialRepeater = 0;
    int InitialRepeaterTime = 72;
    int InitialFullBackupLastStarted = 0;
    std::int8_t WarnFileLocked = 0;
    std::int8_t WarnLongPath = 0;
    QString ExcludeFileTypes = QStringLiteral("temp,tmp,log,exe,dll,ocx");
    QString ExcludeFileStrings = QStringLiteral("pagefile.sys,hiberfil.sys");
    std::int8_t TargetDirCheckPermanent = 0;
    int CleanDays = 7;
    std::int8_t CleanKeepLatest = 1;
    int CleanSize = 1;
    std::int8_t CleanUnit = 1;
    std::int8_t LogfileActive = 0;
    int LogfileMaxDays = 365;
    int LogfileMaxSize = 999;
    int ScheduleMode = 0;
    QString Schedule;
    std::int8_t WindowsTransparency = 1;
    std::int8_t ProcessPriorityLower = 0;
    std::int8_t TempCharacterOn = 1;
    std::int8_t MonitorWithPath = 0;
    std::int8_t MonitorWithRemaining = 0;
    std::int8_t NoAutomaticCleaning = 0;
    int StartWaitSeconds = 0;

    // Index 0 is not used, so target n is targets[n].
    std::array<TargetEntry, kTargetCount + 1> targets;

    // The source list; entry i of the file (1-based) is sources[i - 1].
    QList<SourceEntry> sources;

    // Window state, not stored: the target chosen in the settings window (all
    // FTP work takes its UTF-8 mode from it) and the settings page shown last.
    int SelectedTarget = 1;
    int CurrentPage = 0;

    [[nodiscard]] TargetEntry& target(int number) { return targets.at(number); }
    [[nodiscard]] const TargetEntry& target(int number) const { return targets.at(number); }
    [[nodiscard]] int SourceDirCount() const { return static_cast<int>(sources.size()); }
};

// Bytes of a size limit given as a number and a unit (0 kilobytes, 1 megabytes).
[[nodiscard]] std::int64_t SizeLimitBytes(int size, int unit);

} // namespace fernhold
