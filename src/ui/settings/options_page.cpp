#include "ui/settings/options_page.h"

#include "core/text_table.h"
#include "runtime/program_shell.h"
#include "ui/settings/setting_controls.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

namespace fernhold {

OptionsPage::OptionsPage(SettingsContext& context, QWidget* parent) : SettingsPage(context, parent)
{
    auto* grid = new QGridLayout(this);
    const std::array<std::pair<const char*, const char*>, 8> checks{{
        {"WarnFileLocked", "GAD00128"},
        {"WarnLongPath", "GAD00128a"},
        {"TempCharacterOn", "GAD00168"},
        {"NoAutomaticCleaning", "GAD00166"},
        {"ProcessPriorityLower", "GAD00167"},
        {"WindowsTransparency", "GAD00145"},
        {"MonitorWithRemaining", "GAD00179"},
        {"MonitorWithPath", "GAD00170"},
    }};
    int row = 0;
    for (const auto& [key, text] : checks) {
        QCheckBox* box = SettingCheck(QString::fromLatin1(key), Text(text), this);
        grid->addWidget(box, row, 0, 1, 2);
        m_bound << box;
        if (row == 0) {
            grid->addWidget(HelpIcon(Text("HLP00017"), m_context.showStatus, this), row, 2);
        } else if (row == 1) {
            grid->addWidget(
                HelpIcon(Text("HLP00027") + u' ' + Text("HLP00028"), m_context.showStatus, this),
                row, 2);
        }
        ++row;
    }
    QSpinBox* wait = SettingSpin(QStringLiteral("StartWaitSeconds"), this);
    grid->addWidget(Caption(Text("GAD00181"), wait, this), row, 0);
    grid->addWidget(wait, row, 1, Qt::AlignLeft);
    m_bound << wait;
    ++row;
    QString used = FrameMnemonics();
    grid->addWidget(LinkText(
                        WithMnemonic(Text("GAD00169"), used),
                        [this] { m_context.menu(MenuEntry::Monitor); }, this),
                    row, 0, 1, 2, Qt::AlignLeft);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(row + 1, 1);
}

void OptionsPage::fill(const JobSettings& settings)
{
    for (QWidget* control : m_bound) {
        ShowControl(settings, control);
    }
}

void OptionsPage::read(JobSettings& settings)
{
    for (QWidget* control : m_bound) {
        StoreControl(settings, control, m_context.control.clock());
    }
}

} // namespace fernhold
