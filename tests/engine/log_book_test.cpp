#include "core/job_settings.h"
#include "core/text_table.h"
#include "engine/log_book.h"
#include "fake_user_interface.h"
#include "manual_clock.h"
#include "platform/folders.h"
#include "temp_home.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSet>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

// Readable failure output.
void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

using namespace fernhold;
using fernhold::test::FakeUserInterface;
using fernhold::test::ManualClock;
using fernhold::test::TempHome;

namespace {

QDateTime at(int year, int month, int day, int hour = 12, int minute = 0, int second = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second));
}

class LogBookTest : public ::testing::Test
{
protected:
    LogBookTest() { QDir().mkpath(home.appData()); }

    [[nodiscard]] QString logPath() const
    {
        return home.appData() + QStringLiteral("fernhold.log");
    }
    void writeLog(const QByteArray& bytes) const
    {
        home.writeFile(QStringLiteral(".config/fernhold/fernhold.log"), bytes);
    }
    [[nodiscard]] QStringList fileLines() const
    {
        QStringList lines =
            QString::fromUtf8(TempHome::readFile(logPath())).split(QStringLiteral("\r\n"));
        EXPECT_EQ(lines.takeLast(), QString()) << "every line ends with CR LF";
        return lines;
    }
    // A fresh log book reading the file, as at start-up.
    [[nodiscard]] std::unique_ptr<LogBook> reread() const
    {
        auto book = std::make_unique<LogBook>(folders, clock);
        book->ReadLogFile();
        return book;
    }

    TempHome home;
    Folders folders = ResolveFolders(QStringLiteral("fernhold"), QStringLiteral("fernhold"));
    ManualClock clock{at(2024, 3, 5, 14, 7, 9)};
    JobSettings settings;
    LogBook log{folders, clock};
};

} // namespace

TEST_F(LogBookTest, LinesCarryTheClocksDateAndTime)
{
    EXPECT_EQ(log.path(), logPath());
    log.AddLogLine(QStringLiteral("\t\tStart"));
    clock.setNow(at(2024, 12, 31, 23, 59, 58));
    log.AddLogLine(QStringLiteral("x"));
    EXPECT_EQ(log.lines(), QStringList({QStringLiteral("2024.03.05\t14:07:09\t\t\tStart"),
                                        QStringLiteral("2024.12.31\t23:59:58\tx")}));
    EXPECT_EQ(log.newestIndex(), 1);
    EXPECT_EQ(log.count(), 2);
}

TEST_F(LogBookTest, RingKeepsTheNewestTenThousandLines)
{
    for (int i = 0; i < LogBook::kCapacity + 5; ++i) {
        log.AddLogLine(QString::number(i));
    }
    EXPECT_EQ(log.count(), LogBook::kCapacity);
    EXPECT_EQ(log.newestIndex(), 4);
    EXPECT_TRUE(log.lineAt(4).endsWith(QStringLiteral("\t10004")));
    EXPECT_TRUE(log.lineAt(5).endsWith(QStringLiteral("\t5")));
    const QStringList lines = log.lines();
    EXPECT_TRUE(lines.first().endsWith(QStringLiteral("\t5")));
    EXPECT_TRUE(lines.last().endsWith(QStringLiteral("\t10004")));

    ASSERT_EQ(log.WriteLogFile(settings), 1);
    const QStringList written = fileLines();
    ASSERT_EQ(written.size(), LogBook::kCapacity);
    EXPECT_TRUE(written.first().endsWith(QStringLiteral("\t10004")));
    EXPECT_TRUE(written.last().endsWith(QStringLiteral("\t5")));
}

