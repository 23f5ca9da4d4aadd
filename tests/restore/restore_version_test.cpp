#include "restore/restore_version.h"
#include "restore_fixture.h"
#include "targets/ftp_names.h"

#include <QDateTime>
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace fernhold::test {

namespace {

const QString kCopy = QString(QChar(0x00A9));
const QString kBreak = QStringLiteral("\r\n");

class VersionRestoreTest : public RestoreTest
{
protected:
    [[nodiscard]] VersionRestore restorer()
    {
        return VersionRestore(
            m_settings,
            RestoreServices{m_ui, *m_archiver, m_home.path() + QStringLiteral("Documents/")});
    }
    int restore(const QString& version, const QString& mode = QStringLiteral("0"),
                const QString& password = {})
    {
        VersionRestore r = restorer();
        return r.RestoreVersion(relative(), version, mode, password);
    }
    [[nodiscard]] QString lastMessageText() const
    {
        const auto messages = m_ui.messages();
        return messages.empty() ? QString() : messages.back().text;
    }
    [[nodiscard]] QString lastMessageTitle() const
    {
        const auto messages = m_ui.messages();
        return messages.empty() ? QString() : messages.back().title;
    }
    // The source folder holds exactly these names: no temporary file stayed.
    void expectSourceHolds(const QStringList& names) const { EXPECT_EQ(namesIn(m_source), names); }
};

} // namespace

TEST_F(VersionRestoreTest, EncryptedVersionWithEmptyPasswordAsksNothing)
{
    putVersion(QStringLiteral("report.docx@20230115~093000") + kCopy + QStringLiteral(".zip"),
               packed(QStringLiteral("report.docx"), "secret", QStringLiteral("pw")));
    EXPECT_EQ(
        restore(QStringLiteral("report.docx@20230115~093000") + kCopy + QStringLiteral(".zip")), 0);
    EXPECT_TRUE(m_ui.questions().empty());
    ASSERT_EQ(m_ui.messages().size(), 1U);
    EXPECT_EQ(m_ui.messages()[0].title, text("TXT00013"));
    EXPECT_EQ(m_ui.messages()[0].text, text("TXT00057"));
    EXPECT_EQ(m_ui.messages()[0].icon, MessageIcon::Information);
    EXPECT_EQ(m_ui.passwordFocusCount(), 1);
    EXPECT_EQ(m_ui.restorePaths(), (QStringList{text("GAD00126"), relative()}));
    expectSourceHolds({});
}

TEST_F(VersionRestoreTest, PlainCopyOverwritesTheSourceFileAfterYes)
{
    ASSERT_TRUE(writeAll(m_source + QStringLiteral("report.docx"), "old content"));
    const QString version =
        putVersion(QStringLiteral("report.docx@20230115~093000.docx"), "saved content");
    const QDateTime saved(QDate(2023, 1, 15), QTime(9, 29, 0));
    {
        QFile file(version);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(saved, QFileDevice::FileModificationTime));
    }
    m_ui.queueAnswer(true);
    EXPECT_EQ(restore(QStringLiteral("report.docx@20230115~093000.docx")), 1);

    ASSERT_EQ(m_ui.questions().size(), 1U);
    EXPECT_EQ(m_ui.questions()[0].title, text("TXT00052"));
    EXPECT_EQ(m_ui.questions()[0].text,
              text("TXT00053") + kBreak + m_source + QStringLiteral("report.docx"));
    EXPECT_EQ(m_ui.questions()[0].icon, MessageIcon::Question);
    EXPECT_EQ(lastMessageTitle(), text("TXT00013"));
    EXPECT_EQ(lastMessageText(),
              text("TXT00058") + kBreak + m_source + QStringLiteral("report.docx"));
    EXPECT_EQ(readAll(m_source + QStringLiteral("report.docx")), QByteArray("saved content"));
    EXPECT_EQ(QFileInfo(m_source + QStringLiteral("report.docx")).lastModified(), saved);
    EXPECT_EQ(m_ui.statusTexts(), (QStringList{text("TXT00118"), QString()}));
    EXPECT_FALSE(m_ui.busy());
    EXPECT_EQ(m_ui.restorePaths().last(), relative());
    expectSourceHolds({QStringLiteral("report.docx")});
    EXPECT_EQ(readAll(version), QByteArray("saved content"));
    EXPECT_TRUE(workFolderEmpty());
}

