#include "byte_paths.h"

#include <QFile>
#include <QProcess>
#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fernhold::test {

QByteArray NativePath(const QString& path)
{
    return QFile::encodeName(path);
}

bool WriteBytesFile(const QByteArray& path, const QByteArray& content)
{
    for (qsizetype slash = path.indexOf('/', 1); slash > 0; slash = path.indexOf('/', slash + 1)) {
        (void)::mkdir(path.first(slash).constData(), 0755);
    }
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    const bool written = ::write(fd, content.constData(),
                                 static_cast<std::size_t>(content.size())) == content.size();
    return ::close(fd) == 0 && written;
}

std::optional<QByteArray> ReadBytesFile(const QByteArray& path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    QByteArray content;
    char buffer[65536];
    ssize_t got = 0;
    while ((got = ::read(fd, buffer, sizeof(buffer))) > 0) {
        content.append(buffer, got);
    }
    ::close(fd);
    if (got < 0) {
        return std::nullopt;
    }
    return content;
}

QList<QByteArray> NamesInFolder(const QByteArray& folder)
{
    QList<QByteArray> names;
    DIR* dir = ::opendir(folder.constData());
    if (dir == nullptr) {
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            names.append(QByteArray(entry->d_name));
        }
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

QList<QByteArray> FilesBelowFolder(const QByteArray& folder)
{
    QList<QByteArray> files;
    const QByteArray base = folder.endsWith('/') ? folder : folder + '/';
    std::vector<QByteArray> pending{QByteArray()};
    while (!pending.empty()) {
        const QByteArray relative = pending.back();
        pending.pop_back();
        for (const QByteArray& name : NamesInFolder(base + relative)) {
            struct stat info
            {
            };
            if (::lstat((base + relative + name).constData(), &info) != 0) {
                continue;
            }
            if (S_ISDIR(info.st_mode)) {
                pending.push_back(relative + name + '/');
            } else if (S_ISREG(info.st_mode)) {
                files.append(relative + name);
            }
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

RunResult RunWithByteArguments(const QByteArray& program, const QList<QByteArray>& arguments,
                               const QByteArray& input, int timeoutMs,
                               const QByteArray& workingFolder)
{
    // QProcess sets up the channels; the child then execs the program itself
    // with the exact bytes (prepared here: the child must not allocate).
    QList<QByteArray> bytes{program};
    bytes.append(arguments);
    std::vector<char*> argv;
    for (QByteArray& argument : bytes) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    const char* folder = workingFolder.isEmpty() ? nullptr : workingFolder.constData();

    RunResult result;
    QProcess process;
    process.setProgram(QFile::decodeName(program));
    process.setChildProcessModifier([&argv, folder] {
        if (folder != nullptr && ::chdir(folder) != 0) {
            ::_exit(126);
        }
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    });
    process.start();
    if (!process.waitForStarted(10000)) {
        return result;
    }
    if (!input.isEmpty()) {
        process.write(input);
    }
    process.closeWriteChannel();
    result.finished = process.waitForFinished(timeoutMs);
    if (!result.finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

RunResult RunFernholdBytes(const QList<QByteArray>& arguments, const QByteArray& input,
                           int timeoutMs)
{
    return RunWithByteArguments(NativePath(FernholdProgram()), arguments, input, timeoutMs);
}

} // namespace fernhold::test