TEST_F(LogBookTest, DayLimitDropsTheCutoffDayAndOlder)
{
    clock.setNow(at(2024, 3, 3, 23, 59, 59));
    log.AddLogLine(QStringLiteral("two days ago"));
    clock.setNow(at(2024, 3, 4, 0, 0, 0));
    log.AddLogLine(QStringLiteral("yesterday"));
    clock.setNow(at(2024, 3, 5, 9, 0, 0));
    log.AddLogLine(QStringLiteral("today"));

    settings.LogfileMaxDays = 1;
    ASSERT_EQ(log.WriteLogFile(settings), 1);
    EXPECT_EQ(fileLines(), QStringList({QStringLiteral("2024.03.05\t09:00:00\ttoday")}));

    settings.LogfileMaxDays = 2;
    ASSERT_EQ(log.WriteLogFile(settings), 1);
    EXPECT_EQ(fileLines().size(), 2);

    settings.LogfileMaxDays = 0;
    ASSERT_EQ(log.WriteLogFile(settings), 1);
    EXPECT_TRUE(QFileInfo(logPath()).isFile());
    EXPECT_EQ(QFileInfo(logPath()).size(), 0);
    EXPECT_EQ(log.count(), 3) << "the memory log is not touched";
}

TEST_F(LogBookTest, SizeLimitCountsCharactersWithoutLineEnds)
{
    // 20 characters of date and time + 108 of text = 128 per line; 8 lines are
    // exactly 1 K characters.
    for (int i = 0; i < 20; ++i) {
        log.AddLogLine(QString::number(i % 10).repeated(108));
    }
    settings.LogfileMaxSize = 1;
    ASSERT_EQ(log.WriteLogFile(settings), 1);
    const QStringList written = fileLines();
    ASSERT_EQ(written.size(), 8);
    EXPECT_TRUE(written.first().endsWith(QStringLiteral("9999")));
    EXPECT_EQ(QFileInfo(logPath()).size(), 8 * 130);
}

TEST_F(LogBookTest, FileIsUtf8WithoutBomPrivateAndReadsBackInOrder)
{
    log.AddLogLine(QStringLiteral("\t\tStart"));
    log.AddLogLine(QStringLiteral("\t\t\U0001F600 plan.odt"));
    log.AddLogLine(QStringLiteral("0001.5 KB\t1536\t/home/ann/Gr\u00FC\u00DFe.docx [1][2]"));
    ASSERT_EQ(log.WriteLogFile(settings), 1);
    const QByteArray bytes = TempHome::readFile(logPath());
    EXPECT_TRUE(
        bytes.startsWith("2024.03.05\t14:07:09\t0001.5 KB\t1536\t/home/ann/Gr\xC3\xBC\xC3\x9F"));
    EXPECT_TRUE(bytes.contains("\r\n2024.03.05\t14:07:09\t\t\t\xF0\x9F\x98\x80 plan.odt\r\n"));
    EXPECT_FALSE(QFileInfo(logPath()).permissions().testAnyFlags(QFileDevice::ReadOther |
                                                                 QFileDevice::ReadGroup));

    auto again = reread();
    EXPECT_EQ(again->lines(), log.lines());
    again->AddLogLine(QStringLiteral("next"));
    EXPECT_EQ(again->newestIndex(), 3);
    EXPECT_TRUE(again->lineAt(3).endsWith(QStringLiteral("\tnext")));
}

TEST_F(LogBookTest, EmptyOrMissingFileGivesAnEmptyLog)
{
    log.AddLogLine(QStringLiteral("old"));
    log.ReadLogFile();
    EXPECT_EQ(log.count(), 0);
    EXPECT_EQ(log.newestIndex(), -1);
    writeLog({});
    log.ReadLogFile();
    EXPECT_EQ(log.count(), 0);
    log.AddLogLine(QStringLiteral("first"));
    EXPECT_EQ(log.newestIndex(), 0);
    EXPECT_TRUE(log.lineAt(0).endsWith(QStringLiteral("\tfirst")));
}

