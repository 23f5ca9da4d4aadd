#include "backup_run_fixture.h"
#include "byte_paths.h"
#include "ftp_server.h"

#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace fernhold::test {

namespace {

// Names in Latin-1, as old disks and archives hold them: none is UTF-8.
const QByteArray kTop = "caf\xE9.txt";
const QByteArray kFolder = "M\xFC"
                           "ller/";
const QByteArray kInFolder = kFolder + "Br\xFC"
                                       "cke.txt";
const QByteArray kDeeper = kFolder + "\xC4"
                                     "nderungen/notiz";

struct NamedFile
{
    QByteArray relative; // below the source folder
    QByteArray content;
};

// What the source holds: the Latin-1 names and one plain name beside them.
QList<NamedFile> sourceFiles()
{
    return {{kTop, "latin top"},
            {kInFolder, noiseBytes(40000, 9)},
            {kDeeper, "two levels down"},
            {"plain.txt", "plain"}};
}

// The version files of `relative` (a file below `folder`): its name, "@", a
// stamp and the suffix. Empty when there is none.
QList<QByteArray> versionsOf(const QByteArray& folder, const QByteArray& relative,
                             const QByteArray& suffix)
{
    const qsizetype slash = relative.lastIndexOf('/');
    const QByteArray where = folder + relative.first(slash + 1);
    const QByteArray prefix = relative.sliced(slash + 1) + '@';
    QList<QByteArray> found;
    for (const QByteArray& name : NamesInFolder(where)) {
        if (name.startsWith(prefix) && name.endsWith(suffix) &&
            name.size() == prefix.size() + 15 + suffix.size()) {
            found.append(where + name);
        }
    }
    return found;
}

// The suffix of a version of `relative`: ".zip", or "." and its extension.
QByteArray suffixOf(const QByteArray& relative, bool zip)
{
    if (zip) {
        return ".zip";
    }
    const QByteArray name = relative.sliced(relative.lastIndexOf('/') + 1);
    const qsizetype dot = name.lastIndexOf('.');
    return '.' + (dot < 0 ? QByteArray() : name.sliced(dot + 1));
}

// A source with names that are not UTF-8 backed up by the real program, as
// plain copies (parameter 0) or as zip archives (1).
class NamesBackupRun : public BackupRunTest, public ::testing::WithParamInterface<int>
{
protected:
    void SetUp() override
    {
        m_settings.CompressData = static_cast<std::int8_t>(GetParam());
        for (const NamedFile& file : sourceFiles()) {
            ASSERT_TRUE(WriteBytesFile(NativePath(m_source) + file.relative, file.content));
        }
    }

    [[nodiscard]] bool zip() const { return GetParam() == 1; }

    // Target 1 becomes the FTP server (the name mode of a pass is target
    // 1's, the selected one), target 2 the folder.
    void useFtpServer(const FtpServer& server, const QString& subDir, bool utf8)
    {
        TargetEntry& ftp = m_settings.target(1);
        ftp = TargetEntry();
        ftp.TargetType = QStringLiteral("FTP");
        ftp.FTPServerName = server.host();
        ftp.FTPServerPort = QString::number(server.port());
        ftp.FTPUserName = server.user();
        ftp.FTPPassword = server.password();
        ftp.FTPSubDir = subDir;
        ftp.FTPUnicode = utf8 ? 1 : 0;
        m_settings.target(2).TargetType = QStringLiteral("WIN");
        m_settings.target(2).TargetDir = m_target;
        m_settings.sources[0].SourceDirTarget = QStringLiteral("1,2");
        m_settings.TempCharacterOn = 0;
    }

    // Checks that `folder` (a mirrored source folder) holds exactly one
    // version of every source file, under the file's own bytes, that gives
    // back the file's content.
    void expectVersionsIn(const QByteArray& folder) const
    {
        EXPECT_EQ(FilesBelowFolder(folder).size(), sourceFiles().size());
        for (const NamedFile& file : sourceFiles()) {
            const QList<QByteArray> versions =
                versionsOf(folder, file.relative, suffixOf(file.relative, zip()));
            ASSERT_EQ(versions.size(), 1) << file.relative.toStdString();
            if (zip()) {
                expectArchiveHolds(versions.first(), file);
            } else {
                EXPECT_EQ(ReadBytesFile(versions.first()), file.content);
            }
        }
    }

