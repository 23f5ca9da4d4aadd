#include "ui/settings/folder_restore_dialog.h"

#include "core/text_table.h"
#include "engine/archiver.h"
#include "platform/folders.h"
#include "restore/folder_restore_window.h"
#include "ui/settings/setting_controls.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace fernhold {

namespace {

QDateEdit* DatePicker(QWidget* parent)
{
    auto* picker = new QDateEdit(QDate::currentDate(), parent);
    picker->setObjectName(QStringLiteral("DatePicker"));
    picker->setCalendarPopup(true);
    picker->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    return picker;
}

} // namespace

FolderRestoreDialog::FolderRestoreDialog(const JobSettings& settings, UserInterface& ui,
                                         const Folders& folders, const QString& folder,
                                         const QString& password, RegisterRestored registerRestored,
                                         QWidget* parent)
    : QDialog(parent), m_archiver(std::make_unique<Archiver>(folders.temp))
{
    setObjectName(QStringLiteral("FolderRestoreWindow"));
    setWindowTitle(Text("GAD00201"));
    setWindowModality(Qt::ApplicationModal);
    m_model = std::make_unique<FolderRestoreWindow>(
        settings, RestoreServices{ui, *m_archiver, folders.documents}, folder, password,
        QDate::currentDate(), std::move(registerRestored));

    QString used;
    auto* heading = new QLabel(Text("GAD00201"), this);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    auto* folderField = new QLineEdit(folder, this);
    folderField->setReadOnly(true);
    m_password = new QLineEdit(password, this);
    m_password->setEchoMode(QLineEdit::Password);
    m_newest = new QRadioButton(WithMnemonic(Text("GAD00203"), used), this);
    m_oldest = new QRadioButton(WithMnemonic(Text("GAD00204"), used), this);
    m_newest->setChecked(true);
    auto* choice = new QButtonGroup(this);
    choice->addButton(m_newest);
    choice->addButton(m_oldest);
    m_from = DatePicker(this);
    m_to = DatePicker(this);
    m_subFolders = new QCheckBox(WithMnemonic(Text("GAD00208"), used), this);
    m_nameBox = new QCheckBox(WithMnemonic(Text("GAD00209"), used), this);
    m_name = new QLineEdit(this);
    m_name->setEnabled(false);
    connect(m_nameBox, &QCheckBox::toggled, m_name, &QWidget::setEnabled);

    auto* grid = new QGridLayout;
    grid->addWidget(Caption(Text("GAD00100"), m_password, this), 0, 0);
    grid->addWidget(m_password, 0, 1, 1, 3);
    grid->addWidget(folderField, 1, 0, 1, 4);
    grid->addWidget(new QLabel(Text("GAD00202"), this), 2, 0);
    grid->addWidget(m_newest, 2, 1, 1, 3);
    grid->addWidget(m_oldest, 3, 1, 1, 3);
    grid->addWidget(Caption(Text("GAD00205"), m_from, this), 4, 0);
    grid->addWidget(m_from, 4, 1);
    grid->addWidget(Caption(Text("GAD00206"), m_to, this), 4, 2);
    grid->addWidget(m_to, 4, 3);
    grid->addWidget(m_subFolders, 5, 0, 1, 4);
    grid->addWidget(m_nameBox, 6, 0, 1, 2);
    grid->addWidget(m_name, 6, 2, 1, 2);
    grid->setColumnStretch(3, 1);

    m_results = new QTreeWidget(this);
    m_results->setObjectName(QStringLiteral("FolderRestoreResults"));
    m_results->setColumnCount(2);
    m_results->setHeaderLabels({Text("GAD00210"), Text("GAD00211")});
    m_results->setRootIsDecorated(false);
    m_results->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_results->setMinimumHeight(180);
    connect(m_results, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
        if (!m_showingRows && column == 0) {
            m_model->setChecked(m_results->indexOfTopLevelItem(item),
                                item->checkState(0) == Qt::Checked);
        }
    });

    m_activity = new QProgressBar(this);
    m_activity->setRange(0, 0); // a marquee
    m_activity->setVisible(false);
    m_progress = new QProgressBar(this);
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    m_counter = new QLabel(QStringLiteral("0/0"), this);
    m_counter->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_counter->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("00000/00000")));
    auto* progressRow = new QHBoxLayout;
    progressRow->addWidget(new QLabel(Text("GAD00216"), this));
    progressRow->addWidget(m_progress, 1);
    progressRow->addWidget(m_counter);

    m_search = new QPushButton(WithMnemonic(Text("GAD00212"), used), this);
    m_toSource = new QPushButton(WithMnemonic(Text("GAD00213"), used), this);
    m_toFolder = new QPushButton(WithMnemonic(Text("GAD00214"), used), this);
    m_cancel = new QPushButton(WithMnemonic(Text("GAD00215"), used), this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_search);
    buttons->addWidget(m_toSource);
    buttons->addWidget(m_toFolder);
    buttons->addStretch(1);
    buttons->addWidget(m_cancel);
    connect(m_search, &QPushButton::clicked, this, &FolderRestoreDialog::startSearch);
    connect(m_toSource, &QPushButton::clicked, this, [this] { startRestore(false); });
    connect(m_toFolder, &QPushButton::clicked, this, [this] { startRestore(true); });
    connect(m_cancel, &QPushButton::clicked, this, [this] {
        m_model->cancel();
        if (m_model->state() == FolderRestoreState::Closed) {
            QDialog::reject();
            return;
        }
        showState();
    });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addLayout(grid);
    layout->addWidget(m_activity);
    layout->addWidget(m_results, 1);
    layout->addLayout(progressRow);
    layout->addLayout(buttons);

    m_timer = new QTimer(this);
    m_timer->setInterval(0);
    connect(m_timer, &QTimer::timeout, this, &FolderRestoreDialog::step);
    showState();
}