TEST_F(LogBookTest, OlderLayoutIsConvertedWithoutReadingPastShortLines)
{
    writeLog("20240305 140709 0001.5KB /home/ann/x.docx [1]\r\n"
             "2024.03.04\t10:00:00\t\t\tnew layout stays\r\n"
             "20240303 090000 0012.3MB\r\n"
             "2024030\r\n"
             "\r\n");
    log.ReadLogFile();
    EXPECT_EQ(log.lines(),
              QStringList({
                  QStringLiteral("..\t::\t\t\t"),
                  QStringLiteral("2024.03.0\t::\t\t\t"),
                  QStringLiteral("2024.03.03\t09:00:00\t0012.3 MB\t\t"),
                  QStringLiteral("2024.03.04\t10:00:00\t\t\tnew layout stays"),
                  QStringLiteral("2024.03.05\t14:07:09\t0001.5 KB\t\t/home/ann/x.docx [1]"),
              }));
}

TEST_F(LogBookTest, OnlyTheNewestTenThousandLinesOfTheFileAreRead)
{
    QByteArray bytes;
    for (int i = 0; i < LogBook::kCapacity + 50; ++i) {
        bytes += "2024.03.05\t10:00:00\t" + QByteArray::number(i) + "\r\n";
    }
    writeLog(bytes);
    log.ReadLogFile();
    ASSERT_EQ(log.count(), LogBook::kCapacity);
    EXPECT_TRUE(log.lines().last().endsWith(QStringLiteral("\t0")));
    EXPECT_TRUE(log.lines().first().endsWith(QStringLiteral("\t9999")));
}

TEST_F(LogBookTest, VeryLongLinesAreCutAndTheNextLineSurvives)
{
    QByteArray bytes = "2024.03.05\t10:00:00\t" + QByteArray(5 * 1024 * 1024, 'x') + "\r\n";
    bytes += "2024.03.04\t10:00:00\tshort\r\n";
    // A multi-byte character across the cut must not leave half a character.
    bytes += "2024.03.03\t10:00:00\tA" + QByteArray("\xE2\x82\xAC").repeated(20000);
    writeLog(bytes);
    log.ReadLogFile();
    const QStringList lines = log.lines();
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[2].size(), LogBook::kMaxLineChars);
    EXPECT_EQ(lines[1], QStringLiteral("2024.03.04\t10:00:00\tshort"));
    EXPECT_EQ(lines[0].size(), LogBook::kMaxLineChars);
    EXPECT_EQ(lines[0].back(), QChar(0x20AC));

    // Lines added in memory are held to the same cap.
    log.AddLogLine(QString(LogBook::kMaxLineChars * 2, u'y'));
    EXPECT_EQ(log.lineAt(log.newestIndex()).size(), LogBook::kMaxLineChars);
}

