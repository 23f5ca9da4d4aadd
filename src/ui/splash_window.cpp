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
      m_dontShow(new QCheckBox(Text("GAD00055"), this))
{
    setObjectName(QStringLiteral("splash"));
    setWindowTitle(Text("Program_Title"));
    setWindowIcon(ApplicationIcon());
    auto* layout = new QVBoxLayout(this);
    auto* icon = new QLabel(this);
    icon->setPixmap(ApplicationIcon().pixmap(96, 96));
    icon->setAlignment(Qt::AlignCenter);
    layout->addWidget(icon);
    auto* welcome = new QLabel(Text("GAD00050"), this);
    welcome->setObjectName(QStringLiteral("welcome"));
    QFont large = welcome->font();
    large.setPointSize(16);
    large.setBold(true);
    welcome->setFont(large);
    welcome->setAlignment(Qt::AlignCenter);
    layout->addWidget(welcome);
    auto* tagline = new QLabel(Text("GAD00035"), this);
    tagline->setAlignment(Qt::AlignCenter);
    layout->addWidget(tagline);
    layout->addSpacing(8);
    for (const char* key : {"GAD00051", "GAD00052", "GAD00053", "GAD00054"}) {
        auto* paragraph = new QLabel(Text(QString::fromLatin1(key)), this);
        paragraph->setWordWrap(true);
        layout->addWidget(paragraph);
    }
    layout->addSpacing(8);
    layout->addWidget(m_dontShow);
    auto* button = new QPushButton(Text("GAD00034"), this);
    button->setDefault(true);
    connect(button, &QPushButton::clicked, this, &QWidget::close);
    layout->addWidget(button, 0, Qt::AlignRight);
    setMinimumWidth(420);
}

void SplashWindow::closeEvent(QCloseEvent* event)
{
    emit closed(m_dontShow->isChecked());
    event->accept();
}

} // namespace fernhold
