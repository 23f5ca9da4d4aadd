#include "core/settings_fields.h"

#include <array>

namespace fernhold {

namespace {

using J = JobSettings;
using T = TargetEntry;
using S = SourceEntry;
constexpr auto F = SettingKind::Flag;
constexpr auto B = SettingKind::Byte;
constexpr auto I = SettingKind::Int;
constexpr auto X = SettingKind::Text;
constexpr auto None = Protection::None;

const std::array kBefore{
    JobField{"WorkModeExtended", I, &J::WorkModeExtended, None, 0, 1},
    JobField{"ProgrammStatus", B, &J::ProgrammStatus, None, -1, 1},
    JobField{"MonitorActive", F, &J::MonitorActive, None, 0, 1},
    JobField{"MonitorPositionX", I, &J::MonitorPositionX},
    JobField{"MonitorPositionY", I, &J::MonitorPositionY},
    JobField{"WaitForTargetDirCount", I, &J::WaitForTargetDirCount, None, 0, 99999},
    JobField{"WaitForTargetDirTime", I, &J::WaitForTargetDirTime, None, 0, 99999},
    JobField{"WaitAtProgramEnd", I, &J::WaitAtProgramEnd, None, 0, 99999},
    JobField{"MaxCleanUpEachMinutes", I, &J::MaxCleanUpEachMinutes, None, 0, 999999},
    JobField{"LoadOnWindowsStart", F, &J::LoadOnWindowsStart, None, 0, 1},
    JobField{"ShowSplashScreen", F, &J::ShowSplashScreen, None, 0, 1},
    JobField{"BackupCycle", I, &J::BackupCycle, None, 0, 9999},
    JobField{"BackupCopies", I, &J::BackupCopies, None, 1, 999},
    JobField{"BackupDays", I, &J::BackupDays, None, 1, 9999},
    JobField{"BackupKeepLatest", F, &J::BackupKeepLatest, None, 0, 1},
    JobField{"BackupSize", I, &J::BackupSize, None, 1, 99999},
    JobField{"BackupUnit", B, &J::BackupUnit, None, 0, 1},
    JobField{"CompressData", F, &J::CompressData, None, 0, 1},
    JobField{"CryptData", F, &J::CryptData, None, 0, 1},
    JobField{"CryptMethode", B, &J::CryptMethode, None, 0, 2},
    JobField{"CryptPassword", X, &J::CryptPassword, Protection::ArchivePassword},
    JobField{"InitialRepeater", F, &J::InitialRepeater, None, 0, 1},
    JobField{"InitialRepeaterTime", I, &J::InitialRepeaterTime, None, 0, 999999},
    JobField{"InitialFullBackupLastStarted", I, &J::InitialFullBackupLastStarted, None, 0},
    JobField{"WarnFileLocked", F, &J::WarnFileLocked, None, 0, 1},
    JobField{"WarnLongPath", F, &J::WarnLongPath, None, 0, 1},
    JobField{"ExcludeFileTypes", X, &J::ExcludeFileTypes},
    JobField{"ExcludeFileStrings", X, &J::ExcludeFileStrings},
};

const std::array kTarget{
    TargetField{"TargetType", X, &T::TargetType},
    TargetField{"TargetDir", X, &T::TargetDir},
    TargetField{"FTPServerName", X, &T::FTPServerName},
    TargetField{"FTPServerPort", X, &T::FTPServerPort, None, 1, 65535},
    TargetField{"FTPWebDir", X, &T::FTPWebDir},
    TargetField{"FTPSubDir", X, &T::FTPSubDir},
    TargetField{"FTPUnicode", B, &T::FTPUnicode, None, 0, 1},
    TargetField{"FTPUserName", X, &T::FTPUserName, Protection::FtpUser},
    TargetField{"FTPPassword", X, &T::FTPPassword, Protection::FtpPassword},
    // Keys added after the first release stay behind the older ones, so
    // files written before them read back unchanged.
    TargetField{"FTPTransport", B, &T::FTPTransport, None, 0, 3},
    TargetField{"FTPFingerprint", X, &T::FTPFingerprint},
    TargetField{"FTPKeyFile", X, &T::FTPKeyFile},
};

const std::array kAfter{
    JobField{"TargetDirCheckPermanent", F, &J::TargetDirCheckPermanent, None, 0, 1},
    JobField{"CleanDays", I, &J::CleanDays, None, 1, 999},
    JobField{"CleanKeepLatest", F, &J::CleanKeepLatest, None, 0, 1},
    JobField{"CleanSize", I, &J::CleanSize, None, 0, 99999},
    JobField{"CleanUnit", B, &J::CleanUnit, None, 0, 1},
    JobField{"LogfileActive", F, &J::LogfileActive, None, 0, 1},
    JobField{"LogfileMaxDays", I, &J::LogfileMaxDays, None, 1, 999},
    JobField{"LogfileMaxSize", I, &J::LogfileMaxSize, None, 1, 999},
    JobField{"ScheduleMode", I, &J::ScheduleMode, None, 0, 2},
    JobField{"Schedule", X, &J::Schedule},
    JobField{"WindowsTransparency", F, &J::WindowsTransparency, None, 0, 1},
    JobField{"ProcessPriorityLower", F, &J::ProcessPriorityLower, None, 0, 1},
    JobField{"TempCharacterOn", F, &J::TempCharacterOn, None, 0, 1},
    JobField{"MonitorWithPath", F, &J::MonitorWithPath, None, 0, 1},
    JobField{"MonitorWithRemaining", F, &J::MonitorWithRemaining, None, 0, 1},
    JobField{"NoAutomaticCleaning", F, &J::NoAutomaticCleaning, None, 0, 1},
    JobField{"StartWaitSeconds", I, &J::StartWaitSeconds, None, 0, 99999},
};

const std::array kSource{
    SourceField{"SourceDirPfad", X, &S::SourceDirPfad},
    SourceField{"SourceDirSub", B, &S::SourceDirSub, None, 0, 1},
    SourceField{"SourceDirFilter", X, &S::SourceDirFilter},
    SourceField{"SourceDirTarget", X, &S::SourceDirTarget},
};

} // namespace

std::span<const JobField> JobFieldsBeforeTargets()
{
    return kBefore;
}

std::span<const TargetField> TargetFields()
{
    return kTarget;
}

std::span<const JobField> JobFieldsAfterTargets()
{
    return kAfter;
}

std::span<const SourceField> SourceFields()
{
    return kSource;
}

QString TargetKey(const char* key, int number)
{
    QString text = QString::fromLatin1(key);
    if (number > 1) {
        text += QString::number(number);
    }
    return text;
}

QString ProtectionConstant(Protection protection)
{
    switch (protection) {
    case Protection::ArchivePassword:
        return QStringLiteral("Planets_One");
    case Protection::FtpUser:
        return QStringLiteral("Planets_Two");
    case Protection::FtpPassword:
        return QStringLiteral("Planets_Three");
    case Protection::None:
        break;
    }
    return {};
}

int LenientInt(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > static_cast<long long>(INT_MAX) + 1) {
            value = static_cast<long long>(INT_MAX) + 1;
        }
    }
    if (negative) {
        value = -value;
    }
    if (value > INT_MAX) {
        return INT_MAX;
    }
    return static_cast<int>(value);
}

} // namespace fernhold