TEST_F(LogBookTest, ReadingStopsAfterTheByteLimit)
{
    QFile file(logPath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const QByteArray block(1024 * 1024, 'z');
    for (qint64 written = 0; written <= LogBook::kMaxReadBytes; written += block.size()) {
        ASSERT_EQ(file.write(block), block.size());
    }
    file.write("\r\n2024.03.05\t10:00:00\tbeyond the limit\r\n");
    file.close();
    log.ReadLogFile();
    ASSERT_EQ(log.count(), 1);
    EXPECT_EQ(log.lineAt(0).size(), LogBook::kMaxLineChars);
}

TEST_F(LogBookTest, BinaryFileStaysWithinTheLimits)
{
    QByteArray bytes(3 * 1024 * 1024, '\0');
    QRandomGenerator random(20240305);
    for (char& c : bytes) {
        c = static_cast<char>(random.bounded(256));
    }
    writeLog(bytes);
    log.ReadLogFile();
    EXPECT_GT(log.count(), 0);
    EXPECT_LE(log.count(), LogBook::kCapacity);
    for (const QString& line : log.lines()) {
        ASSERT_LE(line.size(), LogBook::kMaxLineChars);
    }
    // Whatever was read can be written and read again.
    EXPECT_EQ(log.WriteLogFile(settings), 1);
    auto again = reread();
    EXPECT_LE(again->count(), log.count());
}

TEST_F(LogBookTest, ClearingAsksAndEmptiesTheLog)
{
    FakeUserInterface ui;
    EXPECT_EQ(log.clearLogFile(ui), 0);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, Text(QStringLiteral("TXT00093")));
    EXPECT_TRUE(ui.questions().empty());

    log.AddLogLine(QStringLiteral("keep me"));
    ASSERT_EQ(log.WriteLogFile(settings), 1);
    ui.queueAnswer(false);
    EXPECT_EQ(log.clearLogFile(ui), 0);
    ASSERT_EQ(ui.questions().size(), 1u);
    EXPECT_EQ(ui.questions()[0].title, Text(QStringLiteral("TXT00052")));
    EXPECT_EQ(ui.questions()[0].text, Text(QStringLiteral("TXT00094")));
    EXPECT_TRUE(QFileInfo::exists(logPath()));
    EXPECT_EQ(log.count(), 1);

    // Unscripted, the question takes its default button: No.
    EXPECT_EQ(log.clearLogFile(ui), 0);
    EXPECT_TRUE(QFileInfo::exists(logPath()));

    ui.queueAnswer(true);
    EXPECT_EQ(log.clearLogFile(ui), 1);
    EXPECT_FALSE(QFileInfo::exists(logPath()));
    EXPECT_EQ(log.count(), 0);
    EXPECT_EQ(log.newestIndex(), -1);
}

TEST_F(LogBookTest, UnwritableFileLeavesTheMemoryLog)
{
    QDir(home.appData()).removeRecursively();
    log.AddLogLine(QStringLiteral("a"));
    EXPECT_EQ(log.WriteLogFile(settings), 0);
    EXPECT_EQ(log.count(), 1);
    log.AddLogLine(QStringLiteral("b"));
    EXPECT_EQ(log.count(), 2);
}

TEST_F(LogBookTest, TwoThreadsAddAndWriteWithoutLosingLines)
{
    auto add = [&](const QString& prefix) {
        for (int i = 0; i < 4000; ++i) {
            log.AddLogLine(prefix + QString::number(i));
        }
    };
    std::thread worker(add, QStringLiteral("w"));
    std::thread writer([&] {
        for (int i = 0; i < 20; ++i) {
            (void)log.WriteLogFile(settings);
        }
    });
    add(QStringLiteral("m"));
    worker.join();
    writer.join();

    ASSERT_EQ(log.count(), 8000);
    QSet<QString> seen;
    for (const QString& line : log.lines()) {
        seen.insert(line.section(u'\t', 2));
    }
    EXPECT_EQ(seen.size(), 8000);
    EXPECT_TRUE(seen.contains(QStringLiteral("w3999")));
    EXPECT_TRUE(seen.contains(QStringLiteral("m3999")));
}

// The journal beside the log file: what a killed run leaves, and how the next
// start and rewrite take it in.
class LogJournalTest : public LogBookTest
{
protected:
    LogJournalTest() { log.keepJournal(true); }

    [[nodiscard]] QString journalPath() const
    {
        return home.appData() + QStringLiteral("fernhold.log.new");
    }
};

