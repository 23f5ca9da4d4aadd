#include "byte_paths.h"
#include "core/settings_store.h"
#include "restore_fixture.h"
#include "run_program.h"

#include <QDate>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace fernhold::test {

namespace {

// Latin-1 names, as old disks and archives hold them: none is UTF-8.
const QByteArray kTop = "caf\xE9.txt";
const QByteArray kFolder = "M\xFC"
                           "ller/";
const QByteArray kInFolder = "Br\xFC"
                             "cke.txt";
const QByteArray kDeeper = "\xC4"
                           "nderungen/";

// One row of `restore list`: name, saved on, note, and the name that
// `restore version` and the next `restore list` take.
struct ListedRow
{
    QByteArray name;
    QByteArray entry;
};

QList<ListedRow> rowsOf(const QByteArray& out)
{
    QList<ListedRow> rows;
    for (const QByteArray& line : out.split('\n')) {
        const QList<QByteArray> columns = line.split('\t');
        if (columns.size() == 4) {
            rows.append({columns[0], columns[3]});
        }
    }
    return rows;
}

// The fourth column of the row named `name`; "" when there is none.
QByteArray entryOf(const QList<ListedRow>& rows, const QByteArray& name)
{
    for (const ListedRow& row : rows) {
        if (row.name == name) {
            return row.entry;
        }
    }
    return {};
}

// Backups of a source with names that are not UTF-8 made by the real
// program (in extended mode, as plain copies with parameter 0 or as zip
// archives with 1), and restored by the real program from the command line,
// with the names given as the bytes a shell passes.
class RestoreNamesTest : public RestoreTest, public ::testing::WithParamInterface<int>
{
protected:
    void SetUp() override
    {
        RestoreTest::SetUp();
        m_settings.ProgrammStatus = 1;
        m_settings.WaitForTargetDirCount = 0;
        m_settings.NoAutomaticCleaning = 1;
        m_settings.WorkModeExtended = 1;
        m_settings.CompressData = static_cast<std::int8_t>(GetParam());
        SourceEntry entry;
        entry.SourceDirPfad = m_source;
        entry.SourceDirSub = 1;
        entry.SourceDirTarget = QStringLiteral("1");
        m_settings.sources = {entry};
        m_files = {{kTop, "latin top"},
                   {kFolder + kInFolder, randomBytes(30000)},
                   {kFolder + kDeeper + "notiz", "two levels down"},
                   {"keep.txt", "stays as it is"}};
        for (const auto& [relative, content] : m_files) {
            ASSERT_TRUE(WriteBytesFile(source() + relative, content));
        }
    }

    void save()
    {
        QDir().mkpath(m_home.appData());
        SettingsStore store(m_home.appData(), m_ui);
        ASSERT_EQ(store.SaveSettings(m_settings), 1);
    }

    RunResult fernhold(const QList<QByteArray>& arguments)
    {
        RunResult r = RunFernholdBytes(arguments);
        EXPECT_TRUE(r.finished);
        return r;
    }

    [[nodiscard]] QByteArray source() const { return NativePath(m_source); }
    [[nodiscard]] QByteArray folder() const { return NativePath(relative()); }
    [[nodiscard]] QList<QByteArray> versions() const
    {
        return FilesBelowFolder(NativePath(versionFolder()));
    }
    [[nodiscard]] static QByteArray today()
    {
        return QDate::currentDate().toString(Qt::ISODate).toLatin1();
    }

    // Every source file has its content, under its own bytes.
    void expectFilesBelow(const QByteArray& base) const
    {
        for (const auto& [relative, content] : m_files) {
            EXPECT_EQ(ReadBytesFile(base + relative), content) << relative.toStdString();
        }
    }

    std::map<QByteArray, QByteArray> m_files; // below the source folder: content
};

} // namespace

