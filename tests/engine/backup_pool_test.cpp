#include "backup_pass_fixture.h"
#include "engine/source_walk.h"
#include "engine/transfer_pool.h"

#include <QHash>
#include <map>

using namespace fernhold;
using namespace fernhold::test;

namespace {

// First saves, which hand their transfers to the pool where the machine has
// one, in both forms: plain
// copies and zip archives, to two folder targets.
class BackupPoolTest : public BackupPassTest, public ::testing::WithParamInterface<int>
{
protected:
    BackupPoolTest() : m_second(m_home.path() + QStringLiteral("backup2/")) {}

    void SetUp() override
    {
        BackupPassTest::SetUp();
        QDir().mkpath(m_second);
        m_settings.CompressData = static_cast<std::int8_t>(GetParam());
        m_settings.target(2).TargetType = QStringLiteral("WIN");
        m_settings.target(2).TargetDir = m_second;
        m_settings.sources[0].SourceDirTarget = QStringLiteral("12");
        m_sourcesSavedBefore = false; // the first save of the source
    }

    // Files in nested folders, with distinct contents.
    void makeTree(int count, qsizetype bytes)
    {
        for (int i = 0; i < count; ++i) {
            const QString relative = QStringLiteral("f%1/%2sub/file %3.dat")
                                         .arg(i % 4)
                                         .arg(i % 3 == 0 ? QStringLiteral("deeper/") : QString())
                                         .arg(i);
            QByteArray content(bytes, static_cast<char>('a' + i % 26));
            content.replace(0, 8, QByteArray::number(i).rightJustified(8, '0'));
            m_files[m_source + relative] = content;
            source(relative, content);
        }
    }

    // The bytes a version holds: unpacked for an archive.
    [[nodiscard]] QByteArray versionContent(const QString& version, const QString& name) const
    {
        if (GetParam() == 0) {
            return contentOf(version);
        }
        const QString out = m_home.path() + QStringLiteral("out/");
        QDir(out).removeRecursively();
        QDir().mkpath(out);
        const Archiver archiver(m_folders.temp);
        return archiver.UnpackFile(version, out, name) == 1 ? contentOf(out + name)
                                                            : QByteArray("<not unpacked>");
    }

    // Checks every version at both targets against its source; gives for
    // each source file how many versions each target holds.
    std::map<QString, std::pair<int, int>> checkVersions() const
    {
        std::map<QString, std::pair<int, int>> counts;
        for (const QString& root : {m_target, m_second}) {
            const QString mirrored = mirror({}, root);
            for (const QString& relative : filesBelow(mirrored)) {
                const QString version = mirrored + relative;
                const QString versionName = QFileInfo(version).fileName();
                const qsizetype at = versionName.indexOf(u'@');
                if (at < 0) {
                    ADD_FAILURE() << "no version: " << version.toStdString();
                    continue;
                }
                const QString name = versionName.left(at);
                const QString path = m_source + QFileInfo(relative).path() + u'/' + name;
                const QString sourcePath = QDir::cleanPath(path);
                const auto file = m_files.find(sourcePath);
                if (file == m_files.end()) {
                    ADD_FAILURE() << "a version of no source file: " << version.toStdString();
                    continue;
                }
                EXPECT_EQ(versionContent(version, name), file->second) << version.toStdString();
                auto& count = counts[sourcePath];
                ++(root == m_target ? count.first : count.second);
            }
        }
        return counts;
    }

    // The files the log names as saved, in the log's order.
    [[nodiscard]] QStringList loggedFiles() const
    {
        QStringList files;
        for (const QString& line : logTexts()) {
            const QString path = line.section(u'\t', 2);
            if (path.startsWith(m_source) && path.endsWith(QStringLiteral(" [1][2]"))) {
                files.append(path.chopped(7));
            }
        }
        return files;
    }