TEST_F(LogJournalTest, EveryLineReachesTheJournalAsItIsAddedAndARewriteTakesItIn)
{
    writeLog("2024.03.04\t10:00:00\t\t\tfrom the last rewrite\r\n");
    log.ReadLogFile();
    log.AddLogLine(QStringLiteral("a"));
    clock.advanceSeconds(1);
    log.AddLogLine(QStringLiteral("b \u00FC"));
    EXPECT_EQ(log.journalPath(), journalPath());
    EXPECT_EQ(TempHome::readFile(journalPath()),
              QByteArray("2024.03.05\t14:07:09\ta\r\n2024.03.05\t14:07:10\tb \xC3\xBC\r\n"));
    EXPECT_FALSE(QFileInfo(journalPath())
                     .permissions()
                     .testAnyFlags(QFileDevice::ReadOther | QFileDevice::ReadGroup));
    EXPECT_EQ(fileLines().size(), 1) << "the log file waits for its rewrite";

    // As after a kill: a fresh start reads the file and the journal after it.
    auto next = reread();
    EXPECT_EQ(next->lines(), log.lines());
    ASSERT_EQ(next->count(), 3);
    ASSERT_EQ(next->WriteLogFile(settings), 1);
    EXPECT_EQ(fileLines(), QStringList({QStringLiteral("2024.03.05\t14:07:10\tb \u00FC"),
                                        QStringLiteral("2024.03.05\t14:07:09\ta"),
                                        QStringLiteral("2024.03.04\t10:00:00\t\t\tfrom the last "
                                                       "rewrite")}));
    EXPECT_FALSE(QFileInfo::exists(journalPath()));
    EXPECT_EQ(reread()->lines(), log.lines());

    // The next line starts a new journal.
    next->keepJournal(true);
    next->AddLogLine(QStringLiteral("c"));
    EXPECT_EQ(TempHome::readFile(journalPath()), QByteArray("2024.03.05\t14:07:10\tc\r\n"));
    EXPECT_EQ(reread()->count(), 4);
}

TEST_F(LogJournalTest, FoldedJournalLinesKeepTheDayAndSizeLimits)
{
    clock.setNow(at(2024, 3, 3, 23, 59, 59));
    log.AddLogLine(QStringLiteral("two days ago"));
    clock.setNow(at(2024, 3, 5, 9, 0, 0));
    // 20 characters of date and time + 108 of text: 8 lines are 1 K characters.
    for (int i = 0; i < 20; ++i) {
        log.AddLogLine(QString::number(i % 10).repeated(108));
    }
    auto next = reread();
    ASSERT_EQ(next->count(), 21);

    settings.LogfileMaxDays = 1;
    settings.LogfileMaxSize = 999;
    ASSERT_EQ(next->WriteLogFile(settings), 1);
    EXPECT_EQ(fileLines().size(), 20);
    EXPECT_FALSE(fileLines().join(u'\n').contains(QStringLiteral("two days ago")));

    settings.LogfileMaxSize = 1;
    ASSERT_EQ(next->WriteLogFile(settings), 1);
    const QStringList written = fileLines();
    ASSERT_EQ(written.size(), 8);
    EXPECT_TRUE(written.first().endsWith(QStringLiteral("\t") + QString(108, u'9')));
    EXPECT_TRUE(written.last().endsWith(QStringLiteral("\t") + QString(108, u'2')));
}

// A run killed after its rewrite but before the journal went leaves a
// journal whose lines the log holds already.
TEST_F(LogJournalTest, AJournalTheLogAlreadyHoldsIsNotReadTwice)
{
    log.AddLogLine(QStringLiteral("a"));
    log.AddLogLine(QStringLiteral("b"));
    const QByteArray journal = TempHome::readFile(journalPath());
    ASSERT_EQ(log.WriteLogFile(settings), 1);
    ASSERT_FALSE(QFileInfo::exists(journalPath()));
    home.writeFile(QStringLiteral(".config/fernhold/fernhold.log.new"), journal);

    auto next = reread();
    EXPECT_EQ(next->lines(), log.lines());

    // Lines added to that journal afterwards are read once, after the rest.
    next->keepJournal(true);
    next->AddLogLine(QStringLiteral("c"));
    auto third = reread();
    ASSERT_EQ(third->count(), 3);
    EXPECT_TRUE(third->lines()[0].endsWith(QStringLiteral("\ta")));
    EXPECT_TRUE(third->lines()[1].endsWith(QStringLiteral("\tb")));
    EXPECT_TRUE(third->lines()[2].endsWith(QStringLiteral("\tc")));
}

