#include "ui/monitor_window.h"

#include "core/text_table.h"
#include "ui/status_icons.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScreen>
#include <QVBoxLayout>

namespace fernhold {

MonitorWindow::MonitorWindow(double scale, bool translucent)
    : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint), m_scale(scale),
      m_text(new QPlainTextEdit(this))
{
    setWindowTitle(Text("GAD00031") + QStringLiteral(" - ") + Text("Program_Name"));
    setWindowIcon(ApplicationIcon());
    setObjectName(QStringLiteral("monitor"));
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::Base, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);
    m_text->setReadOnly(true);
    m_text->setFrameShape(QFrame::NoFrame);
    m_text->setPalette(white);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(m_text);
    setFixedSize(static_cast<int>(310 * scale), static_cast<int>(105 * scale));
    if (translucent) {
        setWindowOpacity(180 / 255.0);
    }
}

QPoint MonitorWindow::defaultPosition(double scale)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect desktop = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
    return {desktop.width() - static_cast<int>(320 * scale),
            desktop.height() - static_cast<int>(170 * scale)};
}

void MonitorWindow::openAt(QPoint position)
{
    move(position.isNull() ? defaultPosition(m_scale) : position);
    show();
    raise();
}

void MonitorWindow::setStatusLine(const QString& line)
{
    QString text = line;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    m_text->setPlainText(text);
}

QString MonitorWindow::statusLine() const
{
    return m_text->toPlainText();
}

void MonitorWindow::closeEvent(QCloseEvent* event)
{
    emit closedAt(pos());
    event->accept();
}

} // namespace fernhold
