#pragma once

#include "engine/archiver.h"
#include "platform/folders.h"
#include "system_tool.h"
#include "temp_home.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSet>
#include <gtest/gtest.h>
#include <map>
#include <string>

namespace fernhold::test {

// Sets environment variables for one test and restores them afterwards.
class EnvGuard
{
public:
    EnvGuard() = default;
    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;
    ~EnvGuard()
    {
        for (const auto& [name, value] : m_saved) {
            if (value.second) {
                qputenv(name.c_str(), value.first);
            } else {
                qunsetenv(name.c_str());
            }
        }
    }
    void set(const char* name, const QByteArray& value)
    {
        remember(name);
        qputenv(name, value);
    }
    void unset(const char* name)
    {
        remember(name);
        qunsetenv(name);
    }

private:
    void remember(const char* name)
    {
        if (m_saved.count(name) == 0) {
            m_saved[name] = {qgetenv(name), qEnvironmentVariableIsSet(name)};
        }
    }
    std::map<std::string, std::pair<QByteArray, bool>> m_saved;
};

// The process ids whose parent is this test program.
inline QSet<qint64> childPids()
{
    QSet<qint64> children;
    const qint64 self = QCoreApplication::applicationPid();
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (!numeric) {
            continue;
        }
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly)) {
            continue;
        }
        // "pid (name) state ppid ...": the name may hold blanks, so count from its end.
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1].toLongLong() == self) {
            children.insert(pid);
        }
    }
    return children;
}

inline QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>(QRandomGenerator::global()->bounded(256));
    }
    return bytes;
}

// A temporary home with Fernhold's work folder, a source folder and an
// output folder; the system's 7za serves as an independent zip tool.
class ArchiverTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_work = m_home.cacheHome() + QStringLiteral("fernhold/");
        ASSERT_EQ(EnsurePrivateFolder(m_work), PrivateFolderProblem::None);
        m_source = m_home.path() + QStringLiteral("source/");
        m_output = m_home.path() + QStringLiteral("output/");
        ASSERT_TRUE(QDir().mkpath(m_source));
        ASSERT_TRUE(QDir().mkpath(m_output));
    }

    [[nodiscard]] Archiver archiver(StopCheck mustStop = {}) const
    {
        return Archiver(m_work, std::move(mustStop));
    }

    QString writeSource(const QString& name, const QByteArray& content) const
    {
        return m_home.writeFile(QStringLiteral("source/") + name, content);
    }

    [[nodiscard]] QString zipPath(const QString& name = QStringLiteral("~fernholdZip.tmp")) const
    {
        return m_work + name;
    }

    // The system's 7za, run in the work folder.
    static ToolOutput sevenZip(const QStringList& arguments, const QByteArray& input = {})
    {
        return RunSystemTool(QStringLiteral("7za"), arguments, input);
    }

    // The "Method = ..." lines of 7za's technical listing of `archive`.
    static QStringList listedMethods(const QString& archive)
    {
        const ToolOutput run =
            sevenZip({QStringLiteral("l"), QStringLiteral("-slt"), QStringLiteral("--"), archive});
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        QStringList methods;
        for (const QByteArray& line : run.out.split('\n')) {
            if (line.startsWith("Method = ")) {
                methods.append(QString::fromUtf8(line.mid(9).trimmed()));
            }
        }
        return methods;
    }

    // Packs `file` with the packing's own check of the result: what a backup does.
    int packAndVerify(const Archiver& zip, const QString& file, const QString& archive,
                      const std::optional<ZipEncryption>& encryption = {}) const
    {
        PackedSource packed;
        if (zip.PackFile(file, archive, encryption, packed) != 1) {
            return 0;
        }
        return zip.VerifyArchive(archive, file.mid(file.lastIndexOf(u'/') + 1), packed, file);
    }

    EnvGuard m_env;
    TempHome m_home;
    QString m_work;
    QString m_source;
    QString m_output;
};

} // namespace fernhold::test