TEST_P(RestoreNamesTest, ListVersionAndFolderBringBackTheOriginalBytes)
{
    save();
    const RunResult backup = fernhold({"--once", "--full"});
    ASSERT_EQ(backup.exitCode, 0) << backup.err.toStdString();
    ASSERT_EQ(versions().size(), 4) << versions().join(' ').toStdString();

    // The list prints the names as they are on disk, and takes them back.
    const RunResult top = fernhold({"restore", "list", folder()});
    ASSERT_EQ(top.exitCode, 0) << top.err.toStdString();
    const QList<ListedRow> topRows = rowsOf(top.out);
    EXPECT_EQ(entryOf(topRows, kFolder.chopped(1)), kFolder) << top.out.toStdString();
    const QByteArray topVersion = entryOf(topRows, kTop);
    ASSERT_TRUE(topVersion.startsWith(kTop + '@')) << top.out.toStdString();
    EXPECT_TRUE(ReadBytesFile(NativePath(versionFolder()) + topVersion));

    const RunResult inner = fernhold({"restore", "list", folder() + kFolder});
    ASSERT_EQ(inner.exitCode, 0) << inner.err.toStdString();
    const QList<ListedRow> innerRows = rowsOf(inner.out);
    EXPECT_EQ(innerRows.size(), 2) << inner.out.toStdString();
    EXPECT_EQ(entryOf(innerRows, kDeeper.chopped(1)), kDeeper);
    const QByteArray innerVersion = entryOf(innerRows, kInFolder);
    ASSERT_TRUE(innerVersion.startsWith(kInFolder + '@')) << inner.out.toStdString();

    // One version to its source file, which changed meanwhile: the printed
    // path is the file's own.
    ASSERT_TRUE(WriteBytesFile(source() + kTop, "changed"));
    const RunResult one = fernhold({"restore", "version", "--yes", folder(), topVersion});
    ASSERT_EQ(one.exitCode, 0) << one.err.toStdString();
    EXPECT_EQ(one.out, source() + kTop + '\n');
    EXPECT_EQ(ReadBytesFile(source() + kTop), QByteArray("latin top"));
    EXPECT_TRUE(one.err.contains("caf\\xE9.txt")) << one.err.toStdString();

    // One version into a folder of the user's, given relative to the current one.
    const QByteArray picked = NativePath(m_picked) + "Gr\xFC"
                                                     "n/";
    ASSERT_EQ(::mkdir(NativePath(m_picked).constData(), 0700), 0);
    ASSERT_EQ(::mkdir(picked.constData(), 0700), 0);
    const RunResult into = RunWithByteArguments(
        NativePath(FernholdProgram()),
        {"restore", "version", "--yes", "--to", ".", folder() + kFolder, innerVersion}, {}, 120000,
        picked);
    ASSERT_EQ(into.exitCode, 0) << into.err.toStdString();
    EXPECT_EQ(into.out, picked + kInFolder + '\n');
    EXPECT_EQ(ReadBytesFile(picked + kInFolder), m_files[kFolder + kInFolder]);

    // The whole tree below another folder, and back into the source folder
    // after the Latin-1 folder went away.
    const QByteArray tree = NativePath(m_home.path()) + "tree/";
    const QList<QByteArray> restoreFolder{"restore", "folder", "--from",       today(),
                                          "--until", today(),  "--subfolders", "--yes"};
    const RunResult below = fernhold(restoreFolder + QList<QByteArray>{"--to", tree, folder()});
    ASSERT_EQ(below.exitCode, 0) << below.err.toStdString();
    expectFilesBelow(tree + folder());

    const QList<QByteArray> before = versions();
    ASSERT_EQ(::unlink((source() + kFolder + kDeeper + "notiz").constData()), 0);
    ASSERT_EQ(::rmdir((source() + kFolder + kDeeper).constData()), 0);
    ASSERT_EQ(::unlink((source() + kFolder + kInFolder).constData()), 0);
    ASSERT_EQ(::rmdir((source() + kFolder).constData()), 0);
    const RunResult back = fernhold(restoreFolder + QList<QByteArray>{folder()});
    ASSERT_EQ(back.exitCode, 0) << back.err.toStdString();
    expectFilesBelow(source());
    EXPECT_TRUE(back.err.contains(text("TXT00420").toUtf8())) << back.err.toStdString();
    EXPECT_TRUE(workFolderEmpty());

    // The restored files were registered under their names: the next pass
    // saves nothing again.
    const RunResult again = fernhold({"--once"});
    ASSERT_EQ(again.exitCode, 0) << again.err.toStdString();
    EXPECT_EQ(versions(), before);
}

TEST_P(RestoreNamesTest, AVersionComesBackFromAnFtpServerInUtf8Mode)
{
    FERNHOLD_REQUIRE_FTP_SERVER(FtpServerKind::Pyftpdlib);
    FtpServer server(FtpServerKind::Pyftpdlib);
    ASSERT_TRUE(server.started()) << server.error().toStdString();
    // The FTP server is target 1, whose name mode a pass uses.
    UseFtpTarget(m_settings, server);
    m_settings.target(1) = m_settings.target(2);
    m_settings.target(1).FTPUnicode = 1;
    m_settings.target(2) = TargetEntry();
    m_settings.SelectedTarget = 1;
    save();
    ASSERT_EQ(fernhold({"--once", "--full"}).exitCode, 0);

    const QByteArray inner = folder() + kFolder;
    const RunResult listed = fernhold({"restore", "list", inner});
    ASSERT_EQ(listed.exitCode, 0) << listed.err.toStdString();
    const QList<ListedRow> rows = rowsOf(listed.out);
    EXPECT_EQ(rows.size(), 2) << listed.out.toStdString();
    EXPECT_EQ(entryOf(rows, kDeeper.chopped(1)), kDeeper);
    const QByteArray version = entryOf(rows, kInFolder);
    ASSERT_TRUE(version.startsWith(kInFolder + '@')) << listed.out.toStdString();

    ASSERT_TRUE(WriteBytesFile(source() + kFolder + kInFolder, "changed"));
    const RunResult one = fernhold({"restore", "version", "--yes", inner, version});
    ASSERT_EQ(one.exitCode, 0) << one.err.toStdString() << server.log().toStdString();
    EXPECT_EQ(ReadBytesFile(source() + kFolder + kInFolder), m_files[kFolder + kInFolder]);
    EXPECT_TRUE(workFolderEmpty());
}

INSTANTIATE_TEST_SUITE_P(Forms, RestoreNamesTest, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param == 1 ? "zip" : "copy");
                         });

} // namespace fernhold::test