TEST_F(VersionRestoreTest, AnswerNoWritesNothing)
{
    ASSERT_TRUE(writeAll(m_source + QStringLiteral("a.txt"), "mine"));
    putVersion(QStringLiteral("a.txt@20230115~093000.txt"), "saved");
    m_ui.queueAnswer(false);
    EXPECT_EQ(restore(QStringLiteral("a.txt@20230115~093000.txt")), 0);
    EXPECT_TRUE(m_ui.messages().empty());
    EXPECT_EQ(readAll(m_source + QStringLiteral("a.txt")), QByteArray("mine"));
}

TEST_F(VersionRestoreTest, UnpacksArchivesAndEncryptedArchives)
{
    const QByteArray content = randomBytes(70000);
    putVersion(QStringLiteral("a b.bin@20230115~093000.zip"),
               packed(QStringLiteral("a b.bin"), content));
    putVersion(QStringLiteral("c.bin@20230116~093000") + kCopy + QStringLiteral(".zip"),
               packed(QStringLiteral("c.bin"), content + "c", QStringLiteral("pass word")));
    m_ui.queueAnswer(true);
    m_ui.queueAnswer(true);
    EXPECT_EQ(restore(QStringLiteral("a b.bin@20230115~093000.zip")), 1);
    EXPECT_EQ(restore(QStringLiteral("c.bin@20230116~093000") + kCopy + QStringLiteral(".zip"),
                      QStringLiteral("0"), QStringLiteral("pass word")),
              1);
    EXPECT_EQ(readAll(m_source + QStringLiteral("a b.bin")), content);
    EXPECT_EQ(readAll(m_source + QStringLiteral("c.bin")), content + "c");
    expectSourceHolds({QStringLiteral("a b.bin"), QStringLiteral("c.bin")});
    EXPECT_TRUE(workFolderEmpty());
}

TEST_F(VersionRestoreTest, WrongPasswordLeavesTheDestinationAlone)
{
    ASSERT_TRUE(writeAll(m_source + QStringLiteral("c.txt"), "current"));
    putVersion(QStringLiteral("c.txt@20230116~093000") + kCopy + QStringLiteral(".zip"),
               packed(QStringLiteral("c.txt"), "older", QStringLiteral("right")));
    m_ui.queueAnswer(true);
    EXPECT_EQ(restore(QStringLiteral("c.txt@20230116~093000") + kCopy + QStringLiteral(".zip"),
                      QStringLiteral("0"), QStringLiteral("wrong")),
              0);
    EXPECT_EQ(lastMessageTitle(), text("TXT00013"));
    EXPECT_EQ(lastMessageText(), text("TXT00059"));
    EXPECT_EQ(m_ui.passwordFocusCount(), 1);
    EXPECT_EQ(readAll(m_source + QStringLiteral("c.txt")), QByteArray("current"));
    expectSourceHolds({QStringLiteral("c.txt")});
    EXPECT_TRUE(workFolderEmpty());
}

TEST_F(VersionRestoreTest, UsersOwnZipIsRestoredAsTheZip)
{
    const QByteArray zip = usersZip();
    ASSERT_FALSE(zip.isEmpty());
    putVersion(QStringLiteral("data.zip@20230115~093000.zip"), zip);
    // A zip file that the backup packed again unpacks to the user's zip.
    putVersion(QStringLiteral("data.zip@20230116~093000.zip"),
               packed(QStringLiteral("data.zip"), zip));
    // A damaged zip of the user's own is still the user's file as it was.
    putVersion(QStringLiteral("data.zip@20230117~093000.zip"), "PK not really a zip");

    m_ui.queueAnswer(true);
    EXPECT_EQ(restore(QStringLiteral("data.zip@20230115~093000.zip")), 1);
    EXPECT_EQ(readAll(m_source + QStringLiteral("data.zip")), zip);
    m_ui.queueAnswer(true);
    ASSERT_TRUE(QFile::remove(m_source + QStringLiteral("data.zip")));
    EXPECT_EQ(restore(QStringLiteral("data.zip@20230116~093000.zip")), 1);
    EXPECT_EQ(readAll(m_source + QStringLiteral("data.zip")), zip);
    m_ui.queueAnswer(true);
    EXPECT_EQ(restore(QStringLiteral("data.zip@20230117~093000.zip")), 1);
    EXPECT_EQ(readAll(m_source + QStringLiteral("data.zip")), QByteArray("PK not really a zip"));
    EXPECT_TRUE(workFolderEmpty());
}

