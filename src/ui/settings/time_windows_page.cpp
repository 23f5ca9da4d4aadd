#include "ui/settings/time_windows_page.h"

#include "core/job_settings.h"
#include "core/text_table.h"
#include "runtime/program_shell.h"
#include "ui/settings/setting_controls.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace fernhold {

namespace {

constexpr std::array<const char*, 3> kModeKeys{"GAD00152", "GAD00153", "GAD00154"};
// Anytime grey-green, inside the windows green, outside them amber.
constexpr std::array<const char*, 3> kModeColours{"#d8e8d0", "#a8e0a0", "#f0d090"};

// Hours and minutes shown with two digits, as a clock shows them.
class ClockSpin : public QSpinBox
{
public:
    using QSpinBox::QSpinBox;

protected:
    QString textFromValue(int value) const override
    {
        return QStringLiteral("%1").arg(value, 2, 10, QChar(u'0'));
    }
};

} // namespace

TimeWindowsPage::TimeWindowsPage(SettingsContext& context, QWidget* parent)
    : SettingsPage(context, parent)
{
    auto* modes = new QHBoxLayout;
    auto* modeGroup = new QButtonGroup(this);
    for (int m = 0; m < 3; ++m) {
        m_modes.at(m) = new QRadioButton(Text(kModeKeys.at(m)), this);
        modes->addWidget(m_modes.at(m));
        modeGroup->addButton(m_modes.at(m));
        connect(m_modes.at(m), &QRadioButton::toggled, this, &TimeWindowsPage::showMode);
    }
    m_modes.at(0)->setObjectName(QStringLiteral("ScheduleMode"));
    modes->addStretch(1);
    modes->addWidget(HelpIcon(Text("HLP00023"), m_context.showStatus, this));
    m_modeText = new QLabel(this);
    m_modeText->setObjectName(QStringLiteral("ScheduleModeText"));
    m_modeText->setAlignment(Qt::AlignCenter);
    m_modeText->setAutoFillBackground(true);
    m_modeText->setMargin(6);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(Text("GAD00155"), this), 0, 0, 1, 2, Qt::AlignCenter);
    grid->addWidget(new QLabel(Text("GAD00156"), this), 0, 2, 1, 2, Qt::AlignCenter);
    for (int d = 0; d < 7; ++d) {
        grid->addWidget(
            new QLabel(Text(QStringLiteral("GAD%1").arg(157 + d, 5, 10, QChar(u'0'))), this), 0,
            4 + d, Qt::AlignCenter);
    }
    QString used = FrameMnemonics();
    const QString clearText = Text("GAD00164");
    for (int r = 0; r < kRows; ++r) {
        Row& row = m_rows.at(r);
        for (int c = 0; c < 4; ++c) {
            auto* spin = new ClockSpin(this);
            spin->setRange(0, c % 2 == 0 ? 23 : 59);
            spin->setAccessibleName(QStringLiteral("%1 %2").arg(r + 1).arg(c + 1));
            if (c % 2 == 1) {
                spin->setPrefix(QStringLiteral(":"));
            }
            grid->addWidget(spin, r + 1, c);
            connect(spin, &QSpinBox::valueChanged, this, [this, r] { keepOrder(r); });
            row.times.at(c) = spin;
        }
        for (int d = 0; d < 7; ++d) {
            row.days.at(d) = new QCheckBox(this);
            row.days.at(d)->setAccessibleName(
                Text(QStringLiteral("GAD%1").arg(157 + d, 5, 10, QChar(u'0'))));
            grid->addWidget(row.days.at(d), r + 1, 4 + d, Qt::AlignCenter);
        }
        // The first row's button carries the mnemonic.
        row.clear = new QPushButton(r == 0 ? WithMnemonic(clearText, used) : clearText, this);
        grid->addWidget(row.clear, r + 1, 11);
        connect(row.clear, &QPushButton::clicked, this, [this, r] {
            for (QSpinBox* spin : m_rows.at(r).times) {
                spin->setValue(0);
            }
            for (QCheckBox* day : m_rows.at(r).days) {
                day->setChecked(false);
            }
        });
    }
    grid->setColumnStretch(12, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(modes);
    layout->addWidget(m_modeText);
    layout->addLayout(grid);
    layout->addStretch(1);
}

void TimeWindowsPage::keepOrder(int r)
{
    // A window never ends before it begins.
    const Row& row = m_rows.at(r);
    const int from = row.times[0]->value() * 60 + row.times[1]->value();
    const int to = row.times[2]->value() * 60 + row.times[3]->value();
    if (from > to) {
        row.times[2]->setValue(row.times[0]->value());
        row.times[3]->setValue(row.times[1]->value());
    }
}

void TimeWindowsPage::showMode()
{
    int mode = 0;
    for (int m = 0; m < 3; ++m) {
        if (m_modes.at(m)->isChecked()) {
            mode = m;
        }
    }
    m_modeText->setText(Text(kModeKeys.at(mode)));
    m_modeText->setStyleSheet(QStringLiteral("QLabel { background: %1; color: black; }")
                                  .arg(QLatin1String(kModeColours.at(mode))));
}

void TimeWindowsPage::fill(const JobSettings& settings)
{
    const int mode = std::clamp(settings.ScheduleMode, 0, 2);
    m_modes.at(mode)->setChecked(true);
    showMode();
    const QStringList rows = settings.Schedule.split(u';');
    for (int r = 0; r < kRows; ++r) {
        const QStringList values = rows.value(r).split(u',');
        Row& row = m_rows.at(r);
        // The to time first, so the order rule does not move it.
        for (int c : {2, 3, 0, 1}) {
            row.times.at(c)->setValue(values.value(c).toInt());
        }
        for (int d = 0; d < 7; ++d) {
            row.days.at(d)->setChecked(values.value(4 + d).toInt() == 1);
        }
    }
}

QString TimeWindowsPage::scheduleText() const
{
    QString text;
    for (const Row& row : m_rows) {
        QString entry;
        for (QSpinBox* spin : row.times) {
            entry += QString::number(spin->value()) + u',';
        }
        for (QCheckBox* day : row.days) {
            entry += (day->isChecked() ? QStringLiteral("1") : QStringLiteral("0")) + u',';
        }
        entry.back() = u';';
        text += entry;
    }
    return text;
}

void TimeWindowsPage::read(JobSettings& settings)
{
    const Clock& clock = m_context.control.clock();
    for (int m = 0; m < 3; ++m) {
        if (m_modes.at(m)->isChecked()) {
            (void)StoreSetting(settings, QStringLiteral("ScheduleMode"), QString::number(m), clock);
        }
    }
    (void)StoreSetting(settings, QStringLiteral("Schedule"), scheduleText(), clock);
}

} // namespace fernhold
