#include "core/text_table.h"
#include "engine/target_layout.h"
#include "restore/backup_browser.h"
#include "restore/folder_restore_window.h"
#include "restore_page_driver.h"
#include "run_program.h"
#include "settings_window_fixture.h"
#include "ui/settings/folder_restore_dialog.h"
#include "ui/settings/restore_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest/QTest>

namespace fernhold::test {

namespace {

// The restore page over a folder target written by a real `fernhold --once`
// pass (compressed, so every version ends in ".zip"), with a sub-folder x
// and the files a.txt and b.txt.
class RestorePageTest : public SettingsWindowTest
{
protected:
    void SetUp() override
    {
        m_vault = m_home.path() + QStringLiteral("vault/");
        m_source = m_home.path() + QStringLiteral("Docs/");
        m_home.writeFile(QStringLiteral("Docs/b.txt"), "bee");
        m_home.writeFile(QStringLiteral("Docs/a.txt"), "the first a");
        m_home.writeFile(QStringLiteral("Docs/x/inner.txt"), "inner");
        // A pass waits for a target folder that is missing.
        ASSERT_TRUE(QDir().mkpath(m_vault));
        for (const QStringList& command :
             {QStringList{QStringLiteral("config"), QStringLiteral("set"),
                          QStringLiteral("TargetDir"), m_vault},
              QStringList{QStringLiteral("config"), QStringLiteral("set"),
                          QStringLiteral("CompressData"), QStringLiteral("1")},
              QStringList{QStringLiteral("source"), QStringLiteral("add"), m_source,
                          QStringLiteral("--targets"), QStringLiteral("1")},
              QStringList{QStringLiteral("--once"), QStringLiteral("--full")}}) {
            const RunResult run = RunFernhold(command);
            ASSERT_TRUE(run.finished);
            ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        }
        JobSettings& s = m_app->settings();
        s.target(1).TargetType = QStringLiteral("WIN");
        s.target(1).TargetDir = m_vault;
        s.SelectedTarget = 1;
        s.CurrentPage = 0;
    }

    RestorePage& openPage()
    {
        openWindow();
        showPage(3);
        auto& page = this->page<RestorePage>(3);
        EXPECT_TRUE(WaitIdle(page));
        return page;
    }

    QString versionOf(const QString& name) const
    {
        QDirIterator it(m_vault + MirrorText(m_source), {name + QStringLiteral("@*")}, QDir::Files);
        return it.hasNext() ? it.next() : QString();
    }

