#include "backup_run_fixture.h"
#include "engine/single_file_backup.h"

namespace fernhold::test {

namespace {

constexpr int kFiles = 8;

// A pass over big files packed one after the other, killed with SIGKILL
// once some of them are saved.
class LogAfterKill : public BackupRunTest
{
protected:
    LogAfterKill()
    {
        m_settings.CompressData = 1;
        for (int i = 1; i <= kFiles; ++i) {
            const QString name = QStringLiteral("large %1.bin").arg(i);
            m_files.append(source(name, noiseBytes(3 * 1024 * 1024, 70 + i)));
        }
    }

    // Starts fernhold --once --full --verbose and kills it with SIGKILL once
    // `count` - 1 files are saved. False when it ended first.
    bool killWhileSaving(int count)
    {
        save();
        QProcess process;
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setReadChannel(QProcess::StandardError);
        process.start(FernholdProgram(), {QStringLiteral("--once"), QStringLiteral("--full"),
                                          QStringLiteral("--verbose")});
        if (!process.waitForStarted(10000)) {
            return false;
        }
        QByteArray seen;
        // Files are announced ahead of their transfers: the kill waits for
        // the status lines of the files saved before.
        while (seen.count(".bin -->[1]") < count - 1) {
            if (!process.waitForReadyRead(30000)) {
                return false;
            }
            seen += process.readAllStandardError();
        }
        process.kill();
        return process.waitForFinished(10000);
    }

    // The log line of a saved file as the pass writes it.
    [[nodiscard]] static QString savedLine(const QString& path)
    {
        const qint64 size = QFileInfo(path).size();
        return SizeText(size) + u'\t' + QString::number(size) + u'\t' + path +
               QStringLiteral(" [1]");
    }

    QStringList m_files;
};

} // namespace

// Every file the killed pass saved has its log line at the next start, in
// memory (the next run writes its log from there) and in the log file; the
// limits of age and size still hold for the file.
TEST_F(LogAfterKill, TheLinesOfAKilledPassAreReadAtTheNextStart)
{
    // A line older than the days the log keeps.
    m_settings.LogfileMaxDays = 7;
    const QString old =
        QDateTime::currentDateTime().addDays(-30).toString(QStringLiteral("yyyy.MM.dd")) +
        QStringLiteral("\t10:00:00\t\t\tlong ago");
    m_home.writeFile(QStringLiteral(".config/fernhold/fernhold.log"), old.toUtf8() + "\r\n");

    ASSERT_TRUE(killWhileSaving(4)) << "the pass ended before the kill";
    QStringList saved;
    for (const QString& file : m_files) {
        const QString relative = QFileInfo(file).fileName();
        if (!QDir(mirror())
                 .entryList({relative + QStringLiteral("@*.zip")}, QDir::Files)
                 .isEmpty()) {
            saved.append(file);
        }
    }
    ASSERT_GE(saved.size(), 3);
    ASSERT_LT(saved.size(), kFiles);

    // The next start finds nothing changed: only the killed run wrote these lines.
    const RunResult next = once(false);
    ASSERT_EQ(next.exitCode, 0) << next.err.toStdString();
    const QStringList log = logTexts();
    for (const QString& file : saved) {
        EXPECT_EQ(log.count(savedLine(file)), 1) << file.toStdString() << '\n'
                                                 << log.join(u'\n').toStdString();
    }
    EXPECT_FALSE(log.contains(QStringLiteral("\t\tlong ago")));
    // Newest first: the next run's start above the killed run's lines, above its start.
    const QString started = QStringLiteral("\t\t") + text("TXT00157");
    ASSERT_EQ(log.count(started), 2) << log.join(u'\n').toStdString();
    const qsizetype line = log.indexOf(savedLine(saved.first()));
    EXPECT_LT(log.indexOf(started), line);
    EXPECT_GT(log.lastIndexOf(started), line);
    EXPECT_FALSE(QFileInfo::exists(m_home.appData() + QStringLiteral("fernhold.log.new")));

    // The size limit holds for what was folded in: 1 K characters.
    ASSERT_TRUE(killWhileSaving(2));
    m_settings.LogfileMaxSize = 1;
    ASSERT_EQ(once(false).exitCode, 0);
    const QString content =
        QString::fromUtf8(fileBytes(m_home.appData() + QStringLiteral("fernhold.log")));
    EXPECT_LE(QString(content).remove(QStringLiteral("\r\n")).size(), 1024);
    // The newest lines are the ones kept (the run saved the rest of the
    // killed full backup, so its own start may be beyond the limit).
    EXPECT_TRUE(logTexts().contains(QStringLiteral("\t\t") + text("TXT00158")));
}

} // namespace fernhold::test
