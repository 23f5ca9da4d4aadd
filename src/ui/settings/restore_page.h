#pragma once

#include "ui/settings/folder_restore_dialog.h"
#include "ui/settings/settings_page.h"

#include <QDate>
#include <QPointer>
#include <atomic>
#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLineEdit;
class QPushButton;
class QTimer;
class QToolButton;
class QTreeWidget;

namespace fernhold {

class BackupBrowser;
class SlotJob;

// Page 3: walks the folders of the current target, lists the versions kept
// there and restores one of them, or opens the folder restore. Listings and
// restores run as slot jobs on the worker, so a slow server never freezes
// the window; the stop button cancels them.
class RestorePage : public SettingsPage
{
    Q_OBJECT
public:
    explicit RestorePage(SettingsContext& context, QWidget* parent = nullptr);
    ~RestorePage() override;

    void fill(const JobSettings& settings) override;
    void read(JobSettings& settings) override;
    void entered() override;
    void left() override;
    void showTarget(const JobSettings& settings) override;
    void closing() override;

    [[nodiscard]] QComboBox* chooser() const { return m_chooser; }
    [[nodiscard]] QToolButton* homeButton() const { return m_home; }
    [[nodiscard]] QToolButton* upButton() const { return m_up; }
    [[nodiscard]] QLineEdit* pathField() const { return m_path; }
    [[nodiscard]] QTreeWidget* list() const { return m_list; }
    [[nodiscard]] QLineEdit* passwordField() const { return m_password; }
    [[nodiscard]] QPushButton* toSourceButton() const { return m_toSource; }
    [[nodiscard]] QPushButton* toFolderButton() const { return m_toFolder; }
    [[nodiscard]] QPushButton* folderButton() const { return m_byDate; }
    [[nodiscard]] QCheckBox* nameBox() const { return m_nameBox; }
    [[nodiscard]] QLineEdit* nameField() const { return m_name; }
    [[nodiscard]] QCheckBox* dateBox() const { return m_dateBox; }
    [[nodiscard]] QDateEdit* datePicker() const { return m_date; }
    [[nodiscard]] QPushButton* listButton() const { return m_listAgain; }
    [[nodiscard]] QPushButton* stopButton() const { return m_stop; }
    [[nodiscard]] BackupBrowser& browser() const { return *m_browser; }
    // True while a listing or a restore runs on the worker.
    [[nodiscard]] bool working() const { return m_job != nullptr; }
    // 1 when the last restore of a version wrote its file.
    [[nodiscard]] int lastRestoreResult() const { return m_lastRestore; }

    // The folder restore window GAD00200 opened last, while it is open.
    [[nodiscard]] FolderRestoreDialog* folderDialog() const { return m_dialog; }

private:
    void run(std::function<void()> work, std::function<void()> after = {});
    void step();
    void list(std::function<void()> navigate);
    void listed();
    void showRows();
    void clicked(int row, bool doubleClick);
    void clickedOutside();
    void restoreVersion(bool toPickedFolder);
    void showButtons();
    void openFolderRestore();

    bool eventFilter(QObject* watched, QEvent* event) override;

    std::unique_ptr<BackupBrowser> m_browser;
    QComboBox* m_chooser = nullptr;
    QToolButton* m_home = nullptr;
    QToolButton* m_up = nullptr;
    QLineEdit* m_path = nullptr;
    QTreeWidget* m_list = nullptr;
    QLineEdit* m_password = nullptr;
    QPushButton* m_toSource = nullptr;
    QPushButton* m_toFolder = nullptr;
    QPushButton* m_byDate = nullptr;
    QCheckBox* m_nameBox = nullptr;
    QLineEdit* m_name = nullptr;
    QCheckBox* m_dateBox = nullptr;
    QDateEdit* m_date = nullptr;
    QPushButton* m_listAgain = nullptr;
    QPushButton* m_stop = nullptr;
    QTimer* m_stepTimer = nullptr;
    std::unique_ptr<SlotJob> m_job;
    std::function<void()> m_after;
    // Read by the FTP transfers and the archiver on the worker.
    std::shared_ptr<std::atomic<bool>> m_cancel;
    QPointer<FolderRestoreDialog> m_dialog;
    int m_lastRestore = 0;
    bool m_shown = false;
};

} // namespace fernhold
