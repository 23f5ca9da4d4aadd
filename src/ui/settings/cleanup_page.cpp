#include "ui/settings/cleanup_page.h"

#include "core/job_settings.h"
#include "core/run_state.h"
#include "core/target_choice.h"
#include "core/text_table.h"
#include "core/worker_slot.h"
#include "runtime/program_shell.h"
#include "targets/manual_cleanup.h"
#include "ui/qt_user_interface.h"
#include "ui/settings/setting_controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <atomic>

namespace fernhold {

CleanupPage::CleanupPage(SettingsContext& context, QWidget* parent) : SettingsPage(context, parent)
{
    QString used = FrameMnemonics();
    m_chooser = new QComboBox(this);
    m_chooser->setObjectName(QStringLiteral("CleanupTargetChooser"));
    m_chooser->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_chooser->setMinimumContentsLength(30);
    connect(m_chooser, &QComboBox::activated, this,
            [this](int index) { m_context.chooseTarget(index + 1); });
    auto* top = new QHBoxLayout;
    top->addWidget(Caption(Text("GAD00110"), m_chooser, this));
    top->addWidget(m_chooser, 1);

    auto* age = new QGroupBox(Text("GAD00112"), this);
    auto* days = SettingSpin(QStringLiteral("CleanDays"), this);
    auto* keep = SettingCheck(QStringLiteral("CleanKeepLatest"), Text("GAD00184"), this);
    m_byAge = new QPushButton(WithMnemonic(Text("GAD00082"), used), this);
    auto* ageGrid = new QGridLayout(age);
    ageGrid->addWidget(Caption(Text("GAD00111"), days, this), 0, 0);
    ageGrid->addWidget(days, 0, 1);
    ageGrid->addWidget(m_byAge, 0, 3);
    ageGrid->addWidget(keep, 1, 0, 1, 2);
    ageGrid->addWidget(HelpIcon(Text("HLP00014"), m_context.showStatus, this), 0, 4);
    ageGrid->setColumnStretch(2, 1);

    auto* size = new QGroupBox(Text("GAD00114"), this);
    auto* limit = SettingSpin(QStringLiteral("CleanSize"), this);
    auto* unit =
        SettingCombo(QStringLiteral("CleanUnit"), {Text("GAD00067"), Text("GAD00068")}, this);
    // Both start buttons read "Delete"; the second takes the next free letter.
    m_bySize = new QPushButton(WithMnemonic(Text("GAD00082"), used), this);
    auto* sizeGrid = new QGridLayout(size);
    sizeGrid->addWidget(Caption(Text("GAD00113"), limit, this), 0, 0);
    sizeGrid->addWidget(limit, 0, 1);
    sizeGrid->addWidget(unit, 0, 2, Qt::AlignLeft);
    sizeGrid->addWidget(m_bySize, 0, 3);
    sizeGrid->addWidget(HelpIcon(Text("HLP00015"), m_context.showStatus, this), 0, 4);
    sizeGrid->setColumnStretch(2, 1);

    auto* warning = new QLabel(Text("GAD00115"), this);
    warning->setWordWrap(true);
    m_running = new QLabel(Text("GAD00127"), this);
    m_running->setObjectName(QStringLiteral("CleanupRunning"));
    m_running->setStyleSheet(QStringLiteral("QLabel { color: #c00000; font-weight: bold; }"));
    m_running->setVisible(false);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("CleanupStatus"));
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_stop = new QPushButton(WithMnemonic(Text("GAD00028"), used), this);
    m_stop->setEnabled(false);
    auto* statusRow = new QHBoxLayout;
    statusRow->addWidget(m_status, 1);
    statusRow->addWidget(m_stop);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(age);
    layout->addWidget(size);
    layout->addWidget(warning);
    layout->addWidget(m_running);
    layout->addLayout(statusRow);
    layout->addStretch(1);
    m_bound = {days, keep, limit, unit};

    connect(m_byAge, &QPushButton::clicked, this,
            [this] { start(static_cast<int>(ManualCleanupJob::Mode::ByAge)); });
    connect(m_bySize, &QPushButton::clicked, this,
            [this] { start(static_cast<int>(ManualCleanupJob::Mode::BySize)); });
    connect(m_stop, &QPushButton::clicked, this,
            [this] { m_context.control.runState().CleanupAbort = 1; });
    connect(&m_context.ui, &QtUserInterface::cleanupStatusShown, m_status, &QLabel::setText);
    connect(&m_context.ui, &QtUserInterface::cleanupRunningShown, this, &CleanupPage::showRunning);
    m_poll = new QTimer(this);
    m_poll->setInterval(50);
    connect(m_poll, &QTimer::timeout, this, &CleanupPage::poll);
}

CleanupPage::~CleanupPage() = default;

void CleanupPage::fill(const JobSettings& settings)
{
    for (QWidget* control : m_bound) {
        ShowControl(settings, control);
    }
}

void CleanupPage::read(JobSettings& settings)
{
    for (QWidget* control : m_bound) {
        StoreControl(settings, control, m_context.control.clock());
    }
}

void CleanupPage::entered()
{
    if (!m_job) {
        m_status->clear();
    }
}

void CleanupPage::showTarget(const JobSettings& settings)
{
    m_chooser->clear();
    for (int t = 1; t <= kTargetCount; ++t) {
        m_chooser->addItem(TargetChooserItem(settings, t));
    }
    m_chooser->setCurrentIndex(std::clamp(settings.SelectedTarget, 1, kTargetCount) - 1);
}

void CleanupPage::showRunning(bool running)
{
    m_running->setVisible(running);
}

void CleanupPage::start(int mode)
{
    if (m_job) {
        return;
    }
    // The window's values count, as they stand now.
    m_context.readWindow();
    ProgramControl& control = m_context.control;
    const JobSettings& settings = control.settings();
    auto job =
        std::make_shared<ManualCleanupJob>(settings, control.runState(), control.clock(),
                                           m_context.ui, static_cast<ManualCleanupJob::Mode>(mode));
    if (!job->confirm(TargetChooserItem(settings, settings.SelectedTarget))) {
        return;
    }
    m_job = job;
    m_ended = std::make_shared<std::atomic<bool>>(false);
    m_started = false;
    m_byAge->setEnabled(false);
    m_bySize->setEnabled(false);
    m_stop->setEnabled(true);
    m_poll->start();
    poll();
}

void CleanupPage::poll()
{
    if (!m_job) {
        return;
    }
    if (!m_started) {
        // A pass that is still ending holds the slot: the clean-up waits for it.
        const bool stop = m_context.control.runState().CleanupAbort.load() != 0;
        auto job = m_job;
        auto ended = m_ended;
        // The job lives on in the worker until it has ended, even past the window.
        m_started = !stop && m_context.control.workerSlot().start([job, ended] {
            job->run();
            *ended = true;
        }) == 1;
        if (!m_started && !stop) {
            return;
        }
        if (stop) {
            *m_ended = true;
        }
    }
    if (!m_ended->load()) {
        return;
    }
    m_poll->stop();
    m_job.reset();
    m_ended.reset();
    m_byAge->setEnabled(true);
    m_bySize->setEnabled(true);
    m_stop->setEnabled(false);
}

void CleanupPage::closing()
{
    // The window sets CleanupAbort; the job stops at its next check.
    if (m_job) {
        m_context.control.runState().CleanupAbort = 1;
    }
}

} // namespace fernhold
