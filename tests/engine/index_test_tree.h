#pragma once

// Helpers for the source-index tests: files with chosen times, and the
// collection of what a backup walk hands on.

#include "core/job_settings.h"
#include "core/run_state.h"
#include "core/status_line.h"
#include "engine/backup_state.h"
#include "engine/exclusion_rules.h"
#include "engine/file_record.h"
#include "engine/index_scan.h"
#include "engine/index_walks.h"
#include "engine/source_index.h"
#include "fake_user_interface.h"
#include "manual_clock.h"
#include "platform/folders.h"
#include "temp_home.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>

namespace fernhold::test {

// Writes `content` to `path` (folders made as needed).
inline void writeFileAt(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(content), content.size());
}

// Sets the last-write time of `path` (seconds and nanoseconds since 1970).
inline void setWriteTime(const QString& path, qint64 seconds, long nanoseconds = 0)
{
    const struct timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0)
        << path.toStdString();
}

// One file handed to BackupFile.
struct HandedFile
{
    QString folderPath;
    QString name;
    qint64 size = 0;
    std::optional<FileRecord> record;
    QString target;
};

// A BackupFile that only records what it was given.
struct HandedFiles
{
    std::vector<HandedFile> files;

    [[nodiscard]] BackupFileFunction callback()
    {
        return [this](const QString& folderPath, const QString& name, qint64 size,
                      const std::optional<FileRecord>& record, const QString& target) {
            files.push_back({folderPath, name, size, record, target});
        };
    }
    [[nodiscard]] QStringList paths() const
    {
        QStringList list;
        for (const HandedFile& file : files) {
            list.append(file.folderPath + file.name);
        }
        list.sort();
        return list;
    }
};

// A temporary home with one source folder, home/data/ (sub-folders included),
// an index and everything its jobs need.
class IndexFixture : public ::testing::Test
{
protected:
    IndexFixture() : src(home.path() + QStringLiteral("data/")), statusLine(ui, clock, run)
    {
        run.Status = 1;
        QDir().mkpath(src);
        QDir().mkpath(home.appData());
        SourceEntry entry;
        entry.SourceDirPfad = src;
        entry.SourceDirSub = 1;
        settings.sources = {entry};
    }

    [[nodiscard]] QString tablePath() const
    {
        return home.appData() + QStringLiteral("filetimes.txt");
    }
    // The sources count as indexed by an earlier run, so extended mode
    // compares them with the table.
    [[nodiscard]] IndexEnvironment env(SourceIndex& which)
    {
        for (const SourceEntry& source : settings.sources) {
            state.markKnown(source);
        }
        return {which, run,         statusLine, ui,
                clock, tablePath(), state,      settings.WorkModeExtended >= 1};
    }
    // A state in which every source has been saved whole at every target.
    [[nodiscard]] const BackupState& savedState()
    {
        for (const SourceEntry& source : settings.sources) {
            state.markSaved(source, QStringLiteral("123456789"));
        }
        return state;
    }
    IndexScanResult scan() { return IndexScan(settings, env(index)); }
    IndexScanResult scan(SourceIndex& which) { return IndexScan(settings, env(which)); }

    // A file below the source folder.
    QString file(const QString& relative, const QByteArray& content = "x")
    {
        writeFileAt(src + relative, content);
        return src + relative;
    }

    // What a backup walk of `folder` hands on, as sorted full paths.
    [[nodiscard]] QStringList changed(const QString& folder, HandedFiles* handed = nullptr,
                                      const QString& filter = {})
    {
        HandedFiles local;
        HandedFiles& sink = handed != nullptr ? *handed : local;
        const ExclusionRules rules(
            settings, ResolveFolders(QStringLiteral("fernhold"), QStringLiteral("fernhold")));
        const FolderIdSet roots = TargetRootFolders(settings);
        const BackupWalk walk{index, rules, run,
                              SizeLimitBytes(settings.BackupSize, settings.BackupUnit), roots};
        (void)BackupFolder(walk, true, filter, folder, QStringLiteral("1"), sink.callback());
        return sink.paths();
    }
    [[nodiscard]] QStringList changed() { return changed(src); }

    TempHome home;
    const QString src;
    JobSettings settings;
    RunState run;
    FakeUserInterface ui;
    ManualClock clock;
    StatusLine statusLine;
    SourceIndex index;
    BackupState state{home.appData() + QStringLiteral("state.ini")};
};

} // namespace fernhold::test
