#pragma once

// A backup pass under test: a temporary home with a source folder, a folder
// target, the real archiver, a settable clock and the recording user
// interface; BackupPass is called directly on the test's thread.

#include "core/job_settings.h"
#include "core/program_status.h"
#include "core/run_state.h"
#include "core/status_line.h"
#include "core/text_table.h"
#include "engine/archiver.h"
#include "engine/backup_context.h"
#include "engine/backup_pass.h"
#include "engine/backup_state.h"
#include "engine/log_book.h"
#include "engine/remote_targets.h"
#include "engine/source_index.h"
#include "engine/target_layout.h"
#include "fake_user_interface.h"
#include "file_rights.h"
#include "manual_clock.h"
#include "platform/folders.h"
#include "system_tool.h"
#include "temp_home.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <functional>
#include <gtest/gtest.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fernhold::test {

inline QString text(const char* key)
{
    return Text(QString::fromLatin1(key));
}

// Records like the fake and lets a test act when a status line appears: the
// pass shows one for each file after the walk found it and before its backup.
class HookedUserInterface : public FakeUserInterface
{
public:
    std::function<void(const QString& line)> onStatusLine;

    void showStatusLine(const QString& line) override
    {
        FakeUserInterface::showStatusLine(line);
        if (onStatusLine) {
            onStatusLine(line);
        }
    }
};

// The pass's view of the layer above the engine with folder targets only:
// no FTP server answers, and each clean-up call is recorded.
class FolderTargetsOnly : public RemoteTargets
{
public:
    [[nodiscard]] int FtpCheckTarget(const JobSettings& /*settings*/, int /*target*/,
                                     const std::function<bool()>& /*mustStop*/) override
    {
        return 0;
    }
    [[nodiscard]] int uploadVersion(const JobSettings& /*settings*/, int /*target*/,
                                    const QString& /*mirrorText*/, const QString& /*localFile*/,
                                    const QString& /*versionName*/,
                                    const std::function<bool()>& /*mustStop*/) override
    {
        ++uploads;
        return 0;
    }
    int CleanTargetVersions(const JobSettings& /*settings*/, int target,
                            const QString& path) override
    {
        cleaned.emplace_back(target, path);
        return 1;
    }
    void endPass() override {}

    int uploads = 0;
    std::vector<std::pair<int, QString>> cleaned;
};

inline QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// A pass with one source, home/work/docs/ with its sub-folders, for target 1,
// the folder home/backup/. Sources count as indexed with an empty index, as
// after a full-backup request: every file is new.
class BackupPassTest : public ::testing::Test
{
protected:
    BackupPassTest()
        : m_source(m_home.path() + QStringLiteral("work/docs/")),
          m_target(m_home.path() + QStringLiteral("backup/")),
          m_folders(ResolveFolders(QStringLiteral("fernhold"), QStringLiteral("fernhold"))),
          m_statusLine(m_ui, m_clock, m_run),
          m_recorder(m_home.path() + QStringLiteral("registry.ini")), m_log(m_folders, m_clock)
    {
        QDir().mkpath(m_source);
        QDir().mkpath(m_target);
        m_run.Status = 1;
        m_settings.target(1).TargetType = QStringLiteral("WIN");
        m_settings.target(1).TargetDir = m_target;
        SourceEntry entry;
        entry.SourceDirPfad = m_source;
        entry.SourceDirSub = 1;
        entry.SourceDirTarget = QStringLiteral("1");
        entry.Indexed = 1;
        m_settings.sources = {entry};
        m_settings.WaitForTargetDirCount = 0;
        m_settings.LogfileActive = 1;
        m_settings.NoAutomaticCleaning = 1;
    }

    void SetUp() override
    {
        ASSERT_EQ(EnsurePrivateFolder(m_folders.temp), PrivateFolderProblem::None);
        ASSERT_EQ(EnsureFolder(m_folders.appData), 1);
    }

    // Sets `flag` (m_run.Status or m_run.Ending) to `value` when the pass
    // announces its `count`-th file; `announced` counts the announcements.
    void stopAtAnnouncement(int count, Flag& flag, std::int8_t value, int& announced)
    {
        m_ui.onStatusLine = [count, &flag, value, &announced](const QString& line) {
            if (line.endsWith(QStringLiteral(" ...")) && ++announced == count) {
                flag = value;
            }
        };
    }

    // The pass after such a stop: active again, a second later.
    BackupPassResult passAfterStop()
    {
        m_ui.onStatusLine = {};
        m_run.Status = 1;
        m_run.Ending = 0;
        m_clock.advanceSeconds(1);
        return pass();
    }