TEST_F(LogJournalTest, OfALongJournalTheNewestLinesAreRead)
{
    writeLog("2024.03.04\t10:00:00\told\r\n");
    for (int i = 0; i < LogBook::kCapacity + 50; ++i) {
        log.AddLogLine(QString::number(i));
    }
    auto next = reread();
    ASSERT_EQ(next->count(), LogBook::kCapacity);
    EXPECT_TRUE(next->lines().first().endsWith(QStringLiteral("\t50")));
    EXPECT_TRUE(next->lines().last().endsWith(QStringLiteral("\t10049")));

    // Beyond the read limit only the journal's end is read, from a line start.
    QFile file(journalPath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    const QByteArray text(1000, 'j');
    int lines = 0;
    for (qint64 written = 0; written <= LogBook::kMaxReadBytes + 5000; ++lines) {
        const QByteArray line =
            "2024.03.05\t10:00:00\t" + QByteArray::number(lines) + text + "\r\n";
        ASSERT_EQ(file.write(line), line.size());
        written += line.size();
    }
    file.close();
    auto large = reread();
    ASSERT_EQ(large->count(), LogBook::kCapacity);
    for (const QString& line : large->lines()) {
        ASSERT_TRUE(line.startsWith(QStringLiteral("2024.03.05\t10:00:00\t")))
            << line.left(40).toStdString();
        ASSERT_TRUE(line.endsWith(QString::fromLatin1(text))) << line.left(40).toStdString();
    }
    EXPECT_EQ(large->lines().last().section(u'\t', 2).chopped(1000), QString::number(lines - 1));
}

TEST_F(LogJournalTest, WithoutTheJournalLinesWaitForTheRewrite)
{
    log.keepJournal(false);
    log.AddLogLine(QStringLiteral("in memory only"));
    EXPECT_FALSE(QFileInfo::exists(journalPath()));
    EXPECT_EQ(reread()->count(), 0);
}

TEST_F(LogJournalTest, DeferredRewritesLeaveTheFileToTheJournalUntilTheLastOne)
{
    writeLog("2024.03.04\t10:00:00\tbefore\r\n");
    log.ReadLogFile();
    log.deferRewrites(true);
    log.AddLogLine(QStringLiteral("start"));
    ASSERT_EQ(log.WriteLogFile(settings), 1);
    log.AddLogLine(QStringLiteral("pass"));
    ASSERT_EQ(log.WriteLogFile(settings), 1);
    EXPECT_EQ(fileLines(), QStringList{QStringLiteral("2024.03.04\t10:00:00\tbefore")});
    // A kill now loses nothing: the next start reads the journal after the file.
    EXPECT_EQ(reread()->lines(), log.lines());

    log.deferRewrites(false);
    ASSERT_EQ(log.WriteLogFile(settings), 1);
    ASSERT_EQ(fileLines().size(), 3);
    EXPECT_TRUE(fileLines().first().endsWith(QStringLiteral("\tpass")));
    EXPECT_FALSE(QFileInfo::exists(journalPath()));

    // Without the journal nothing would hold the lines: rewrites go on.
    log.keepJournal(false);
    log.deferRewrites(true);
    log.AddLogLine(QStringLiteral("no journal"));
    ASSERT_EQ(log.WriteLogFile(settings), 1);
    EXPECT_TRUE(fileLines().first().endsWith(QStringLiteral("\tno journal")));
}

TEST_F(LogJournalTest, ClearingTheLogRemovesTheJournal)
{
    log.AddLogLine(QStringLiteral("first"));
    ASSERT_EQ(log.WriteLogFile(settings), 1);
    log.AddLogLine(QStringLiteral("second"));
    ASSERT_TRUE(QFileInfo::exists(journalPath()));
    FakeUserInterface ui;
    ui.queueAnswer(true);
    ASSERT_EQ(log.clearLogFile(ui), 1);
    EXPECT_FALSE(QFileInfo::exists(journalPath()));
    EXPECT_EQ(reread()->count(), 0);
}