TEST_F(VersionRestoreTest, DamagedArchiveIsNotWrittenOverTheUsersFile)
{
    ASSERT_TRUE(writeAll(m_source + QStringLiteral("report.docx"), "current"));
    QByteArray archive = packed(QStringLiteral("report.docx"), randomBytes(5000));
    archive.truncate(archive.size() / 2);
    putVersion(QStringLiteral("report.docx@20230115~093000.zip"), archive);
    putVersion(QStringLiteral("report.docx@20230116~093000") + kCopy + QStringLiteral(".zip"),
               "garbage");
    // A user's zip of several files named like one of ours is no archive of ours either.
    putVersion(QStringLiteral("report.docx@20230117~093000.zip"), usersZip());
    for (const QString& version :
         {QStringLiteral("report.docx@20230115~093000.zip"),
          QStringLiteral("report.docx@20230116~093000") + kCopy + QStringLiteral(".zip"),
          QStringLiteral("report.docx@20230117~093000.zip")}) {
        m_ui.queueAnswer(true);
        EXPECT_EQ(restore(version, QStringLiteral("0"), QStringLiteral("pw")), 0);
        EXPECT_EQ(lastMessageTitle(), text("TXT00001"));
        EXPECT_EQ(lastMessageText(),
                  text("TXT00060") + kBreak + m_source + QStringLiteral("report.docx"));
    }
    EXPECT_EQ(readAll(m_source + QStringLiteral("report.docx")), QByteArray("current"));
    expectSourceHolds({QStringLiteral("report.docx")});
    EXPECT_TRUE(workFolderEmpty());
}

TEST_F(VersionRestoreTest, RefusesNamesThatAreNoVersionsBeforeAsking)
{
    for (const QString& name :
         {QStringLiteral("report.docx"), QStringLiteral("report@2023011.txt"),
          QStringLiteral("report@20230115-093000.txt"), QStringLiteral("@20230115~093000.txt"),
          QStringLiteral("..@20230115~093000.txt"), QStringLiteral("a@20230115~093000.txt/../../x"),
          QStringLiteral("report@20230115") + kCopy + QStringLiteral("093000.zip")}) {
        m_ui.queueAnswer(true);
        EXPECT_EQ(restore(name), 0);
        EXPECT_EQ(lastMessageTitle(), text("TXT00001"));
        EXPECT_EQ(lastMessageText(), text("TXT00051") + kBreak + name);
    }
    // A folder that leads out of the target is refused the same way.
    VersionRestore r = restorer();
    EXPECT_EQ(r.RestoreVersion(QStringLiteral("../"), QStringLiteral("a.txt@20230115~093000.txt"),
                               QStringLiteral("0"), {}),
              0);
    EXPECT_TRUE(lastMessageText().startsWith(text("TXT00051")));
    EXPECT_TRUE(m_ui.questions().empty());
}

TEST_F(VersionRestoreTest, EmptyOrMissingVersionIsReported)
{
    const QString empty = putVersion(QStringLiteral("e.txt@20230115~093000.txt"), QByteArray());
    m_ui.queueAnswer(true);
    EXPECT_EQ(restore(QStringLiteral("e.txt@20230115~093000.txt")), 0);
    EXPECT_EQ(lastMessageTitle(), text("TXT00001"));
    EXPECT_EQ(lastMessageText(), text("TXT00050") + kBreak + empty);

    m_ui.queueAnswer(true);
    EXPECT_EQ(restore(QStringLiteral("gone.txt@20230115~093000.txt")), 0);
    EXPECT_EQ(lastMessageText(), text("TXT00050") + kBreak + versionFolder() +
                                     QStringLiteral("gone.txt@20230115~093000.txt"));
    expectSourceHolds({});
}

