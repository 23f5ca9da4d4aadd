#include "backup_run_fixture.h"
#include "core/server_fingerprint.h"
#include "ssh_server.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSet>
#include <QThread>
#include <algorithm>
#include <iostream>
#include <map>
#include <memory>
#include <vector>

namespace fernhold::test {

namespace {

constexpr int kKills = 24;

// A version checked once; it is checked again only when it was replaced.
struct SeenVersion
{
    qint64 size = 0;
    qint64 modified = 0;
};

// True while some process names a path below `folder` in its arguments (an
// archiver left behind by a killed fernhold names its work folder).
bool processUses(const QString& folder)
{
    const QByteArray needle = QFile::encodeName(folder);
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool numeric = false;
        (void)entry.toLongLong(&numeric);
        if (!numeric) {
            continue;
        }
        QFile cmdline(QStringLiteral("/proc/") + entry + QStringLiteral("/cmdline"));
        if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains(needle)) {
            return true;
        }
    }
    return false;
}

struct PassTimes
{
    qint64 firstUs = 1;
    qint64 perFileUs = 1;
};

class KillTest : public BackupRunTest
{
protected:
    // Files of the tree: a few large ones, or with more many small ones in
    // several folders, so the pass keeps all its transfer threads busy.
    int m_files = 6;
    qsizetype m_fileBytes = 3 * 1024 * 1024;

    // Checks every version below `folder` that is new or replaced since the
    // last look: it must open and match its source. Other files may only be
    // temporary files of a killed copy; they are added to m_temporary.
    void checkVersions(const QString& folder, std::map<QString, SeenVersion>& seen)
    {
        for (const QString& relative : filesBelow(folder)) {
            const QString path = folder + relative;
            const QString name = QFileInfo(path).fileName();
            const qsizetype at = name.indexOf(u'@');
            if (at < 0) {
                EXPECT_TRUE(name.startsWith(QStringLiteral("~fernhold"))) << path.toStdString();
                m_temporary.insert(path);
                continue;
            }
            const QFileInfo info(path);
            const SeenVersion now{info.size(), info.lastModified().toMSecsSinceEpoch()};
            const auto it = seen.find(path);
            if (it != seen.end() && it->second.size == now.size &&
                it->second.modified == now.modified) {
                continue;
            }
            seen[path] = now;
            ++m_checked;
            const QString original = name.left(at);
            const auto source = m_sources.find(original);
            if (source == m_sources.end()) {
                ADD_FAILURE() << "a version of no source file: " << path.toStdString();
                continue;
            }
            if (name.endsWith(QStringLiteral(".zip"))) {
                const auto content = extracted(path, original);
                EXPECT_TRUE(content.has_value()) << "does not open: " << path.toStdString();
                EXPECT_TRUE(content == source->second) << "differs: " << path.toStdString();
            } else {
                EXPECT_TRUE(fileBytes(path) == source->second) << "differs: " << path.toStdString();
            }
        }
    }

    // fernhold --once --full --verbose, its status lines readable.
    [[nodiscard]] static std::unique_ptr<QProcess> startPass()
    {
        auto process = std::make_unique<QProcess>();
        process->setStandardOutputFile(QProcess::nullDevice());
        process->setReadChannel(QProcess::StandardError);
        process->start(FernholdProgram(), {QStringLiteral("--once"), QStringLiteral("--full"),
                                           QStringLiteral("--verbose")});
        EXPECT_TRUE(process->waitForStarted(10000));
        return process;
    }

    // Reads the status lines until the `count`-th file is announced (its
    // name, then " ..."); false when the program ended before.
    static bool waitForAnnouncement(QProcess& process, int count)
    {
        QByteArray lines;
        while (lines.count(".bin ...\n") < count) {
            if (!process.waitForReadyRead(30000)) {
                return false;
            }
            lines += process.readAllStandardError();
        }
        return true;
    }

    // A whole pass: microseconds to the first file's announcement and
    // between two announcements.
    [[nodiscard]] PassTimes timePass() const
    {
        QElapsedTimer timer;
        timer.start();
        auto process = startPass();
        std::vector<qint64> announced;
        QByteArray lines;
        while (process->waitForReadyRead(30000)) {
            lines += process->readAllStandardError();
            while (static_cast<qsizetype>(announced.size()) < lines.count(".bin ...\n")) {
                announced.push_back(timer.nsecsElapsed() / 1000);
            }
        }
        process->waitForFinished(60000);
        EXPECT_EQ(process->state(), QProcess::NotRunning);
        EXPECT_EQ(process->exitCode(), 0);
        EXPECT_EQ(announced.size(), static_cast<std::size_t>(m_files));
        if (announced.size() < 2) {
            return {};
        }
        const qint64 perFile =
            (announced.back() - announced.front()) / static_cast<qint64>(announced.size() - 1);
        return {std::max<qint64>(1, announced.front()), std::max<qint64>(1, perFile)};
    }

