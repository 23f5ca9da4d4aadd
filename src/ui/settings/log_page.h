#pragma once

#include "ui/settings/settings_page.h"

class QPushButton;

namespace fernhold {

// Page 5: the log file, its limits, showing and deleting it.
class LogPage : public SettingsPage
{
    Q_OBJECT
public:
    explicit LogPage(SettingsContext& context, QWidget* parent = nullptr);

    void fill(const JobSettings& settings) override;
    void read(JobSettings& settings) override;

    [[nodiscard]] QPushButton* showButton() const { return m_show; }
    [[nodiscard]] QPushButton* deleteButton() const { return m_delete; }

private:
    void showLog();

    QList<QWidget*> m_bound; // controls named after their key
    QPushButton* m_show = nullptr;
    QPushButton* m_delete = nullptr;
};

} // namespace fernhold
