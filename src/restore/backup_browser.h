#pragma once

#include "targets/ftp_session_options.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

namespace fernhold {

struct JobSettings;
class UserInterface;

// One row of the browser's list: a folder, or one version of a file.
struct BrowserRow
{
    bool folder = false;
    QString name;  // the folder's name, or the file's name (the text before the "@")
    QString saved; // "2023/01/15   09:30:00"; empty for a folder
    QString note;  // TXT00004 for an encrypted version, else empty
};

// How the last listing went.
enum class ListingOutcome
{
    Listed,         // the folder was read (it may be empty)
    Unreadable,     // the folder could not be read: the list is empty
    FellBackToRoot, // FTP: the folder could not be entered, the list shows the target's root
    NoTransport,    // FTP: no network connection could be set up (TXT00012)
    NoConnection,   // FTP: the server could not be reached or refused the login (TXT00011)
    NoTarget,       // the target is neither a folder nor an FTP server
};

// What a click on the list did; RestoreToSource asks the page to call
// RestoreVersion(currentFolder(), selectedVersion(), "0").
enum class BrowserClick
{
    Nothing,
    OpenedFolder,
    SelectedVersion,
    RestoreToSource,
};

// The model of the restore page: walks the folder tree of the selected
// target, lists the versions kept there with their date and time, narrows
// the list by name or date, and turns the page's events into navigation.
// The desktop page draws rows() and the button states; messages, the path
// field and the busy pointer go through the UserInterface port. Nothing is
// cached: every navigation lists the folder anew.
class BackupBrowser
{
public:
    // `settings` is the settings window's copy: choosing a target sets its
    // SelectedTarget, which the other pages share.
    BackupBrowser(JobSettings& settings, UserInterface& ui, FtpSessionOptions ftpOptions = {});

    // Page events.
    void openPage(); // filters off, root of the selected target listed
    void leavePage();
    void chooseTarget(int target); // 1 to 9; lists the root when it differs
    void goHome();
    void goUp();
    // A click on row `row`; a row outside the list counts as a click outside.
    BrowserClick clickRow(int row, bool doubleClick);
    void clickOutside();
    void listAgain(); // GAD00132: the current folder with the filters

    // The filter box. The name filter is matched against the whole version
    // name in lower case; the date filter against the version's date.
    void setNameFilter(bool on, const QString& text);
    void setDateFilter(bool on, const QDate& date);
    [[nodiscard]] bool nameFilterOn() const { return m_nameFilterOn; }
    [[nodiscard]] const QString& nameFilterText() const { return m_nameFilterText; }
    [[nodiscard]] bool dateFilterOn() const { return m_dateFilterOn; }
    [[nodiscard]] const QDate& filterDate() const { return m_filterDate; }

    // GAD00200: true when the folder restore may open; on an FTP target it
    // shows TXT00119 and gives false.
    [[nodiscard]] bool mayRestoreFolder();

    // Lists `folder` (relative to the target's root, "" for the root) into
    // the entry list and the rows, and makes it the current folder.
    void ListBackupFolder(const QString& folder);

    [[nodiscard]] int target() const;
    [[nodiscard]] const QString& currentFolder() const { return m_currentFolder; }
    [[nodiscard]] const QString& selectedVersion() const { return m_selectedVersion; }
    // "d" + folder name or "f" + version name, row n being entry n.
    [[nodiscard]] const QStringList& entries() const { return m_entries; }
    [[nodiscard]] const QList<BrowserRow>& rows() const { return m_rows; }
    [[nodiscard]] ListingOutcome lastOutcome() const { return m_outcome; }

    // GAD00107 and GAD00108 (restore the selected version), GAD00200.
    [[nodiscard]] bool restoreVersionEnabled() const { return m_versionButtons; }
    [[nodiscard]] bool restoreFolderEnabled() const { return m_folderButton; }

private:
    [[nodiscard]] bool isFtpTarget() const;
    [[nodiscard]] QStringList collectFolderEntries(const QString& folder);
    [[nodiscard]] QStringList collectFtpEntries(const QString& folder);
    void buildRows(QStringList entries);

    JobSettings& m_settings;
    UserInterface& m_ui;
    FtpSessionOptions m_ftpOptions;
    QString m_currentFolder;
    QString m_selectedVersion;
    QStringList m_entries;
    QList<BrowserRow> m_rows;
    ListingOutcome m_outcome = ListingOutcome::Listed;
    bool m_nameFilterOn = false;
    QString m_nameFilterText;
    bool m_dateFilterOn = false;
    QDate m_filterDate;
    bool m_versionButtons = false;
    bool m_folderButton = false;
};

} // namespace fernhold