    // Nothing half-written: no temporary copy at a target, no work file.
    void expectNothingHalfWritten() const
    {
        for (const QString& root : {m_target, m_second}) {
            for (const QString& name : filesBelow(root)) {
                EXPECT_FALSE(QFileInfo(name).fileName().startsWith(u'~')) << name.toStdString();
            }
        }
        EXPECT_EQ(QDir(m_folders.temp).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    const QString m_second;
    std::map<QString, QByteArray> m_files;
};

// The order in which a walk meets the files of the source.
class WalkOrder : public WalkVisitor
{
public:
    [[nodiscard]] bool mustStop() const override { return false; }
    void enterFolder(const QString& folderPath) override { m_folder = folderPath; }
    void visitFile(QStringView name, const struct statx* /*state*/) override
    {
        files.append(m_folder + name.toString());
    }

    QStringList files;

private:
    QString m_folder;
};

std::string formName(const ::testing::TestParamInfo<int>& info)
{
    return info.param == 1 ? "zip" : "copy";
}

} // namespace

// Every file gets exactly one version at each target, named as always and
// holding its bytes; the log names them in the walk's order, and the source
// owes its targets nothing afterwards.
TEST_P(BackupPoolTest, AFirstSaveGivesOneVersionPerFileAndTargetLoggedInWalkOrder)
{
    constexpr int kFiles = 160;
    makeTree(kFiles, 3000);
    WalkOrder order;
    (void)WalkFolder(m_source, true, FolderIdSet(), order);
    ASSERT_EQ(order.files.size(), kFiles);

    const BackupPassResult result = pass();

    EXPECT_FALSE(result.stopped);
    EXPECT_EQ(result.newFiles, kFiles);
    EXPECT_EQ(result.failedFiles, 0);
    const auto counts = checkVersions();
    ASSERT_EQ(counts.size(), static_cast<std::size_t>(kFiles));
    for (const auto& [path, count] : counts) {
        EXPECT_EQ(count, std::make_pair(1, 1)) << path.toStdString();
    }
    const QString suffix = GetParam() == 1 ? QStringLiteral(".zip") : QStringLiteral(".dat");
    EXPECT_TRUE(QFileInfo::exists(mirror(m_source + QStringLiteral("f1/sub/")) +
                                  QStringLiteral("file 1.dat@") + stamp() + suffix));
    EXPECT_EQ(loggedFiles(), order.files);
    EXPECT_TRUE(m_state.owedTargets(m_settings.sources[0]).isEmpty());
    expectNothingHalfWritten();

    // Nothing is left to save.
    m_clock.advanceSeconds(1);
    EXPECT_EQ(pass().newFiles, 0);
    EXPECT_EQ(checkVersions().size(), static_cast<std::size_t>(kFiles));
}

// A pause during a first save drops the transfers still queued: the file
// announced last never reaches a target. What was saved is whole, logged and
// recorded as saved; the next pass saves exactly the rest.
TEST_P(BackupPoolTest, APauseEndsThePoolPromptlyAndTheNextPassSavesTheRest)
{
    constexpr int kFiles = 120;
    constexpr int kAnnounced = 40;
    makeTree(kFiles, 20000);
    // Not indexed yet: the walk takes every state into the index, so only the
    // first save's record tells what was delivered.
    m_settings.sources[0].Indexed = 0;
    int announced = 0;
    stopAtAnnouncement(kAnnounced, m_run.Status, 2, announced);

    const BackupPassResult stopped = pass();

    EXPECT_TRUE(stopped.stopped);
    EXPECT_EQ(announced, kAnnounced);
    const auto counts = checkVersions();
    // The pool drops the transfer of the file announced last.
    EXPECT_LT(counts.size(), static_cast<std::size_t>(kAnnounced));
    EXPECT_EQ(stopped.newFiles, static_cast<qint64>(counts.size()));
    QStringList saved;
    for (const auto& [path, count] : counts) {
        EXPECT_EQ(count, std::make_pair(1, 1)) << path.toStdString();
        saved.append(path);
    }
    QStringList logged = loggedFiles();
    logged.sort();
    saved.sort();
    EXPECT_EQ(logged, saved);
    EXPECT_FALSE(m_state.owedTargets(m_settings.sources[0]).isEmpty());
    EXPECT_TRUE(m_ui.messages().empty());
    expectNothingHalfWritten();

    const BackupPassResult rest = passAfterStop();

    EXPECT_FALSE(rest.stopped);
    EXPECT_EQ(stopped.newFiles + rest.newFiles, kFiles);
    const auto after = checkVersions();
    ASSERT_EQ(after.size(), static_cast<std::size_t>(kFiles));
    for (const auto& [path, count] : after) {
        EXPECT_EQ(count, std::make_pair(1, 1)) << path.toStdString();
    }
    EXPECT_TRUE(m_state.owedTargets(m_settings.sources[0]).isEmpty());
    expectNothingHalfWritten();
}

INSTANTIATE_TEST_SUITE_P(Forms, BackupPoolTest, ::testing::Values(0, 1), formName);
