#include "core/text_table.h"
#include "platform/named_lock.h"
#include "run_program.h"
#include "running_instance.h"
#include "temp_home.h"

#include <gtest/gtest.h>

using namespace fernhold;
using namespace fernhold::test;

namespace {

QString out(const RunResult& r)
{
    return QString::fromUtf8(r.out).trimmed();
}

class ConfigCommandTest : public ::testing::Test
{
protected:
    QString prefs() const
    {
        return QString::fromUtf8(
            TempHome::readFile(home.appData() + QStringLiteral("fernhold.ini")));
    }
    TempHome home;
};

} // namespace

TEST_F(ConfigCommandTest, PasswordFromStdinIsStoredProtectedAndReadBack)
{
    const RunResult set = RunFernhold({QStringLiteral("config"), QStringLiteral("set"),
                                       QStringLiteral("CryptPassword"), QStringLiteral("--stdin")},
                                      "Tr0ub4dor&3\n");
    ASSERT_EQ(set.exitCode, 0) << set.err.toStdString();
    EXPECT_FALSE(prefs().contains(QStringLiteral("Tr0ub4dor")));
    EXPECT_TRUE(prefs().contains(QStringLiteral("CryptPassword = ")));
    const RunResult get = RunFernhold(
        {QStringLiteral("config"), QStringLiteral("get"), QStringLiteral("CryptPassword")});
    EXPECT_EQ(out(get), QStringLiteral("Tr0ub4dor&3"));
    const RunResult list = RunFernhold({QStringLiteral("config"), QStringLiteral("list")});
    EXPECT_FALSE(list.out.contains("Tr0ub4dor"));

    // On the command line it would show in the process list.
    const RunResult argv = RunFernhold({QStringLiteral("config"), QStringLiteral("set"),
                                        QStringLiteral("FTPPassword3"), QStringLiteral("x")});
    EXPECT_EQ(argv.exitCode, 2);
}

TEST_F(ConfigCommandTest, BadValuesAndUnknownKeysAreRefused)
{
    const QList<QStringList> refused = {
        {QStringLiteral("Nonsense"), QStringLiteral("1")},
        {QStringLiteral("BackupCycle"), QStringLiteral("10000")},
        {QStringLiteral("BackupCycle"), QStringLiteral("ten")},
        {QStringLiteral("BackupCopies"), QStringLiteral("0")},
        {QStringLiteral("CryptMethode"), QStringLiteral("3")},
        {QStringLiteral("TargetType4"), QStringLiteral("SMB")},
        {QStringLiteral("TargetType10"), QStringLiteral("WIN")},
        {QStringLiteral("FTPServerPort2"), QStringLiteral("70000")},
        {QStringLiteral("TargetDir"), QStringLiteral("relative/path")},
        {QStringLiteral("Schedule"), QStringLiteral("8,0,17,30,0,1,1,1,1,1,0;")},
        {QStringLiteral("Schedule"),
         QString(QStringLiteral("25,0,17,30,0,1,1,1,1,1,0;")).repeated(7)},
    };
    for (const QStringList& kv : refused) {
        const RunResult r =
            RunFernhold({QStringLiteral("config"), QStringLiteral("set"), kv[0], kv[1]});
        EXPECT_EQ(r.exitCode, 2) << kv.join(u' ').toStdString();
        EXPECT_FALSE(r.err.isEmpty());
    }
    const RunResult getUnknown =
        RunFernhold({QStringLiteral("config"), QStringLiteral("get"), QStringLiteral("Nope")});
    EXPECT_EQ(getUnknown.exitCode, 2);
    const RunResult password =
        RunFernhold({QStringLiteral("config"), QStringLiteral("set"),
                     QStringLiteral("CryptPassword"), QStringLiteral("--stdin")},
                    "p\xC3\xA4ss\n");
    EXPECT_EQ(password.exitCode, 2);
}

