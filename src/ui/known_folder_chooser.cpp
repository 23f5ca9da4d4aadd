#include "ui/known_folder_chooser.h"

#include "core/text_table.h"
#include "platform/known_folders.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace fernhold {

namespace {

// The choosers are drawn a little less see-through than the monitor window.
constexpr double kChooserOpacity = 240 / 255.0;

} // namespace

KnownFolderChooser::KnownFolderChooser(const std::vector<KnownFolder>& rows, bool transparent,
                                       QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("knownFolderChooser"));
    setWindowTitle(Text("GAD00133"));
    setModal(true);
    if (transparent) {
        setWindowOpacity(kChooserOpacity);
    }
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    int row = 0;
    for (const KnownFolder& folder : rows) {
        auto* caption = new QLabel(Text(folder.captionKey) + u':', this);
        // Drawn as a link: the whole path is the thing to click.
        auto* link = new QPushButton(folder.path, this);
        link->setObjectName(folder.captionKey);
        link->setFlat(true);
        link->setCursor(Qt::PointingHandCursor);
        link->setStyleSheet(QStringLiteral("QPushButton { color: palette(link); "
                                           "text-decoration: underline; text-align: left; }"));
        link->setToolTip(folder.path);
        caption->setBuddy(link);
        const QString path = folder.path;
        connect(link, &QPushButton::clicked, this, [this, path] {
            m_chosen = path;
            accept();
        });
        grid->addWidget(caption, row, 0);
        grid->addWidget(link, row, 1);
        ++row;
    }
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid);
    auto* note = new QLabel(Text("GAD00140"), this);
    note->setWordWrap(true);
    layout->addWidget(note);
    auto* close = new QPushButton(Text("GAD00034"), this);
    close->setObjectName(QStringLiteral("close"));
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    layout->addWidget(close, 0, Qt::AlignRight);
}

QString KnownFolderChooser::choose(const Folders& folders, bool transparent, QWidget* parent)
{
    KnownFolderChooser chooser(KnownFolders(folders), transparent, parent);
    return chooser.exec() == QDialog::Accepted ? chooser.chosenFolder() : QString();
}

} // namespace fernhold