    QString m_vault;
    QString m_source;
};

} // namespace

TEST_F(RestorePageTest, WalksTheTargetAndOrdersFoldersBeforeVersions)
{
    RestorePage& page = openPage();
    EXPECT_EQ(page.browser().currentFolder(), QString());
    EXPECT_FALSE(page.folderButton()->isEnabled()) << "no folder restore at the root";
    EXPECT_FALSE(page.toSourceButton()->isEnabled());
    EXPECT_FALSE(page.nameField()->isEnabled());
    EXPECT_FALSE(page.datePicker()->isEnabled());
    EXPECT_TRUE(page.datePicker()->calendarPopup());
    WalkToSource(page, m_source);
    EXPECT_EQ(ShownNames(page),
              (QStringList{QStringLiteral("x"), QStringLiteral("a.txt"), QStringLiteral("b.txt")}));
    EXPECT_EQ(page.pathField()->text(), MirrorText(m_source));
    EXPECT_TRUE(page.folderButton()->isEnabled());
    QTreeWidgetItem* a = page.list()->topLevelItem(1);
    EXPECT_EQ(a->text(1).left(10), QDate::currentDate().toString(QStringLiteral("yyyy/MM/dd")));
    EXPECT_FALSE(a->icon(0).isNull());

    // A version row selects; a click below the rows clears the selection.
    ClickRow(page, 2);
    EXPECT_TRUE(page.browser().selectedVersion().startsWith(QStringLiteral("b.txt@")));
    EXPECT_TRUE(page.toSourceButton()->isEnabled());
    EXPECT_TRUE(page.toFolderButton()->isEnabled());
    QTest::mouseClick(page.list()->viewport(), Qt::LeftButton, {},
                      QPoint(10, page.list()->viewport()->height() - 3));
    EXPECT_EQ(page.browser().selectedVersion(), QString());
    EXPECT_FALSE(page.toSourceButton()->isEnabled());
    EXPECT_FALSE(page.folderButton()->isEnabled());

    // Up leads to the parent; home to the root.
    QTest::mouseClick(page.upButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitIdle(page));
    QString parent = MirrorText(m_source);
    parent.chop(1);
    parent = parent.left(parent.lastIndexOf(u'/') + 1);
    EXPECT_EQ(page.browser().currentFolder(), parent);
    EXPECT_TRUE(ShownNames(page).contains(QStringLiteral("Docs")));
    QTest::mouseClick(page.homeButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitIdle(page));
    EXPECT_EQ(page.browser().currentFolder(), QString());
    EXPECT_FALSE(page.folderButton()->isEnabled());
}

TEST_F(RestorePageTest, FiltersByNameAndDate)
{
    // An older version beside the pass's ones, as an earlier day left it.
    ASSERT_TRUE(
        QFile::copy(versionOf(QStringLiteral("a.txt")),
                    m_vault + MirrorText(m_source) + QStringLiteral("a.txt@20230102~090000.zip")));
    RestorePage& page = openPage();
    WalkToSource(page, m_source);
    ASSERT_EQ(ShownNames(page).size(), 4);

    page.dateBox()->setChecked(true);
    EXPECT_TRUE(page.datePicker()->isEnabled());
    page.datePicker()->setDate(QDate(2023, 1, 2));
    QTest::mouseClick(page.listButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitIdle(page));
    EXPECT_EQ(ShownNames(page), (QStringList{QStringLiteral("x"), QStringLiteral("a.txt")}));
    ClickRow(page, 1);
    EXPECT_EQ(page.browser().selectedVersion(), QStringLiteral("a.txt@20230102~090000.zip"));

    // The name filter sees the whole version name, suffix included.
    page.dateBox()->setChecked(false);
    page.nameBox()->setChecked(true);
    EXPECT_TRUE(page.nameField()->isEnabled());
    page.nameField()->setText(QStringLiteral("ZIP"));
    QTest::mouseClick(page.listButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitIdle(page));
    EXPECT_EQ(ShownNames(page), (QStringList{QStringLiteral("x"), QStringLiteral("a.txt"),
                                             QStringLiteral("a.txt"), QStringLiteral("b.txt")}));
    page.nameField()->setText(QStringLiteral("b.t"));
    QTest::mouseClick(page.listButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitIdle(page));
    EXPECT_EQ(ShownNames(page), (QStringList{QStringLiteral("x"), QStringLiteral("b.txt")}));

    // Opening the page again starts without filters.
    showPage(0);
    EXPECT_EQ(page.list()->topLevelItemCount(), 0);
    showPage(3);
    ASSERT_TRUE(WaitIdle(page));
    EXPECT_FALSE(page.nameBox()->isChecked());
    EXPECT_FALSE(page.nameField()->isEnabled());
}

TEST_F(RestorePageTest, DoubleClickRestoresOverAChangedFileAfterAsking)
{
    RestorePage& page = openPage();
    WalkToSource(page, m_source);
    m_home.writeFile(QStringLiteral("Docs/a.txt"), "changed since the pass");
    {
        BoxAnswerer yes(QMessageBox::Yes);
        ClickRow(page, 1);
        ClickRow(page, 1, true);
        ASSERT_TRUE(WaitIdle(page));
        EXPECT_GE(yes.texts.size(), 1) << "the overwrite question";
    }
    EXPECT_EQ(page.lastRestoreResult(), 1);
    EXPECT_EQ(ReadAll(m_source + QStringLiteral("a.txt")), QByteArray("the first a"));
}

TEST_F(RestorePageTest, DeclinedOverwriteLeavesTheFile)
{
    RestorePage& page = openPage();
    WalkToSource(page, m_source);
    m_home.writeFile(QStringLiteral("Docs/b.txt"), "keep me");
    {
        BoxAnswerer no(QMessageBox::No);
        ClickRow(page, 2);
        QTest::mouseClick(page.toSourceButton(), Qt::LeftButton);
        ASSERT_TRUE(WaitIdle(page));
        EXPECT_FALSE(no.texts.isEmpty());
    }
    EXPECT_EQ(page.lastRestoreResult(), 0);
    EXPECT_EQ(ReadAll(m_source + QStringLiteral("b.txt")), QByteArray("keep me"));
}

TEST_F(RestorePageTest, RestoresToAPickedFolder)
{
    const QString picked = m_home.path() + QStringLiteral("picked/");
    ASSERT_TRUE(QDir().mkpath(picked));
    RestorePage& page = openPage();
    WalkToSource(page, m_source);
    ClickRow(page, 2);
    FolderPickerAnswer pick(picked);
    BoxAnswerer rest(QMessageBox::Yes);
    QTest::mouseClick(page.toFolderButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitIdle(page));
    EXPECT_EQ(page.lastRestoreResult(), 1) << rest.texts.join(u'|').toStdString();
    EXPECT_EQ(ReadAll(picked + QStringLiteral("b.txt")), QByteArray("bee"));
    EXPECT_EQ(ReadAll(m_source + QStringLiteral("b.txt")), QByteArray("bee"));
}

TEST_F(RestorePageTest, FolderRestoreLeavesAnUncheckedRowAlone)
{
    // A second pass gives a.txt and b.txt newer versions; the oldest are wanted back.
    QTest::qWait(1100);
    m_home.writeFile(QStringLiteral("Docs/a.txt"), "the second a");
    m_home.writeFile(QStringLiteral("Docs/b.txt"), "the second b");
    const RunResult second = RunFernhold({QStringLiteral("--once")});
    ASSERT_EQ(second.exitCode, 0) << second.err.toStdString();
    m_home.writeFile(QStringLiteral("Docs/a.txt"), "a changed after both passes");
    m_home.writeFile(QStringLiteral("Docs/b.txt"), "b changed after both passes");

    RestorePage& page = openPage();
    WalkToSource(page, m_source);
    QTest::mouseClick(page.folderButton(), Qt::LeftButton);
    FolderRestoreDialog* dialog = page.folderDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->fromDate()->date(), QDate::currentDate());
    EXPECT_FALSE(dialog->toSourceButton()->isEnabled());
    dialog->oldestOption()->setChecked(true);
    QTest::mouseClick(dialog->searchButton(), Qt::LeftButton);
    QElapsedTimer since;
    since.start();
    while (dialog->running() && since.elapsed() < 20000) {
        QTest::qWait(10);
    }
    ASSERT_FALSE(dialog->running());
    QTreeWidget* results = dialog->results();
    ASSERT_EQ(results->topLevelItemCount(), 2);
    EXPECT_TRUE(dialog->toSourceButton()->isEnabled());
    int bRow = results->topLevelItem(0)->text(1).endsWith(QStringLiteral("b.txt")) ? 0 : 1;
    results->topLevelItem(bRow)->setCheckState(0, Qt::Unchecked);
    {
        BoxAnswerer yes(QMessageBox::Yes);
        QTest::mouseClick(dialog->toSourceButton(), Qt::LeftButton);
        since.restart();
        while (dialog->running() && since.elapsed() < 20000) {
            QTest::qWait(10);
        }
        QTest::qWait(100);
    }
    ASSERT_FALSE(dialog->running());
    EXPECT_EQ(dialog->model().counts().restored, 1);
    EXPECT_EQ(dialog->model().counts().skipped, 1);
    EXPECT_EQ(dialog->progressBar()->value(), 100);
    EXPECT_EQ(dialog->counter()->text(), QStringLiteral("2/2"));
    EXPECT_EQ(ReadAll(m_source + QStringLiteral("a.txt")), QByteArray("the first a"));
    EXPECT_EQ(ReadAll(m_source + QStringLiteral("b.txt")),
              QByteArray("b changed after both passes"));
    QTest::mouseClick(dialog->cancelButton(), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&page] { return page.folderDialog() == nullptr; }, 2000));
}

// Without a mouse: Return on a folder row opens it, Space on a version
// chooses it for the restore buttons.
TEST_F(RestorePageTest, WalksTheTargetWithTheKeyboard)
{
    RestorePage& page = openPage();
    QTreeWidget* list = page.list();
    list->setFocus();
    for (const QString& part : MirrorText(m_source).split(u'/', Qt::SkipEmptyParts)) {
        const int row = ShownNames(page).indexOf(part);
        ASSERT_GE(row, 0) << part.toStdString();
        list->setCurrentItem(list->topLevelItem(row));
        QTest::keyClick(list, Qt::Key_Return);
        ASSERT_TRUE(WaitIdle(page));
    }
    ASSERT_EQ(page.browser().currentFolder(), MirrorText(m_source));
    EXPECT_FALSE(page.toSourceButton()->isEnabled());
    list->setCurrentItem(list->topLevelItem(ShownNames(page).indexOf(QStringLiteral("b.txt"))));
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_TRUE(page.browser().selectedVersion().startsWith(QStringLiteral("b.txt@")));
    EXPECT_TRUE(page.toSourceButton()->isEnabled());
}

} // namespace fernhold::test
