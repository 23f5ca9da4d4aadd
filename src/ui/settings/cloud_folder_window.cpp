#include "ui/settings/cloud_folder_window.h"

#include "core/job_settings.h"
#include "core/text_table.h"
#include "runtime/app_paths.h"
#include "runtime/program_shell.h"
#include "targets/cloud_folders.h"
#include "ui/qt_user_interface.h"
#include "ui/settings/setting_controls.h"
#include "ui/settings/settings_page.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace fernhold {

CloudFolderWindow::CloudFolderWindow(SettingsContext& context, QWidget* parent)
    : QDialog(parent), m_context(context)
{
    setObjectName(QStringLiteral("CloudFolderWindow"));
    setWindowTitle(Text("Program_Name") + QStringLiteral(" - ") + Text("GAD00190"));
    auto* intro = new QLabel(Text("GAD00191") + u' ' + Text("GAD00192"), this);
    intro->setWordWrap(true);
    auto* grid = new QGridLayout;
    const ProgramControl& control = m_context.control;
    const auto rows = FindCloudFolderRows(control.paths().folders, control.paths().registryPath);
    int r = 0;
    for (const CloudFolder& row : rows) {
        grid->addWidget(new QLabel(row.label + u':', this), r, 0);
        if (row.folder.isEmpty()) {
            auto* missing = new QLabel(Text("GAD00193"), this);
            missing->setEnabled(false);
            grid->addWidget(missing, r, 1);
        } else {
            const QString folder = row.folder;
            QString shown = folder;
            shown.replace(u'&', QStringLiteral("&&"));
            grid->addWidget(LinkText(
                                shown, [this, folder] { pickAt(folder); }, this),
                            r, 1);
        }
        ++r;
    }
    grid->setColumnStretch(1, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(grid);
    layout->addStretch(1);
    layout->addWidget(buttons);
    if (m_context.control.settings().WindowsTransparency == 1) {
        setWindowOpacity(240 / 255.0);
    }
}

void CloudFolderWindow::pickAt(const QString& folder)
{
    const QString picked = m_context.ui.pickFolder(Text("TXT00088"), folder);
    if (!picked.isEmpty()) {
        m_picked = picked;
        accept();
    }
}

QString CloudFolderWindow::choose(SettingsContext& context, QWidget* parent)
{
    CloudFolderWindow window(context, parent);
    return window.exec() == QDialog::Accepted ? window.picked() : QString();
}

} // namespace fernhold
