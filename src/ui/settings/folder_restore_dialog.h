#pragma once

#include "restore/folder_restore_run.h"

#include <QDialog>
#include <memory>

class QCheckBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTimer;
class QTreeWidget;

namespace fernhold {

class Archiver;
class FolderRestoreWindow;
class UserInterface;
struct Folders;
struct JobSettings;

// The folder restore window: searches a folder of a folder target for one
// version per file in a range of days and restores the checked rows. Both
// phases are step jobs driven by a timer, so the window keeps painting and
// its cancel button answers between two steps.
class FolderRestoreDialog : public QDialog
{
    Q_OBJECT
public:
    // `registerRestored` gets the files of a restore that ran to its end.
    FolderRestoreDialog(const JobSettings& settings, UserInterface& ui, const Folders& folders,
                        const QString& folder, const QString& password,
                        RegisterRestored registerRestored = {}, QWidget* parent = nullptr);
    ~FolderRestoreDialog() override;

    [[nodiscard]] FolderRestoreWindow& model() const { return *m_model; }
    [[nodiscard]] QLineEdit* passwordField() const { return m_password; }
    [[nodiscard]] QRadioButton* newestOption() const { return m_newest; }
    [[nodiscard]] QRadioButton* oldestOption() const { return m_oldest; }
    [[nodiscard]] QDateEdit* fromDate() const { return m_from; }
    [[nodiscard]] QDateEdit* toDate() const { return m_to; }
    [[nodiscard]] QCheckBox* subFolderBox() const { return m_subFolders; }
    [[nodiscard]] QCheckBox* nameBox() const { return m_nameBox; }
    [[nodiscard]] QLineEdit* nameField() const { return m_name; }
    [[nodiscard]] QTreeWidget* results() const { return m_results; }
    [[nodiscard]] QPushButton* searchButton() const { return m_search; }
    [[nodiscard]] QPushButton* toSourceButton() const { return m_toSource; }
    [[nodiscard]] QPushButton* toFolderButton() const { return m_toFolder; }
    [[nodiscard]] QPushButton* cancelButton() const { return m_cancel; }
    [[nodiscard]] QProgressBar* progressBar() const { return m_progress; }
    [[nodiscard]] QProgressBar* activityBar() const { return m_activity; }
    [[nodiscard]] QLabel* counter() const { return m_counter; }
    // True while a search or a restore runs.
    [[nodiscard]] bool running() const;

protected:
    void reject() override;

private:
    void readFields();
    void startSearch();
    void startRestore(bool toPickedFolder);
    void step();
    void showState();
    void showRows();

    std::unique_ptr<Archiver> m_archiver;
    std::unique_ptr<FolderRestoreWindow> m_model;
    QLineEdit* m_password = nullptr;
    QRadioButton* m_newest = nullptr;
    QRadioButton* m_oldest = nullptr;
    QDateEdit* m_from = nullptr;
    QDateEdit* m_to = nullptr;
    QCheckBox* m_subFolders = nullptr;
    QCheckBox* m_nameBox = nullptr;
    QLineEdit* m_name = nullptr;
    QTreeWidget* m_results = nullptr;
    QPushButton* m_search = nullptr;
    QPushButton* m_toSource = nullptr;
    QPushButton* m_toFolder = nullptr;
    QPushButton* m_cancel = nullptr;
    QProgressBar* m_progress = nullptr;
    QProgressBar* m_activity = nullptr;
    QLabel* m_counter = nullptr;
    QTimer* m_timer = nullptr;
    bool m_showingRows = false;
};

} // namespace fernhold
