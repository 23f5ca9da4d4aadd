#include "ui/splash_window.h"

#include "core/text_table.h"
#include "ui/status_icons.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace fernhold {

SplashWindow::SplashWindow()
    : QWidget(nullptr, Qt::Dialog | Qt::WindowStaysOnTopHint),
      m_dontShow(new QCheckBox(Text("TXT00530"), this))
{
    setObjectName(QStringLiteral("splash"));
    setWindowTitle(Text("Program_Name"));
    setWindowIcon(ApplicationIcon());
    auto* layout = new QVBoxLayout(this);
    auto* icon = new QLabel(this);
    icon->setPixmap(ApplicationIcon().pixmap(96, 96));
    icon->setAlignment(Qt::AlignCenter);
    layout->addWidget(icon);
    auto* name = new QLabel(Text("Program_Name") + u' ' + Text("Version_Name"), this);
    QFont large = name->font();
    large.setPointSize(16);
    large.setBold(true);
    name->setFont(large);
    name->setAlignment(Qt::AlignCenter);
    layout->addWidget(name);
    auto* about = new QLabel(Text("GAD00033") + QStringLiteral("\n\n") + Text("TXT00537"), this);
    about->setWordWrap(true);
    layout->addWidget(about);
    layout->addWidget(m_dontShow);
    auto* button = new QPushButton(Text("GAD00034"), this);
    button->setDefault(true);
    connect(button, &QPushButton::clicked, this, &QWidget::close);
    layout->addWidget(button, 0, Qt::AlignRight);
    setMinimumWidth(380);
}

void SplashWindow::closeEvent(QCloseEvent* event)
{
    emit closed(m_dontShow->isChecked());
    event->accept();
}

} // namespace fernhold
