#include "restore/restore_version.h"

#include "core/job_settings.h"
#include "core/text_table.h"
#include "core/user_interface.h"
#include "engine/archiver.h"
#include "engine/target_layout.h"
#include "platform/file_name.h"
#include "platform/folders.h"
#include "platform/native_paths.h"
#include "restore/restore_scratch.h"
#include "restore/version_file.h"
#include "restore/version_source.h"
#include "restore/version_stamp.h"
#include "targets/ftp_session.h"
#include "targets/ftp_target.h"
#include "targets/version_name.h"

#include <cerrno>
#include <memory>
#include <optional>
#include <sys/stat.h>

namespace fernhold {

namespace {

const QString kBreak = QStringLiteral("\r\n");

// The local name of a downloaded version: its own name with every byte that
// is not UTF-8 replaced, so the FTP layer's Qt file calls can write it. It is
// longer than the file's name, so it never meets the unpacked file.
QString downloadName(const QString& versionName)
{
    QString name = versionName;
    for (QChar& c : name) {
        if (IsEscapedByte(c.unicode())) {
            c = u'_';
        }
    }
    return name;
}

// The way out of every restore: the path field gets its folder back, the
// pointer and the status text are normal again, and the password field
// gets the focus when a step asked for it.
class RestoreExit
{
public:
    RestoreExit(UserInterface& ui, QString folder) : m_ui(ui), m_folder(std::move(folder))
    {
        m_ui.showRestorePath(Text("GAD00126"));
    }
    ~RestoreExit()
    {
        m_ui.setBusy(false);
        m_ui.showRestorePath(DisplayFileName(m_folder));
        if (m_focusPassword) {
            m_ui.focusRestorePassword();
        }
    }
    RestoreExit(const RestoreExit&) = delete;
    RestoreExit& operator=(const RestoreExit&) = delete;

