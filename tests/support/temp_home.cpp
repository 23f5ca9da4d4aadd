#include "temp_home.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <ftw.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace fernhold::test {

namespace {

int removeEntry(const char* path, const struct stat* /*info*/, int /*type*/, FTW* /*where*/)
{
    (void)::remove(path);
    return 0;
}

const char* const kVariables[] = {"HOME",           "XDG_CONFIG_HOME", "XDG_DATA_HOME",
                                  "XDG_CACHE_HOME", "XDG_RUNTIME_DIR", "TMPDIR"};

} // namespace

TempHome::TempHome()
{
    EXPECT_TRUE(m_dir.isValid());
    for (const char* name : kVariables) {
        m_wasSet[name] = qEnvironmentVariableIsSet(name);
        m_saved[name] = qgetenv(name);
    }
    const QString home = path();
    QDir().mkpath(configHome());
    QDir().mkpath(cacheHome());
    QDir().mkpath(dataHome());
    QDir().mkpath(runtimeDir());
    QDir().mkpath(home + QStringLiteral("tmp"));
    QFile::setPermissions(runtimeDir(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("HOME", QFile::encodeName(QDir::cleanPath(home)));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome()));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cacheHome()));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir()));
    qputenv("TMPDIR", QFile::encodeName(home + QStringLiteral("tmp")));
}

TempHome::~TempHome()
{
    for (const char* name : kVariables) {
        if (m_wasSet[name]) {
            qputenv(name, m_saved[name]);
        } else {
            qunsetenv(name);
        }
    }
    // Tests make folders read-only on purpose; let the clean-up remove them.
    const QString root = m_dir.path();
    std::function<void(const QString&)> open = [&](const QString& folder) {
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
        for (const QFileInfo& info : QDir(folder).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot |
                                                                QDir::Hidden | QDir::NoSymLinks)) {
            open(info.filePath());
        }
    };
    open(root);
    // Qt's file classes cannot name files whose names are not UTF-8: the tree
    // goes by the bytes the system lists.
    (void)::nftw(QFile::encodeName(root).constData(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

QString TempHome::path() const
{
    return m_dir.path() + u'/';
}

QString TempHome::writeFile(const QString& relativePath, const QByteArray& content) const
{
    const QString full = path() + relativePath;
    QDir().mkpath(QFileInfo(full).absolutePath());
    QFile file(full);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << full.toStdString();
    file.write(content);
    return full;
}

QByteArray TempHome::readFile(const QString& fullPath)
{
    QFile file(fullPath);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

QStringList filesBelow(const QString& folder)
{
    QStringList names;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        names.append(it.next().mid(folder.size()));
    }
    names.sort();
    return names;
}

} // namespace fernhold::test
