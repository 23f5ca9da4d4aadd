#include "ui/settings/sources_page.h"

#include "core/job_settings.h"
#include "core/text_table.h"
#include "engine/exclusion_lists.h"
#include "engine/source_walk.h"
#include "platform/network_folder.h"
#include "runtime/app_paths.h"
#include "runtime/program_shell.h"
#include "ui/known_folder_chooser.h"
#include "ui/qt_user_interface.h"
#include "ui/settings/setting_controls.h"
#include "ui/target_chooser.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace fernhold {

namespace {

void sortSources(QList<SourceEntry>& sources)
{
    std::stable_sort(sources.begin(), sources.end(),
                     [](const SourceEntry& a, const SourceEntry& b) {
                         return a.SourceDirPfad < b.SourceDirPfad;
                     });
}

// Sub-folders of the top or of a system folder hold the whole system.
bool systemFolder(const QString& folder, const Folders& folders)
{
    const QString lower = folder.toLower();
    if (lower == QStringLiteral("/")) {
        return true;
    }
    for (const QString& system : {folders.windows, folders.system, folders.programFiles}) {
        if (!system.isEmpty() && lower.startsWith(system.toLower())) {
            return true;
        }
    }
    return false;
}

} // namespace

SourcesPage::SourcesPage(SettingsContext& context, QWidget* parent) : SettingsPage(context, parent)
{
    const auto help = [this](const char* key) {
        return HelpIcon(Text(key), m_context.showStatus, this);
    };
    QString used = FrameMnemonics();
    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("SourceList"));
    m_list->setRootIsDecorated(false);
    m_list->setHeaderLabels(
        {Text("GAD00078"), Text("GAD00171"), Text("GAD00172"), Text("GAD00173")});
    m_list->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int c = 1; c < 4; ++c) {
        m_list->header()->setSectionResizeMode(c, QHeaderView::ResizeToContents);
    }
    m_list->header()->setStretchLastSection(false);
    m_new = new QPushButton(WithMnemonic(Text("GAD00079"), used), this);
    m_change = new QPushButton(WithMnemonic(Text("GAD00080"), used), this);
    m_store = new QPushButton(WithMnemonic(Text("GAD00081"), used), this);
    m_delete = new QPushButton(WithMnemonic(Text("GAD00082"), used), this);

    m_folder = new QLineEdit(this);
    m_folder->setObjectName(QStringLiteral("SourceDirPfad"));
    m_browse = new QPushButton(WithMnemonic(Text("GAD00084"), used), this);
    m_sub = new QCheckBox(WithMnemonic(Text("GAD00085"), used), this);
    m_sub->setObjectName(QStringLiteral("SourceDirSub"));
    m_filter = new QLineEdit(this);
    m_filter->setObjectName(QStringLiteral("SourceDirFilter"));
    m_knownLink = LinkText(
        WithMnemonic(Text("GAD00133"), used), [this] { chooseKnownFolder(); }, this);
    m_targetsLink = LinkText(
        WithMnemonic(Text("GAD00177"), used), [this] { chooseTargets(); }, this);
    auto* targetRow = new QHBoxLayout;
    for (int t = 1; t <= kTargetCount; ++t) {
        auto* box =
            new QCheckBox(t == 1 ? QStringLiteral("1  (standard)") : QString::number(t), this);
        box->setObjectName(QStringLiteral("SourceDirTarget%1").arg(t));
        targetRow->addWidget(box);
        m_targets.at(t - 1) = box;
    }
    targetRow->addStretch(1);
    targetRow->addWidget(m_targetsLink);

    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {m_new, m_change, m_store, m_delete}) {
        buttons->addWidget(b);
    }
    buttons->addStretch(1);
    buttons->addWidget(help("HLP00008"), 0, Qt::AlignRight);
    auto* listRow = new QHBoxLayout;
    listRow->addWidget(m_list, 1);
    listRow->addLayout(buttons);

    auto* edit = new QGroupBox(this);
    auto* editGrid = new QGridLayout(edit);
    editGrid->addWidget(Caption(Text("GAD00083"), m_folder, this), 0, 0);
    editGrid->addWidget(m_folder, 0, 1);
    editGrid->addWidget(m_browse, 0, 2);
    editGrid->addWidget(m_sub, 1, 1);
    editGrid->addWidget(m_knownLink, 1, 2);
    editGrid->addWidget(Caption(Text("GAD00086"), m_filter, this), 2, 0);
    editGrid->addWidget(m_filter, 2, 1, 1, 2);
    editGrid->addWidget(new QLabel(Text("GAD00173"), this), 3, 0);
    editGrid->addLayout(targetRow, 3, 1, 1, 2);
    editGrid->addWidget(help("HLP00009"), 0, 3);
    editGrid->setColumnStretch(1, 1);

    auto* exclusions = new QGroupBox(this);
    m_types = SettingEdit(QStringLiteral("ExcludeFileTypes"), this);
    m_strings = SettingEdit(QStringLiteral("ExcludeFileStrings"), this);
    auto* exclusionGrid = new QGridLayout(exclusions);
    exclusionGrid->addWidget(Caption(Text("GAD00087"), m_types, this), 0, 0);
    exclusionGrid->addWidget(m_types, 0, 1);
    exclusionGrid->addWidget(help("HLP00010"), 0, 2);
    exclusionGrid->addWidget(Caption(Text("GAD00088"), m_strings, this), 1, 0);
    exclusionGrid->addWidget(m_strings, 1, 1);
    exclusionGrid->setColumnStretch(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(Text("GAD00077"), this));
    layout->addLayout(listRow, 1);
    layout->addWidget(edit);
    layout->addWidget(exclusions);

    connect(m_new, &QPushButton::clicked, this, &SourcesPage::newEntry);
    connect(m_change, &QPushButton::clicked, this, &SourcesPage::changeEntry);
    connect(m_store, &QPushButton::clicked, this, &SourcesPage::storeEntry);
    connect(m_delete, &QPushButton::clicked, this, &SourcesPage::deleteEntry);
    connect(m_browse, &QPushButton::clicked, this, &SourcesPage::browse);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &SourcesPage::selectionChanged);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &SourcesPage::changeEntry);
    enableEditing(false);
    selectionChanged();
}

