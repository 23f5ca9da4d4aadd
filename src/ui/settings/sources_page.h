#pragma once

#include "ui/settings/settings_page.h"

#include <array>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace fernhold {

// Page 1: the source list with its editing controls and the exclusion lists.
// A stored or deleted entry goes into Job settings at once.
class SourcesPage : public SettingsPage
{
    Q_OBJECT
public:
    explicit SourcesPage(SettingsContext& context, QWidget* parent = nullptr);

    void fill(const JobSettings& settings) override;
    void read(JobSettings& settings) override;

    [[nodiscard]] QTreeWidget* list() const { return m_list; }
    [[nodiscard]] QPushButton* newButton() const { return m_new; }
    [[nodiscard]] QPushButton* changeButton() const { return m_change; }
    [[nodiscard]] QPushButton* storeButton() const { return m_store; }
    [[nodiscard]] QPushButton* deleteButton() const { return m_delete; }
    [[nodiscard]] QLineEdit* folder() const { return m_folder; }
    [[nodiscard]] QCheckBox* subFolders() const { return m_sub; }
    [[nodiscard]] QLineEdit* filter() const { return m_filter; }
    [[nodiscard]] QCheckBox* targetBox(int target) const { return m_targets.at(target - 1); }

private:
    void refillList();
    void selectionChanged();
    void enableEditing(bool on);
    void newEntry();
    void changeEntry();
    void storeEntry();
    void deleteEntry();
    void browse();
    void chooseKnownFolder();
    void chooseTargets();
    [[nodiscard]] QString tickedTargets() const;

    QTreeWidget* m_list = nullptr;
    QPushButton* m_new = nullptr;
    QPushButton* m_change = nullptr;
    QPushButton* m_store = nullptr;
    QPushButton* m_delete = nullptr;
    QPushButton* m_browse = nullptr;
    QLineEdit* m_folder = nullptr;
    QCheckBox* m_sub = nullptr;
    QLineEdit* m_filter = nullptr;
    QWidget* m_knownLink = nullptr;
    QWidget* m_targetsLink = nullptr;
    std::array<QCheckBox*, 9> m_targets{};
    QLineEdit* m_types = nullptr;
    QLineEdit* m_strings = nullptr;
    int m_editedIndex = -1; // 0 a new entry, n the entry n; -1 none
};

} // namespace fernhold