    // Passes over files of several MB are killed with SIGKILL at random
    // moments, alternately packing and copying. After every kill each version
    // in `folder` (target 1's mirror of the source) opens and matches its
    // source, and no child of the killed program lives on; a pass that runs
    // to its end then saves every file.
    void killPassesAndCheck(const QString& folder)
    {
        QStringList relatives;
        for (int i = 1; i <= m_files; ++i) {
            const QString name = QStringLiteral("large %1.bin").arg(i);
            m_sources[name] = noiseBytes(m_fileBytes, static_cast<quint32>(100 + i));
            relatives.append((i % 2 == 0 ? QStringLiteral("sub/") : QString()) +
                             (i % 3 == 0 ? QStringLiteral("third/") : QString()) + name);
            source(relatives.last(), m_sources[name]);
        }
        m_settings.WorkModeExtended = 1;

        // One whole pass of each form tells when its files are announced.
        PassTimes times[2];
        for (const int compress : {0, 1}) {
            m_settings.CompressData = static_cast<std::int8_t>(compress);
            save();
            times[compress] = timePass();
            ASSERT_EQ(filesBelow(folder).size(), (compress + 1) * m_files);
        }

        const quint32 seed = QRandomGenerator::global()->generate();
        SCOPED_TRACE(::testing::Message() << "random seed " << seed);
        QRandomGenerator random(seed);
        std::map<QString, SeenVersion> seen;
        int kills = 0;
        int midPass = 0;
        QElapsedTimer total;
        total.start();
        for (int round = 0; kills < kKills && round < 3 * kKills; ++round) {
            const int compress = round % 2;
            const PassTimes& time = times[compress];
            m_settings.CompressData = static_cast<std::int8_t>(compress);
            save();
            const int before = static_cast<int>(filesBelow(folder).size());
            auto fernhold = startPass();
            // A random moment: during start-up, or while one of the files is
            // being saved (announced and not yet the next one).
            const int file = static_cast<int>(random.bounded(m_files + 1));
            if (file == 0) {
                QThread::usleep(random.bounded(static_cast<quint32>(time.firstUs)));
            } else if (waitForAnnouncement(*fernhold, file)) {
                QThread::usleep(random.bounded(static_cast<quint32>(time.perFileUs)));
            }
            if (fernhold->state() == QProcess::NotRunning) {
                continue; // it ended first: no kill this round
            }
            fernhold->kill();
            ASSERT_TRUE(fernhold->waitForFinished(10000));
            ++kills;

            // Nothing it started may live on and write.
            QElapsedTimer waited;
            waited.start();
            while (processUses(m_home.cacheHome()) && waited.elapsed() < 10000) {
                QThread::msleep(20);
            }
            EXPECT_FALSE(processUses(m_home.cacheHome())) << "a child of the killed pass lives on";

            checkVersions(folder, seen);
            const int made = static_cast<int>(filesBelow(folder).size()) - before;
            midPass += made > 0 && made < m_files ? 1 : 0;
        }
        EXPECT_GE(kills, 20);
        // Kills that fell between the first and the last file of a pass.
        EXPECT_GE(midPass, 3);
        std::cout << "[ figures  ] kills " << kills << ", of them " << midPass
                  << " between the first and last version of a pass, " << m_checked
                  << " versions checked, " << m_temporary.size()
                  << " temporary files left by killed copies, " << total.elapsed()
                  << " ms; a file every " << times[0].perFileUs << " us copying, "
                  << times[1].perFileUs << " us packing" << std::endl;

        // A pass that runs to its end saves every file.
        m_settings.CompressData = 1;
        const RunResult last = once();
        ASSERT_EQ(last.exitCode, 0) << last.err.toStdString();
        for (const QString& relative : relatives) {
            EXPECT_FALSE(versionOf(relative, QStringLiteral(".zip"), folder).isEmpty())
                << relative.toStdString();
        }
        checkVersions(folder, seen);
        // Its file-time table is whole: the next pass finds nothing to do.
        const RunResult after = once(false);
        ASSERT_EQ(after.exitCode, 0) << after.err.toStdString();
        EXPECT_EQ(summaryOf(after.err).value(0),
                  text("TXT00078") + QStringLiteral(" (0 ") + text("TXT00079") + u')');
    }

    std::map<QString, QByteArray> m_sources;
    int m_checked = 0;
    QSet<QString> m_temporary;
};

} // namespace

TEST_F(KillTest, VersionsSurviveKillsAndTheNextPassCompletesTheRest)
{
    killPassesAndCheck(mirror());
}

// The same with many smaller files, so that kills fall while several
// transfers run side by side and more wait in the queue.
TEST_F(KillTest, ParallelTransfersSurviveKillsAndTheNextPassCompletesTheRest)
{
    m_files = 60;
    m_fileBytes = 300 * 1024;
    killPassesAndCheck(mirror());
}

// The same at an SFTP target: an upload cut off by the kill never stands
// under a version name.
TEST_F(KillTest, SftpVersionsSurviveKillsAndTheNextPassCompletesTheRest)
{
    FERNHOLD_REQUIRE_SSH_SERVER();
    SshServer server;
    ASSERT_TRUE(server.started()) << server.error().toStdString();
    TargetEntry& ftp = m_settings.target(1);
    ftp = TargetEntry();
    ftp.TargetType = QStringLiteral("FTP");
    ftp.FTPServerName = server.host();
    ftp.FTPServerPort = QString::number(server.port());
    ftp.FTPUserName = server.user();
    ftp.FTPPassword = server.passphrase();
    ftp.FTPKeyFile = server.keyFile();
    ftp.FTPSubDir = server.folder();
    ftp.FTPTransport = 3;
    ftp.FTPFingerprint = FingerprintText(server.hostKeyDigest());
    killPassesAndCheck(server.folder() + MirrorText(m_source));
}

} // namespace fernhold::test
