#include "ui/end_window.h"

#include "core/text_table.h"
#include "ui/status_icons.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace fernhold {

EndWindow::EndWindow()
    : QWidget(nullptr, Qt::Dialog | Qt::WindowStaysOnTopHint), m_rule(new QProgressBar(this))
{
    setObjectName(QStringLiteral("ending"));
    setWindowTitle(Text("Program_Name") + QStringLiteral(" - ") + Text("GAD00029"));
    setWindowIcon(ApplicationIcon());
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(Text("GAD00030"), this);
    label->setWordWrap(true);
    layout->addWidget(label);
    m_rule->setRange(0, 100);
    m_rule->setValue(0);
    layout->addWidget(m_rule);
    setMinimumWidth(440);
}

void EndWindow::setPercent(int percent)
{
    m_rule->setValue(percent);
}

int EndWindow::percent() const
{
    return m_rule->value();
}

} // namespace fernhold
