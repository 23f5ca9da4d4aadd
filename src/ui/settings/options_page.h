#pragma once

#include "ui/settings/settings_page.h"

namespace fernhold {

// Page 7: warnings, temporary files, clean-up, priority, the small windows.
class OptionsPage : public SettingsPage
{
    Q_OBJECT
public:
    explicit OptionsPage(SettingsContext& context, QWidget* parent = nullptr);

    void fill(const JobSettings& settings) override;
    void read(JobSettings& settings) override;

private:
    QList<QWidget*> m_bound; // controls named after their key
};

} // namespace fernhold