    BackupPassResult pass()
    {
        const RunState& run = m_run;
        const Archiver archiver(m_folders.temp, [&run, this] {
            if (m_whileArchiving) {
                m_whileArchiving();
            }
            return PassMustStop(run);
        });
        if (m_sourcesSavedBefore) {
            for (const SourceEntry& source : m_settings.sources) {
                m_state.markSaved(source, QStringLiteral("123456789"));
                m_state.markKnown(source);
            }
        }
        BackupServices services{m_settings, m_run,   m_clock,     m_ui,      m_statusLine,
                                m_recorder, m_log,   m_index,     m_folders, archiver,
                                m_remote,   m_times, tablePath(), m_state};
        return BackupPass(m_settings, services);
    }

    [[nodiscard]] QString tablePath() const
    {
        return m_folders.appData + QStringLiteral("filetimes.txt");
    }

    // Writes a file below the source folder; gives its full path.
    QString source(const QString& relative, const QByteArray& content)
    {
        const QString path = m_source + relative;
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
        EXPECT_EQ(file.write(content), content.size());
        return path;
    }

    // The mirrored folder of `sourceFolder` (default: the source) at `targetRoot`.
    [[nodiscard]] QString mirror(const QString& sourceFolder = {},
                                 const QString& targetRoot = {}) const
    {
        return (targetRoot.isEmpty() ? m_target : targetRoot) +
               MirrorText(sourceFolder.isEmpty() ? m_source : sourceFolder);
    }

    // The version names in the mirrored source folder.
    [[nodiscard]] QStringList versions(const QString& targetRoot = {}) const
    {
        return QDir(mirror({}, targetRoot)).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    // The stamp of the manual clock as version names show it.
    [[nodiscard]] QString stamp() const { return VersionStamp(m_clock.now()); }

    // The log lines without their date and time.
    [[nodiscard]] QStringList logTexts() const
    {
        QStringList texts;
        for (const QString& line : m_log.lines()) {
            texts.append(line.section(u'\t', 2));
        }
        return texts;
    }
    [[nodiscard]] bool logged(const QString& lineText) const
    {
        return logTexts().contains(lineText);
    }
    [[nodiscard]] QString failedLine(const QString& path) const
    {
        return QStringLiteral("\t\t") + text("TXT00150") + QStringLiteral(": ") + path;
    }

    // The text of the last status line, without the clock line.
    [[nodiscard]] QString lastStatus() const { return m_statusLine.lastText(); }

    // Unpacks the one entry `name` of `archive` into a fresh folder, with
    // Fernhold's archiver and with the system's 7za; gives its bytes when
    // both agree.
    QByteArray unpacked(const QString& archive, const QString& name,
                        const QString& password = {}) const
    {
        const QString out = m_home.path() + QStringLiteral("unpacked/");
        QDir(out).removeRecursively();
        QDir().mkpath(out);
        const Archiver archiver(m_folders.temp);
        if (archiver.UnpackFile(archive, out, name, password) != 1) {
            return QByteArray("<not unpacked>");
        }
        const QByteArray ours = contentOf(out + name);
        const QString other = m_home.path() + QStringLiteral("unpacked7za/");
        QDir(other).removeRecursively();
        const ToolOutput run =
            RunSystemTool(QStringLiteral("7za"),
                          {QStringLiteral("e"), QStringLiteral("-o") + other, QStringLiteral("-y"),
                           QStringLiteral("-p") + password, QStringLiteral("--"), archive});
        if (run.exitCode != 0 || contentOf(other + name) != ours) {
            return QByteArray("<7za reads it otherwise>");
        }
        return ours;
    }

    // Nothing of Fernhold's own is left in the work folder or the target.
    void expectNoLeftovers() const
    {
        EXPECT_FALSE(QFile::exists(m_folders.temp + QStringLiteral("~fernholdZip.tmp")));
        EXPECT_FALSE(QFile::exists(m_folders.temp + QStringLiteral("~fernholdFtp.tmp")));
        for (const QString& name : filesBelow(m_target)) {
            EXPECT_FALSE(QFileInfo(name).fileName().startsWith(QStringLiteral("~fernhold")))
                << name.toStdString();
        }
    }

    TempHome m_home;
    const QString m_source;
    const QString m_target;
    Folders m_folders;
    JobSettings m_settings;
    RunState m_run;
    ManualClock m_clock;
    HookedUserInterface m_ui;
    StatusLine m_statusLine;
    StatusRecorder m_recorder;
    LogBook m_log;
    SourceIndex m_index;
    // Called each time the archiver polls its stop check while it works.
    std::function<void()> m_whileArchiving;
    FolderTargetsOnly m_remote;
    EngineTimes m_times;
    BackupState m_state{m_folders.appData + QStringLiteral("state.ini")};
    // The sources were saved whole by an earlier run: only changes are new.
    bool m_sourcesSavedBefore = true;
};

} // namespace fernhold::test
