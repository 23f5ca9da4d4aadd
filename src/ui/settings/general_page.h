#pragma once

#include "ui/settings/settings_page.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace fernhold {

// Page 0: start, work mode, versions, archives and the initial full backup.
class GeneralPage : public SettingsPage
{
    Q_OBJECT
public:
    explicit GeneralPage(SettingsContext& context, QWidget* parent = nullptr);

    void fill(const JobSettings& settings) override;
    void read(JobSettings& settings) override;

    [[nodiscard]] QCheckBox* compress() const { return m_compress; }
    [[nodiscard]] QCheckBox* encrypt() const { return m_encrypt; }
    [[nodiscard]] QLineEdit* password() const { return m_password; }
    [[nodiscard]] QComboBox* method() const { return m_method; }
    [[nodiscard]] QPushButton* fullBackupButton() const { return m_fullBackup; }
    [[nodiscard]] QPushButton* rebuildButton() const { return m_rebuild; }
    [[nodiscard]] QRadioButton* extendedMode() const { return m_extended; }

private:
    void applyLinks();
    void passwordEdited(const QString& text);
    void askFullBackup();
    void rebuildIndex();

    QList<QWidget*> m_bound; // controls named after their key
    QCheckBox* m_compress = nullptr;
    QCheckBox* m_encrypt = nullptr;
    QLineEdit* m_password = nullptr;
    QLabel* m_passwordCaption = nullptr;
    QLabel* m_methodCaption = nullptr;
    QComboBox* m_method = nullptr;
    QRadioButton* m_normal = nullptr;
    QRadioButton* m_extended = nullptr;
    QPushButton* m_fullBackup = nullptr;
    QPushButton* m_rebuild = nullptr;
};

} // namespace fernhold