TEST_F(VersionRestoreTest, PickedFolderReceivesTheFileItself)
{
    putVersion(QStringLiteral("a.txt@20230115~093000.txt"), "saved");
    // Nothing of that name in the picked folder: nothing to confirm.
    m_ui.queueFolder(m_picked);
    EXPECT_EQ(restore(QStringLiteral("a.txt@20230115~093000.txt"), QStringLiteral("1")), 1);
    EXPECT_EQ(readAll(m_picked + QStringLiteral("a.txt")), QByteArray("saved"));
    EXPECT_EQ(namesIn(m_picked), QStringList{QStringLiteral("a.txt")});
    EXPECT_TRUE(m_ui.questions().empty());
    expectSourceHolds({});
    // Over the file it wrote, the question comes.
    ASSERT_TRUE(writeAll(m_picked + QStringLiteral("a.txt"), "mine"));
    m_ui.queueFolder(m_picked);
    m_ui.queueAnswer(false);
    EXPECT_EQ(restore(QStringLiteral("a.txt@20230115~093000.txt"), QStringLiteral("1")), 0);
    EXPECT_EQ(readAll(m_picked + QStringLiteral("a.txt")), QByteArray("mine"));
    ASSERT_EQ(m_ui.questions().size(), 1U);
    EXPECT_EQ(m_ui.questions()[0].text,
              text("TXT00056") + kBreak + m_picked + QStringLiteral("a.txt"));

    // Cancelling the picker ends silently; a choice without a path is refused.
    const size_t shown = m_ui.messages().size();
    EXPECT_EQ(restore(QStringLiteral("a.txt@20230115~093000.txt"), QStringLiteral("1")), 0);
    EXPECT_EQ(m_ui.messages().size(), shown);
    m_ui.queueFolder(QStringLiteral("network:/share"));
    EXPECT_EQ(restore(QStringLiteral("a.txt@20230115~093000.txt"), QStringLiteral("1")), 0);
    EXPECT_EQ(lastMessageTitle(), text("TXT00013"));
    EXPECT_EQ(lastMessageText(), text("TXT00055"));
}

