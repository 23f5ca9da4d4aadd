#include "application.h"

#include "crash_handler.h"
#include "folders.h"
#include "periodic_section.h"
#include "termination.h"
#include "text_table.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace fernhold {

namespace {

constexpr int kTurnMilliseconds = 3000;

QString text(const char* key)
{
    return Text(QString::fromLatin1(key));
}

QString privateFolderReason(PrivateFolderProblem problem)
{
    switch (problem) {
    case PrivateFolderProblem::SymbolicLink: return text("TXT00371");
    case PrivateFolderProblem::OtherOwner: return text("TXT00372");
    case PrivateFolderProblem::NotAFolder: return text("TXT00373");
    case PrivateFolderProblem::CannotCreate:
    case PrivateFolderProblem::None: break;
    }
    return text("TXT00374");
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

Application::Application(Options options)
    : m_options(options), m_paths(ResolveAppPaths()), m_store(m_paths.folders.appData, m_ui),
      m_recorder(m_paths.registryPath), m_statusLine(m_ui, m_clock, m_run),
      m_log(m_paths.folders, m_clock),
      m_instanceLock(m_paths.folders.runtimeDir, text("Program_Name")),
      m_presenceLock(m_paths.folders.runtimeDir, text("MutexProgName"))
{
    m_ui.setVerbose(options.verbose);
}

Application::~Application() = default;

int Application::run()
{
    m_termination = std::make_unique<TerminationWatch>([] { QCoreApplication::quit(); });
    if (const auto exitCode = startUp()) {
        return *exitCode;
    }
    m_started = true;
    if (m_options.once) {
        runOnce();
    } else if (!TerminationWatch::requested()) {
        mainLoop();
    }
    programEnd();
    return 0;
}

std::optional<int> Application::startUp()
{
    const QString programName = text("Program_Name");

    // Single instance: the named lock of the program name, then the presence
    // lock that only tells other programs that Fernhold runs.
    if (NamedLock::ensureRuntimeDir(m_paths.folders.runtimeDir) != 1 ||
        m_instanceLock.tryLock() != 1) {
        m_ui.showMessage(programName, text("TXT00041"), MessageIcon::Information);
        return 0;
    }
    (void)m_presenceLock.tryLock();

    (void)EnsureFolder(m_paths.folders.appData);
    const QByteArray head = (text("TXT00020") + QStringLiteral("\r\n\r\n") + text("TXT00021") +
                             QStringLiteral("\r\n\r\n") + text("TXT00022") + QStringLiteral("\r\n") +
                             text("TXT00023") + QStringLiteral("\r\n"))
                                .toUtf8();
    InstallCrashHandler(m_paths.crashReportPath, head,
                        (programName + u' ' + text("Version_Name")).toUtf8(),
                        text("TXT00024").toUtf8());
    offerCrashReport();

    const PrivateFolderProblem problem = EnsurePrivateFolder(m_paths.folders.temp);
    if (problem != PrivateFolderProblem::None) {
        m_ui.showMessage(programName,
                         text("TXT00370") + QStringLiteral("\r\n") + m_paths.folders.temp +
                             QStringLiteral("\r\n") + privateFolderReason(problem),
                         MessageIcon::Warning);
        return 1;
    }

    m_store.LoadSettings(m_settings);
    m_statusLine.setBackupCycle(m_settings.BackupCycle);

    m_log.ReadLogFile();
    m_log.AddLogLine(QStringLiteral("\t\t") + text("TXT00157"));
    if (m_settings.LogfileActive == 1) {
        (void)m_log.WriteLogFile(m_settings);
    }

    if (m_settings.WorkModeExtended < 1) {
        QFile::remove(fileTimePath());
    }

    m_run.Status = m_settings.ProgrammStatus;
    m_recorder.RecordStatus(m_run.Status.load());
    m_run.LastPassStartTicks = m_clock.monotonicMs();
    m_run.LastPassStartTime = m_clock.nowSeconds();

    PeriodicHooks hooks;
    hooks.startIndexScan = [this] { return startIndexScan(); };
    hooks.startBackupPass = [this] { return startBackupPass(); };
    hooks.remoteRequested = [this](const QString& name) {
        return NamedLock::isHeldElsewhere(m_paths.folders.runtimeDir, name);
    };
    m_periodic = std::make_unique<PeriodicSection>(m_settings, m_run, m_clock, m_ui, m_recorder,
                                                   m_statusLine, m_slot, std::move(hooks));

    startDelay();
    if (!TerminationWatch::requested()) {
        (void)startIndexScan();
    }
    return std::nullopt;
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
    (void)m_ui.askYesNo(text("TXT00025"), content + QStringLiteral("\r\n\r\n") + text("TXT00024"),
                        MessageIcon::Warning, false);
}

void Application::startDelay()
{
    const int seconds = m_settings.StartWaitSeconds;
    if (seconds <= 0) {
        return;
    }
    const QDateTime until = m_clock.now().addSecs(seconds);
    m_statusLine.ShowStatusLine(text("TXT00161") + u' ' + until.toString(QStringLiteral("hh:mm:ss")) +
                                QStringLiteral("\r\n(") + text("TXT00162") + u' ' +
                                QString::number(seconds) + u' ' + text("TXT00163") + u')');
    while (m_clock.now() <= until && !TerminationWatch::requested()) {
        waitWithEvents(200);
    }
}

void Application::mainLoop()
{
    QTimer turn;
    turn.setInterval(kTurnMilliseconds);
    QObject::connect(&turn, &QTimer::timeout, [this] { m_periodic->RunPeriodicSection(); });
    turn.start();
    QCoreApplication::exec();
}

void Application::runOnce()
{
    // The start-up scan first, then one pass as a back-up-now request.
    while (m_slot.isBusy() && !TerminationWatch::requested()) {
        (void)m_slot.waitForEnd(100);
        QCoreApplication::processEvents();
    }
    if (m_options.full) {
        m_run.FullBackupRequested = 1;
        m_run.RescanRequested = 0;
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
    (void)m_store.SaveSettings(m_settings);
    WriteAutostart(m_settings, m_paths.folders.configHome, m_paths.programPath);

    m_run.Status = 0;
    m_run.Ending = 1;
    m_run.CleanupAbort = 1;
    for (int i = 1; i <= m_settings.WaitAtProgramEnd && m_slot.isBusy(); ++i) {
        (void)m_slot.waitForEnd(1000);
    }
    (void)m_slot.waitForEnd(0);
    const bool workerEnded = !m_slot.isBusy();

    m_recorder.RecordStatus(-1);
    if (m_settings.WorkModeExtended < 1) {
        QFile::remove(fileTimePath());
    }
    m_log.AddLogLine(QStringLiteral("\t\t") + text("TXT00158"));
    if (m_settings.LogfileActive == 1) {
        (void)m_log.WriteLogFile(m_settings);
    }
    m_presenceLock.unlock();
    m_instanceLock.unlock();
    if (!workerEnded) {
        // A worker that did not stop in time ends with the process; running the
        // normal exit path under it could only crash.
        std::fflush(nullptr);
        ::_exit(0);
    }
}

QString Application::fileTimePath() const
{
    return m_paths.folders.appData + text("FileTime_File");
}

int Application::startIndexScan()
{
    // The index scan is plugged in by the source index.
    return 0;
}

int Application::startBackupPass()
{
    // The backup pass is plugged in by the backup engine.
    return 0;
}

} // namespace fernhold
