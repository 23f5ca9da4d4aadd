#include "ui/settings/log_page.h"

#include "core/text_table.h"
#include "runtime/program_shell.h"
#include "ui/qt_user_interface.h"
#include "ui/settings/setting_controls.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QUrl>

namespace fernhold {

LogPage::LogPage(SettingsContext& context, QWidget* parent) : SettingsPage(context, parent)
{
    QString used = FrameMnemonics();
    auto* intro = new QLabel(Text("GAD00117"), this);
    intro->setWordWrap(true);
    auto* active = SettingCheck(QStringLiteral("LogfileActive"), Text("GAD00118"), this);
    auto* days = SettingSpin(QStringLiteral("LogfileMaxDays"), this);
    auto* size = SettingSpin(QStringLiteral("LogfileMaxSize"), this);
    m_show = new QPushButton(WithMnemonic(Text("GAD00121"), used), this);
    m_delete = new QPushButton(WithMnemonic(Text("GAD00082"), used), this);
    auto* showText = new QLabel(Text("GAD00122"), this);
    auto* deleteText = new QLabel(Text("GAD00123"), this);
    showText->setWordWrap(true);
    deleteText->setWordWrap(true);

    auto* grid = new QGridLayout(this);
    grid->addWidget(intro, 0, 0, 1, 3);
    grid->addWidget(HelpIcon(Text("HLP00016"), m_context.showStatus, this), 0, 3);
    grid->addWidget(active, 1, 0, 1, 3);
    grid->addWidget(Caption(Text("GAD00119"), days, this), 2, 0);
    grid->addWidget(days, 2, 1);
    grid->addWidget(Caption(Text("GAD00120"), size, this), 3, 0);
    grid->addWidget(size, 3, 1);
    grid->addWidget(m_show, 4, 0);
    grid->addWidget(showText, 4, 1, 1, 2);
    grid->addWidget(m_delete, 5, 0);
    grid->addWidget(deleteText, 5, 1, 1, 2);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(6, 1);
    m_bound = {active, days, size};

    connect(m_show, &QPushButton::clicked, this, &LogPage::showLog);
    connect(m_delete, &QPushButton::clicked, this,
            [this] { (void)m_context.control.clearLogFile(); });
}

void LogPage::fill(const JobSettings& settings)
{
    for (QWidget* control : m_bound) {
        ShowControl(settings, control);
    }
}

void LogPage::read(JobSettings& settings)
{
    for (QWidget* control : m_bound) {
        StoreControl(settings, control, m_context.control.clock());
    }
}

void LogPage::showLog()
{
    const QFileInfo log(m_context.control.logFilePath());
    if (!log.exists() || log.size() == 0) {
        m_context.ui.showMessage(Text("TXT00013"), Text("TXT00093"), MessageIcon::Information);
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(log.absoluteFilePath()));
}

} // namespace fernhold