TEST_F(VersionRestoreTest, UnwritableDestinationFailsWithoutPartialFiles)
{
    putVersion(QStringLiteral("a.txt@20230115~093000.txt"), "saved");
    // A file stands where the picked folder would have to be made.
    ASSERT_TRUE(writeAll(m_home.path() + QStringLiteral("blocker"), "x"));
    m_ui.queueFolder(m_home.path() + QStringLiteral("blocker/sub/"));
    m_ui.queueAnswer(true);
    EXPECT_EQ(restore(QStringLiteral("a.txt@20230115~093000.txt"), QStringLiteral("1")), 0);
    EXPECT_EQ(lastMessageText(),
              text("TXT00060") + kBreak + m_home.path() + QStringLiteral("blocker/sub/a.txt"));
    // A folder where the file would go is not replaced.
    ASSERT_TRUE(QDir().mkpath(m_source + QStringLiteral("a.txt")));
    m_ui.queueAnswer(true);
    EXPECT_EQ(restore(QStringLiteral("a.txt@20230115~093000.txt")), 0);
    EXPECT_TRUE(QFileInfo(m_source + QStringLiteral("a.txt")).isDir());
    expectSourceHolds({QStringLiteral("a.txt")});

    if (::geteuid() != 0) {
        ASSERT_TRUE(QDir(m_source + QStringLiteral("a.txt")).removeRecursively());
        ASSERT_TRUE(
            QFile::setPermissions(m_source, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        m_ui.queueAnswer(true);
        EXPECT_EQ(restore(QStringLiteral("a.txt@20230115~093000.txt")), 0);
        EXPECT_TRUE(lastMessageText().startsWith(text("TXT00060")));
        ASSERT_TRUE(QFile::setPermissions(
            m_source, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
        expectSourceHolds({});
    }
    EXPECT_TRUE(workFolderEmpty());
}

TEST_F(VersionRestoreTest, FullDiskKeepsTheExistingFile)
{
    ASSERT_TRUE(writeAll(m_source + QStringLiteral("big.bin"), "current"));
    putVersion(QStringLiteral("big.bin@20230115~093000.bin"), randomBytes(200000));
    // A file-size limit makes every write beyond 64 KB fail as on a full disk.
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = before;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    m_ui.queueAnswer(true);
    const int result = restore(QStringLiteral("big.bin@20230115~093000.bin"));
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &before), 0);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(result, 0);
    EXPECT_EQ(lastMessageText(), text("TXT00060") + kBreak + m_source + QStringLiteral("big.bin"));
    EXPECT_EQ(readAll(m_source + QStringLiteral("big.bin")), QByteArray("current"));
    expectSourceHolds({QStringLiteral("big.bin")});
}

// The restore from a real FTP server.
class FtpVersionRestoreTest : public VersionRestoreTest,
                              public ::testing::WithParamInterface<FtpServerKind>
{
protected:
    void SetUp() override
    {
        FERNHOLD_REQUIRE_FTP_SERVER(GetParam());
        VersionRestoreTest::SetUp();
        m_server = std::make_unique<FtpServer>(GetParam());
        ASSERT_TRUE(m_server->started()) << m_server->error().toStdString();
        UseFtpTarget(m_settings, *m_server);
    }
    void putRemote(const QString& versionName, const QByteArray& content) const
    {
        const QByteArray folder = EncodeWindows1252(relative()).value_or(QByteArray());
        m_server->makeFolder(folder);
        m_server->writeFile(folder + EncodeWindows1252(versionName).value_or(QByteArray()),
                            content);
    }

    std::unique_ptr<FtpServer> m_server;
};

TEST_P(FtpVersionRestoreTest, DownloadsUnpacksAndCleansTheWorkFolder)
{
    const QByteArray content = randomBytes(100000);
    putRemote(QStringLiteral("r.bin@20230115~093000") + kCopy + QStringLiteral(".zip"),
              packed(QStringLiteral("r.bin"), content, QStringLiteral("pw")));
    putRemote(QStringLiteral("p.txt@20230115~093000.txt"), "plain");
    m_ui.queueAnswer(true);
    EXPECT_EQ(restore(QStringLiteral("r.bin@20230115~093000") + kCopy + QStringLiteral(".zip"),
                      QStringLiteral("0"), QStringLiteral("pw")),
              1);
    EXPECT_EQ(readAll(m_source + QStringLiteral("r.bin")), content);
    EXPECT_TRUE(workFolderEmpty());
    m_ui.queueAnswer(true);
    EXPECT_EQ(restore(QStringLiteral("p.txt@20230115~093000.txt")), 1);
    EXPECT_EQ(readAll(m_source + QStringLiteral("p.txt")), QByteArray("plain"));
    EXPECT_TRUE(workFolderEmpty());
    EXPECT_EQ(lastMessageText(), text("TXT00058") + kBreak + m_source + QStringLiteral("p.txt"));

    // A wrong password fails after the download, which goes again.
    m_ui.queueAnswer(true);
    EXPECT_EQ(restore(QStringLiteral("r.bin@20230115~093000") + kCopy + QStringLiteral(".zip"),
                      QStringLiteral("0"), QStringLiteral("nope")),
              0);
    EXPECT_EQ(lastMessageText(), text("TXT00059"));
    EXPECT_TRUE(workFolderEmpty());
}

TEST_P(FtpVersionRestoreTest, VanishedVersionsAndFoldersAreReported)
{
    putRemote(QStringLiteral("p.txt@20230115~093000.txt"), "plain");
    putRemote(QStringLiteral("empty.txt@20230115~093000.txt"), QByteArray());
    for (const QString& version : {QStringLiteral("gone.txt@20230115~093000.txt"),
                                   QStringLiteral("empty.txt@20230115~093000.txt")}) {
        m_ui.queueAnswer(true);
        EXPECT_EQ(restore(version), 0);
        EXPECT_EQ(lastMessageTitle(), text("TXT00001"));
        EXPECT_EQ(lastMessageText(), text("TXT00103"));
        EXPECT_TRUE(workFolderEmpty());
    }
    // The folder itself went away between listing and download.
    VersionRestore r = restorer();
    m_ui.queueAnswer(true);
    EXPECT_EQ(r.RestoreVersion(relative() + QStringLiteral("sub/"),
                               QStringLiteral("p.txt@20230115~093000.txt"), QStringLiteral("0"),
                               {}),
              0);
    EXPECT_EQ(lastMessageText(), text("TXT00103"));
    EXPECT_TRUE(workFolderEmpty());

    m_server->stop();
    m_ui.queueAnswer(true);
    EXPECT_EQ(restore(QStringLiteral("p.txt@20230115~093000.txt")), 0);
    EXPECT_EQ(lastMessageText(), text("TXT00103"));
    EXPECT_TRUE(workFolderEmpty());
    expectSourceHolds({});
    EXPECT_FALSE(m_ui.busy());
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpVersionRestoreTest,
                         ::testing::Values(FtpServerKind::Pyftpdlib, FtpServerKind::Vsftpd),
                         serverName);

} // namespace fernhold::test
