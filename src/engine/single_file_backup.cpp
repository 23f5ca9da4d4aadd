#include "engine/single_file_backup.h"

#include "core/clock.h"
#include "core/run_state.h"
#include "core/status_line.h"
#include "core/text_table.h"
#include "core/user_interface.h"
#include "engine/archiver.h"
#include "engine/backup_context.h"
#include "engine/backup_state.h"
#include "engine/encryption_setting.h"
#include "engine/file_record.h"
#include "engine/file_time_table.h"
#include "engine/index_scan.h"
#include "engine/log_book.h"
#include "engine/mirror_folders.h"
#include "engine/remote_targets.h"
#include "engine/source_index.h"
#include "engine/target_layout.h"
#include "engine/transfer_pool.h"
#include "engine/version_copy.h"
#include "platform/file_name.h"
#include "platform/folders.h"
#include "platform/native_paths.h"

#include <QFile>
#include <QFileInfo>
#include <memory>

namespace fernhold {

namespace {

// Archives of files up to this size are made in memory; a file growing
// past the limit while it is packed fails like any changed file.
constexpr qint64 kArchiveInMemory = 1024 * 1024;
constexpr qint64 kArchiveInMemoryLimit = 64 * kArchiveInMemory;

bool encrypts(const JobSettings& s)
{
    return s.CryptData != 0 && !s.CryptPassword.isEmpty();
}

} // namespace

QString SizeText(qint64 bytes)
{
    const float size = static_cast<float>(bytes);
    QString number;
    if (bytes >= 0 && bytes < 1048576) {
        number = QString::number(size / 1024.0f, 'f', 1) + QStringLiteral(" KB");
    } else if (bytes >= 1048576 && bytes < 1073741824) {
        number = QString::number(size / 1024.0f / 1024.0f, 'f', 1) + QStringLiteral(" MB");
    } else {
        number =
            QString::number(size / 1024.0f / 1024.0f / 1024.0f, 'f', 1) + QStringLiteral(" GB");
    }
    return number.rightJustified(9, u'0');
}

QString WrappedActivity(const QString& activity)
{
    QString wrapped = activity;
    for (int k : {220, 165, 110, 55}) {
        if (activity.size() > k) {
            wrapped.insert(k - 1, QStringLiteral("\r\n"));
        }
    }
    return wrapped;
}

SingleFileBackup::SingleFileBackup(BackupServices& services, PassState& pass)
    : m_services(services), m_pass(pass),
      m_zipTempStem(services.folders.temp + u'~' + Text("Temp_FileName") + QStringLiteral("Zip")),
      m_packs(services.settings.CompressData != 0), m_encrypts(encrypts(services.settings)),
      m_encryptionProblem(EncryptionSettingProblem(services.settings))
{}

QString SingleFileBackup::zipTemp(int slot) const
{
    return m_zipTempStem + (slot > 0 ? QString::number(slot) : QString()) + QStringLiteral(".tmp");
}

QString SingleFileBackup::ftpTemp() const
{
    return m_services.folders.temp + u'~' + Text("Temp_FileName") + QStringLiteral("Ftp.tmp");
}

bool SingleFileBackup::packFile(Transfer& file, const QString& packedFile) const
{
    const JobSettings& s = m_services.settings;
    std::optional<ZipEncryption> encryption;
    if (m_encrypts) {
        const auto method = ZipMethodFromSetting(s.CryptMethode);
        if (!method) {
            return false; // an unknown method must not silently give an unencrypted version
        }
        encryption = ZipEncryption{*method, s.CryptPassword};
    }
    PackedSource packed;
    // The file may have changed or vanished while it was packed: the archive
    // must read back as the bytes packed, and those must be the file as it is.
    if (file.size <= kArchiveInMemory) {
        file.archiveInMemory = true;
        return m_services.archiver.PackFileToMemory(file.path, encryption, packed, file.archive,
                                                    kArchiveInMemoryLimit) == 1 &&
               m_services.archiver.VerifyArchiveBytes(file.archive, file.name, packed,
                                                      file.path) == 1;
    }
    if (m_services.archiver.PackFile(file.path, packedFile, encryption, packed) != 1) {
        return false;
    }
    return m_services.archiver.VerifyArchive(packedFile, file.name, packed, file.path) == 1;
}

int SingleFileBackup::toFolderTarget(const Transfer& file, const QString& packedFile,
                                     Transfer::ToTarget& to, bool& longPath)
{
    const JobSettings& s = m_services.settings;
    const QString root = WithSlash(s.target(to.target).TargetDir);
    const QString versionFolder = root + MirrorText(file.folder);
    {
        std::lock_guard lock(m_folderMutex);
        if (!m_versionFolders.contains(versionFolder)) {
            // Missing folders are made below the root only: a root that went
            // away (a drive unmounted during the pass) must not be made anew
            // on the disk beneath its mount point.
            if (!QFileInfo(root).isDir()) {
                return 0;
            }
            if (MakeMirrorFolders(root, file.folder) == 1) {
                m_versionFolders.insert(versionFolder);
            }
        }
    }
    const QString& version = to.version = versionFolder + file.versionName;
    // The archive was made in the private work folder or in memory; the
    // version shows nobody more than the source file does. The copy gets its
    // version name when the file is finished, so versions appear in the
    // walk's order, each with its log line.
    const int written =
        !m_packs ? CopyToTemporary(file.path, version, to.copy)
        : file.archiveInMemory
            ? WriteToTemporary(file.archive, version, to.copy, VersionPermissions(file.path))
            : CopyToTemporary(packedFile, version, to.copy, VersionPermissions(file.path));
    if (written == 1) {
        return 1;
    }
    if (!PathFitsPlatform(version)) {
        longPath = true;
    }
    return 0;
}

int SingleFileBackup::toFtpTarget(const Transfer& file, const QString& packedFile, int target,
                                  bool& packedFileWritten) const
{
    const JobSettings& s = m_services.settings;
    QString upload = packedFile;
    // Uploads read a file: an archive made in memory goes to the work folder first.
    if (m_packs && !packedFileWritten) {
        packedFileWritten = true;
        if (WriteFileCompletely(file.archive, packedFile, 0600) != 1) {
            return 0;
        }
    }
    if (!m_packs) {
        // Uploads read a copy, so a file changing during the transfer cannot
        // give a version that mixes two states.
        QFile::remove(ftpTemp());
        if (CopyFileCompletely(file.path, ftpTemp()) != 1) {
            return 0;
        }
        upload = ftpTemp();
    }
    const RunState& run = m_services.run;
    const int ok =
        m_services.remote.uploadVersion(s, target, MirrorText(file.folder), upload,
                                        file.versionName, [&run] { return PassMustStop(run); });
    if (!m_packs) {
        QFile::remove(ftpTemp());
    }
    return ok;
}

SingleFileBackup::Transfer SingleFileBackup::announce(const QString& folder, const QString& name,
                                                      qint64 size,
                                                      const std::optional<FileRecord>& record,
                                                      const QString& sourceDirTarget)
{
    const JobSettings& s = m_services.settings;
    const QString stamp = VersionStamp(m_services.clock.now());
    Transfer file;
    file.folder = folder;
    file.name = name;
    file.path = folder + name;
    file.size = size;
    file.record = record;
    // Names that are not UTF-8 are shown with their odd bytes as "\xNN".
    file.shownPath = DisplayFileName(file.path);
    file.shown = WrappedActivity(s.MonitorWithPath == 1 ? file.shownPath : DisplayFileName(name));
    m_services.statusLine.ShowStatusLine(Text("TXT00065") + m_pass.ProgressText +
                                         QStringLiteral("\r\n") + file.shown +
                                         QStringLiteral(" ..."));
    file.refused = m_packs && m_encryptionProblem.has_value();
    if (file.refused && !m_encryptionReported) {
        m_encryptionReported = true;
        m_services.log.AddLogLine(QStringLiteral("\t\t") + *m_encryptionProblem);
        m_services.ui.showMessage(Text("Program_Name"), *m_encryptionProblem, MessageIcon::Warning,
                                  true);
    }
    file.versionName = VersionName(name, stamp, VersionSuffix(name, m_packs, m_encrypts));
    for (int t = 1; t <= kTargetCount; ++t) {
        const QString& type = s.target(t).TargetType;
        if (m_pass.TargetReady[static_cast<std::size_t>(t)] == 1 &&
            sourceDirTarget.contains(QString::number(t)) &&
            (type == QStringLiteral("WIN") || type == QStringLiteral("FTP"))) {
            Transfer::ToTarget& to = file.targets.emplace_back();
            to.target = t;
            to.remote = type == QStringLiteral("FTP");
        }
    }
    return file;
}

void SingleFileBackup::transfer(Transfer& file, int slot)
{
    const QString packedFile = zipTemp(slot);
    const bool zipOk = m_packs && !file.refused && packFile(file, packedFile);
    // An archive too big for memory was made in the work folder.
    bool packedFileWritten = m_packs && !file.refused && !file.archiveInMemory;
    for (Transfer::ToTarget& to : file.targets) {
        if (m_packs && !zipOk) {
            continue;
        }
        to.written = to.remote ? toFtpTarget(file, packedFile, to.target, packedFileWritten)
                               : toFolderTarget(file, packedFile, to, file.longPath);
    }
    if (packedFileWritten) {
        QFile::remove(packedFile);
    }
    file.archive = QByteArray();
}

void SingleFileBackup::finish(Transfer& file)
{
    const JobSettings& s = m_services.settings;
    int successes = 0;
    QString done; // "[1][3]": the targets that hold the version
    for (Transfer::ToTarget& to : file.targets) {
        const int saved = to.remote || to.written != 1 ? to.written : PlaceCopy(to.copy);
        if (saved != 1 && !to.version.isEmpty() && !PathFitsPlatform(to.version)) {
            file.longPath = true;
        }
        successes += saved;
        // The log line names the targets that hold the version.
        if (saved == 1) {
            done += u'[' + QString::number(to.target) + u']';
        }
    }
    if (successes == 0 || successes < static_cast<int>(file.targets.size())) {
        ++m_failedFiles;
    }
    if (successes >= 1) {
        if (file.record) {
            m_services.index.ClaimRecord(*file.record);
            if (m_firstSave) {
                m_services.state.recordSaved(*file.record);
            }
        }
        if (s.LogfileActive == 1) {
            m_services.log.AddLogLine(SizeText(file.size) + u'\t' + QString::number(file.size) +
                                      u'\t' + file.shownPath + u' ' + done);
        }
        m_pass.PassFileList.append(DisplayFileName(file.name));
        m_services.statusLine.ShowStatusLine(Text("TXT00065") + m_pass.ProgressText +
                                             QStringLiteral("\r\n") + file.shown +
                                             QStringLiteral(" -->") + done);
    } else {
        m_services.log.AddLogLine(QStringLiteral("\t\t") + Text("TXT00150") + QStringLiteral(": ") +
                                  file.shownPath);
        if (file.longPath) {
            ++m_pass.LongPathCount;
        } else if (s.WarnFileLocked == 1 && !file.refused && !PassMustStop(m_services.run)) {
            // A run cut short by program end or a pause is no locked file,
            // and a box would hold up the end.
            m_services.ui.showMessage(Text("Program_Name"),
                                      Text("TXT00133") + QStringLiteral("\r\n") + file.shownPath,
                                      MessageIcon::Information, true);
        }
    }

    const qint64 now = m_services.clock.nowSeconds();
    if (now > m_services.index.LastIndexSave() + 300) {
        (void)SaveFileTimeTable(m_services.index, m_services.fileTimeTablePath, m_services.clock,
                                m_services.ui);
    }
    if (s.LogfileActive == 1 && now > m_services.times.LastLogFlush.load() + 300) {
        m_services.times.LastLogFlush = now;
        (void)m_services.log.WriteLogFile(s);
    }
    if (s.MonitorWithRemaining == 1) {
        updateProgress(file.size);
    }
}

void SingleFileBackup::BackupFile(const QString& folder, const QString& name, qint64 size,
                                  const std::optional<FileRecord>& record,
                                  const QString& sourceDirTarget)
{
    Transfer file = announce(folder, name, size, record, sourceDirTarget);
    transfer(file, 0);
    finish(file);
}

void SingleFileBackup::QueueFile(TransferPool& pool, const QString& folder, const QString& name,
                                 qint64 size, const std::optional<FileRecord>& record,
                                 const QString& sourceDirTarget)
{
    auto file = std::make_shared<Transfer>(announce(folder, name, size, record, sourceDirTarget));
    pool.submit([this, file](int slot) { transfer(*file, slot); },
                [this, file](bool ran) {
                    if (ran) {
                        finish(*file);
                    } else {
                        ++m_skippedFiles;
                    }
                });
}

void SingleFileBackup::updateProgress(qint64 size)
{
    m_pass.BytesDone += size;
    if (m_pass.BytesToDo <= 0 || m_pass.BytesDone <= 0) {
        return;
    }
    const qint64 pct = std::min<qint64>(m_pass.BytesDone * 100 / m_pass.BytesToDo, 100);
    QString progress = QStringLiteral(" (") + QString::number(pct) + u'%';
    if (pct > 0) {
        const qint64 elapsed = m_services.clock.nowSeconds() - m_pass.PassStartTime;
        const qint64 remaining = elapsed * (100 - pct) / pct;
        if (remaining >= m_pass.ShownRemaining) {
            // Estimates that still grow are not worth showing yet.
            m_pass.ShownRemaining = remaining;
            progress += QStringLiteral(", ") + Text("TXT00135") + u' ' + Text("TXT00136");
        } else {
            m_pass.ShownRemaining = 2147483647;
            if (remaining > 120) {
                progress += QStringLiteral(", ") + Text("TXT00135") + u' ' +
                            QString::number(remaining / 60) + u' ' + Text("TXT00137");
            } else {
                progress += QStringLiteral(", ") + Text("TXT00135") + u' ' + Text("TXT00138");
            }
        }
    }
    m_pass.ProgressText = progress + u')';
}

} // namespace fernhold
