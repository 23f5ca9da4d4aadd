#include "restore/folder_restore_window.h"
#include "restore_fixture.h"

namespace fernhold::test {

namespace {

const QString kCopy = QString(QChar(0x00A9));
const QString kBreak = QStringLiteral("\r\n");

FolderSearchOptions range(const QDate& from, const QDate& to, bool oldest = false)
{
    FolderSearchOptions options;
    options.from = from;
    options.to = to;
    options.oldest = oldest;
    return options;
}

class FolderRestoreTest : public RestoreTest
{
protected:
    std::unique_ptr<FolderRestoreWindow> openWindow(const QString& password = {})
    {
        return std::make_unique<FolderRestoreWindow>(
            m_settings,
            RestoreServices{m_ui, *m_archiver, m_home.path() + QStringLiteral("Documents/")},
            relative(), password, QDate(2023, 1, 5), [this](const QStringList& files) {
                m_registered.append(files);
                ++m_registrations;
            });
    }
    // Runs the phase that was started to its end; gives the number of steps.
    static int runToEnd(FolderRestoreWindow& window)
    {
        int steps = 0;
        while (window.step()) {
            ++steps;
        }
        return steps;
    }
    static QStringList paths(const FolderRestoreWindow& window)
    {
        QStringList result;
        for (const FolderRestoreRow& row : window.rows()) {
            result.append(row.path);
        }
        return result;
    }

