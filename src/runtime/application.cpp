#include "runtime/application.h"

#include "core/periodic_section.h"
#include "core/text_table.h"
#include "core/user_interface.h"
#include "engine/archiver.h"
#include "engine/backup_pass.h"
#include "engine/encryption_setting.h"
#include "engine/file_time_table.h"
#include "engine/index_scan.h"
#include "engine/source_walk.h"
#include "platform/crash_handler.h"
#include "platform/folders.h"
#include "restore/restored_registration.h"
#include "runtime/exit_codes.h"
#include "runtime/pass_notices.h"
#include "runtime/termination.h"
#include "targets/version_cleanup.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <utility>

namespace fernhold {

namespace {

constexpr int kTurnMilliseconds = 3000;

QString privateFolderReason(PrivateFolderProblem problem)
{
    switch (problem) {
    case PrivateFolderProblem::SymbolicLink:
        return Text("TXT00371");
    case PrivateFolderProblem::OtherOwner:
        return Text("TXT00372");
    case PrivateFolderProblem::NotAFolder:
        return Text("TXT00373");
    case PrivateFolderProblem::CannotCreate:
    case PrivateFolderProblem::None:
        break;
    }
    return Text("TXT00374");
}

// Waits for `milliseconds` while the event loop runs, or until a termination
// signal arrives.
void waitWithEvents(int milliseconds)
{
    if (TerminationWatch::requested()) {
        return;
    }
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

Application::Application(Options options, UserInterface& ui, QCoreApplication& eventLoop)
    : m_options(options), m_paths(ResolveAppPaths()), m_ui(ui), m_eventLoop(eventLoop),
      m_store(m_paths.folders.appData, m_ui), m_recorder(m_paths.registryPath),
      m_statusLine(m_ui, m_clock, m_run), m_log(m_paths.folders, m_clock),
      m_state(m_paths.folders.appData + Text("State_FileName")),
      m_instanceLock(m_paths.folders.runtimeDir, Text("Program_Name")),
      m_presenceLock(m_paths.folders.runtimeDir, Text("MutexProgName"))
{
    m_targets = std::make_unique<TargetServices>(
        [this](const JobSettings& settings, int target, const QString& path) {
            const CleanupCount count =
                CleanTargetVersions(settings, m_run, m_clock, m_ui, path, target);
            return count.stopped ? 0 : 1;
        });
}

Application::~Application() = default;

int Application::run()
{
    m_termination = std::make_unique<TerminationWatch>([this] { m_eventLoop.exit(0); });
    if (const auto exitCode = startUp()) {
        return *exitCode;
    }
    m_started = true;
    if (m_options.once) {
        runOnce();
    } else if (!TerminationWatch::requested() && !m_quitRequested) {
        mainLoop();
    }
    programEnd();
    // After the program end, which lets a stopped pass finish and report.
    return m_options.once ? onceExitCode() : 0;
}

int Application::onceExitCode() const
{
    const bool nothingSaved = m_passesRun == 0 || m_lastPassReadyTargets == 0;
    // A signal before the pass or during its wait for a target also stops it.
    if (m_lastPassStopped || (nothingSaved && TerminationWatch::requested())) {
        return kExitStopped;
    }
    if (nothingSaved) {
        return kExitNothingSaved;
    }
    return m_lastPassFailedFiles > 0 ? kExitFilesFailed : kExitSaved;
}

void Application::reportSettingProblems()
{
    if (const auto problem = EncryptionSettingProblem(m_settings)) {
        m_log.AddLogLine(QStringLiteral("\t\t") + *problem);
        m_ui.showMessage(Text("Program_Name"), *problem, MessageIcon::Warning);
    }
}

std::optional<int> Application::startUp()
{
    const QString programName = Text("Program_Name");

    // Single instance: the named lock of the program name, then the presence
    // lock that only tells other programs that Fernhold runs.
    if (NamedLock::ensureRuntimeDir(m_paths.folders.runtimeDir) != 1 ||
        m_instanceLock.tryLock() != 1) {
        m_ui.showMessage(programName, Text("TXT00041"), MessageIcon::Information);
        return m_options.once ? kExitAlreadyRunning : 0;
    }
    (void)m_presenceLock.tryLock();

    (void)EnsureFolder(m_paths.folders.appData);
    const QByteArray head = (Text("TXT00020") + QStringLiteral("\r\n\r\n") + Text("TXT00021") +
                             QStringLiteral("\r\n\r\n") + Text("TXT00022") +
                             QStringLiteral("\r\n") + Text("TXT00023") + QStringLiteral("\r\n"))
                                .toUtf8();
    InstallCrashHandler(m_paths.crashReportPath, head,
                        (programName + u' ' + Text("Version_Name")).toUtf8(),
                        Text("TXT00024").toUtf8());
    offerCrashReport();

    const PrivateFolderProblem problem = EnsurePrivateFolder(m_paths.folders.temp);
    if (problem != PrivateFolderProblem::None) {
        m_ui.showMessage(programName,
                         Text("TXT00370") + QStringLiteral("\r\n") + m_paths.folders.temp +
                             QStringLiteral("\r\n") + privateFolderReason(problem),
                         MessageIcon::Warning);
        return 1;
    }

    m_store.LoadSettings(m_settings);
    // The archiver is part of this program: what it must be able to do
    // follows from the settings.
    if (InstallArchiver(ZipUse::Write, WantedZipMethods(m_settings)) != 1) {
        m_ui.showMessage(Text("TXT00001"), Text("TXT00006"), MessageIcon::Warning, true);
        return m_options.once ? kExitNothingSaved : 0;
    }
    m_settingsTrusted = !m_store.settingsDamaged() && !m_store.listDamaged();
    if (!m_settingsTrusted && QFileInfo::exists(m_paths.folders.appData + Text("Log_FileName"))) {
        // The user kept a log: it is where they look for what happened. Never
        // saved, since these settings are not.
        m_settings.LogfileActive = 1;
    }
    m_statusLine.setBackupCycle(m_settings.BackupCycle);

    m_log.keepJournal(m_settings.LogfileActive == 1);
    m_log.deferRewrites(m_options.once);
    m_log.ReadLogFile();
    m_log.AddLogLine(QStringLiteral("\t\t") + Text("TXT00157"));
    if (m_store.settingsDamaged()) {
        m_log.AddLogLine(QStringLiteral("\t\t") + Text("TXT00432") + u' ' + m_store.settingsPath() +
                         QStringLiteral(".damaged"));
    }
    if (m_store.listDamaged()) {
        m_log.AddLogLine(QStringLiteral("\t\t") + Text("TXT00437") + u' ' + m_store.listPath() +
                         QStringLiteral(".damaged"));
    }
    reportSettingProblems();
    if (m_settings.LogfileActive == 1) {
        m_times.LastLogFlush = m_clock.nowSeconds();
        (void)m_log.WriteLogFile(m_settings);
    }

    readTables();

    m_run.Status = m_settings.ProgrammStatus;
    m_recorder.RecordStatus(m_run.Status.load());
    m_run.LastPassStartTicks = m_clock.monotonicMs();
    m_run.LastPassStartTime = m_clock.nowSeconds();
    const bool owed = std::any_of(
        m_settings.sources.cbegin(), m_settings.sources.cend(),
        [this](const SourceEntry& source) { return !m_state.owedTargets(source).isEmpty(); });
    if (owed && m_settingsTrusted) {
        // Files without any version yet are not left waiting a whole cycle:
        // the first pass comes at once.
        m_run.LastPassStartTicks =
            m_clock.monotonicMs() - static_cast<qint64>(m_settings.BackupCycle) * 60000 - 1;
    }
    // A single run, and a start whose first pass comes at once, index the
    // sources in the walk of that pass: each file's state is read once, not
    // by a scan and then again by the pass. The pass compares a known source
    // with the table, so without that comparison only new sources may wait.
    const bool noneKnown =
        std::none_of(m_settings.sources.cbegin(), m_settings.sources.cend(),
                     [this](const SourceEntry& source) { return m_state.known(source); });
    m_indexInPass = m_options.once || (owed && m_settingsTrusted && m_run.Status.load() == 1 &&
                                       (m_compareWithTable || noneKnown));

    PeriodicHooks hooks;
    hooks.startIndexScan = [this] { return startIndexScan(); };
    hooks.startBackupPass = [this] { return startBackupPass(); };
    hooks.emptySourceIndex = [this] {
        m_index.EmptyIndex();
        requestFullSave();
    };
    hooks.archiverUsable = [this] { return archiverUsable(); };
    hooks.archiverMissing = [this] { archiverMissing(); };
    hooks.remoteRequested = [this](const QString& name) {
        return NamedLock::isHeldElsewhere(m_paths.folders.runtimeDir, name);
    };
    m_periodic = std::make_unique<PeriodicSection>(m_settings, m_run, m_clock, m_ui, m_recorder,
                                                   m_statusLine, m_slot, std::move(hooks));

    if (m_shell) {
        m_shell->open(*this);
    }
    startDelay();
    if (!TerminationWatch::requested() && !m_quitRequested && !m_indexInPass) {
        (void)startIndexScan();
    }
    return std::nullopt;
}

void Application::readTables()
{
    // The table is kept in every work mode: a source that cannot be read now
    // is compared with it when it is back, and a single run from a timer
    // compares with its last run.
    bool damaged = false;
    const bool tableRead = ReadFileTimeTable(m_index, fileTimePath(), damaged) == 1;
    if (damaged) {
        m_log.AddLogLine(QStringLiteral("\t\t") + Text("TXT00433") + u' ' + fileTimePath());
        m_ui.showMessage(Text("Program_Name"),
                         Text("TXT00433") + QStringLiteral("\r\n") + fileTimePath(),
                         MessageIcon::Warning);
    }
    const bool stateRead = m_state.load();
    // What a cut-short first save delivered has versions: known, whatever
    // the table of that run says.
    m_index.AddReference(m_state.firstSaveRecords());
    m_compareWithTable =
        m_options.once || m_settings.WorkModeExtended >= 1 || m_state.compareAtNextStart();
    if (!m_settingsTrusted) {
        // Nothing of this run may count as the last good one.
        m_state.setCompareAtNextStart(true);
        (void)m_state.save();
        m_state.setReadOnly();
        return;
    }
    // Without the state file, an installation that kept a table has saved its
    // sources before; a new one has not.
    m_state.adoptSources(m_settings, !stateRead && tableRead && !damaged);
    (void)m_state.save();
}

void Application::requestFullSave()
{
    // Kept until a pass has really been through every source.
    m_state.requestFullSave(m_settings);
    m_state.clearFirstSave();
    (void)m_state.save();
}

void Application::offerCrashReport()
{
    QFile report(m_paths.crashReportPath);
    if (!report.exists() || !report.open(QIODevice::ReadOnly)) {
        return;
    }
    const QString content = QString::fromUtf8(report.read(64 * 1024));
    report.close();
    // Offered once; the report stays beside the settings for later reference.
    const QString kept = m_paths.crashReportPath + QStringLiteral(".old");
    QFile::remove(kept);
    QFile::rename(m_paths.crashReportPath, kept);
    const bool keep =
        m_ui.askYesNo(Text("TXT00025"), content + QStringLiteral("\r\n\r\n") + Text("TXT00024"),
                      MessageIcon::Warning, false);
    if (keep && m_shell) {
        m_shell->copyToClipboard(content);
    }
}

void Application::startDelay()
{
    const int seconds = m_settings.StartWaitSeconds;
    if (seconds <= 0) {
        return;
    }
    const QDateTime until = m_clock.now().addSecs(seconds);
    if (m_shell) {
        m_shell->waitingToStart(true);
    }
    m_statusLine.ShowStatusLine(Text("TXT00161") + u' ' +
                                until.toString(QStringLiteral("hh:mm:ss")) +
                                QStringLiteral("\r\n(") + Text("TXT00162") + u' ' +
                                QString::number(seconds) + u' ' + Text("TXT00163") + u')');
    while (m_clock.now() <= until && !TerminationWatch::requested() && !m_quitRequested) {
        waitWithEvents(200);
        if (m_shell && m_shell->iconClicked() &&
            m_ui.askYesNo(Text("Program_Name"),
                          Text("TXT00161") + u' ' + until.toString(QStringLiteral("hh:mm:ss")) +
                              QStringLiteral("\r\n") + Text("TXT00164"),
                          MessageIcon::Question, true)) {
            break;
        }
    }
    if (m_shell) {
        m_shell->waitingToStart(false);
    }
}

void Application::mainLoop()
{
    QTimer turn;
    turn.setInterval(kTurnMilliseconds);
    QObject::connect(&turn, &QTimer::timeout, [this] {
        if (m_shell) {
            m_shell->turn();
        }
        m_periodic->RunPeriodicSection();
    });
    turn.start();
    m_eventLoop.exec();
}

void Application::runOnce()
{
    // The start-up scan first, then one pass as a back-up-now request.
    while (m_slot.isBusy() && !TerminationWatch::requested()) {
        (void)m_slot.waitForEnd(100);
        QCoreApplication::processEvents();
    }
    if (m_options.full) {
        requestFullBackup();
    }
    m_periodic->requestBackupNow();
    m_periodic->RunPeriodicSection();
    while (m_slot.isBusy() && !TerminationWatch::requested()) {
        (void)m_slot.waitForEnd(100);
        QCoreApplication::processEvents();
    }
}

void Application::programEnd()
{
    if (m_shell) {
        m_shell->closing();
    }
    // Defaults must not replace settings that could not be read.
    if (m_settingsTrusted) {
        (void)m_store.SaveSettings(m_settings);
    }
    WriteAutostart(m_settings, m_paths.folders.configHome, m_paths.programPath);

    m_run.Status = 0;
    m_run.Ending = 1;
    m_run.CleanupAbort = 1;
    const int waitSeconds = m_settings.WaitAtProgramEnd;
    for (int i = 1; i <= waitSeconds && m_slot.isBusy(); ++i) {
        if (!m_shell) {
            (void)m_slot.waitForEnd(1000);
            continue;
        }
        m_shell->waitingForWorker(i * (100 / waitSeconds));
        // The end window is drawn and stays responsive while the worker finishes.
        QDeadlineTimer second(1000);
        do {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        } while (!m_slot.waitForEnd(50) && !second.hasExpired());
    }
    if (m_shell) {
        m_shell->waitingForWorker(-1);
    }
    (void)m_slot.waitForEnd(0);
    const bool workerEnded = !m_slot.isBusy();
    applyRestoredFiles();

    m_recorder.RecordStatus(-1);
    if (workerEnded) {
        // A worker still running owns the index; its table is written by the
        // next run instead of a half-updated one now.
        (void)SaveFileTimeTable(m_index, tableWritePath(), m_clock, m_ui);
    }
    m_log.AddLogLine(QStringLiteral("\t\t") + Text("TXT00158"));
    m_log.deferRewrites(false);
    if (m_settings.LogfileActive == 1) {
        (void)m_log.WriteLogFile(m_settings);
    }
    if (workerEnded && QFile::exists(ftpTempPath())) {
        // A stopped upload left its copy behind.
        m_ui.showMessage(Text("Program_Name") + QStringLiteral(" (FTP)"),
                         Text("TXT00099") + QStringLiteral("\r\n") + Text("TXT00100"),
                         MessageIcon::Information, true);
        QFile::remove(ftpTempPath());
    }
    m_presenceLock.unlock();
    m_instanceLock.unlock();
    if (!workerEnded) {
        // A worker that did not stop in time ends with the process; running the
        // normal exit path under it could only crash.
        std::fflush(nullptr);
        ::_exit(m_options.once ? kExitStopped : 0);
    }
}

QString Application::fileTimePath() const
{
    return m_paths.folders.appData + Text("FileTime_File");
}

QString Application::tableWritePath() const
{
    return m_settingsTrusted ? fileTimePath() : QString();
}

int Application::startIndexScan()
{
    applyRestoredFiles();
    auto result = std::make_shared<IndexScanResult>();
    const IndexEnvironment env{m_index,          m_run,   m_statusLine,      m_ui, m_clock,
                               tableWritePath(), m_state, m_compareWithTable};
    return m_slot.start(
        [settings = m_settings, env, result] { *result = IndexScan(settings, env); },
        [this, result] {
            ApplyIndexedSources(m_settings, result->indexed);
            comparisonMade();
        },
        m_settings.ProcessPriorityLower == 1);
}

void Application::comparisonMade()
{
    // The comparison asked for by a run that could not read its settings.
    if (m_settingsTrusted && m_state.compareAtNextStart()) {
        m_state.setCompareAtNextStart(false);
        (void)m_state.save();
    }
}

int Application::startBackupPass()
{
    applyRestoredFiles();
    auto settings = std::make_shared<JobSettings>(m_settings);
    auto result = std::make_shared<BackupPassResult>();
    const bool started = m_slot.start(
        [this, settings, result] {
            const RunState& run = m_run;
            const Archiver archiver(m_paths.folders.temp, [&run] { return PassMustStop(run); });
            BackupServices services{*settings,        m_run,      m_clock,    m_ui,
                                    m_statusLine,     m_recorder, m_log,      m_index,
                                    m_paths.folders,  archiver,   *m_targets, m_times,
                                    tableWritePath(), m_state};
            *result = BackupPass(*settings, services);
        },
        [this, result] {
            ++m_passesRun;
            m_lastPassReadyTargets = result->readyTargets;
            m_lastPassFailedFiles = result->failedFiles;
            m_lastPassStopped = result->stopped;
            if (m_shell) {
                TellPassOutcome(*m_shell, *result, m_clock.now());
            }
            ApplyIndexedSources(m_settings, result->indexed);
            if (m_indexInPass &&
                std::all_of(m_settings.sources.cbegin(), m_settings.sources.cend(),
                            [](const SourceEntry& e) { return e.Indexed == 1; })) {
                m_indexInPass = false;
                comparisonMade(); // the pass indexed every source
            }
            if (result->fullBackupStarted) {
                m_settings.InitialFullBackupLastStarted = *result->fullBackupStarted;
                if (m_settingsTrusted) {
                    (void)m_store.SaveSettings(m_settings);
                }
            }
        },
        m_settings.ProcessPriorityLower == 1);
    return started ? 1 : 0;
}

bool Application::archiverUsable()
{
    return InstallArchiver(ZipUse::Write, WantedZipMethods(m_settings)) == 1;
}

void Application::archiverMissing()
{
    // Ends at once, like a start without the archiver: nothing is saved.
    m_log.deferRewrites(false);
    if (m_settings.LogfileActive == 1) {
        (void)m_log.WriteLogFile(m_settings);
    }
    m_ui.showMessage(Text("TXT00001"), Text("TXT00006"), MessageIcon::Warning, true);
    std::fflush(nullptr);
    ::_exit(m_options.once ? kExitNothingSaved : 0);
}

QString Application::ftpTempPath() const
{
    return m_paths.folders.temp + u'~' + Text("Temp_FileName") + QStringLiteral("Ftp.tmp");
}

void Application::switchStatus(int status, const QString& statusLine)
{
    m_run.Status = static_cast<std::int8_t>(status);
    m_recorder.RecordStatus(status);
    if (!statusLine.isEmpty()) {
        m_statusLine.ShowStatusLine(statusLine);
    }
}

void Application::requestFullBackup()
{
    // Every file looks new to the next pass.
    m_run.FullBackupRequested = 1;
    m_run.RescanRequested = 0;
    m_index.EmptyIndex();
    requestFullSave();
    for (SourceEntry& source : m_settings.sources) {
        source.Indexed = CanListFolder(source.SourceDirPfad) ? 1 : 0;
    }
}

void Application::requestIndexRebuild()
{
    m_run.TakeIndexAsReference = 1;
    m_run.RescanRequested = 1;
    m_run.FullBackupRequested = 0;
}

void Application::writeAutostart()
{
    WriteAutostart(m_settings, m_paths.folders.configHome, m_paths.programPath);
}

int Application::clearLogFile()
{
    return m_log.clearLogFile(m_ui);
}

void Application::registerRestoredFiles(const QStringList& files)
{
    m_restoredFiles.append(files);
    applyRestoredFiles();
}

void Application::applyRestoredFiles()
{
    // Only the main thread starts jobs: with the slot free here, no pass can
    // touch the index until this returns.
    if (m_restoredFiles.isEmpty() || m_slot.isBusy()) {
        return;
    }
    const QStringList files = std::exchange(m_restoredFiles, {});
    if (RegisterRestoredFiles(m_index, files) > 0 && m_settings.WorkModeExtended >= 1) {
        (void)SaveFileTimeTable(m_index, tableWritePath(), m_clock, m_ui);
    }
}

void Application::backUpNow()
{
    if (m_periodic) {
        m_periodic->requestBackupNow();
    }
}

void Application::saveSettings()
{
    if (m_settingsTrusted) {
        (void)m_store.SaveSettings(m_settings);
    }
}

void Application::showStatusLine(const QString& text)
{
    m_statusLine.ShowStatusLine(text);
}

QString Application::logFilePath() const
{
    return m_paths.folders.appData + Text("Log_FileName");
}

void Application::quit()
{
    // Asked before the main loop runs (during the start delay), the loop
    // must not start at all: a quit of an event loop not yet running is lost.
    m_quitRequested = true;
    // Not quit(): on a desktop it closes every window first, and the monitor
    // closed that way would not open again at the next start.
    m_eventLoop.exit(0);
}

} // namespace fernhold
