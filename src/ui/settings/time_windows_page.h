#pragma once

#include "ui/settings/settings_page.h"

#include <array>

class QCheckBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace fernhold {

// Page 6: the schedule mode and the seven time windows.
class TimeWindowsPage : public SettingsPage
{
    Q_OBJECT
public:
    static constexpr int kRows = 7;

    struct Row
    {
        std::array<QSpinBox*, 4> times{}; // from hour, from minute, to hour, to minute
        std::array<QCheckBox*, 7> days{}; // Sunday first
        QPushButton* clear = nullptr;
    };

    explicit TimeWindowsPage(SettingsContext& context, QWidget* parent = nullptr);

    void fill(const JobSettings& settings) override;
    void read(JobSettings& settings) override;

    [[nodiscard]] const Row& row(int index) const { return m_rows.at(index); }
    [[nodiscard]] QRadioButton* modeOption(int mode) const { return m_modes.at(mode); }
    [[nodiscard]] QLabel* modeText() const { return m_modeText; }
    // The schedule as the controls give it, in the stored form.
    [[nodiscard]] QString scheduleText() const;

private:
    void keepOrder(int row);
    void showMode();

    std::array<Row, kRows> m_rows;
    std::array<QRadioButton*, 3> m_modes{};
    QLabel* m_modeText = nullptr;
};

} // namespace fernhold
