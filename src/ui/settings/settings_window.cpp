#include "ui/settings/settings_window.h"

#include "core/job_settings.h"
#include "core/run_state.h"
#include "core/text_table.h"
#include "runtime/program_shell.h"
#include "ui/qt_user_interface.h"
#include "ui/settings/cleanup_page.h"
#include "ui/settings/general_page.h"
#include "ui/settings/log_page.h"
#include "ui/settings/options_page.h"
#include "ui/settings/restore_page.h"
#include "ui/settings/setting_controls.h"
#include "ui/settings/sources_page.h"
#include "ui/settings/targets_page.h"
#include "ui/settings/time_windows_page.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QCursor>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace fernhold {

namespace {

constexpr std::array<const char*, SettingsWindow::kPageCount> kTabKeys{
    "GAD00061", "GAD00076", "GAD00091", "GAD00102", "GAD00109", "GAD00116", "GAD00150", "GAD00144",
};

} // namespace

SettingsWindow::SettingsWindow(ProgramControl& control, QtUserInterface& ui, QMenu& helpMenu,
                               MenuHandler menu)
    : QWidget(nullptr, Qt::Window), m_control(control), m_ui(ui), m_helpMenu(helpMenu)
{
    setObjectName(QStringLiteral("SettingsWindow"));
    setWindowTitle(Text("Program_Name") + QStringLiteral(" - ") + Text("GAD00035"));
    m_context = std::make_unique<SettingsContext>(SettingsContext{
        control, ui, [this](const QString& text) { showStatus(text); }, std::move(menu),
        [this](int target) { chooseTarget(target); }, [this] { ReadSettingsWindow(); }});

    m_tabs = new QTabWidget(this);
    m_pages = {new GeneralPage(*m_context),     new SourcesPage(*m_context),
               new TargetsPage(*m_context),     new RestorePage(*m_context),
               new CleanupPage(*m_context),     new LogPage(*m_context),
               new TimeWindowsPage(*m_context), new OptionsPage(*m_context)};
    for (int i = 0; i < kPageCount; ++i) {
        m_tabs->addTab(m_pages.at(i), Text(kTabKeys.at(i)));
    }
    for (int i = 0; i < 2; ++i) {
        auto* help = new QToolButton(this);
        help->setObjectName(QStringLiteral("HelpMenuButton%1").arg(i + 1));
        help->setToolTip(Text("MEN00001"));
        help->setAccessibleName(Text("MEN00001"));
        connect(help, &QToolButton::clicked, this, &SettingsWindow::openHelpMenu);
        m_help.at(i) = help;
    }
    // One beside the tabs, one beside the close button.
    m_tabs->setCornerWidget(m_help.at(0), Qt::TopRightCorner);
    m_help.at(0)->setText(QStringLiteral("?"));
    m_help.at(0)->setAutoRaise(true);
    m_help.at(1)->setText(QStringLiteral("&") + Text("MEN00001"));
    m_help.at(1)->setToolButtonStyle(Qt::ToolButtonTextOnly);

    m_statusLine = new QLabel(this);
    m_statusLine->setObjectName(QStringLiteral("StatusLine"));
    m_statusLine->setWordWrap(true);
    m_statusLine->setFrameShape(QFrame::StyledPanel);
    m_statusLine->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_statusLine->setMinimumHeight(fontMetrics().lineSpacing() * 3 + 8);
    m_statusLine->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    QString used = QStringLiteral("h"); // the help button's
    m_active = new QRadioButton(WithMnemonic(Text("GAD00026"), used), this);
    m_inactive = new QRadioButton(WithMnemonic(Text("GAD00027"), used), this);
    auto* status = new QButtonGroup(this);
    status->addButton(m_active);
    status->addButton(m_inactive);
    m_close = new QPushButton(WithMnemonic(Text("GAD00034"), used), this);
    m_close->setDefault(true);
    connect(m_close, &QPushButton::clicked, this, &QWidget::close);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_active);
    bottom->addWidget(m_inactive);
    bottom->addStretch(1);
    bottom->addWidget(m_help.at(1));
    bottom->addWidget(m_close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs, 1);
    layout->addWidget(m_statusLine);
    layout->addLayout(bottom);

    connect(m_tabs, &QTabWidget::currentChanged, this, &SettingsWindow::pageChanged);
    connect(&m_ui, &QtUserInterface::statusTextShown, this, &SettingsWindow::showStatus);
}

SettingsWindow::~SettingsWindow() = default;

void SettingsWindow::showStatus(const QString& text)
{
    m_statusLine->setText(text);
}

void SettingsWindow::openHelpMenu()
{
    m_helpMenu.popup(QCursor::pos());
}

void SettingsWindow::FillSettingsWindow()
{
    m_filling = true;
    const JobSettings& s = m_control.settings();
    for (SettingsPage* page : m_pages) {
        page->fill(s);
    }
    // A status not yet set counts as active.
    m_active->setChecked(s.ProgrammStatus != 0);
    m_inactive->setChecked(s.ProgrammStatus == 0);
    for (SettingsPage* page : m_pages) {
        page->showTarget(s);
    }
    const int current = std::clamp(s.CurrentPage, 0, kPageCount - 1);
    m_tabs->setCurrentIndex(current);
    m_shownPage = current;
    m_pages.at(current)->entered();
    m_filling = false;
    showStatus(Text("HLP00000"));
}

void SettingsWindow::ReadSettingsWindow()
{
    JobSettings& s = m_control.settings();
    for (int i = 0; i < kPageCount; ++i) {
        // The target type options count only while their page is shown.
        if (i != 2 || m_shownPage == 2) {
            m_pages.at(i)->read(s);
        }
    }
    s.ProgrammStatus = m_active->isChecked() ? 1 : 0;
}

void SettingsWindow::chooseTarget(int target)
{
    JobSettings& s = m_control.settings();
    if (target < 1 || target > kTargetCount) {
        return;
    }
    if (m_shownPage == 2 && target != s.SelectedTarget) {
        m_pages.at(2)->read(s);
    }
    s.SelectedTarget = target;
    for (SettingsPage* page : m_pages) {
        page->showTarget(s);
    }
}

void SettingsWindow::pageChanged(int index)
{
    if (m_filling) {
        return;
    }
    showStatus({});
    ReadSettingsWindow();
    JobSettings& s = m_control.settings();
    if (m_shownPage >= 0 && m_shownPage != index) {
        m_pages.at(m_shownPage)->left();
    }
    m_shownPage = index;
    s.CurrentPage = index;
    m_pages.at(index)->showTarget(s);
    m_pages.at(index)->entered();
}

void SettingsWindow::closeEvent(QCloseEvent* event)
{
    finish();
    event->accept();
}

void SettingsWindow::finish()
{
    m_control.runState().CleanupAbort = 1;
    for (SettingsPage* page : m_pages) {
        page->closing();
    }
    ReadSettingsWindow();
    hide();
    m_control.saveSettings();
    m_control.writeAutostart();
    m_control.switchStatus(m_control.settings().ProgrammStatus, {});
    emit closed();
}

} // namespace fernhold