TEST_F(ConfigCommandTest, ValuesAreNormalisedLikeTheSettingsWindowDoes)
{
    const auto set = [](const QString& key, const QString& value) {
        return RunFernhold({QStringLiteral("config"), QStringLiteral("set"), key, value}).exitCode;
    };
    const auto get = [](const QString& key) {
        return out(RunFernhold({QStringLiteral("config"), QStringLiteral("get"), key}));
    };
    EXPECT_EQ(set(QStringLiteral("ExcludeFileTypes"), QStringLiteral(" .JPG; .png ")), 0);
    EXPECT_EQ(get(QStringLiteral("ExcludeFileTypes")), QStringLiteral("jpg,png"));
    EXPECT_EQ(set(QStringLiteral("targetdir2"), QStringLiteral("/mnt/backup")), 0);
    EXPECT_EQ(get(QStringLiteral("TargetDir2")), QStringLiteral("/mnt/backup/"));
    EXPECT_EQ(set(QStringLiteral("TargetType2"), QStringLiteral("FTP")), 0);
    EXPECT_EQ(get(QStringLiteral("TargetType2")), QStringLiteral("FTP"));
    EXPECT_EQ(set(QStringLiteral("BackupCycle"), QStringLiteral("5")), 0);
    EXPECT_TRUE(prefs().contains(QStringLiteral("\r\nBackupCycle = 5\r\n")));

    EXPECT_EQ(get(QStringLiteral("InitialFullBackupLastStarted")), QStringLiteral("0"));
    EXPECT_EQ(set(QStringLiteral("InitialRepeater"), QStringLiteral("1")), 0);
    EXPECT_GT(get(QStringLiteral("InitialFullBackupLastStarted")).toLongLong(), 1700000000);
}

TEST_F(ConfigCommandTest, TransportAndFingerprintAreCheckedBeforeTheyAreStored)
{
    const auto set = [](const QString& key, const QString& value) {
        return RunFernhold({QStringLiteral("config"), QStringLiteral("set"), key, value});
    };
    const auto get = [](const QString& key) {
        return out(RunFernhold({QStringLiteral("config"), QStringLiteral("get"), key}));
    };
    // A file from before the keys existed reads as plain FTP, nothing pinned.
    EXPECT_EQ(get(QStringLiteral("FTPTransport3")), QStringLiteral("0"));
    EXPECT_EQ(get(QStringLiteral("FTPFingerprint3")), QString());

    const QString pin = QStringLiteral("SHA256:47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU");
    for (const QString& bad :
         {QStringLiteral("47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU"),
          QStringLiteral("SHA256:47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuF"),
          QStringLiteral("SHA256:47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFUU"),
          QStringLiteral("SHA256:47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSu!U"),
          QStringLiteral("MD5:47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU")}) {
        const RunResult r = set(QStringLiteral("FTPFingerprint3"), bad);
        EXPECT_EQ(r.exitCode, 2) << bad.toStdString();
        EXPECT_TRUE(QString::fromUtf8(r.err).contains(Text(QStringLiteral("TXT00500"))))
            << r.err.toStdString();
    }
    EXPECT_EQ(get(QStringLiteral("FTPFingerprint3")), QString());
    // The padded form is taken and stored as ssh-keygen prints it.
    ASSERT_EQ(set(QStringLiteral("FTPFingerprint3"), pin + u'=').exitCode, 0);
    EXPECT_EQ(get(QStringLiteral("FTPFingerprint3")), pin);
    EXPECT_TRUE(prefs().contains(QStringLiteral("\r\nFTPFingerprint3 = ") + pin + "\r\n"));
    ASSERT_EQ(set(QStringLiteral("FTPFingerprint3"), QString()).exitCode, 0);
    EXPECT_EQ(get(QStringLiteral("FTPFingerprint3")), QString());

    EXPECT_EQ(set(QStringLiteral("FTPTransport2"), QStringLiteral("9")).exitCode, 2);
    EXPECT_EQ(set(QStringLiteral("FTPTransport2"), QStringLiteral("-1")).exitCode, 2);
    ASSERT_EQ(set(QStringLiteral("FTPTransport2"), QStringLiteral("2")).exitCode, 0);
    EXPECT_EQ(get(QStringLiteral("FTPTransport2")), QStringLiteral("2"));
    ASSERT_EQ(
        set(QStringLiteral("FTPKeyFile2"), QStringLiteral("/home/ann/.ssh/id_ed25519")).exitCode,
        0);
    EXPECT_EQ(get(QStringLiteral("FTPKeyFile2")), QStringLiteral("/home/ann/.ssh/id_ed25519"));
}