    void focusPassword() { m_focusPassword = true; }

private:
    UserInterface& m_ui;
    QString m_folder;
    bool m_focusPassword = false;
};

// True when anything, a dangling link included, has the name `path`.
bool nameTaken(const QString& path)
{
    struct stat info
    {
    };
    return ::lstat(EncodeFileName(path).constData(), &info) == 0 || errno != ENOENT;
}

} // namespace

VersionRestore::VersionRestore(const JobSettings& settings, RestoreServices services)
    : m_settings(settings), m_services(std::move(services))
{}

int VersionRestore::RestoreVersion(const QString& folder, const QString& versionName,
                                   const QString& mode, const QString& password)
{
    m_restoredFile.clear();
    UserInterface& ui = m_services.ui;
    RestoreExit way(ui, folder);
    const auto warn = [&ui](const QString& message) {
        ui.showMessage(Text("TXT00001"), message, MessageIcon::Warning);
        return 0;
    };
    const auto inform = [&ui](const QString& message) {
        ui.showMessage(Text("TXT00013"), message, MessageIcon::Information);
        return 0;
    };

    QString f = folder;
    if (!f.isEmpty() && !f.endsWith(u'/')) {
        f.append(u'/');
    }
    const std::optional<VersionParts> info = ParseVersionName(versionName, VersionRule::Restore);
    if (!info || !IsSafeRelativeFolder(f)) {
        return warn(Text("TXT00051") + kBreak + DisplayFileName(versionName));
    }
    const QString& name = info->fileName;
    if (info->encrypted && password.isEmpty()) {
        way.focusPassword();
        return inform(Text("TXT00057"));
    }

    // The destination folder, confirmed before anything is fetched.
    QString destination;
    if (mode == QStringLiteral("0")) {
        destination = SourceFolderOfMirror(f);
        if (!ui.askYesNo(Text("TXT00052"),
                         Text("TXT00053") + kBreak + DisplayFileName(destination + name),
                         MessageIcon::Question, false)) {
            return 0;
        }
    } else {
        const QString picked = ui.pickFolder(Text("TXT00054"), m_services.documentsFolder);
        if (picked.isEmpty()) {
            return 0;
        }
        if (!picked.startsWith(u'/')) {
            return inform(Text("TXT00055"));
        }
        destination = WithSlash(picked);
        // The question warns of a file it would replace; without one there
        // is nothing to confirm.
        if (nameTaken(destination + name) &&
            !ui.askYesNo(Text("TXT00052"),
                         Text("TXT00056") + kBreak + DisplayFileName(destination + name),
                         MessageIcon::Question, false)) {
            return 0;
        }
    }

    // Locate the version; an FTP version is fetched into this restore's scratch folder.
    const int number = m_settings.SelectedTarget;
    const bool validTarget = number >= 1 && number <= kTargetCount;
    const QString type = validTarget ? m_settings.target(number).TargetType : QString();
    std::unique_ptr<RestoreScratch> scratch;
    const auto scratchFolder = [&]() {
        if (!scratch) {
            scratch = std::make_unique<RestoreScratch>(m_services.archiver.workFolder());
        }
        return scratch->path();
    };
    QString source;
    // A plain copy at a folder target is read from the file opened here.
    std::optional<VersionSource> opened;
    int permissions = 0777;
    if (type == QStringLiteral("WIN")) {
        const QString root = m_settings.target(number).TargetDir;
        const QString shown = DisplayFileName(WithSlash(root) + f + versionName);
        if (!root.startsWith(u'/')) {
            return warn(Text("TXT00050") + kBreak + shown);
        }
        opened.emplace(WithSlash(root), f + versionName);
        if (opened->problem() == VersionSource::Problem::NotRegularFile) {
            return warn(Text("TXT00490") + kBreak + shown);
        }
        if (opened->problem() != VersionSource::Problem::None || opened->size() <= 0) {
            return warn(Text("TXT00050") + kBreak + shown);
        }
        permissions = opened->permissions();
        if (IsZipVersionName(versionName)) {
            // The archiver opens its input by name: it reads a private copy.
            const QString work = scratchFolder();
            source = work + downloadName(versionName);
            if (work.isEmpty() || opened->copyTo(source) != 1) {
                return warn(Text("TXT00060") + kBreak + destination + name);
            }
            opened.reset();
        }
    } else if (type == QStringLiteral("FTP")) {
        const QString work = scratchFolder();
        ui.setBusy(true);
        int fetched = 0;
        if (!work.isEmpty()) {
            source = work + downloadName(versionName);
            const TargetEntry& entry = m_settings.target(number);
            std::unique_ptr<FtpSession> session =
                FtpOpen(entry.FTPServerName, FtpTargetPort(m_settings, number), entry.FTPUserName,
                        entry.FTPPassword, FtpModeOf(m_settings),
                        FtpTargetOptions(m_settings, number, m_services.ftpOptions));
            if (session) {
                const QString remote =
                    FtpResolveFolder(*session, FtpTargetSubDir(m_settings, number)) + f;
                fetched = FtpEnter(*session, remote) == 1 &&
                                  FtpDownload(*session, remote + versionName, source) == 1
                              ? 1
                              : 0;
                FtpClose(session);
            }
        }
        ui.setBusy(false);
        if (fetched != 1 || RegularFileSize(source).value_or(0) <= 0) {
            // A download the user stopped is no failure to report.
            const auto& stopped = m_services.ftpOptions.stopRequested;
            if (stopped && stopped()) {
                return 0;
            }
            return warn(Text("TXT00103"));
        }
    } else {
        return warn(Text("TXT00410"));
    }

    const QString target = destination + name;
    const VersionForm form =
        opened ? VersionForm::PlainCopy
               : ClassifyVersionFile(m_services.archiver, source, versionName, *info);
    if (form == VersionForm::Damaged) {
        return warn(Text("TXT00060") + kBreak + DisplayFileName(destination + name));
    }
    QString key;
    if (form == VersionForm::Archive && info->encrypted) {
        key = password;
        if (key.isEmpty()) {
            way.focusPassword();
            return warn(Text("TXT00104"));
        }
    }
    ui.setBusy(true);
    ui.showStatusText(Text("TXT00118"));
    const VersionFileResult result =
        opened ? RestorePlainVersion(*opened, target)
               : RestoreVersionFile(m_services.archiver,
                                    form == VersionForm::Archive ? scratchFolder() : QString(),
                                    source, form, name, key, target, permissions);
    ui.showStatusText(QString());
    ui.setBusy(false);
    switch (result) {
    case VersionFileResult::Restored:
        m_restoredFile = target;
        ui.showMessage(Text("TXT00013"), Text("TXT00058") + kBreak + DisplayFileName(target),
                       MessageIcon::Information);
        return 1;
    case VersionFileResult::UnpackFailed:
        if (info->encrypted && !key.isEmpty()) {
            way.focusPassword();
            return inform(Text("TXT00059"));
        }
        break;
    case VersionFileResult::CopyFailed:
        break;
    }
    return warn(Text("TXT00060") + kBreak + DisplayFileName(target));
}

} // namespace fernhold
