#include "restore/folder_restore_run.h"

#include "core/text_table.h"
#include "engine/archiver.h"
#include "engine/target_layout.h"
#include "platform/file_name.h"
#include "platform/folders.h"
#include "restore/restore_scratch.h"
#include "restore/version_file.h"
#include "restore/version_source.h"
#include "restore/version_stamp.h"
#include "targets/version_name.h"

#include <QFile>

namespace fernhold {

FolderRestoreRun::FolderRestoreRun(QList<FolderRestoreRow>& rows, QString targetRoot,
                                   QString destination, QString password, const Archiver& archiver,
                                   RegisterRestored registerRestored)
    : m_rows(rows), m_root(WithSlash(targetRoot)), m_destination(std::move(destination)),
      m_password(std::move(password)), m_archiver(archiver),
      m_register(std::move(registerRestored)), m_total(static_cast<int>(rows.size()))
{
    if (!m_destination.isEmpty()) {
        m_destination = WithSlash(m_destination);
    }
    markNext();
}

FolderRestoreRun::~FolderRestoreRun() = default;

QString FolderRestoreRun::destinationFile(const QString& version, const QString& destination)
{
    const qsizetype at = version.lastIndexOf(u'@');
    const QString relative = version.left(at);
    const qsizetype slash = relative.lastIndexOf(u'/');
    const QString folder = relative.left(slash + 1);
    const QString file = relative.mid(slash + 1);
    return (destination.isEmpty() ? SourceFolderOfMirror(folder) : destination + folder) + file;
}

void FolderRestoreRun::markNext()
{
    if (m_row < m_total && m_rows[m_row].checked) {
        m_rows[m_row].result = Text("GAD00217");
    }
}

bool FolderRestoreRun::step()
{
    if (m_over) {
        return false;
    }
    if (m_row >= m_total) {
        m_over = true;
        if (m_register && !m_restored.isEmpty()) {
            m_register(m_restored);
        }
        return true;
    }
    FolderRestoreRow& row = m_rows[m_row];
    if (!row.checked) {
        row.result = Text("TXT00121");
        ++m_counts.skipped;
    } else {
        switch (restoreRow(row)) {
        case RowOutcome::Restored:
            row.result = Text("TXT00120");
            ++m_counts.restored;
            break;
        case RowOutcome::Failed:
            row.result = Text("TXT00130");
            ++m_counts.failed;
            break;
        case RowOutcome::Refused:
            row.result = Text("TXT00491");
            ++m_counts.failed;
            break;
        }
    }
    ++m_row;
    markNext();
    return true;
}

FolderRestoreRun::RowOutcome FolderRestoreRun::restoreRow(const FolderRestoreRow& row)
{
    const qsizetype slash = row.version.lastIndexOf(u'/');
    const QString folder = row.version.left(slash + 1);
    const QString versionName = row.version.mid(slash + 1);
    const std::optional<VersionParts> info = ParseVersionName(versionName, VersionRule::Restore);
    if (!info || !IsSafeRelativeFolder(folder) || !m_root.startsWith(u'/')) {
        return RowOutcome::Failed;
    }
    // What the search listed may have been replaced by a link since.
    const VersionSource opened(m_root, row.version);
    if (opened.problem() == VersionSource::Problem::NotRegularFile) {
        m_refused.append(m_root + row.version);
        return RowOutcome::Refused;
    }
    if (opened.problem() != VersionSource::Problem::None) {
        return RowOutcome::Failed;
    }
    const QString target = destinationFile(row.version, m_destination);
    VersionFileResult result = VersionFileResult::CopyFailed;
    if (!IsZipVersionName(versionName)) {
        result = RestorePlainVersion(opened, target);
    } else {
        if (!m_scratch) {
            m_scratch = std::make_unique<RestoreScratch>(m_archiver.workFolder());
        }
        const QString scratch = m_scratch->path();
        // The archiver opens its input by name: it reads a private copy.
        // Under a plain name: the scratch folder is removed with Qt, which
        // could not name bytes that are not UTF-8.
        QString copy = scratch + versionName;
        for (QChar& c : copy) {
            if (IsEscapedByte(c.unicode())) {
                c = u'_';
            }
        }
        if (scratch.isEmpty() || opened.copyTo(copy) != 1) {
            return RowOutcome::Failed;
        }
        const VersionForm form = ClassifyVersionFile(m_archiver, copy, versionName, *info);
        // An encrypted version is unpacked with the password as it is, an
        // empty one included, which then fails.
        if (form != VersionForm::Damaged) {
            result = RestoreVersionFile(m_archiver, scratch, copy, form, info->fileName,
                                        info->encrypted ? m_password : QString(), target,
                                        opened.permissions());
        }
        QFile::remove(copy);
    }
    if (result != VersionFileResult::Restored) {
        return RowOutcome::Failed;
    }
    m_restored.append(target);
    return RowOutcome::Restored;
}

int FolderRestoreRun::progress() const
{
    return m_total > 0 ? m_row * 100 / m_total : 0;
}

QString FolderRestoreRun::counterText() const
{
    return QString::number(m_row) + u'/' + QString::number(m_total);
}

QString FolderRestoreRun::summaryText() const
{
    const QString sep = QStringLiteral(" ");
    const QString br = QStringLiteral("\r\n");
    return QString::number(m_counts.restored) + sep + Text("TXT00122") + sep +
           QString::number(m_total) + sep + Text("TXT00123") + br +
           QString::number(m_counts.failed) + sep + Text("TXT00131") + br +
           QString::number(m_counts.skipped) + sep + Text("TXT00132");
}

} // namespace fernhold
