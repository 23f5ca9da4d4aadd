#include "ui/about_window.h"

#include "core/text_table.h"
#include "ui/status_icons.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace fernhold {

AboutWindow::AboutWindow() : QDialog(nullptr, Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("about"));
    setWindowTitle(Text("GAD00032") + u' ' + Text("Program_Title"));
    setWindowIcon(ApplicationIcon());
    auto* layout = new QVBoxLayout(this);

    auto* icon = new QLabel(this);
    icon->setPixmap(ApplicationIcon().pixmap(64, 64));
    icon->setAlignment(Qt::AlignCenter);
    layout->addWidget(icon);

    auto* name = new QLabel(Text("Program_Name"), this);
    name->setObjectName(QStringLiteral("name"));
    QFont large = name->font();
    large.setPointSize(22);
    large.setBold(true);
    name->setFont(large);
    name->setAlignment(Qt::AlignCenter);
    layout->addWidget(name);

    const auto line = [this, layout](const QString& text) {
        auto* label = new QLabel(text, this);
        label->setAlignment(Qt::AlignCenter);
        label->setWordWrap(true);
        layout->addWidget(label);
        return label;
    };
    line(Text("TXT00536") + u' ' + Text("Version_Name"));
    line(Text("GAD00033"));
    line(Text("Copyright_Text"));
    QLabel* link = line(QStringLiteral("<a href=\"%1\">%1</a>").arg(Text("Online_Adresse")));
    link->setObjectName(QStringLiteral("link"));
    link->setOpenExternalLinks(true);
    line(Text("GAD00035"));

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(Text("GAD00034"), QDialogButtonBox::AcceptRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
    setMinimumWidth(360);
}

} // namespace fernhold
