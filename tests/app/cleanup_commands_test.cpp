#include "core/job_settings.h"
#include "core/settings_store.h"
#include "core/text_table.h"
#include "fake_user_interface.h"
#include "ftp_server.h"
#include "platform/named_lock.h"
#include "platform/registry_file.h"
#include "run_program.h"
#include "temp_home.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace fernhold::test {

namespace {

QString text(const char* key)
{
    return Text(QString::fromLatin1(key));
}

QString versionOf(const QString& base, const QDate& date)
{
    return base + u'@' + date.toString(QStringLiteral("yyyyMMdd")) + QStringLiteral("~120000.txt");
}

void plant(const QString& path, const QByteArray& content = "v")
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QStringList namesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
}

// A home whose settings name target 1 as a folder below it.
class CleanCommand : public ::testing::Test
{
protected:
    CleanCommand() : m_target(m_home.path() + QStringLiteral("target/"))
    {
        QDir().mkpath(m_target);
        m_settings.target(1).TargetType = QStringLiteral("WIN");
        m_settings.target(1).TargetDir = m_target;
        save();
    }

    void save()
    {
        QDir().mkpath(m_home.appData());
        SettingsStore store(m_home.appData(), m_ui);
        ASSERT_EQ(store.SaveSettings(m_settings), 1);
    }

    QString resultLine(const QString& where, int deleted, qint64 freed) const
    {
        return where + u'\n' + text("TXT00080") + QStringLiteral(". ") + QString::number(deleted) +
               u' ' + text("TXT00081") + QStringLiteral(", ") + QString::number(freed) + u' ' +
               text("TXT00098") + QStringLiteral(".\n");
    }

    TempHome m_home;
    QString m_target;
    JobSettings m_settings;
    FakeUserInterface m_ui;
    const QDate m_today = QDate::currentDate();
};

} // namespace

TEST_F(CleanCommand, WithoutYesTheQuestionIsAnsweredNo)
{
    const QString old = versionOf(QStringLiteral("a.txt"), m_today.addDays(-30));
    plant(m_target + old);
    const RunResult r =
        RunFernhold({QStringLiteral("clean"), QStringLiteral("--target"), QStringLiteral("1"),
                     QStringLiteral("--days"), QStringLiteral("10")});
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(QString::fromUtf8(r.err).contains(text("TXT00095") + QStringLiteral(" 10 ") +
                                                  text("TXT00096") + u'?'));
    EXPECT_TRUE(QString::fromUtf8(r.err).contains(text("TXT00391")));
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_EQ(namesIn(m_target), QStringList{old});
}

TEST_F(CleanCommand, ByDaysDeletesAndPrintsTheResult)
{
    const QString older = versionOf(QStringLiteral("a.txt"), m_today.addDays(-31));
    const QString old = versionOf(QStringLiteral("a.txt"), m_today.addDays(-30));
    const QString recent = versionOf(QStringLiteral("a.txt"), m_today);
    plant(m_target + QStringLiteral("sub/") + older, "1234");
    plant(m_target + QStringLiteral("sub/") + old, "12345");
    plant(m_target + QStringLiteral("sub/") + recent);
    plant(m_target + QStringLiteral("notes.txt"));

    const RunResult keep = RunFernhold({QStringLiteral("clean"), QStringLiteral("--target"),
                                        QStringLiteral("1"), QStringLiteral("--days"),
                                        QStringLiteral("10"), QStringLiteral("--keep-latest"),
                                        QStringLiteral("1"), QStringLiteral("--yes")});
    ASSERT_TRUE(keep.finished);
    EXPECT_EQ(keep.exitCode, 0) << keep.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(keep.out), resultLine(m_target, 2, 9));
    EXPECT_EQ(namesIn(m_target + QStringLiteral("sub")), QStringList{recent});
    EXPECT_EQ(namesIn(m_target), (QStringList{QStringLiteral("notes.txt"), QStringLiteral("sub")}));

    // The settings file keeps its own clean-up values.
    SettingsStore store(m_home.appData(), m_ui);
    JobSettings stored;
    store.LoadSettings(stored);
    EXPECT_EQ(stored.CleanDays, JobSettings().CleanDays);
}

