#pragma once

#include "ui/settings/settings_page.h"

#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;

namespace fernhold {

class SlotJob;

// Page 2: the nine targets, one at a time: its type, its folder or its FTP
// server. The connection test and the UTF-8 probe run on the worker slot so
// the window stays live.
class TargetsPage : public SettingsPage
{
    Q_OBJECT
public:
    explicit TargetsPage(SettingsContext& context, QWidget* parent = nullptr);
    ~TargetsPage() override;

    void fill(const JobSettings& settings) override;
    void read(JobSettings& settings) override;
    void showTarget(const JobSettings& settings) override;
    void closing() override;

    [[nodiscard]] QComboBox* chooser() const { return m_chooser; }
    [[nodiscard]] QRadioButton* typeOption(int index) const { return m_types.at(index); }
    [[nodiscard]] QLineEdit* folder() const { return m_folder; }
    [[nodiscard]] QLineEdit* server() const { return m_server; }
    [[nodiscard]] QLineEdit* port() const { return m_port; }
    [[nodiscard]] QLineEdit* user() const { return m_user; }
    [[nodiscard]] QLineEdit* password() const { return m_password; }
    [[nodiscard]] QLineEdit* subFolder() const { return m_subFolder; }
    [[nodiscard]] QCheckBox* unicode() const { return m_unicode; }
    [[nodiscard]] QPushButton* testButton() const { return m_test; }
    [[nodiscard]] QPushButton* checkButton() const { return m_check; }
    [[nodiscard]] QPushButton* freeSpaceButton() const { return m_free; }
    [[nodiscard]] QPushButton* browseButton() const { return m_browse; }
    // True while the connection test or the UTF-8 probe runs.
    [[nodiscard]] bool probing() const { return m_job != nullptr; }

    // The free-space text of a size in bytes: "#####'##0 MB" and two blanks.
    [[nodiscard]] static QString megabytes(qint64 bytes);

private:
    void typeChanged();
    void browse();
    void checkFolder();
    void openFolder();
    void freeSpace();
    void testConnection();
    void unicodeClicked(bool on);
    void runOnSlot(std::function<void(const std::function<bool()>&)> call,
                   std::function<void()> done);
    void stepJob();
    void openCloudFolders();
    [[nodiscard]] bool folderExists() const;

    QComboBox* m_chooser = nullptr;
    QLabel* m_number = nullptr;
    std::array<QRadioButton*, 3> m_types{};
    QLineEdit* m_folder = nullptr;
    QPushButton* m_browse = nullptr;
    QPushButton* m_check = nullptr;
    QPushButton* m_open = nullptr;
    QPushButton* m_free = nullptr;
    QLineEdit* m_server = nullptr;
    QLineEdit* m_port = nullptr;
    QLineEdit* m_user = nullptr;
    QLineEdit* m_password = nullptr;
    QLineEdit* m_subFolder = nullptr;
    QPushButton* m_test = nullptr;
    QCheckBox* m_unicode = nullptr;
    QCheckBox* m_checkPermanent = nullptr;
    QList<QWidget*> m_folderControls;
    QList<QWidget*> m_ftpControls;
    int m_shownTarget = 0;
    std::unique_ptr<SlotJob> m_job;
    std::function<void()> m_jobDone;
    QTimer* m_poll = nullptr;
};

} // namespace fernhold
