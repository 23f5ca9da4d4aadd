#pragma once

#include "targets/ftp_session_options.h"

#include <QString>

namespace fernhold {

class Archiver;
struct JobSettings;
class UserInterface;

// What the restores need besides the settings.
struct RestoreServices
{
    UserInterface& ui;
    // Unpacks archives; its work folder (Folders::temp) holds each restore's private
    // scratch folder for downloads and unpacked files.
    const Archiver& archiver;
    QString documentsFolder; // where the folder picker starts
    FtpSessionOptions ftpOptions = {};
};

// Brings one version of one file back, from the selected target of
// `settings`, to its source folder or to a folder the user picks. Every
// question and outcome goes through the port; nothing is logged.
class VersionRestore
{
public:
    VersionRestore(const JobSettings& settings, RestoreServices services);

    // `folder` is the version's folder relative to the target's root, as the
    // browser shows it; `versionName` the file name of the version there;
    // `mode` "0" restores to the source folder, any other text to a picked
    // folder; `password` is the restore page's password field. Gives 1 when
    // the file was written to its destination, 0 otherwise (refused,
    // cancelled or failed). The file appears there only complete, an
    // existing one is replaced only by a complete new one, and nothing stays
    // in the work folder.
    [[nodiscard]] int RestoreVersion(const QString& folder, const QString& versionName,
                                     const QString& mode, const QString& password);

    // The file the last successful call wrote.
    [[nodiscard]] const QString& restoredFile() const { return m_restoredFile; }

private:
    const JobSettings& m_settings;
    RestoreServices m_services;
    QString m_restoredFile;
};

} // namespace fernhold