void SourcesPage::fill(const JobSettings& settings)
{
    ShowControl(settings, m_types);
    ShowControl(settings, m_strings);
    sortSources(m_context.control.settings().sources);
    refillList();
    m_editedIndex = -1;
    enableEditing(false);
}

void SourcesPage::read(JobSettings& settings)
{
    StoreControl(settings, m_types, m_context.control.clock());
    StoreControl(settings, m_strings, m_context.control.clock());
}

void SourcesPage::refillList()
{
    m_list->clear();
    for (const SourceEntry& s : m_context.control.settings().sources) {
        auto* item = new QTreeWidgetItem(
            m_list, {s.SourceDirPfad, s.SourceDirSub == 1 ? QStringLiteral("OK") : QString(),
                     s.SourceDirFilter, s.SourceDirTarget});
        item->setToolTip(0, s.SourceDirPfad);
    }
    selectionChanged();
}

void SourcesPage::selectionChanged()
{
    const bool selected = !m_list->selectedItems().isEmpty();
    m_change->setEnabled(selected);
    m_delete->setEnabled(selected);
    if (!selected && m_editedIndex > 0) {
        m_editedIndex = -1;
        enableEditing(false);
    }
}

void SourcesPage::enableEditing(bool on)
{
    for (QWidget* w : {static_cast<QWidget*>(m_folder), static_cast<QWidget*>(m_browse),
                       static_cast<QWidget*>(m_sub), static_cast<QWidget*>(m_filter), m_knownLink,
                       m_targetsLink, static_cast<QWidget*>(m_store)}) {
        w->setEnabled(on);
    }
    for (QCheckBox* box : m_targets) {
        box->setEnabled(on);
    }
}

void SourcesPage::newEntry()
{
    m_editedIndex = 0;
    m_folder->clear();
    m_sub->setChecked(false);
    m_filter->clear();
    for (QCheckBox* box : m_targets) {
        box->setChecked(box == m_targets.front());
    }
    enableEditing(true);
    m_folder->setFocus();
}