TEST_F(CleanCommand, BySizeOnAnFtpTarget)
{
    FERNHOLD_REQUIRE_FTP_SERVER(FtpServerKind::Pyftpdlib);
    FtpServer server(FtpServerKind::Pyftpdlib);
    ASSERT_TRUE(server.started()) << server.error().toStdString();
    server.makeFolder("backup");
    server.writeFile("backup/big.bin@20240301~120000.bin", QByteArray(2049, 'x'));
    server.writeFile("backup/big.bin@20240302~120000.bin", QByteArray(2048, 'x'));
    TargetEntry& entry = m_settings.target(3);
    entry.TargetType = QStringLiteral("FTP");
    entry.FTPServerName = server.host();
    entry.FTPServerPort = QString::number(server.port());
    entry.FTPUserName = server.user();
    entry.FTPPassword = server.password();
    entry.FTPSubDir = QStringLiteral("/backup/");
    save();

    const RunResult r =
        RunFernhold({QStringLiteral("clean"), QStringLiteral("--target"), QStringLiteral("3"),
                     QStringLiteral("--size"), QStringLiteral("2"), QStringLiteral("--unit"),
                     QStringLiteral("kb"), QStringLiteral("--yes")});
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(r.out),
              resultLine(QStringLiteral("//127.0.0.1:%1/backup/").arg(server.port()), 1, 2049));
    EXPECT_TRUE(QString::fromUtf8(r.err).contains(text("TXT00097") + QStringLiteral(" 2 ") +
                                                  text("GAD00067") + u'?'));
    EXPECT_EQ(server.names("backup"), QList<QByteArray>{"big.bin@20240302~120000.bin"});
}

TEST_F(CleanCommand, RefusedWhileFernholdRuns)
{
    const QString old = versionOf(QStringLiteral("a.txt"), m_today.addDays(-30));
    plant(m_target + old);
    NamedLock running(m_home.runtimeDir(), text("Program_Name"));
    ASSERT_EQ(running.tryLock(), 1);
    const RunResult r =
        RunFernhold({QStringLiteral("clean"), QStringLiteral("--target"), QStringLiteral("1"),
                     QStringLiteral("--days"), QStringLiteral("10"), QStringLiteral("--yes")});
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(QString::fromUtf8(r.err).contains(text("TXT00390")));
    EXPECT_EQ(namesIn(m_target), QStringList{old});
}

