#pragma once

#include "core/job_settings.h"
#include "core/text_table.h"
#include "engine/archiver.h"
#include "engine/target_layout.h"
#include "fake_user_interface.h"
#include "ftp_server.h"
#include "platform/folders.h"
#include "system_tool.h"
#include "temp_home.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <gtest/gtest.h>
#include <memory>

namespace fernhold::test {

inline QString text(const char* key)
{
    return Text(QString::fromLatin1(key));
}

inline QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeAll(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(content) == content.size();
}

inline QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>(QRandomGenerator::global()->bounded(256));
    }
    return bytes;
}

// Names in a folder, hidden ones included.
inline QStringList namesIn(const QString& folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// A temporary home with a folder target (target 1), a source folder whose
// versions the tests put at the target in the exact layout, Fernhold's
// work folder and Fernhold's archiver; the versions are made by the real 7za,
// as earlier releases made them.
class RestoreTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_work = m_home.cacheHome() + QStringLiteral("fernhold/");
        ASSERT_EQ(EnsurePrivateFolder(m_work), PrivateFolderProblem::None);
        m_archiver = std::make_unique<Archiver>(m_work);
        m_targetRoot = m_home.path() + QStringLiteral("target/");
        m_source = m_home.path() + QStringLiteral("Docs/");
        m_picked = m_home.path() + QStringLiteral("picked/");
        ASSERT_TRUE(QDir().mkpath(m_targetRoot));
        ASSERT_TRUE(QDir().mkpath(m_source));
        m_settings.target(1).TargetType = QStringLiteral("WIN");
        m_settings.target(1).TargetDir = m_targetRoot;
        m_settings.SelectedTarget = 1;
    }

    // The folder of the source's versions, relative to the target's root.
    [[nodiscard]] QString relative() const { return MirrorText(m_source); }
    [[nodiscard]] QString versionFolder() const { return m_targetRoot + relative(); }

    // A version at the folder target, written as it is.
    QString putVersion(const QString& versionName, const QByteArray& content,
                       const QString& subFolder = {}) const
    {
        const QString path = versionFolder() + subFolder + versionName;
        EXPECT_TRUE(writeAll(path, content));
        return path;
    }

    // The bytes of a one-file archive of `fileName` holding `content`, made
    // by the real 7za with the switches earlier releases gave it; encrypted
    // (AES-256) with a password.
    QByteArray packed(const QString& fileName, const QByteArray& content,
                      const QString& password = {}) const
    {
        const QString folder = m_home.path() + QStringLiteral("packing/");
        const QString file = folder + fileName;
        const QString archive = folder + QStringLiteral("archive.zip");
        EXPECT_TRUE(writeAll(file, content));
        QFile::remove(archive);
        QStringList arguments{QStringLiteral("a"), QStringLiteral("-ssw"), QStringLiteral("-tzip"),
                              QStringLiteral("-mmt=off"), QStringLiteral("-spd")};
        QByteArray input;
        if (!password.isEmpty()) {
            arguments << QStringLiteral("-mem=AES256") << QStringLiteral("-p");
            input = password.toUtf8() + '\n';
        }
        arguments << QStringLiteral("--") << archive << file;
        const ToolOutput run = RunSystemTool(QStringLiteral("7za"), arguments, input + input);
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        const QByteArray bytes = readAll(archive);
        QDir(folder).removeRecursively();
        return bytes;
    }

    // A zip of several files, as a user makes one.
    QByteArray usersZip() const
    {
        const QString folder = m_home.path() + QStringLiteral("userzip/");
        EXPECT_TRUE(writeAll(folder + QStringLiteral("one.txt"), "one"));
        EXPECT_TRUE(writeAll(folder + QStringLiteral("two.txt"), "two"));
        const QString archive = m_home.path() + QStringLiteral("user.zip");
        const ToolOutput run =
            RunSystemTool(QStringLiteral("7za"),
                          {QStringLiteral("a"), QStringLiteral("-tzip"), archive,
                           folder + QStringLiteral("one.txt"), folder + QStringLiteral("two.txt")});
        EXPECT_EQ(run.exitCode, 0);
        const QByteArray bytes = readAll(archive);
        QFile::remove(archive);
        QDir(folder).removeRecursively();
        return bytes;
    }

    // True when nothing is left in Fernhold's work folder.
    [[nodiscard]] bool workFolderEmpty() const { return namesIn(m_work).isEmpty(); }

    TempHome m_home;
    FakeUserInterface m_ui;
    JobSettings m_settings;
    std::unique_ptr<Archiver> m_archiver;
    QString m_work;
    QString m_targetRoot;
    QString m_source;
    QString m_picked;
};

// An FTP target (target 2, selected) on a real server of the test.
inline void UseFtpTarget(JobSettings& settings, const FtpServer& server)
{
    TargetEntry& entry = settings.target(2);
    entry.TargetType = QStringLiteral("FTP");
    entry.FTPServerName = server.host();
    entry.FTPServerPort = QString::number(server.port());
    entry.FTPUserName = server.user();
    entry.FTPPassword = server.password();
    entry.FTPSubDir = server.ftpFolder();
    settings.SelectedTarget = 2;
}

inline std::string serverName(const ::testing::TestParamInfo<FtpServerKind>& info)
{
    return info.param == FtpServerKind::Pyftpdlib ? "pyftpdlib" : "vsftpd";
}

} // namespace fernhold::test
