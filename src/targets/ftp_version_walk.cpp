#include "targets/ftp_version_walk.h"

#include "core/job_settings.h"
#include "platform/file_name.h"
#include "targets/ftp_session.h"
#include "targets/ftp_target.h"

#include <QDateTime>

namespace fernhold {

namespace {

QString withSlash(QString path)
{
    if (!path.endsWith(u'/')) {
        path.append(u'/');
    }
    return path;
}

// Deeper than any real tree; a server that invents folders without end
// cannot keep the walk going forever.
constexpr qsizetype kMaxRelativePath = 16384;

// An upload that never became a version: its process was killed or the line
// dropped. Only when the server gives its time and that is a day old, so an
// upload still running from another machine is left alone; a server's local
// time stays within that day.
bool isStaleUploadLeftover(const FtpEntry& entry)
{
    return entry.attributes == kFtpFile && IsFtpTemporaryName(entry.name) && entry.modified &&
           *entry.modified < QDateTime::currentDateTimeUtc().addDays(-1);
}

} // namespace

FtpVersionWalk::FtpVersionWalk(const JobSettings& settings, int target, const QString& path,
                               CleanupRules rules, StopTest stop, ShowFolder showFolder)
    : m_port(FtpTargetPort(settings, target)), m_subDir(FtpTargetSubDir(settings, target)),
      m_mode(FtpModeOf(settings)), m_start(path.isEmpty() ? path : withSlash(path)),
      m_rules(std::move(rules)), m_stop(std::move(stop)), m_showFolder(std::move(showFolder))
{
    if (target >= 1 && target <= kTargetCount) {
        const TargetEntry& entry = settings.target(target);
        m_server = entry.FTPServerName;
        m_user = entry.FTPUserName;
        m_password = entry.FTPPassword;
    }
    m_transport = FtpTargetOptions(settings, target);
    if (m_transport.transport == FtpTransport::Sftp) {
        m_mode = FtpNameMode::Utf8; // the session's own mode over SFTP
    }
}

FtpVersionWalk::~FtpVersionWalk() = default;

FtpVersionWalk::Start FtpVersionWalk::connect()
{
    close();
    FtpSessionOptions options = m_transport;
    options.stopRequested = m_stop;
    m_session = FtpOpen(m_server, m_port, m_user, m_password, m_mode, options);
    if (!m_session) {
        return Start::NoConnection;
    }
    if (m_mode == FtpNameMode::Plain) {
        // The folder as it stands; the empty text stays where the login put us.
        std::optional<QString> current;
        if (FtpEnter(*m_session, m_subDir) == 1) {
            current = FtpCurrentFolder(*m_session);
        }
        if (!current) {
            close();
            return Start::NoRoot;
        }
        m_root = withSlash(*current);
    } else {
        m_root = FtpResolveFolder(*m_session, m_subDir);
        if (FtpEnter(*m_session, m_root) != 1) {
            close();
            return Start::NoRoot;
        }
    }
    m_queue.push_back(m_start);
    return Start::Connected;
}

bool FtpVersionWalk::done() const
{
    return !m_session || m_queue.empty();
}

void FtpVersionWalk::cleanNextFolder()
{
    if (done()) {
        return;
    }
    if (m_stop()) {
        m_count.stopped = true;
        close();
        return;
    }
    const QString relative = std::move(m_queue.front());
    m_queue.pop_front();
    if (m_showFolder) {
        m_showFolder(DisplayFileName(relative));
    }
    const QString folder = withSlash(m_root + relative);
    if (FtpEnter(*m_session, folder) == 1) {
        if (const std::optional<QList<FtpEntry>> listing = FtpList(*m_session)) {
            // Plain mode names a file by its full path, UTF-8 mode by its
            // name in the folder just entered; both reach the same file.
            const bool plain = m_mode == FtpNameMode::Plain;
            std::vector<TargetFile> files;
            for (const FtpEntry& entry : *listing) {
                if (isStaleUploadLeftover(entry)) {
                    (void)FtpDelete(*m_session, plain ? folder + entry.name : entry.name);
                    continue;
                }
                if (entry.attributes == kFtpFolder) {
                    if (relative.size() + entry.name.size() >= kMaxRelativePath) {
                        continue;
                    }
                    m_queue.push_back(relative + entry.name + u'/');
                } else if (entry.attributes == kFtpFile) {
                    files.push_back({entry.name, entry.size});
                }
            }
            m_count += CleanFolderVersions(files, m_rules, m_stop, [&](std::size_t index) {
                const QString& name = files[index].name;
                return FtpDelete(*m_session, plain ? folder + name : name) == 1;
            });
        }
    }
    if (m_count.stopped || m_queue.empty()) {
        close();
    }
}

void FtpVersionWalk::close()
{
    if (m_session) {
        FtpClose(m_session);
    }
    m_queue.clear();
}

} // namespace fernhold
