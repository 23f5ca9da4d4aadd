#pragma once

// End-to-end backups: the real fernhold program runs `--once` in a temporary
// home whose settings are written as files, over a real source tree, into a
// real folder target; the versions are checked with the real 7za and unzip.

#include "core/job_settings.h"
#include "core/settings_store.h"
#include "core/text_table.h"
#include "engine/target_layout.h"
#include "fake_user_interface.h"
#include "run_program.h"
#include "system_tool.h"
#include "temp_home.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <gtest/gtest.h>
#include <optional>
#include <unistd.h>

namespace fernhold::test {

inline QString text(const char* key)
{
    return Text(QString::fromLatin1(key));
}

using ToolResult = ToolOutput;

// Runs a program of the system (7za, unzip, setpriv, unshare) and waits for it.
inline ToolResult runTool(const QString& program, const QStringList& arguments,
                          const QByteArray& input = {}, int timeoutMs = 120000)
{
    return RunSystemTool(program, arguments, input, timeoutMs);
}

inline QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// Bytes that do not compress, so archives are as large as their files.
inline QByteArray noiseBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 x = seed * 2654435761U + 1;
    for (qsizetype i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        bytes[i] = static_cast<char>(x >> 24);
    }
    return bytes;
}

inline QDateTime wholeSecond(const QDateTime& at)
{
    return at.addMSecs(-at.time().msec());
}

// One home with a source folder home/Documents/ (sub-folders included) for
// target 1, the folder home/backup/. The settings are those of an active
// program that gives up at once without a target and keeps a log.
class BackupRunTest : public ::testing::Test
{
protected:
    BackupRunTest()
        : m_source(m_home.path() + QStringLiteral("Documents/")),
          m_target(m_home.path() + QStringLiteral("backup/"))
    {
        QDir().mkpath(m_source);
        QDir().mkpath(m_target);
        m_settings.ProgrammStatus = 1;
        m_settings.WaitForTargetDirCount = 0;
        m_settings.LogfileActive = 1;
        m_settings.NoAutomaticCleaning = 1;
        m_settings.target(1).TargetType = QStringLiteral("WIN");
        m_settings.target(1).TargetDir = m_target;
        SourceEntry entry;
        entry.SourceDirPfad = m_source;
        entry.SourceDirSub = 1;
        entry.SourceDirTarget = QStringLiteral("1");
        m_settings.sources = {entry};
    }

    void save()
    {
        QDir().mkpath(m_home.appData());
        SettingsStore store(m_home.appData(), m_ui);
        ASSERT_EQ(store.SaveSettings(m_settings), 1);
    }

    // Saves the settings, runs `fernhold --once [--full] --verbose` and
    // remembers when it ran.
    RunResult once(bool full = true)
    {
        save();
        QStringList arguments{QStringLiteral("--once"), QStringLiteral("--verbose")};
        if (full) {
            arguments.append(QStringLiteral("--full"));
        }
        m_started = wholeSecond(QDateTime::currentDateTime());
        RunResult r = RunFernhold(arguments, {}, 120000);
        m_ended = wholeSecond(QDateTime::currentDateTime());
        EXPECT_TRUE(r.finished);
        return r;
    }

    // The same, with fernhold started through `wrapper` (a program and its
    // arguments, ending where fernhold's path goes).
    ToolResult onceThrough(const QStringList& wrapper, bool full = true)
    {
        save();
        QStringList arguments = wrapper.mid(1);
        arguments << FernholdProgram() << QStringLiteral("--once") << QStringLiteral("--verbose");
        if (full) {
            arguments.append(QStringLiteral("--full"));
        }
        m_started = wholeSecond(QDateTime::currentDateTime());
        ToolResult r = runTool(wrapper.first(), arguments);
        m_ended = wholeSecond(QDateTime::currentDateTime());
        return r;
    }

    // Writes a file below the source folder; gives its full path.
    QString source(const QString& relative, const QByteArray& content)
    {
        return m_home.writeFile(m_source.mid(m_home.path().size()) + relative, content);
    }

    [[nodiscard]] QString mirror(const QString& targetRoot = {}) const
    {
        return (targetRoot.isEmpty() ? m_target : targetRoot) + MirrorText(m_source);
    }

