#include "core/text_table.h"
#include "engine/target_layout.h"
#include "file_rights.h"
#include "restore/backup_browser.h"
#include "restore/folder_restore_window.h"
#include "restore_page_driver.h"
#include "run_program.h"
#include "settings_window_fixture.h"
#include "ui/settings/folder_restore_dialog.h"
#include "ui/settings/restore_page.h"

#include <QCheckBox>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QtTest/QTest>

namespace fernhold::test {

namespace {

// Bytes that do not compress, so most of an archive is its file's data.
QByteArray noise(int size, quint32 seed)
{
    QByteArray bytes(size, '\0');
    for (char& c : bytes) {
        seed = seed * 1664525U + 1013904223U;
        c = static_cast<char>(seed >> 24);
    }
    return bytes;
}

// The restore page and the folder restore window over a folder target that
// a real `fernhold --once --full` filled with zip versions of Docs/a.txt and
// Docs/b.txt; afterwards both files are changed, so every restore would
// replace them.
class RestoreFaultsTest : public SettingsWindowTest
{
protected:
    void prepare(bool encrypted)
    {
        m_vault = m_home.path() + QStringLiteral("vault/");
        m_source = m_home.path() + QStringLiteral("Docs/");
        m_home.writeFile(QStringLiteral("Docs/a.txt"), m_firstA);
        m_home.writeFile(QStringLiteral("Docs/b.txt"), "bee");
        ASSERT_TRUE(QDir().mkpath(m_vault));
        QList<QStringList> commands{
            {QStringLiteral("config"), QStringLiteral("set"), QStringLiteral("TargetDir"), m_vault},
            {QStringLiteral("config"), QStringLiteral("set"), QStringLiteral("CompressData"),
             QStringLiteral("1")},
            {QStringLiteral("source"), QStringLiteral("add"), m_source, QStringLiteral("--targets"),
             QStringLiteral("1")}};
        if (encrypted) {
            commands.append({QStringLiteral("config"), QStringLiteral("set"),
                             QStringLiteral("CryptPassword"), QStringLiteral("--stdin")});
            commands.append({QStringLiteral("config"), QStringLiteral("set"),
                             QStringLiteral("CryptData"), QStringLiteral("1")});
        }
        commands.append({QStringLiteral("--once"), QStringLiteral("--full")});
        for (const QStringList& command : commands) {
            const RunResult run = RunFernhold(command, "right password\n");
            ASSERT_TRUE(run.finished);
            ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        }
        ASSERT_FALSE(versionOf(QStringLiteral("a.txt")).isEmpty());
        m_home.writeFile(QStringLiteral("Docs/a.txt"), "mine now");
        m_home.writeFile(QStringLiteral("Docs/b.txt"), "b mine now");
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

    static bool waitDialog(FolderRestoreDialog& dialog)
    {
        return QTest::qWaitFor([&dialog] { return !dialog.running(); }, 30000);
    }

    // Selects the file's version and presses the button to the source folder.
    static void restoreToSource(RestorePage& page, const QString& name)
    {
        const int row = ShownNames(page).indexOf(name);
        ASSERT_GE(row, 0) << name.toStdString();
        ClickRow(page, row);
        QTest::mouseClick(page.toSourceButton(), Qt::LeftButton);
        ASSERT_TRUE(WaitIdle(page));
        // Messages from the worker arrive queued: let them show.
        QTest::qWait(100);
    }

    // Opens the folder restore window on the current folder and searches it.
    static FolderRestoreDialog* searchFolder(RestorePage& page, const QString& filter = {})
    {
        QTest::mouseClick(page.folderButton(), Qt::LeftButton);
        FolderRestoreDialog* dialog = page.folderDialog();
        if (dialog == nullptr) {
            return nullptr;
        }
        dialog->nameBox()->setChecked(!filter.isNull());
        dialog->nameField()->setText(filter);
        QTest::mouseClick(dialog->searchButton(), Qt::LeftButton);
        EXPECT_TRUE(waitDialog(*dialog));
        return dialog;
    }

    static void restoreAll(FolderRestoreDialog& dialog)
    {
        BoxAnswerer yes(QMessageBox::Yes);
        QTest::mouseClick(dialog.toSourceButton(), Qt::LeftButton);
        ASSERT_TRUE(waitDialog(dialog));
        QTest::qWait(50); // the summary box
    }

    QString versionOf(const QString& name) const
    {
        QDirIterator it(m_vault + MirrorText(m_source), {name + QStringLiteral("@*")}, QDir::Files);
        return it.hasNext() ? it.next() : QString();
    }

    // The names in the source folder: no temporary file of a failed restore stays.
    QStringList sourceNames() const
    {
        return QDir(m_source).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    }

    const QStringList m_both{QStringLiteral("a.txt"), QStringLiteral("b.txt")};
    QByteArray m_firstA = "the first a";
    QString m_vault;
    QString m_source;
};

} // namespace

TEST_F(RestoreFaultsTest, EncryptedVersionWantsTheRightPassword)
{
    prepare(true);
    RestorePage& page = openPage();
    WalkToSource(page, m_source);
    {
        // Without a password nothing is asked and nothing is written.
        BoxAnswerer yes(QMessageBox::Yes);
        restoreToSource(page, QStringLiteral("a.txt"));
        ASSERT_EQ(yes.texts.size(), 1) << yes.texts.join(u'|').toStdString();
        EXPECT_EQ(yes.texts.first(), Text("TXT00057"));
    }
    EXPECT_EQ(page.lastRestoreResult(), 0);
    {
        page.passwordField()->setText(QStringLiteral("wrong password"));
        BoxAnswerer yes(QMessageBox::Yes);
        restoreToSource(page, QStringLiteral("a.txt"));
        EXPECT_EQ(yes.texts.size(), 2) << yes.texts.join(u'|').toStdString();
        EXPECT_EQ(yes.texts.value(1), Text("TXT00059"));
    }
    EXPECT_EQ(page.lastRestoreResult(), 0);
    EXPECT_EQ(ReadAll(m_source + QStringLiteral("a.txt")), QByteArray("mine now"));
    EXPECT_EQ(sourceNames(), m_both);

    // The folder window: the wrong password fails each row, the files stay.
    FolderRestoreDialog* dialog = searchFolder(page);
    ASSERT_NE(dialog, nullptr);
    ASSERT_EQ(dialog->model().rows().size(), 2);
    restoreAll(*dialog);
    EXPECT_EQ(dialog->model().counts().failed, 2);
    EXPECT_EQ(dialog->model().counts().restored, 0);
    EXPECT_EQ(ReadAll(m_source + QStringLiteral("b.txt")), QByteArray("b mine now"));
    EXPECT_EQ(sourceNames(), m_both);
    static_cast<QDialog*>(dialog)->reject();

    // The right one restores.
    page.passwordField()->setText(QStringLiteral("right password"));
    BoxAnswerer yes(QMessageBox::Yes);
    restoreToSource(page, QStringLiteral("a.txt"));
    EXPECT_EQ(page.lastRestoreResult(), 1) << yes.texts.join(u'|').toStdString();
    EXPECT_EQ(ReadAll(m_source + QStringLiteral("a.txt")), m_firstA);
}

TEST_F(RestoreFaultsTest, DamagedArchivesLeaveTheDestination)
{
    m_firstA = noise(64 * 1024, 7);
    prepare(false);
    // a.txt: its data garbled (the listing still works, the unpacking fails);
    // b.txt: cut short (not even the listing works).
    QFile a(versionOf(QStringLiteral("a.txt")));
    ASSERT_TRUE(a.open(QIODevice::ReadWrite));
    ASSERT_GT(a.size(), 60000);
    ASSERT_TRUE(a.seek(a.size() / 2));
    ASSERT_EQ(a.write(noise(512, 99)), 512);
    a.close();
    ASSERT_TRUE(QFile::resize(versionOf(QStringLiteral("b.txt")), 40));

    RestorePage& page = openPage();
    WalkToSource(page, m_source);
    for (const QString& name : m_both) {
        BoxAnswerer yes(QMessageBox::Yes);
        restoreToSource(page, name);
        EXPECT_EQ(page.lastRestoreResult(), 0);
        ASSERT_EQ(yes.texts.size(), 2) << yes.texts.join(u'|').toStdString();
        EXPECT_TRUE(yes.texts[1].startsWith(Text("TXT00060"))) << yes.texts[1].toStdString();
    }
    FolderRestoreDialog* dialog = searchFolder(page);
    ASSERT_NE(dialog, nullptr);
    ASSERT_EQ(dialog->model().rows().size(), 2);
    restoreAll(*dialog);
    EXPECT_EQ(dialog->model().counts().failed, 2);
    EXPECT_EQ(ReadAll(m_source + QStringLiteral("a.txt")), QByteArray("mine now"));
    EXPECT_EQ(ReadAll(m_source + QStringLiteral("b.txt")), QByteArray("b mine now"));
    EXPECT_EQ(sourceNames(), m_both);
    static_cast<QDialog*>(dialog)->reject();
}

TEST_F(RestoreFaultsTest, TargetFolderGoneAfterListing)
{
    prepare(false);
    RestorePage& page = openPage();
    WalkToSource(page, m_source);
    const QString moved = m_home.path() + QStringLiteral("moved/");
    ASSERT_TRUE(QDir().rename(m_vault, moved));
    {
        BoxAnswerer yes(QMessageBox::Yes);
        restoreToSource(page, QStringLiteral("a.txt"));
        ASSERT_EQ(yes.texts.size(), 2) << yes.texts.join(u'|').toStdString();
        EXPECT_TRUE(yes.texts[1].startsWith(Text("TXT00050"))) << yes.texts[1].toStdString();
    }
    EXPECT_EQ(ReadAll(m_source + QStringLiteral("a.txt")), QByteArray("mine now"));
    EXPECT_FALSE(page.working());
    EXPECT_EQ(page.pathField()->text(), MirrorText(m_source));
    {
        // The folder window says which folder it could not read.
        BoxAnswerer ok;
        FolderRestoreDialog* dialog = searchFolder(page);
        ASSERT_NE(dialog, nullptr);
        QTest::qWait(50);
        EXPECT_TRUE(dialog->model().rows().isEmpty());
        EXPECT_TRUE(ok.texts.join(u'|').contains(Text("TXT00412")))
            << ok.texts.join(u'|').toStdString();
        EXPECT_TRUE(dialog->searchButton()->isEnabled());
        EXPECT_FALSE(dialog->toSourceButton()->isEnabled());
        static_cast<QDialog*>(dialog)->reject();
    }

    // Listing again shows the empty folder; with the target back the page works on.
    QTest::mouseClick(page.listButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitIdle(page));
    EXPECT_EQ(page.list()->topLevelItemCount(), 0);
    ASSERT_TRUE(QDir().rename(moved, m_vault));
    QTest::mouseClick(page.listButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitIdle(page));
    BoxAnswerer yes(QMessageBox::Yes);
    restoreToSource(page, QStringLiteral("a.txt"));
    EXPECT_EQ(page.lastRestoreResult(), 1) << yes.texts.join(u'|').toStdString();
    EXPECT_EQ(ReadAll(m_source + QStringLiteral("a.txt")), m_firstA);
}

TEST_F(RestoreFaultsTest, DestinationWithoutWriteRight)
{
    prepare(false);
    RestorePage& page = openPage();
    WalkToSource(page, m_source);
    ASSERT_TRUE(QFile::setPermissions(m_source, QFile::ReadOwner | QFile::ExeOwner));
    {
        // The worker thread of a restore starts with this thread's rights.
        const WithoutFileOverride rights;
        if (!rights.works()) {
            (void)QFile::setPermissions(m_source,
                                        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            GTEST_SKIP() << "the right to write everywhere cannot be given up here";
        }
        {
            BoxAnswerer yes(QMessageBox::Yes);
            restoreToSource(page, QStringLiteral("a.txt"));
            EXPECT_EQ(page.lastRestoreResult(), 0);
            // The message may come a moment after the job on a busy machine.
            (void)QTest::qWaitFor([&yes] { return yes.texts.size() >= 2; }, 5000);
            ASSERT_EQ(yes.texts.size(), 2) << yes.texts.join(u'|').toStdString();
            EXPECT_TRUE(yes.texts[1].startsWith(Text("TXT00060"))) << yes.texts[1].toStdString();
        }
        FolderRestoreDialog* dialog = searchFolder(page);
        ASSERT_NE(dialog, nullptr);
        restoreAll(*dialog);
        EXPECT_EQ(dialog->model().counts().failed, 2);
        static_cast<QDialog*>(dialog)->reject();
    }
    ASSERT_TRUE(
        QFile::setPermissions(m_source, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    EXPECT_EQ(ReadAll(m_source + QStringLiteral("a.txt")), QByteArray("mine now"));
    EXPECT_EQ(ReadAll(m_source + QStringLiteral("b.txt")), QByteArray("b mine now"));
    EXPECT_EQ(sourceNames(), m_both);
}

TEST_F(RestoreFaultsTest, NameFilterOfCommasNamesNoFile)
{
    prepare(false);
    RestorePage& page = openPage();
    WalkToSource(page, m_source);
    FolderRestoreDialog* dialog = searchFolder(page, QStringLiteral(",,,"));
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->model().rows().isEmpty());
    EXPECT_FALSE(dialog->toSourceButton()->isEnabled());
    EXPECT_TRUE(dialog->searchButton()->isEnabled());

    // An empty pattern beside a real one adds nothing.
    dialog->nameField()->setText(QStringLiteral(",A.T,"));
    QTest::mouseClick(dialog->searchButton(), Qt::LeftButton);
    ASSERT_TRUE(waitDialog(*dialog));
    ASSERT_EQ(dialog->model().rows().size(), 1);
    EXPECT_TRUE(dialog->model().rows().first().path.endsWith(QStringLiteral("/a.txt")));
    static_cast<QDialog*>(dialog)->reject();
}

TEST_F(RestoreFaultsTest, CancelledFolderRestoreLeavesWholeFiles)
{
    constexpr int kFiles = 6;
    prepare(false);
    for (int i = 0; i < kFiles; ++i) {
        m_home.writeFile(QStringLiteral("Docs/f%1.bin").arg(i), noise(256 * 1024, i));
    }
    const RunResult pass = RunFernhold({QStringLiteral("--once")});
    ASSERT_EQ(pass.exitCode, 0) << pass.err.toStdString();
    for (int i = 0; i < kFiles; ++i) {
        m_home.writeFile(QStringLiteral("Docs/f%1.bin").arg(i), "changed");
    }
    RestorePage& page = openPage();
    WalkToSource(page, m_source);
    FolderRestoreDialog* dialog = searchFolder(page, QStringLiteral("f"));
    ASSERT_NE(dialog, nullptr);
    ASSERT_EQ(dialog->model().rows().size(), kFiles);

    // Cancel as soon as two rows are done, between two steps as a click comes.
    bool cancelled = false;
    QObject::connect(dialog->progressBar(), &QProgressBar::valueChanged, dialog, [&] {
        if (!cancelled && dialog->model().rowsDone() >= 2) {
            cancelled = true;
            dialog->cancelButton()->click();
        }
    });
    BoxAnswerer yes(QMessageBox::Yes);
    QTest::mouseClick(dialog->toSourceButton(), Qt::LeftButton);
    ASSERT_TRUE(waitDialog(*dialog));
    QTest::qWait(50);
    ASSERT_TRUE(cancelled);
    EXPECT_EQ(dialog->model().state(), FolderRestoreState::Cancelled);
    EXPECT_EQ(yes.texts.size(), 1) << "no summary after a cancel";
    const int done = dialog->model().rowsDone();
    EXPECT_GE(done, 2);
    EXPECT_LT(done, kFiles);
    EXPECT_EQ(dialog->model().counts().restored, done);
    EXPECT_EQ(dialog->model().counts().failed, 0);
    EXPECT_FALSE(dialog->searchButton()->isEnabled());
    EXPECT_FALSE(dialog->toSourceButton()->isEnabled());
    for (int row = 0; row < kFiles; ++row) {
        const QString path = dialog->model().rows().at(row).path;
        const int i = path.right(5).left(1).toInt(); // ".../fN.bin"
        const QByteArray now = ReadAll(m_source + QStringLiteral("f%1.bin").arg(i));
        if (row < done) {
            EXPECT_EQ(now, noise(256 * 1024, i)) << path.toStdString();
        } else {
            EXPECT_EQ(now, QByteArray("changed")) << path.toStdString();
        }
    }
    EXPECT_EQ(sourceNames().size(), kFiles + 2);
    QTest::mouseClick(dialog->cancelButton(), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&page] { return page.folderDialog() == nullptr; }, 2000));
}

TEST_F(RestoreFaultsTest, AsksBeforeReplacingOnlyWhatThePickedFolderHolds)
{
    prepare(false);
    const QString picked = m_home.path() + QStringLiteral("picked/");
    ASSERT_TRUE(QDir().mkpath(picked));
    RestorePage& page = openPage();
    WalkToSource(page, m_source);
    FolderPickerAnswer pick(picked);
    ClickRow(page, ShownNames(page).indexOf(QStringLiteral("a.txt")));
    {
        BoxAnswerer yes(QMessageBox::Yes);
        QTest::mouseClick(page.toFolderButton(), Qt::LeftButton);
        ASSERT_TRUE(WaitIdle(page));
        EXPECT_EQ(page.lastRestoreResult(), 1);
        // Only the outcome: there was nothing to replace.
        ASSERT_EQ(yes.texts.size(), 1) << yes.texts.join(u'|').toStdString();
        EXPECT_TRUE(yes.texts[0].startsWith(Text("TXT00058")));
    }
    EXPECT_EQ(ReadAll(picked + QStringLiteral("a.txt")), m_firstA);
    m_home.writeFile(QStringLiteral("picked/a.txt"), "keep me");
    {
        BoxAnswerer no(QMessageBox::No);
        QTest::mouseClick(page.toFolderButton(), Qt::LeftButton);
        ASSERT_TRUE(WaitIdle(page));
        ASSERT_EQ(no.texts.size(), 1) << no.texts.join(u'|').toStdString();
        EXPECT_TRUE(no.texts[0].startsWith(Text("TXT00056")));
    }
    EXPECT_EQ(page.lastRestoreResult(), 0);
    EXPECT_EQ(ReadAll(picked + QStringLiteral("a.txt")), QByteArray("keep me"));
}

} // namespace fernhold::test