TEST_F(CleanCommand, ProblemsAreReported)
{
    const QList<QStringList> usageErrors = {
        {},
        {QStringLiteral("--target"), QStringLiteral("1")},
        {QStringLiteral("--target"), QStringLiteral("10"), QStringLiteral("--days"),
         QStringLiteral("5")},
        {QStringLiteral("--target"), QStringLiteral("1"), QStringLiteral("--days"),
         QStringLiteral("0")},
        {QStringLiteral("--target"), QStringLiteral("1"), QStringLiteral("--days"),
         QStringLiteral("x")},
        {QStringLiteral("--target"), QStringLiteral("1"), QStringLiteral("--size"),
         QStringLiteral("5")},
        {QStringLiteral("--target"), QStringLiteral("1"), QStringLiteral("--size"),
         QStringLiteral("5"), QStringLiteral("--unit"), QStringLiteral("gb")},
        {QStringLiteral("--target"), QStringLiteral("1"), QStringLiteral("--days"),
         QStringLiteral("5"), QStringLiteral("--size"), QStringLiteral("5"),
         QStringLiteral("--unit"), QStringLiteral("kb")},
        {QStringLiteral("--target"), QStringLiteral("1"), QStringLiteral("--days"),
         QStringLiteral("5"), QStringLiteral("--keep-latest"), QStringLiteral("2")},
        {QStringLiteral("--target"), QStringLiteral("1"), QStringLiteral("--days"),
         QStringLiteral("5"), QStringLiteral("--now")},
    };
    for (const QStringList& arguments : usageErrors) {
        const RunResult r = RunFernhold(QStringList{QStringLiteral("clean")} + arguments);
        ASSERT_TRUE(r.finished);
        EXPECT_EQ(r.exitCode, 2) << arguments.join(u' ').toStdString();
        EXPECT_TRUE(r.err.contains("usage: fernhold clean"));
    }

    // Target 2 is not set up; target 1's folder is gone.
    const RunResult unset =
        RunFernhold({QStringLiteral("clean"), QStringLiteral("--target"), QStringLiteral("2"),
                     QStringLiteral("--days"), QStringLiteral("5"), QStringLiteral("--yes")});
    EXPECT_EQ(unset.exitCode, 1);
    EXPECT_TRUE(QString::fromUtf8(unset.err).contains(text("TXT00393")));
    QDir(m_target).removeRecursively();
    const RunResult missing =
        RunFernhold({QStringLiteral("clean"), QStringLiteral("--target"), QStringLiteral("1"),
                     QStringLiteral("--days"), QStringLiteral("5"), QStringLiteral("--yes")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(QString::fromUtf8(missing.err).contains(text("TXT00082")));
}

TEST(CloudFoldersCommand, PrintsFiveRows)
{
    TempHome home;
    const QString dropbox = home.path() + QStringLiteral("Dropbox");
    QDir().mkpath(dropbox);
    home.writeFile(QStringLiteral(".dropbox/info.json"),
                   QStringLiteral(R"({"business": {"path": "%1"}})").arg(dropbox).toUtf8());
    const QString oneDrive = home.path() + QStringLiteral("OneDrive");
    QDir().mkpath(oneDrive);
    RegistryFile registry(home.appData() + QStringLiteral("registry.ini"));
    ASSERT_EQ(
        registry.setValues(QStringLiteral("Software\\Microsoft\\OneDrive\\Accounts\\Personal"),
                           {{QStringLiteral("UserFolder"), oneDrive}}),
        1);

    const RunResult r = RunFernhold({QStringLiteral("--cloud-folders")});
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0);
    const QString notFound = text("GAD00193");
    EXPECT_EQ(QString::fromUtf8(r.out),
              QStringLiteral("DropBox (Personal)\t") + notFound + u'\n' +
                  QStringLiteral("DropBox (Business)\t") + dropbox + u'\n' +
                  QStringLiteral("OneDrive (Personal)\t") + oneDrive + u'\n' +
                  QStringLiteral("OneDrive (Business)\t") + notFound + u'\n' +
                  QStringLiteral("GoogleDrive (Backup & Sync)\t") + notFound + u'\n');
}

TEST_F(CleanCommand, OncePassCleansAPreparedTarget)
{
    const QString source = m_home.path() + QStringLiteral("source/");
    plant(source + QStringLiteral("new.txt"), "fresh");
    const QString docs = m_target + source.mid(1);
    const QString old = versionOf(QStringLiteral("a.txt"), m_today.addDays(-20));
    const QString cutOffDay = versionOf(QStringLiteral("b.txt"), m_today.addDays(-14));
    const QStringList five = {
        versionOf(QStringLiteral("c.txt"), m_today.addDays(-5)),
        versionOf(QStringLiteral("c.txt"), m_today.addDays(-4)),
        versionOf(QStringLiteral("c.txt"), m_today.addDays(-3)),
        versionOf(QStringLiteral("c.txt"), m_today.addDays(-2)),
        versionOf(QStringLiteral("c.txt"), m_today.addDays(-1)),
    };
    for (const QString& name : QStringList{old, cutOffDay, QStringLiteral("plain.txt")} + five) {
        plant(docs + name);
    }
    SourceEntry entry;
    entry.SourceDirPfad = source;
    entry.SourceDirTarget = QStringLiteral("1");
    m_settings.sources = {entry};
    m_settings.ProgrammStatus = 1;
    m_settings.MaxCleanUpEachMinutes = 0;
    m_settings.BackupDays = 14;
    m_settings.BackupCopies = 3;
    m_settings.BackupKeepLatest = 0;
    m_settings.CompressData = 0;
    save();

    const RunResult r = RunFernhold({QStringLiteral("--once")}, {}, 120000);
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList left = namesIn(docs);
    EXPECT_FALSE(left.contains(old));
    EXPECT_TRUE(left.contains(cutOffDay));
    EXPECT_TRUE(left.contains(QStringLiteral("plain.txt")));
    EXPECT_FALSE(left.contains(five[0]));
    EXPECT_FALSE(left.contains(five[1]));
    for (int i = 2; i < 5; ++i) {
        EXPECT_TRUE(left.contains(five[i])) << five[i].toStdString();
    }
}

} // namespace fernhold::test