    QStringList m_registered;
    int m_registrations = 0;
};

} // namespace

TEST(VersionSelection, NewestOrOldestInTheRange)
{
    const QStringList names{
        QStringLiteral("a.txt@20230101~080000.txt"), QStringLiteral("a.txt@20230105~120000.zip"),
        QStringLiteral("a.txt@20230110~090000.zip"), QStringLiteral("b.txt@20230110~090000.txt"),
        QStringLiteral("notes.txt")};
    const QDate from(2023, 1, 1);
    const QDate to(2023, 1, 5);
    EXPECT_EQ(SelectVersionsInRange(names, range(from, to)),
              QStringList{QStringLiteral("a.txt@20230105~120000.zip")});
    EXPECT_EQ(SelectVersionsInRange(names, range(from, to, true)),
              QStringList{QStringLiteral("a.txt@20230101~080000.txt")});
    EXPECT_TRUE(SelectVersionsInRange(names, range(to, from)).isEmpty());
    EXPECT_TRUE(SelectVersionsInRange(names, range(to, from, true)).isEmpty());
    // The last second of the to date is in the range.
    EXPECT_EQ(SelectVersionsInRange({QStringLiteral("c@20230105~235959.")}, range(from, to)),
              QStringList{QStringLiteral("c@20230105~235959.")});
    EXPECT_EQ(SelectVersionsInRange(names, range(QDate(2023, 1, 10), QDate(2023, 1, 10))),
              (QStringList{QStringLiteral("a.txt@20230110~090000.zip"),
                           QStringLiteral("b.txt@20230110~090000.txt")}));
    EXPECT_EQ(SelectVersionsInRange(names, range(QDate(2023, 1, 10), QDate(2023, 1, 10), true)),
              (QStringList{QStringLiteral("b.txt@20230110~090000.txt"),
                           QStringLiteral("a.txt@20230110~090000.zip")}));
}

TEST(VersionSelection, KeepsFilesApartHoweverTheirNamesSort)
{
    // "a@1@..." sorts between the versions of "a"; it is a file of its own.
    const QStringList names{QStringLiteral("a@19990101~080000.txt"),
                            QStringLiteral("a@1@20230101~080000.txt"),
                            QStringLiteral("a@20230101~080000.txt")};
    const QStringList newest =
        SelectVersionsInRange(names, range(QDate(1990, 1, 1), QDate(2030, 1, 1)));
    EXPECT_EQ(newest, (QStringList{QStringLiteral("a@1@20230101~080000.txt"),
                                   QStringLiteral("a@20230101~080000.txt")}));
}

TEST_F(FolderRestoreTest, SearchOffersOneVersionPerFileAndThePasswordState)
{
    putVersion(QStringLiteral("a.txt@20230101~080000.txt"), "a1");
    putVersion(QStringLiteral("a.txt@20230105~120000.zip"), packed(QStringLiteral("a.txt"), "a5"));
    putVersion(QStringLiteral("a.txt@20230110~090000.zip"), packed(QStringLiteral("a.txt"), "a10"));
    putVersion(QStringLiteral("s.doc@20230103~235959") + kCopy + QStringLiteral(".zip"),
               packed(QStringLiteral("s.doc"), "secret", QStringLiteral("pw")));
    auto window = openWindow();
    EXPECT_EQ(window->options().from, QDate(2023, 1, 5));
    window->options().from = QDate(2023, 1, 1);
    EXPECT_TRUE(window->searchEnabled());
    EXPECT_FALSE(window->restoreEnabled());
    EXPECT_EQ(window->counterText(), QStringLiteral("0/0"));
    window->search();
    EXPECT_EQ(window->state(), FolderRestoreState::Searching);
    EXPECT_TRUE(window->activityVisible());
    EXPECT_FALSE(window->searchEnabled());
    // One step per directory entry, and one more to end the folder.
    EXPECT_EQ(runToEnd(*window), 5);
    EXPECT_EQ(window->state(), FolderRestoreState::Results);
    EXPECT_FALSE(window->activityVisible());
    EXPECT_TRUE(window->restoreEnabled());

    ASSERT_EQ(window->rows().size(), 2);
    EXPECT_EQ(window->rows()[0].result, QStringLiteral("2023/01/05 12:00"));
    EXPECT_EQ(window->rows()[0].path, m_source + QStringLiteral("a.txt"));
    EXPECT_EQ(window->rows()[0].version, relative() + QStringLiteral("a.txt@20230105~120000.zip"));
    EXPECT_TRUE(window->rows()[0].checked);
    EXPECT_EQ(window->rows()[1].result, text("TXT00411"));
    EXPECT_EQ(window->rows()[1].result, QStringLiteral("Password !"));
    EXPECT_FALSE(window->rows()[1].checked);

    window->options().oldest = true;
    window->setPassword(QStringLiteral("pw"));
    window->search();
    runToEnd(*window);
    ASSERT_EQ(window->rows().size(), 2);
    EXPECT_EQ(window->rows()[0].result, QStringLiteral("2023/01/03 23:59"));
    EXPECT_TRUE(window->rows()[0].checked);
    EXPECT_EQ(window->rows()[1].version, relative() + QStringLiteral("a.txt@20230101~080000.txt"));

    // A range whose from date is after its to date finds nothing.
    window->options().from = QDate(2023, 1, 6);
    window->search();
    runToEnd(*window);
    EXPECT_TRUE(window->rows().isEmpty());
    EXPECT_EQ(window->state(), FolderRestoreState::Idle);
    EXPECT_FALSE(window->restoreEnabled());
}

TEST_F(FolderRestoreTest, NameFilterAndSubFoldersDepthFirst)
{
    for (const QString& sub :
         {QString(), QStringLiteral("b/"), QStringLiteral("b/c/"), QStringLiteral("d/")}) {
        putVersion(QStringLiteral("Report.DOC@20230105~080000.DOC"), "r", sub);
        putVersion(QStringLiteral("sheet.xlsx@20230105~080000.xlsx"), "s", sub);
        putVersion(QStringLiteral("photo.jpg@20230105~080000.jpg"), "p", sub);
    }
    // Only the text before the "@" counts for the filter.
    putVersion(QStringLiteral("zzz@20230105~080000.doc"), "z");
    auto window = openWindow();
    window->options().nameFilterOn = true;
    window->options().nameFilter = QStringLiteral("doc,XLS");
    window->search();
    runToEnd(*window);
    EXPECT_EQ(paths(*window), (QStringList{m_source + QStringLiteral("Report.DOC"),
                                           m_source + QStringLiteral("sheet.xlsx")}));

    window->options().subFolders = true;
    window->search();
    runToEnd(*window);
    QStringList expected;
    for (const QString& sub :
         {QString(), QStringLiteral("b/"), QStringLiteral("b/c/"), QStringLiteral("d/")}) {
        expected << m_source + sub + QStringLiteral("Report.DOC")
                 << m_source + sub + QStringLiteral("sheet.xlsx");
    }
    EXPECT_EQ(paths(*window), expected);
}

TEST_F(FolderRestoreTest, UnreadableFoldersAreReportedAndTheSearchGoesOn)
{
    putVersion(QStringLiteral("a.txt@20230105~080000.txt"), "a");
    putVersion(QStringLiteral("b.txt@20230105~080000.txt"), "b", QStringLiteral("z/"));
    // A linked folder is never entered.
    ASSERT_TRUE(QDir().mkpath(m_home.path() + QStringLiteral("outside")));
    ASSERT_TRUE(writeAll(m_home.path() + QStringLiteral("outside/o.txt@20230105~080000.txt"), "o"));
    ASSERT_TRUE(QFile::link(m_home.path() + QStringLiteral("outside"),
                            versionFolder() + QStringLiteral("link")));
    auto window = openWindow();
    window->options().subFolders = true;
    window->search();
    runToEnd(*window);
    EXPECT_EQ(paths(*window), (QStringList{m_source + QStringLiteral("a.txt"),
                                           m_source + QStringLiteral("z/b.txt")}));
    EXPECT_TRUE(window->unreadableFolders().isEmpty());
    EXPECT_TRUE(m_ui.messages().empty());

    // The folder itself is missing at the target: reported, nothing found.
    auto missing = std::make_unique<FolderRestoreWindow>(
        m_settings, RestoreServices{m_ui, *m_archiver, QString()}, QStringLiteral("no/where/"),
        QString(), QDate(2023, 1, 5));
    missing->search();
    runToEnd(*missing);
    EXPECT_TRUE(missing->rows().isEmpty());
    EXPECT_EQ(missing->unreadableFolders(), QStringList{QStringLiteral("no/where/")});
    ASSERT_EQ(m_ui.messages().size(), 1U);
    EXPECT_EQ(m_ui.messages()[0].text, text("TXT00412") + kBreak + QStringLiteral("no/where/"));
}

TEST_F(FolderRestoreTest, RestoresToTheSourceFoldersAndRegistersOnce)
{
    ASSERT_TRUE(writeAll(m_source + QStringLiteral("a.txt"), "changed since"));
    putVersion(QStringLiteral("a.txt@20230105~080000.txt"), "a");
    putVersion(QStringLiteral("b.bin@20230105~080000.zip"), packed(QStringLiteral("b.bin"), "bb"));
    putVersion(QStringLiteral("c.bin@20230105~080000") + kCopy + QStringLiteral(".zip"),
               packed(QStringLiteral("c.bin"), "cc", QStringLiteral("pw")));
    putVersion(QStringLiteral("d.txt@20230105~080000.txt"), "d", QStringLiteral("sub/"));
    putVersion(QStringLiteral("e.txt@20230105~080000.txt"), "e");
    auto window = openWindow(QStringLiteral("pw"));
    window->options().subFolders = true;
    window->search();
    runToEnd(*window);
    ASSERT_EQ(window->rows().size(), 5);
    window->setChecked(3, false); // e.txt
    m_ui.queueAnswer(true);
    window->restore(false);
    ASSERT_EQ(window->state(), FolderRestoreState::Restoring);
    ASSERT_EQ(m_ui.questions().size(), 1U);
    EXPECT_EQ(m_ui.questions()[0].title, text("TXT00124"));
    EXPECT_EQ(m_ui.questions()[0].text, text("TXT00125"));
    EXPECT_FALSE(window->searchEnabled());
    EXPECT_FALSE(window->restoreEnabled());
    // The row due next shows that it is being restored.
    EXPECT_EQ(window->rows()[0].result, text("GAD00217"));

    ASSERT_TRUE(window->step());
    EXPECT_EQ(window->rows()[0].result, text("TXT00120"));
    EXPECT_EQ(window->counterText(), QStringLiteral("1/5"));
    EXPECT_EQ(window->progress(), 20);
    EXPECT_EQ(m_registrations, 0);
    runToEnd(*window);

    EXPECT_EQ(window->state(), FolderRestoreState::Finished);
    EXPECT_EQ(window->counterText(), QStringLiteral("5/5"));
    EXPECT_EQ(window->progress(), 100);
    // The port's progress rule follows every row and is hidden at the end.
    const auto progress = m_ui.progress();
    ASSERT_GE(progress.size(), 6U);
    EXPECT_EQ(progress.front(), (std::pair<int, int>{1, 5}));
    EXPECT_EQ(progress[progress.size() - 2], (std::pair<int, int>{5, 5}));
    EXPECT_EQ(progress.back(), (std::pair<int, int>{0, 0}));
    EXPECT_EQ(window->counts().restored, 4);
    EXPECT_EQ(window->counts().failed, 0);
    EXPECT_EQ(window->counts().skipped, 1);
    EXPECT_EQ(window->rows()[3].result, text("TXT00121"));
    EXPECT_EQ(readAll(m_source + QStringLiteral("a.txt")), QByteArray("a"));
    EXPECT_EQ(readAll(m_source + QStringLiteral("b.bin")), QByteArray("bb"));
    EXPECT_EQ(readAll(m_source + QStringLiteral("c.bin")), QByteArray("cc"));
    EXPECT_EQ(readAll(m_source + QStringLiteral("sub/d.txt")), QByteArray("d"));
    EXPECT_FALSE(QFileInfo::exists(m_source + QStringLiteral("e.txt")));
    EXPECT_EQ(namesIn(m_source), (QStringList{"a.txt", "b.bin", "c.bin", "sub"}));

    EXPECT_EQ(m_registrations, 1);
    EXPECT_EQ(
        m_registered,
        (QStringList{m_source + QStringLiteral("a.txt"), m_source + QStringLiteral("b.bin"),
                     m_source + QStringLiteral("c.bin"), m_source + QStringLiteral("sub/d.txt")}));
    const QString summary = QStringLiteral("4 ") + text("TXT00122") + QStringLiteral(" 5 ") +
                            text("TXT00123") + kBreak + QStringLiteral("0 ") + text("TXT00131") +
                            kBreak + QStringLiteral("1 ") + text("TXT00132");
    EXPECT_EQ(window->summary(), summary);
    ASSERT_FALSE(m_ui.messages().empty());
    EXPECT_EQ(m_ui.messages().back().title, text("TXT00124"));
    EXPECT_EQ(m_ui.messages().back().text, summary);
    EXPECT_EQ(m_ui.messages().back().icon, MessageIcon::None);
    EXPECT_TRUE(window->searchEnabled());
    EXPECT_FALSE(window->restoreEnabled());
    EXPECT_TRUE(workFolderEmpty());
}

TEST_F(FolderRestoreTest, PickedFolderGetsTheTargetsTreeAndFailuresAreCounted)
{
    putVersion(QStringLiteral("x.txt@20230105~080000.txt"), "x");
    putVersion(QStringLiteral("y.bin@20230105~080000") + kCopy + QStringLiteral(".zip"),
               packed(QStringLiteral("y.bin"), "yy", QStringLiteral("pw")));
    putVersion(QStringLiteral("z.bin@20230105~080000.zip"), "damaged");
    auto window = openWindow();
    window->search();
    runToEnd(*window);
    ASSERT_EQ(window->rows().size(), 3);
    // Checked anyway without a password: unpacking fails and counts as failed.
    window->setChecked(1, true);
    m_ui.queueFolder(m_picked);
    m_ui.queueAnswer(true);
    window->restore(true);
    ASSERT_EQ(m_ui.questions().size(), 1U);
    EXPECT_EQ(m_ui.questions()[0].text,
              text("TXT00126") + kBreak + m_picked + kBreak + text("TXT00127"));
    runToEnd(*window);
    EXPECT_EQ(readAll(m_picked + relative() + QStringLiteral("x.txt")), QByteArray("x"));
    EXPECT_FALSE(QFileInfo::exists(m_source + QStringLiteral("x.txt")));
    EXPECT_EQ(window->counts().restored, 1);
    EXPECT_EQ(window->counts().failed, 2);
    EXPECT_EQ(window->rows()[1].result, text("TXT00130"));
    EXPECT_EQ(window->rows()[2].result, text("TXT00130"));
    EXPECT_EQ(namesIn(m_picked + relative()), QStringList{QStringLiteral("x.txt")});
    EXPECT_EQ(m_registered, QStringList{m_picked + relative() + QStringLiteral("x.txt")});
    EXPECT_TRUE(workFolderEmpty());
}

TEST_F(FolderRestoreTest, NoAnswerOrCancelledPickerStartsNothing)
{
    putVersion(QStringLiteral("x.txt@20230105~080000.txt"), "x");
    auto window = openWindow();
    window->search();
    runToEnd(*window);
    m_ui.queueAnswer(false);
    window->restore(false);
    EXPECT_EQ(window->state(), FolderRestoreState::Results);
    window->restore(true); // the picker is cancelled
    EXPECT_EQ(window->state(), FolderRestoreState::Results);
    m_ui.queueFolder(QStringLiteral("relative/folder/"));
    window->restore(true);
    EXPECT_EQ(m_ui.messages().back().text, text("TXT00055"));
    EXPECT_EQ(window->state(), FolderRestoreState::Results);
    EXPECT_FALSE(window->step());
    EXPECT_FALSE(QFileInfo::exists(m_source + QStringLiteral("x.txt")));
}

TEST_F(FolderRestoreTest, CancelledSearchKeepsRowsButAllowsNoRestore)
{
    for (int i = 0; i < 6; ++i) {
        putVersion(QStringLiteral("f%1.txt@20230105~080000.txt").arg(i), "f", QStringLiteral("a/"));
    }
    putVersion(QStringLiteral("late.txt@20230105~080000.txt"), "l", QStringLiteral("b/"));
    auto window = openWindow();
    window->options().subFolders = true;
    window->search();
    // The folder's two entries, its end, the six entries of a/ and the end
    // of a/, which opens b/.
    for (int i = 0; i < 2 + 1 + 6 + 1; ++i) {
        ASSERT_TRUE(window->step());
    }
    EXPECT_EQ(window->rows().size(), 6);
    window->cancel();
    EXPECT_EQ(window->state(), FolderRestoreState::Cancelled);
    EXPECT_EQ(window->rows().size(), 6);
    EXPECT_FALSE(window->searchEnabled());
    EXPECT_FALSE(window->restoreEnabled());
    EXPECT_FALSE(window->step());
    m_ui.queueAnswer(true);
    window->restore(false);
    EXPECT_TRUE(m_ui.questions().empty());
    EXPECT_EQ(namesIn(m_source), QStringList{});
    window->cancel();
    EXPECT_EQ(window->state(), FolderRestoreState::Closed);
    EXPECT_TRUE(window->rows().isEmpty());
}

TEST_F(FolderRestoreTest, CancelledRestoreRegistersNothing)
{
    for (int i = 0; i < 4; ++i) {
        putVersion(QStringLiteral("f%1.txt@20230105~080000.txt").arg(i), "f");
    }
    auto window = openWindow();
    window->search();
    runToEnd(*window);
    m_ui.queueAnswer(true);
    window->restore(false);
    ASSERT_TRUE(window->step());
    ASSERT_TRUE(window->step());
    window->cancel();
    EXPECT_EQ(window->state(), FolderRestoreState::Cancelled);
    EXPECT_EQ(namesIn(m_source), (QStringList{"f0.txt", "f1.txt"}));
    EXPECT_EQ(m_registrations, 0);
    EXPECT_FALSE(window->step());
    EXPECT_FALSE(window->searchEnabled());
    EXPECT_TRUE(workFolderEmpty());
}

TEST_F(FolderRestoreTest, FtpTargetIsNotSearched)
{
    m_settings.target(2).TargetType = QStringLiteral("FTP");
    m_settings.SelectedTarget = 2;
    putVersion(QStringLiteral("x.txt@20230105~080000.txt"), "x");
    auto window = openWindow();
    window->search();
    runToEnd(*window);
    EXPECT_TRUE(window->rows().isEmpty());
    EXPECT_FALSE(window->restoreEnabled());
}

} // namespace fernhold::test