    // 7za and unzip both unpack the archive's one file under its original
    // bytes, with its content.
    void expectArchiveHolds(const QByteArray& archive, const NamedFile& file) const
    {
        const QByteArray name = file.relative.sliced(file.relative.lastIndexOf('/') + 1);
        const QByteArray out = NativePath(m_home.path()) + "out/";
        (void)::mkdir(out.constData(), 0700);
        for (const QByteArray& tool : {QByteArray("7za"), QByteArray("unzip")}) {
            const QByteArray into = out + tool + '/';
            ASSERT_EQ(::mkdir(into.constData(), 0700), 0);
            const QList<QByteArray> arguments =
                tool == "7za" ? QList<QByteArray>{"e", "-o" + into, "-y", archive}
                              : QList<QByteArray>{"-o", "-q", archive, "-d", into};
            const RunResult r = RunWithByteArguments(tool, arguments);
            EXPECT_EQ(r.exitCode, 0) << tool.toStdString() << r.err.toStdString();
            EXPECT_EQ(NamesInFolder(into), QList<QByteArray>{name}) << tool.toStdString();
            EXPECT_EQ(ReadBytesFile(into + name), file.content) << tool.toStdString();
            ::unlink((into + name).constData());
            ::rmdir(into.constData());
        }
    }
};

} // namespace

TEST_P(NamesBackupRun, AFolderTargetGetsVersionsUnderTheOriginalBytes)
{
    const RunResult r = once();
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    expectVersionsIn(NativePath(mirror()));

    // The log shows the odd bytes readably, each file as saved.
    const QStringList log = logTexts();
    for (const QString& shown :
         {QStringLiteral("caf\\xE9.txt [1]"), QStringLiteral("M\\xFCller/Br\\xFCcke.txt [1]"),
          QStringLiteral("M\\xFCller/\\xC4nderungen/notiz [1]")}) {
        EXPECT_EQ(log.filter(m_source + shown).size(), 1) << shown.toStdString();
    }
    EXPECT_TRUE(log.filter(text("TXT00150")).isEmpty()) << log.join(u'\n').toStdString();

    // Their states were recorded under the same names: a second pass finds
    // nothing new.
    const QList<QByteArray> before = FilesBelowFolder(NativePath(mirror()));
    const RunResult again = once(false);
    ASSERT_EQ(again.exitCode, 0) << again.err.toStdString();
    EXPECT_EQ(FilesBelowFolder(NativePath(mirror())), before);
}

TEST_P(NamesBackupRun, AnFtpServerInUtf8ModeGetsTheOriginalBytes)
{
    FERNHOLD_REQUIRE_FTP_SERVER(FtpServerKind::Pyftpdlib);
    FtpServer server(FtpServerKind::Pyftpdlib);
    ASSERT_TRUE(server.started()) << server.error().toStdString();
    server.makeFolder("backup");
    useFtpServer(server, server.ftpFolder().mid(1) + QStringLiteral("backup"), true);

    const RunResult r = once();
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString() << server.log().toStdString();
    const QByteArray atServer =
        NativePath(server.localFolder() + QStringLiteral("backup/") + MirrorText(m_source));
    expectVersionsIn(atServer);
    EXPECT_EQ(FilesBelowFolder(atServer), FilesBelowFolder(NativePath(mirror())));
    EXPECT_EQ(logTexts().filter(QStringLiteral("[1][2]")).size(), sourceFiles().size())
        << logTexts().join(u'\n').toStdString();
}

TEST_P(NamesBackupRun, InPlainFtpModeSuchNamesDoNotTravel)
{
    // Windows-1252 has no form for bytes that stand for no character of the
    // name: those files are not saved there, and nothing arrives under a
    // look-alike name.
    FERNHOLD_REQUIRE_FTP_SERVER(FtpServerKind::Pyftpdlib);
    FtpServer server(FtpServerKind::Pyftpdlib);
    ASSERT_TRUE(server.started()) << server.error().toStdString();
    useFtpServer(server, server.ftpFolder(), false);

    // The files that could not travel failed at a reachable target.
    const RunResult r = once();
    ASSERT_EQ(r.exitCode, 3) << r.err.toStdString();
    expectVersionsIn(NativePath(mirror()));
    const QList<QByteArray> atServer = FilesBelowFolder(NativePath(server.localFolder()));
    ASSERT_EQ(atServer.size(), 1) << atServer.join(' ').toStdString();
    EXPECT_TRUE(atServer.first().contains("/plain.txt@"));
}

INSTANTIATE_TEST_SUITE_P(Forms, NamesBackupRun, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param == 1 ? "zip" : "copy");
                         });

} // namespace fernhold::test