TEST_F(ConfigCommandTest, EncryptionIsSwitchedOnOnlyWithAPasswordAndAKnownMethod)
{
    const auto set = [](const QString& key, const QString& value) {
        return RunFernhold({QStringLiteral("config"), QStringLiteral("set"), key, value});
    };
    const auto setSecret = [](const QString& key, const QByteArray& value) {
        return RunFernhold(
            {QStringLiteral("config"), QStringLiteral("set"), key, QStringLiteral("--stdin")},
            value);
    };
    const auto get = [](const QString& key) {
        return out(RunFernhold({QStringLiteral("config"), QStringLiteral("get"), key}));
    };
    const RunResult without = set(QStringLiteral("CryptData"), QStringLiteral("1"));
    EXPECT_EQ(without.exitCode, 2);
    EXPECT_TRUE(QString::fromUtf8(without.err).contains(Text(QStringLiteral("TXT00462"))))
        << without.err.toStdString();
    EXPECT_EQ(get(QStringLiteral("CryptData")), QStringLiteral("0"));
    for (const QString& method : {QStringLiteral("-1"), QStringLiteral("3"), QStringLiteral("7")}) {
        EXPECT_EQ(set(QStringLiteral("CryptMethode"), method).exitCode, 2) << method.toStdString();
    }
    EXPECT_EQ(get(QStringLiteral("CryptMethode")), QStringLiteral("0"));

    ASSERT_EQ(setSecret(QStringLiteral("CryptPassword"), "correct horse\n").exitCode, 0);
    EXPECT_EQ(set(QStringLiteral("CryptData"), QStringLiteral("1")).exitCode, 0);
    EXPECT_EQ(set(QStringLiteral("CryptMethode"), QStringLiteral("2")).exitCode, 0);
    EXPECT_EQ(get(QStringLiteral("CryptData")), QStringLiteral("1"));
    EXPECT_EQ(get(QStringLiteral("CryptMethode")), QStringLiteral("2"));
    // Without the password encryption is off again; switching it off is always allowed.
    ASSERT_EQ(setSecret(QStringLiteral("CryptPassword"), "\n").exitCode, 0);
    EXPECT_EQ(get(QStringLiteral("CryptData")), QStringLiteral("0"));
    EXPECT_EQ(set(QStringLiteral("CryptData"), QStringLiteral("0")).exitCode, 0);
}

TEST_F(ConfigCommandTest, SourcesAreAddedListedAndRemoved)
{
    const QString docs = home.path() + QStringLiteral("Docs");
    const QString music = home.path() + QStringLiteral("Music");
    home.writeFile(QStringLiteral("Docs/a.txt"), "a");
    home.writeFile(QStringLiteral("Music/b.mp3"), "b");
    EXPECT_EQ(RunFernhold({QStringLiteral("source"), QStringLiteral("add"), music,
                           QStringLiteral("--targets"), QStringLiteral("3,1,3"),
                           QStringLiteral("--filter"), QStringLiteral(".MP3; .ogg"),
                           QStringLiteral("--no-subfolders")})
                  .exitCode,
              0);
    EXPECT_EQ(RunFernhold({QStringLiteral("source"), QStringLiteral("add"), docs}).exitCode, 0);
    EXPECT_EQ(RunFernhold({QStringLiteral("source"), QStringLiteral("add"),
                           home.path() + QStringLiteral("missing")})
                  .exitCode,
              2);
    const QStringList rows =
        out(RunFernhold({QStringLiteral("source"), QStringLiteral("list")})).split(u'\n');
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0], QStringLiteral("1\t") + docs + QStringLiteral("/\tOK\t\t1"));
    EXPECT_EQ(rows[1], QStringLiteral("2\t") + music + QStringLiteral("/\t\tmp3,ogg\t1,3"));

    EXPECT_EQ(RunFernhold({QStringLiteral("source"), QStringLiteral("remove"), QStringLiteral("1")})
                  .exitCode,
              0);
    EXPECT_EQ(RunFernhold({QStringLiteral("source"), QStringLiteral("remove"), QStringLiteral("5")})
                  .exitCode,
              2);
    const QString left = out(RunFernhold({QStringLiteral("source"), QStringLiteral("list")}));
    EXPECT_TRUE(left.startsWith(QStringLiteral("1\t") + music));
    EXPECT_FALSE(left.contains(docs));
}

TEST_F(ConfigCommandTest, ChangesAreRefusedWhileAnInstanceRuns)
{
    RunningInstance instance;
    ASSERT_TRUE(WaitUntil(
        [&] { return NamedLock::isHeldElsewhere(home.runtimeDir(), QStringLiteral("Fernhold")); }));
    const RunResult r = RunFernhold({QStringLiteral("config"), QStringLiteral("set"),
                                     QStringLiteral("BackupCycle"), QStringLiteral("3")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("running"));
    EXPECT_EQ(out(RunFernhold({QStringLiteral("config"), QStringLiteral("get"),
                               QStringLiteral("BackupCycle")})),
              QStringLiteral("15"));
    EXPECT_EQ(instance.terminate(), 0);
}