    // The newest version of `relative` (a path below the source) made by the
    // last run, found in `folder` (default: the mirrored source folder): the
    // file named relative + "@" + a stamp of the run's time + `suffix`. ""
    // when there is none.
    [[nodiscard]] QString versionOf(const QString& relative, const QString& suffix,
                                    const QString& folder = {}) const
    {
        const QFileInfo where((folder.isEmpty() ? mirror() : folder) + relative);
        const QString prefix = where.fileName() + u'@';
        QString newest;
        QDateTime newestAt;
        for (const QString& name : QDir(where.absolutePath()).entryList(QDir::Files)) {
            if (!name.startsWith(prefix) || !name.endsWith(suffix) ||
                name.size() != prefix.size() + 15 + suffix.size()) {
                continue;
            }
            const QDateTime at = QDateTime::fromString(name.mid(prefix.size(), 15),
                                                       QStringLiteral("yyyyMMdd~HHmmss"));
            if (at.isValid() && at >= m_started && at <= m_ended &&
                (newest.isEmpty() || at > newestAt)) {
                newest = where.absolutePath() + u'/' + name;
                newestAt = at;
            }
        }
        return newest;
    }

    // The lines of the log file without their date and time.
    [[nodiscard]] QStringList logTexts() const
    {
        QStringList texts;
        const QString content =
            QString::fromUtf8(fileBytes(m_home.appData() + QStringLiteral("fernhold.log")));
        for (const QString& line : content.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
            texts.append(line.section(u'\t', 2));
        }
        return texts;
    }
    [[nodiscard]] QString failedLine(const QString& path) const
    {
        return QStringLiteral("\t\t") + text("TXT00150") + QStringLiteral(": ") + path;
    }

    // The summary status line printed by --verbose: its first line starts
    // with TXT00078; it ends before the next clock line.
    [[nodiscard]] static QStringList summaryOf(const QByteArray& err)
    {
        static const QRegularExpression clockLine(
            QStringLiteral("^\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d"));
        QStringList summary;
        bool open = false;
        for (const QString& line : QString::fromUtf8(err).split(u'\n')) {
            if (line.startsWith(text("TXT00078") + QStringLiteral(" ("))) {
                summary = {line};
                open = true;
            } else if (open && (line.isEmpty() || clockLine.match(line).hasMatch() ||
                                line.startsWith(text("Program_Name") + u':'))) {
                open = false;
            } else if (open) {
                summary.append(line);
            }
        }
        return summary;
    }

    // 7za with `arguments`, the password (if any) given on standard input.
    static ToolResult sevenZip(const QStringList& arguments, const QByteArray& input = {})
    {
        return runTool(QStringLiteral("7za"), arguments, input);
    }

    // Extracts the one entry of `archive` with 7za into a fresh folder and
    // gives its bytes, or no value when 7za fails. `password` empty: none.
    std::optional<QByteArray> extracted(const QString& archive, const QString& name,
                                        const QString& password = {}) const
    {
        const QString out = m_home.path() + QStringLiteral("extracted/");
        QDir(out).removeRecursively();
        QDir().mkpath(out);
        QStringList arguments{QStringLiteral("e"), QStringLiteral("-o") + out,
                              QStringLiteral("-y")};
        arguments << QStringLiteral("-p") + password << archive;
        const ToolResult r = sevenZip(arguments);
        if (r.exitCode != 0 || !QFileInfo(out + name).isFile()) {
            return std::nullopt;
        }
        return fileBytes(out + name);
    }

    TempHome m_home;
    const QString m_source;
    const QString m_target;
    JobSettings m_settings;
    FakeUserInterface m_ui;
    QDateTime m_started;
    QDateTime m_ended;
};

// True when this process may mount (root) and `unshare` gives a mount
// namespace of its own.
inline bool canMountPrivately()
{
    if (::geteuid() != 0) {
        return false;
    }
    return runTool(QStringLiteral("unshare"),
                   {QStringLiteral("-m"), QStringLiteral("--propagation"),
                    QStringLiteral("private"), QStringLiteral("true")})
               .exitCode == 0;
}

// The wrapper that starts fernhold without root's right to read and write
// every file, so permission bits count as for any user; empty when that is
// not needed (not root) or not possible.
inline std::optional<QStringList> ordinaryUserWrapper()
{
    if (::geteuid() != 0) {
        return QStringList{QStringLiteral("/usr/bin/env")};
    }
    const QStringList wrapper{QStringLiteral("setpriv"), QStringLiteral("--bounding-set"),
                              QStringLiteral("-dac_override,-dac_read_search"),
                              QStringLiteral("--")};
    if (runTool(wrapper.first(), wrapper.mid(1) + QStringList{QStringLiteral("true")}).exitCode !=
        0) {
        return std::nullopt;
    }
    return wrapper;
}

} // namespace fernhold::test
