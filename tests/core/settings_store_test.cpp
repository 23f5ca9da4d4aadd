#include "core/job_settings.h"
#include "core/protected_text.h"
#include "core/settings_store.h"
#include "core/text_table.h"
#include "fake_user_interface.h"
#include "platform/folders.h"
#include "temp_home.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace fernhold;
using fernhold::test::FakeUserInterface;
using fernhold::test::TempHome;

namespace {

class SettingsStoreTest : public ::testing::Test
{
protected:
    SettingsStoreTest() { QDir().mkpath(home.appData()); }

    QByteArray prefsBytes() const { return TempHome::readFile(store.settingsPath()); }
    QString prefsText() const { return QString::fromUtf8(prefsBytes()); }
    QString listText() const { return QString::fromUtf8(TempHome::readFile(store.listPath())); }
    void writePrefs(const QByteArray& bytes) const
    {
        home.writeFile(QStringLiteral(".config/fernhold/fernhold.ini"), bytes);
    }
    void writeList(const QByteArray& bytes) const
    {
        home.writeFile(QStringLiteral(".config/fernhold/sources.ini"), bytes);
    }
    JobSettings load()
    {
        JobSettings s;
        store.LoadSettings(s);
        return s;
    }

    TempHome home;
    FakeUserInterface ui;
    SettingsStore store{home.appData(), ui};
};

} // namespace

TEST_F(SettingsStoreTest, MissingFilesGiveDefaultsAndAreWrittenOnSave)
{
    // Not created empty at load: an empty file there is damage to report.
    const JobSettings s = load();
    EXPECT_FALSE(QFileInfo::exists(store.settingsPath()));
    EXPECT_FALSE(QFileInfo::exists(store.listPath()));
    EXPECT_TRUE(ui.messages().empty());
    EXPECT_FALSE(store.settingsDamaged());
    EXPECT_FALSE(store.listDamaged());

    EXPECT_EQ(s.ProgrammStatus, -1);
    EXPECT_EQ(s.WaitForTargetDirCount, 12);
    EXPECT_EQ(s.BackupCycle, 15);
    EXPECT_EQ(s.BackupCopies, 100);
    EXPECT_EQ(s.CompressData, 1);
    EXPECT_EQ(s.ExcludeFileTypes, QStringLiteral("temp,tmp,log,exe,dll,ocx"));
    EXPECT_EQ(s.Schedule, QString(QStringLiteral("0,0,0,0,0,0,0,0,0,0,0;")).repeated(7));
    EXPECT_EQ(s.target(1).TargetType, QStringLiteral("WIN"));
    EXPECT_EQ(s.target(2).TargetType, QString());
    EXPECT_EQ(s.target(9).FTPServerPort, QStringLiteral("21"));
    EXPECT_EQ(s.SourceDirCount(), 0);
    // A fresh configuration keeps the newest version of a file whatever its age.
    EXPECT_EQ(s.BackupKeepLatest, 1);

    ASSERT_EQ(store.SaveSettings(s), 1);
    EXPECT_TRUE(QFileInfo(store.settingsPath()).isFile());
    EXPECT_TRUE(QFileInfo(store.listPath()).isFile());
    EXPECT_FALSE(store.settingsDamaged());
}

TEST_F(SettingsStoreTest, FilesWithoutReadableSettingsAreReportedAndKept)
{
    QByteArray binary(2048, '\0');
    for (int i = 0; i < binary.size(); ++i) {
        binary[i] = static_cast<char>((i * 151 + 7) % 256);
    }
    const std::vector<std::pair<const char*, QByteArray>> cases = {
        {"empty", QByteArray()},
        {"byte-order mark only", QByteArray("\xEF\xBB\xBF")},
        {"binary", binary},
        {"unknown keys only", QByteArray("\xEF\xBB\xBF\r\nColour = blue\r\n")},
    };
    for (const auto& [what, bytes] : cases) {
        writePrefs(bytes);
        writeList(bytes);
        const std::size_t before = ui.messages().size();
        const JobSettings s = load();
        EXPECT_TRUE(store.settingsDamaged()) << what;
        EXPECT_TRUE(store.listDamaged()) << what;
        const auto messages = ui.messages();
        ASSERT_EQ(messages.size(), before + 2) << what;
        EXPECT_TRUE(messages[before].text.startsWith(Text(QStringLiteral("TXT00432")))) << what;
        EXPECT_TRUE(messages[before + 1].text.startsWith(Text(QStringLiteral("TXT00437")))) << what;
        EXPECT_EQ(TempHome::readFile(store.settingsPath() + QStringLiteral(".damaged")), bytes)
            << what;
        EXPECT_EQ(prefsBytes(), bytes) << what; // loading never rewrites it
    }

    // One readable key is enough, and a stored value keeps its meaning.
    writePrefs("BackupKeepLatest = 0\r\n");
    writeList("SourceDirCount = 0\r\n");
    const std::size_t before = ui.messages().size();
    const JobSettings s = load();
    EXPECT_FALSE(store.settingsDamaged());
    EXPECT_FALSE(store.listDamaged());
    EXPECT_EQ(ui.messages().size(), before);
    EXPECT_EQ(s.BackupKeepLatest, 0);
}

