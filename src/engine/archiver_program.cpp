#include "engine/archiver_program.h"

#include "engine/archiver.h"
#include "engine/engine_logging.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <unistd.h>

namespace fernhold {

namespace {

// The banner run gets this long; a program that takes longer is not a
// working archiver, and start-up must not hang on it.
constexpr int kBannerRunMs = 20000;
constexpr qint64 kLargestWrapperScript = 4096;

bool isExecutableFile(const QString& path)
{
    const QFileInfo info(path);
    return !path.isEmpty() && info.isFile() &&
           ::access(QFile::encodeName(path).constData(), X_OK) == 0;
}

QString findProgram(const QString& nameOrPath)
{
    if (nameOrPath.contains(u'/')) {
        return QFileInfo(nameOrPath).absoluteFilePath();
    }
    return QStandardPaths::findExecutable(nameOrPath);
}

} // namespace

QString resolveWrapperScript(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kLargestWrapperScript) {
        return path;
    }
    const QByteArray head = file.read(2);
    if (head != "#!") {
        return path;
    }
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    // The interpreter must be a shell: sh, dash, bash.
    if (!lines.value(0).trimmed().section(u' ', 0, 0).endsWith(QStringLiteral("sh"))) {
        return path;
    }
    // Only a script of nothing but comments, blank lines and one line
    // `exec /absolute/program "$@"` may be bypassed: anything else may set up
    // what the program needs.
    static const QRegularExpression execLine(
        QStringLiteral("^\\s*exec\\s+(\"?)(/[^\"\\s]+)\\1\\s+\"\\$@\"\\s*$"));
    QString target;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(u'#')) {
            continue;
        }
        const auto match = execLine.match(line);
        if (!match.hasMatch() || !target.isEmpty()) {
            return path;
        }
        target = match.captured(2);
    }
    return isExecutableFile(target) ? target : path;
}

std::optional<ArchiverProgram> locateArchiver()
{
    QString wanted = qEnvironmentVariable("FERNHOLD_7ZA");
    if (wanted.isEmpty()) {
        wanted = QStringLiteral("7za");
    }
    const QString named = findProgram(wanted);
    if (!isExecutableFile(named)) {
        qCWarning(lcEngine) << "archiver not found or not executable:" << wanted;
        return std::nullopt;
    }
    return ArchiverProgram{named, resolveWrapperScript(named)};
}

int InstallArchiver(ArchiverCheck check, ArchiverProgram& archiver, const QString& workFolder)
{
    if (check == ArchiverCheck::BeforePass) {
        if (isExecutableFile(archiver.program)) {
            return 1;
        }
        // An update may have moved the program behind the script.
        if (isExecutableFile(archiver.named)) {
            archiver.program = resolveWrapperScript(archiver.named);
            return isExecutableFile(archiver.program) ? 1 : 0;
        }
        qCWarning(lcEngine) << "archiver gone or no longer executable:" << archiver.program;
        return 0;
    }

    const auto found = locateArchiver();
    if (!found) {
        return 0;
    }
    const QDeadlineTimer deadline(kBannerRunMs);
    const QString folder = QFileInfo(workFolder).isDir() ? workFolder : QDir::rootPath();
    const Archiver runner(found->program, folder, [&deadline] { return deadline.hasExpired(); });
    bool banner = false;
    const ArchiverRun run = runner.RunArchiver({}, std::nullopt, [&banner](const QString& line) {
        banner = banner || line.startsWith(QStringLiteral("7-Zip"));
    });
    if (run.started == 0 || run.stopped == 1 || !banner) {
        qCWarning(lcEngine) << "archiver does not answer as 7-Zip:" << found->program;
        return 0;
    }
    archiver = *found;
    return 1;
}

} // namespace fernhold