void SourcesPage::changeEntry()
{
    const int row = m_list->indexOfTopLevelItem(m_list->currentItem());
    const QList<SourceEntry>& sources = m_context.control.settings().sources;
    if (row < 0 || row >= sources.size()) {
        return;
    }
    const SourceEntry& s = sources.at(row);
    m_editedIndex = row + 1;
    m_folder->setText(s.SourceDirPfad);
    m_sub->setChecked(s.SourceDirSub == 1);
    m_filter->setText(s.SourceDirFilter);
    for (int t = 1; t <= kTargetCount; ++t) {
        m_targets.at(t - 1)->setChecked(s.SourceDirTarget.contains(QString::number(t)));
    }
    enableEditing(true);
}

QString SourcesPage::tickedTargets() const
{
    QStringList numbers;
    for (int t = 1; t <= kTargetCount; ++t) {
        if (m_targets.at(t - 1)->isChecked()) {
            numbers << QString::number(t);
        }
    }
    return numbers.join(u',');
}

void SourcesPage::storeEntry()
{
    if (m_editedIndex < 0) {
        return;
    }
    const QString title = Text("TXT00013");
    QString folder = m_folder->text().trimmed();
    if (!folder.isEmpty() && !folder.endsWith(u'/')) {
        folder += u'/';
    }
    if (folder.isEmpty() || !folder.startsWith(u'/') || !CanListFolder(folder)) {
        m_context.ui.showMessage(title, Text("TXT00086"), MessageIcon::Information);
        return;
    }
    QList<SourceEntry>& sources = m_context.control.settings().sources;
    if (m_editedIndex == 0) {
        sources.append(SourceEntry{});
        m_editedIndex = static_cast<int>(sources.size());
    }
    if (m_editedIndex > sources.size()) {
        return;
    }
    SourceEntry& entry = sources[m_editedIndex - 1];
    entry.SourceDirPfad = folder;
    entry.SourceDirSub = m_sub->isChecked() ? 1 : 0;
    entry.SourceDirFilter = TidyTypeList(m_filter->text());
    entry.SourceDirTarget = tickedTargets();
    entry.Indexed = 0;
    if (entry.SourceDirSub == 1 && systemFolder(folder, m_context.control.paths().folders)) {
        m_context.ui.showMessage(title, Text("TXT00084"), MessageIcon::Information);
    }
    if (IsNetworkFolder(folder)) {
        m_context.ui.showMessage(title, Text("TXT00085"), MessageIcon::Information);
    }
    sortSources(sources);
    refillList();
    m_editedIndex = -1;
    m_folder->clear();
    m_sub->setChecked(false);
    m_filter->clear();
    for (QCheckBox* box : m_targets) {
        box->setChecked(false);
    }
    enableEditing(false);
}

void SourcesPage::deleteEntry()
{
    const int row = m_list->indexOfTopLevelItem(m_list->currentItem());
    QList<SourceEntry>& sources = m_context.control.settings().sources;
    if (row < 0 || row >= sources.size()) {
        return;
    }
    sources.removeAt(row);
    m_editedIndex = -1;
    enableEditing(false);
    refillList();
}

void SourcesPage::browse()
{
    const QString start = m_folder->text().trimmed().isEmpty()
                              ? m_context.control.paths().folders.documents
                              : m_folder->text().trimmed();
    const QString picked = m_context.ui.pickFolder(Text("GAD00083"), start);
    if (!picked.isEmpty()) {
        m_folder->setText(picked);
    }
}

void SourcesPage::chooseKnownFolder()
{
    const QString folder =
        KnownFolderChooser::choose(m_context.control.paths().folders,
                                   m_context.control.settings().WindowsTransparency == 1, this);
    if (!folder.isEmpty()) {
        m_folder->setText(folder);
        m_sub->setChecked(true);
    }
}

void SourcesPage::chooseTargets()
{
    const QString chosen =
        TargetChooser::choose(m_context.control.settings(), tickedTargets(),
                              m_context.control.settings().WindowsTransparency == 1, this);
    for (int t = 1; t <= kTargetCount; ++t) {
        m_targets.at(t - 1)->setChecked(chosen.contains(QString::number(t)));
    }
}

} // namespace fernhold