TEST_F(SettingsStoreTest, SaveWritesEveryKeyInOrderWithBomAndCrLf)
{
    ASSERT_EQ(store.SaveSettings(load()), 1);
    const QByteArray bytes = prefsBytes();
    ASSERT_TRUE(bytes.startsWith("\xEF\xBB\xBF\r\n"));
    const QString text = prefsText();
    EXPECT_TRUE(
        text.contains(QStringLiteral("\r\nWorkModeExtended = 0\r\nProgrammStatus = -1\r\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("TargetType = WIN\r\nTargetDir = \r\n")));
    EXPECT_TRUE(
        text.contains(QStringLiteral("FTPUnicode9 = 0\r\nFTPUserName9 = \r\nFTPPassword9 = \r\n"
                                     "FTPTransport9 = 0\r\nFTPFingerprint9 = \r\nFTPKeyFile9 = "
                                     "\r\nTargetDirCheckPermanent = 0")));
    EXPECT_TRUE(text.endsWith(QStringLiteral("StartWaitSeconds = 0\r\n")));
    EXPECT_FALSE(text.contains(QStringLiteral("TargetType1")));
    EXPECT_EQ(text.count(QStringLiteral(" = ")), 28 + 9 * 12 + 17);
    EXPECT_EQ(listText(), QStringLiteral("\r\nSourceDirCount = 0\r\n"));
    for (const QString& path : {store.settingsPath(), store.listPath()}) {
        struct stat st
        {
        };
        ASSERT_EQ(stat(QFile::encodeName(path).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
    }
}

TEST_F(SettingsStoreTest, ValuesSurviveASaveAndLoadCycle)
{
    JobSettings s = load();
    s.ProgrammStatus = 1;
    s.BackupCycle = 5;
    s.CryptPassword = QStringLiteral("pässwört");
    s.ExcludeFileStrings = QStringLiteral("/proc/,Ünïcode");
    s.target(2).TargetType = QStringLiteral("FTP");
    s.target(2).FTPServerName = QStringLiteral("127.0.0.1");
    s.target(2).FTPUserName = QStringLiteral("ann");
    s.target(2).FTPPassword = QStringLiteral("x=y==");
    s.target(2).FTPUnicode = 1;
    s.sources.append({QStringLiteral("/home/ann/Docs/"), 1, QStringLiteral("doc,txt"),
                      QStringLiteral("1,2"), 1});
    ASSERT_EQ(store.SaveSettings(s), 1);

    const JobSettings back = load();
    EXPECT_EQ(back.ProgrammStatus, 1);
    EXPECT_EQ(back.BackupCycle, 5);
    EXPECT_EQ(back.CryptPassword, QStringLiteral("pässwört"));
    EXPECT_EQ(back.ExcludeFileStrings, QStringLiteral("/proc/,Ünïcode"));
    EXPECT_EQ(back.target(2).TargetType, QStringLiteral("FTP"));
    EXPECT_EQ(back.target(2).FTPUserName, QStringLiteral("ann"));
    EXPECT_EQ(back.target(2).FTPPassword, QStringLiteral("x=y=="));
    EXPECT_EQ(back.target(2).FTPUnicode, 1);
    ASSERT_EQ(back.SourceDirCount(), 1);
    EXPECT_EQ(back.sources[0].SourceDirPfad, QStringLiteral("/home/ann/Docs/"));
    EXPECT_EQ(back.sources[0].SourceDirSub, 1);
    EXPECT_EQ(back.sources[0].SourceDirFilter, QStringLiteral("doc,txt"));
    EXPECT_EQ(back.sources[0].SourceDirTarget, QStringLiteral("1,2"));
    EXPECT_EQ(back.sources[0].Indexed, 0);
}

TEST_F(SettingsStoreTest, PasswordsAreStoredProtectedAndEmptyOnesStayEmpty)
{
    JobSettings s = load();
    s.CryptPassword = QStringLiteral("abc");
    s.target(1).FTPPassword = QStringLiteral("ftp-secret");
    ASSERT_EQ(store.SaveSettings(s), 1);
    const QString text = prefsText();
    EXPECT_FALSE(text.contains(QStringLiteral("abc")));
    EXPECT_FALSE(text.contains(QStringLiteral("ftp-secret")));
    EXPECT_TRUE(text.contains(QStringLiteral("\r\nFTPUserName = \r\n")));
    EXPECT_EQ(load().CryptPassword, QStringLiteral("abc"));

    // The stored value is the protected text of the password with "|" appended.
    const QString key = PrepareKey(Text(QStringLiteral("Planets_One")));
    EXPECT_TRUE(text.contains(QStringLiteral("CryptPassword = ") +
                              *ProtectText(QStringLiteral("abc|"), key)));

    s.CryptPassword.clear();
    ASSERT_EQ(store.SaveSettings(s), 1);
    EXPECT_TRUE(prefsText().contains(QStringLiteral("\r\nCryptPassword = \r\n")));
    EXPECT_EQ(load().CryptPassword, QString());
}

TEST_F(SettingsStoreTest, OverlongPasswordIsNeitherCutNorWrittenPlain)
{
    JobSettings s = load();
    s.CryptPassword = QStringLiteral("short");
    ASSERT_EQ(store.SaveSettings(s), 1);
    const QString longPassword(1500, u'p');
    s.CryptPassword = longPassword;
    store.SaveSettings(s);
    EXPECT_FALSE(prefsText().contains(longPassword.left(100)));
    EXPECT_TRUE(ui.sawMessageContaining(Text(QStringLiteral("TXT00300"))));
    // The file still holds the last value that could be protected.
    EXPECT_EQ(load().CryptPassword, QStringLiteral("short"));
}

TEST_F(SettingsStoreTest, FileWithoutBomIsReadAsLatin1AndWrittenBackAsUtf8)
{
    writePrefs(QByteArray("ExcludeFileStrings = caf\xE9\r\n"));
    const JobSettings s = load();
    EXPECT_EQ(s.ExcludeFileStrings, QStringLiteral("caf\u00E9"));
    ASSERT_EQ(store.SaveSettings(s), 1);
    const QByteArray bytes = prefsBytes();
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    EXPECT_TRUE(bytes.contains("ExcludeFileStrings = caf\xC3\xA9\r\n"));
}

TEST_F(SettingsStoreTest, KeysMatchInAnyCaseAndValuesAreTrimmed)
{
    writePrefs(QByteArray("\xEF\xBB\xBF"
                          "backupcycle=7\n"
                          "  \tBACKUPDAYS\t =  \t 30 \t\r"
                          "ExcludeFileTypes =   jpg,png   \r\n"
                          "TargetType =  WIN  \n"
                          "TargetType2 = FTP\n"
                          "TargetType1 = FTP\n"));
    const JobSettings s = load();
    EXPECT_EQ(s.BackupCycle, 7);
    EXPECT_EQ(s.BackupDays, 30);
    EXPECT_EQ(s.ExcludeFileTypes, QStringLiteral("jpg,png"));
    // Target 1 uses the bare key; "TargetType1" is never read.
    EXPECT_EQ(s.target(1).TargetType, QStringLiteral("WIN"));
    EXPECT_EQ(s.target(2).TargetType, QStringLiteral("FTP"));
}

TEST_F(SettingsStoreTest, UnknownEntriesCommentsAndGroupsSurviveInPlace)
{
    writePrefs(QByteArray("\xEF\xBB\xBF\r\n"
                          "; written by hand\r\n"
                          "[Fernhold]\r\n"
                          "FavouriteColour = green\r\n"
                          "BackupCycle = 3\r\n"
                          "a line without an equals sign\r\n"));
    JobSettings s = load();
    s.BackupCycle = 9;
    ASSERT_EQ(store.SaveSettings(s), 1);
    const QString text = prefsText();
    EXPECT_TRUE(text.startsWith(QStringLiteral("\r\n; written by hand\r\n[Fernhold]\r\n"
                                               "FavouriteColour = green\r\nBackupCycle = 9\r\n"
                                               "a line without an equals sign\r\n"
                                               "WorkModeExtended = 0\r\n")));
}

TEST_F(SettingsStoreTest, EmptyPortIsSavedAs21)
{
    JobSettings s = load();
    s.target(3).FTPServerPort = QStringLiteral("   ");
    ASSERT_EQ(store.SaveSettings(s), 1);
    EXPECT_TRUE(prefsText().contains(QStringLiteral("\r\nFTPServerPort3 = 21\r\n")));
}

TEST_F(SettingsStoreTest, UnparsableNumbersReadAsZeroAndLenientlyOtherwise)
{
    writePrefs("BackupCycle = abc\nBackupDays = 12days\nBackupCopies = -5\n"
               "ProgrammStatus = 300\nMonitorPositionX = 99999999999\n");
    const JobSettings s = load();
    EXPECT_EQ(s.BackupCycle, 0);
    EXPECT_EQ(s.BackupDays, 12);
    EXPECT_EQ(s.BackupCopies, -5);
    EXPECT_EQ(s.ProgrammStatus, 127);
    EXPECT_EQ(s.MonitorPositionX, INT_MAX);
}

TEST_F(SettingsStoreTest, ShrunkSourceListDropsOldNumberedKeys)
{
    JobSettings s = load();
    for (int i = 0; i < 3; ++i) {
        s.sources.append(
            {QStringLiteral("/data/%1/").arg(i), 0, QString(), QStringLiteral("1"), 0});
    }
    ASSERT_EQ(store.SaveSettings(s), 1);
    EXPECT_TRUE(listText().contains(QStringLiteral("SourceDirPfad3 = /data/2/")));
    s.sources.removeLast();
    ASSERT_EQ(store.SaveSettings(s), 1);
    EXPECT_FALSE(listText().contains(QStringLiteral("SourceDirPfad3")));
    EXPECT_EQ(load().SourceDirCount(), 2);
}

TEST_F(SettingsStoreTest, SourceCountIsLimitedToEntriesPresent)
{
    writeList("SourceDirCount = 2000000000\nSourceDirPfad1 = /a/\nSourceDirTarget2 = 3\n");
    JobSettings s = load();
    ASSERT_EQ(s.SourceDirCount(), 2);
    EXPECT_EQ(s.sources[0].SourceDirPfad, QStringLiteral("/a/"));
    EXPECT_EQ(s.sources[0].SourceDirTarget, QStringLiteral("1"));
    EXPECT_EQ(s.sources[1].SourceDirTarget, QStringLiteral("3"));

    writeList("SourceDirCount = -7\nSourceDirPfad1 = /a/\n");
    EXPECT_EQ(load().SourceDirCount(), 0);
    writeList("SourceDirCount = 1\nSourceDirPfad1 = /a/\nSourceDirPfad2 = /b/\n");
    EXPECT_EQ(load().SourceDirCount(), 1);
}

TEST_F(SettingsStoreTest, FolderInPlaceOfAFileIsReportedAndDefaultsApply)
{
    QDir().mkpath(store.settingsPath());
    QDir().mkpath(store.listPath());
    const JobSettings s = load();
    EXPECT_EQ(s.BackupCycle, 15);
    ASSERT_EQ(ui.messages().size(), 2u);
    EXPECT_EQ(ui.messages()[0].text, Text(QStringLiteral("TXT00036")) + QStringLiteral(" (Pref)"));
    EXPECT_EQ(ui.messages()[1].text, Text(QStringLiteral("TXT00036")) + QStringLiteral(" (List)"));
    EXPECT_EQ(ui.messages()[0].title, QStringLiteral("Fernhold"));
    EXPECT_EQ(store.SaveSettings(s), 0);
    EXPECT_TRUE(
        ui.sawMessageContaining(Text(QStringLiteral("TXT00039")) + QStringLiteral(" (Pref)")));
    EXPECT_TRUE(
        ui.sawMessageContaining(Text(QStringLiteral("TXT00039")) + QStringLiteral(" (List)")));
}

TEST_F(SettingsStoreTest, ValueWithLineBreakCannotInjectEntries)
{
    JobSettings s = load();
    s.ExcludeFileStrings = QStringLiteral("a\r\nCryptData = 1\nb");
    ASSERT_EQ(store.SaveSettings(s), 1);
    const JobSettings back = load();
    EXPECT_EQ(back.CryptData, 0);
    EXPECT_TRUE(back.ExcludeFileStrings.startsWith(u'a'));
}

TEST_F(SettingsStoreTest, MalformedFilesGiveDefaultsWithoutCrashing)
{
    QByteArray garbage;
    for (int i = 0; i < 65536; ++i) {
        garbage.append(static_cast<char>((i * 7919) & 0xFF));
    }
    const QList<QByteArray> inputs = {
        garbage,
        QByteArray("\xEF\xBB\xBF") + garbage,
        QByteArray("BackupCycle = ") + QByteArray(10 * 1024 * 1024, '9') + "\n",
        QByteArray("CryptPassword = ") + QByteArray(10 * 1024 * 1024, 'Q') + "\n",
        QByteArray("\xEF\xBB\xBF"
                   "CryptPassword = \xFF\xFE\xC3(\xE2\x82\n"
                   "FTPPassword = ***not base64***\nFTPUserName2 = =\n"),
        QByteArray("=\n==\n = = =\n[\n;\n\r\r\r\n\n\0\0\0", 24),
        QByteArray("SourceDirCount = 2000000000\n"),
    };
    for (const QByteArray& input : inputs) {
        writePrefs(input);
        writeList(input);
        JobSettings s;
        store.LoadSettings(s);
        EXPECT_LE(s.SourceDirCount(), 1);
        EXPECT_EQ(store.SaveSettings(s), 1);
        JobSettings again;
        store.LoadSettings(again);
        EXPECT_EQ(again.BackupDays, s.BackupDays);
    }
}
