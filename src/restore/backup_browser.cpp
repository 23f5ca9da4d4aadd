#include "restore/backup_browser.h"

#include "core/job_settings.h"
#include "core/text_table.h"
#include "core/user_interface.h"
#include "platform/file_name.h"
#include "platform/folders.h"
#include "platform/native_paths.h"
#include "restore/version_source.h"
#include "restore/version_stamp.h"
#include "targets/ftp_session.h"
#include "targets/ftp_target.h"
#include "targets/version_name.h"

#include <algorithm>

namespace fernhold {

namespace {

const QString kBreak = QStringLiteral("\r\n");

bool entryLess(const QString& a, const QString& b)
{
    const int folded = QString::compare(a, b, Qt::CaseInsensitive);
    return folded != 0 ? folded < 0 : a < b;
}

// Clears the busy pointer and shows the folder however the listing ends.
class ListingDisplay
{
public:
    ListingDisplay(UserInterface& ui, const QString& folder) : m_ui(ui), m_folder(folder)
    {
        m_ui.showRestorePath(Text("GAD00124"));
        m_ui.setBusy(true);
    }
    ~ListingDisplay()
    {
        m_ui.showRestorePath(DisplayFileName(m_folder));
        m_ui.setBusy(false);
    }
    ListingDisplay(const ListingDisplay&) = delete;
    ListingDisplay& operator=(const ListingDisplay&) = delete;

private:
    UserInterface& m_ui;
    const QString& m_folder;
};

} // namespace

BackupBrowser::BackupBrowser(JobSettings& settings, UserInterface& ui, FtpSessionOptions ftpOptions)
    : m_settings(settings), m_ui(ui), m_ftpOptions(std::move(ftpOptions))
{}

int BackupBrowser::target() const
{
    return m_settings.SelectedTarget;
}

bool BackupBrowser::isFtpTarget() const
{
    const int number = target();
    return number >= 1 && number <= kTargetCount &&
           m_settings.target(number).TargetType == QStringLiteral("FTP");
}

void BackupBrowser::openPage()
{
    // The filters are reset before the first listing, so it shows everything.
    m_nameFilterOn = false;
    m_dateFilterOn = false;
    m_selectedVersion.clear();
    ListBackupFolder(QString());
}

void BackupBrowser::leavePage()
{
    m_entries.clear();
    m_rows.clear();
}

void BackupBrowser::chooseTarget(int target)
{
    if (target < 1 || target > kTargetCount || target == m_settings.SelectedTarget) {
        return;
    }
    m_settings.SelectedTarget = target;
    ListBackupFolder(QString());
}

void BackupBrowser::goHome()
{
    ListBackupFolder(QString());
}

void BackupBrowser::goUp()
{
    if (m_currentFolder.isEmpty()) {
        return;
    }
    QString folder = m_currentFolder;
    folder.chop(1);
    const qsizetype slash = folder.lastIndexOf(u'/');
    ListBackupFolder(slash < 0 ? QString() : folder.left(slash + 1));
}

BrowserClick BackupBrowser::clickRow(int row, bool doubleClick)
{
    if (row < 0 || row >= m_entries.size()) {
        clickOutside();
        return BrowserClick::Nothing;
    }
    const QString entry = m_entries.at(row);
    const QString name = entry.mid(1);
    if (entry.startsWith(u'd')) {
        m_versionButtons = false;
        ListBackupFolder(m_currentFolder + name + u'/');
        return BrowserClick::OpenedFolder;
    }
    m_selectedVersion = name;
    if (doubleClick) {
        return m_currentFolder.isEmpty() || m_selectedVersion.isEmpty()
                   ? BrowserClick::SelectedVersion
                   : BrowserClick::RestoreToSource;
    }
    m_versionButtons = true;
    m_folderButton = !m_currentFolder.isEmpty();
    return BrowserClick::SelectedVersion;
}

void BackupBrowser::clickOutside()
{
    m_selectedVersion.clear();
    m_versionButtons = false;
    m_folderButton = false;
}

void BackupBrowser::listAgain()
{
    ListBackupFolder(m_currentFolder);
}

void BackupBrowser::setNameFilter(bool on, const QString& filterText)
{
    m_nameFilterOn = on;
    m_nameFilterText = filterText;
}

void BackupBrowser::setDateFilter(bool on, const QDate& date)
{
    m_dateFilterOn = on;
    m_filterDate = date;
}

bool BackupBrowser::mayRestoreFolder()
{
    if (isFtpTarget()) {
        m_ui.showMessage(Text("TXT00013"), Text("TXT00119"), MessageIcon::None);
        return false;
    }
    return !m_currentFolder.isEmpty();
}

void BackupBrowser::ListBackupFolder(const QString& folder)
{
    QString f = folder;
    if (!f.isEmpty() && !f.endsWith(u'/')) {
        f.append(u'/');
    }
    m_currentFolder = f;
    m_selectedVersion.clear();
    m_versionButtons = false;
    m_folderButton = !f.isEmpty();
    m_entries.clear();
    m_rows.clear();
    const ListingDisplay display(m_ui, m_currentFolder);

    const int number = target();
    const QString type =
        number >= 1 && number <= kTargetCount ? m_settings.target(number).TargetType : QString();
    QStringList entries;
    if (!IsSafeRelativeFolder(f)) {
        m_outcome = ListingOutcome::Unreadable;
    } else if (type == QStringLiteral("WIN")) {
        entries = collectFolderEntries(f);
    } else if (type == QStringLiteral("FTP")) {
        entries = collectFtpEntries(f);
    } else {
        m_outcome = ListingOutcome::NoTarget;
    }
    buildRows(std::move(entries));
}

QStringList BackupBrowser::collectFolderEntries(const QString& folder)
{
    QStringList entries;
    const QString root = m_settings.target(target()).TargetDir;
    // A relative TargetDir would list whatever the current folder holds.
    if (!root.startsWith(u'/')) {
        m_outcome = ListingOutcome::Unreadable;
        return entries;
    }
    // Listed through the name codec, so names that are not UTF-8 keep their bytes.
    const std::optional<QList<FolderListEntry>> listed =
        IsRealFolderBelow(root, folder) ? ListFolderEntries(WithSlash(root) + folder)
                                        : std::nullopt;
    if (!listed) {
        m_outcome = ListingOutcome::Unreadable;
        return entries;
    }
    for (const FolderListEntry& item : *listed) {
        // Neither a linked folder nor a link is a part of the tree: only
        // real folders and regular files (versions are never links).
        if (item.link) {
            continue;
        }
        if (item.folder) {
            entries.append(u'd' + item.name);
        } else if (item.file) {
            entries.append(u'f' + item.name);
        }
    }
    m_outcome = ListingOutcome::Listed;
    return entries;
}

QStringList BackupBrowser::collectFtpEntries(const QString& folder)
{
    QStringList entries;
    const int number = target();
    const TargetEntry& entry = m_settings.target(number);
    FtpOpenError error = FtpOpenError::None;
    QByteArray serverKey;
    std::unique_ptr<FtpSession> session =
        FtpOpen(entry.FTPServerName, FtpTargetPort(m_settings, number), entry.FTPUserName,
                entry.FTPPassword, FtpModeOf(m_settings),
                FtpTargetOptions(m_settings, number, m_ftpOptions), &error, &serverKey);
    if (!session) {
        const bool transport = error == FtpOpenError::Transport;
        m_outcome = transport ? ListingOutcome::NoTransport : ListingOutcome::NoConnection;
        // A login the user stopped is no failure to report.
        if (m_ftpOptions.stopRequested && m_ftpOptions.stopRequested()) {
            return entries;
        }
        const QString problem = FtpOpenProblem(error, serverKey);
        m_ui.showMessage(Text("TXT00001"),
                         Text(transport ? "TXT00012" : "TXT00011") +
                             (problem.isEmpty() ? QString() : QStringLiteral("\n") + problem),
                         MessageIcon::Warning);
        return entries;
    }
    const QString base = FtpResolveFolder(*session, FtpTargetSubDir(m_settings, number));
    m_outcome = ListingOutcome::Listed;
    if (FtpEnter(*session, base + folder) != 1) {
        (void)FtpEnter(*session, base);
        m_ui.showMessage(Text("Program_Name") + QStringLiteral(" (FTP)"),
                         Text("TXT00101") + kBreak + DisplayFileName(base + folder) + kBreak +
                             Text("TXT00102"),
                         MessageIcon::Information, true);
        // The list shows the root now, so the path and the navigation follow it.
        m_currentFolder.clear();
        m_folderButton = false;
        m_outcome = ListingOutcome::FellBackToRoot;
    }
    const std::optional<QList<FtpEntry>> listed = FtpList(*session);
    FtpClose(session);
    if (!listed) {
        if (m_outcome == ListingOutcome::Listed) {
            m_outcome = ListingOutcome::Unreadable;
        }
        return entries;
    }
    for (const FtpEntry& item : *listed) {
        if (item.isFile()) {
            entries.append(u'f' + item.name);
        } else if (item.isFolder()) {
            entries.append(u'd' + item.name);
        }
    }
    return entries;
}

void BackupBrowser::buildRows(QStringList entries)
{
    const QString nameFilter = m_nameFilterOn ? m_nameFilterText.toLower() : QString();
    const QString dateFilter =
        m_dateFilterOn && m_filterDate.isValid() ? StampDate(m_filterDate) : QString();
    std::sort(entries.begin(), entries.end(), entryLess);

    for (const QString& entry : std::as_const(entries)) {
        const QString name = entry.mid(1);
        if (!IsSafeName(name)) {
            continue;
        }
        if (entry.startsWith(u'd')) {
            m_entries.append(entry);
            m_rows.append(BrowserRow{true, name, {}, {}});
            continue;
        }
        const std::optional<VersionParts> version = ParseVersionName(name, VersionRule::Restore);
        if (!version) {
            continue;
        }
        if (!nameFilter.isEmpty() && !name.toLower().contains(nameFilter)) {
            continue;
        }
        if (!dateFilter.isEmpty() && version->date() != dateFilter) {
            continue;
        }
        m_entries.append(entry);
        m_rows.append(BrowserRow{false, version->fileName, BrowserDateText(version->stamp),
                                 version->encrypted ? Text("TXT00004") : QString()});
    }
}

} // namespace fernhold