FolderRestoreDialog::~FolderRestoreDialog() = default;

bool FolderRestoreDialog::running() const
{
    const FolderRestoreState state = m_model->state();
    return state == FolderRestoreState::Searching || state == FolderRestoreState::Restoring;
}

void FolderRestoreDialog::readFields()
{
    FolderSearchOptions& options = m_model->options();
    options.oldest = m_oldest->isChecked();
    options.subFolders = m_subFolders->isChecked();
    options.nameFilterOn = m_nameBox->isChecked();
    options.nameFilter = m_name->text();
    options.from = m_from->date();
    options.to = m_to->date();
    m_model->setPassword(m_password->text());
}

void FolderRestoreDialog::startSearch()
{
    readFields();
    m_model->search();
    showRows();
    showState();
    if (running()) {
        m_timer->start();
    }
}

void FolderRestoreDialog::startRestore(bool toPickedFolder)
{
    m_model->setPassword(m_password->text());
    m_model->restore(toPickedFolder);
    showState();
    if (running()) {
        m_timer->start();
    }
}

void FolderRestoreDialog::step()
{
    const bool searching = m_model->state() == FolderRestoreState::Searching;
    if (!m_model->step()) {
        m_timer->stop();
        showRows();
    } else if (searching && m_results->topLevelItemCount() != m_model->rows().size()) {
        showRows();
    } else if (!searching) {
        // The outcome of each restored row replaces its date.
        const int done = m_model->rowsDone();
        if (done > 0 && done <= m_results->topLevelItemCount()) {
            m_showingRows = true;
            m_results->topLevelItem(done - 1)->setText(0, m_model->rows().at(done - 1).result);
            m_results->scrollToItem(m_results->topLevelItem(done - 1));
            m_showingRows = false;
        }
    }
    showState();
}

void FolderRestoreDialog::showRows()
{
    m_showingRows = true;
    m_results->clear();
    for (const FolderRestoreRow& row : m_model->rows()) {
        auto* item = new QTreeWidgetItem(m_results, {row.result, row.path});
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(0, row.checked ? Qt::Checked : Qt::Unchecked);
    }
    m_showingRows = false;
}

void FolderRestoreDialog::showState()
{
    const FolderRestoreState state = m_model->state();
    m_search->setEnabled(m_model->searchEnabled());
    m_toSource->setEnabled(m_model->restoreEnabled());
    m_toFolder->setEnabled(m_model->restoreEnabled());
    m_activity->setVisible(m_model->activityVisible());
    m_progress->setValue(m_model->progress());
    m_counter->setText(m_model->counterText());
    m_results->setEnabled(state != FolderRestoreState::Restoring);
}

void FolderRestoreDialog::reject()
{
    // The close box and Escape close also while a phase runs.
    m_timer->stop();
    m_model->close();
    QDialog::reject();
}

} // namespace fernhold
