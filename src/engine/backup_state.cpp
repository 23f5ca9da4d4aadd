#include "engine/backup_state.h"

#include "core/job_settings.h"
#include "core/key_value_file.h"
#include "core/settings_fields.h"
#include "platform/file_io.h"

#include <QFileInfo>
#include <QMutexLocker>
#include <algorithm>

namespace fernhold {

namespace {

constexpr qint64 kMaxStateBytes = 16 * 1024 * 1024;
constexpr qint64 kMaxJournalBytes = 512 * 1024 * 1024;

// The target digits of `targets` in ascending order, each once.
QString targetDigits(QStringView targets)
{
    QString digits;
    for (int t = 1; t <= kTargetCount; ++t) {
        const QChar c = QChar(u'0' + t);
        if (targets.contains(c)) {
            digits += c;
        }
    }
    return digits;
}

} // namespace

BackupState::BackupState(QString path)
    : m_path(std::move(path)), m_journal(m_path + QStringLiteral(".saved"))
{}

QString BackupState::sourceKey(const SourceEntry& source)
{
    return source.SourceDirPfad + u'|' + QString::number(source.SourceDirSub) + u'|' +
           source.SourceDirFilter;
}

bool BackupState::load()
{
    const auto bytes = ReadFileCapped(m_path, kMaxStateBytes);
    const auto journal = ReadFileCapped(m_journal.path(), kMaxJournalBytes);
    QMutexLocker lock(&m_mutex);
    m_sources.clear();
    m_cleanup.fill(0);
    m_compareAtNextStart = false;
    m_firstSave.clear();
    m_recorded.clear();
    if (journal) {
        // A line cut short by a kill is simply not a record.
        for (const QByteArray& line : journal->split('\n')) {
            if (const auto record = ParseFileRecord(QByteArrayView(line).trimmed())) {
                m_firstSave.push_back(*record);
            }
        }
        std::sort(m_firstSave.begin(), m_firstSave.end());
    }
    m_written = bytes.value_or(QByteArray());
    if (!bytes) {
        return false;
    }
    const KeyValueFile file = KeyValueFile::parse(*bytes);
    const int count = LenientInt(file.value(QStringLiteral("SourceCount")).value_or(QString()));
    for (int i = 1; i <= count; ++i) {
        const QString n = QString::number(i);
        const auto key = file.value(QStringLiteral("Source") + n);
        if (!key || key->isEmpty()) {
            break;
        }
        Mark mark;
        mark.saved = targetDigits(file.value(QStringLiteral("Saved") + n).value_or(QString()));
        mark.known = LenientInt(file.value(QStringLiteral("Known") + n).value_or(QString())) == 1;
        m_sources.insert(*key, mark);
    }
    for (int t = 1; t <= kTargetCount; ++t) {
        const auto value = file.value(QStringLiteral("CleanupTime%1").arg(t));
        m_cleanup[static_cast<std::size_t>(t)] = value ? value->trimmed().toLongLong() : 0;
    }
    m_compareAtNextStart =
        LenientInt(file.value(QStringLiteral("CompareAtNextStart")).value_or(QString())) == 1;
    return true;
}

int BackupState::save() const
{
    if (m_readOnly) {
        return 1;
    }
    KeyValueFile file;
    {
        QMutexLocker lock(&m_mutex);
        file.setValue(QStringLiteral("SourceCount"), QString::number(m_sources.size()));
        int i = 0;
        // Sorted, so an unchanged state gives an unchanged file.
        QStringList keys = m_sources.keys();
        keys.sort();
        for (const QString& key : keys) {
            const QString n = QString::number(++i);
            const Mark& mark = m_sources[key];
            file.setValue(QStringLiteral("Source") + n, key);
            file.setValue(QStringLiteral("Saved") + n, mark.saved);
            file.setValue(QStringLiteral("Known") + n,
                          mark.known ? QStringLiteral("1") : QStringLiteral("0"));
        }
        for (int t = 1; t <= kTargetCount; ++t) {
            file.setValue(QStringLiteral("CleanupTime%1").arg(t),
                          QString::number(m_cleanup[static_cast<std::size_t>(t)]));
        }
        file.setValue(QStringLiteral("CompareAtNextStart"),
                      m_compareAtNextStart ? QStringLiteral("1") : QStringLiteral("0"));
    }
    const QByteArray bytes = file.serialize();
    QMutexLocker lock(&m_mutex);
    // A file that would not change is left as it is.
    if (bytes == m_written && QFileInfo::exists(m_path)) {
        return 1;
    }
    if (WriteFileAtomically(m_path, bytes, true) != 1) {
        return 0;
    }
    m_written = bytes;
    return 1;
}

void BackupState::adoptSources(const JobSettings& settings, bool assumeSaved)
{
    QMutexLocker lock(&m_mutex);
    QHash<QString, Mark> adopted;
    for (const SourceEntry& source : settings.sources) {
        const QString key = sourceKey(source);
        if (const auto it = m_sources.constFind(key); it != m_sources.cend()) {
            adopted.insert(key, *it);
        } else if (assumeSaved) {
            adopted.insert(key, Mark{targetDigits(source.SourceDirTarget), true});
        } else {
            adopted.insert(key, Mark{});
        }
    }
    m_sources = std::move(adopted);
}

QString BackupState::owedTargets(const SourceEntry& source) const
{
    QMutexLocker lock(&m_mutex);
    const QString wanted = targetDigits(source.SourceDirTarget);
    const auto it = m_sources.constFind(sourceKey(source));
    if (it == m_sources.cend()) {
        return wanted;
    }
    QString owed;
    for (const QChar c : wanted) {
        if (!it->saved.contains(c)) {
            owed += c;
        }
    }
    return owed;
}

void BackupState::markSaved(const SourceEntry& source, const QString& targets)
{
    QMutexLocker lock(&m_mutex);
    Mark& mark = m_sources[sourceKey(source)];
    mark.saved = targetDigits(mark.saved + targets);
}

void BackupState::requestFullSave(const JobSettings& settings)
{
    QMutexLocker lock(&m_mutex);
    for (const SourceEntry& source : settings.sources) {
        m_sources[sourceKey(source)].saved.clear();
    }
}

void BackupState::markChangesOnly(const SourceEntry& source)
{
    QMutexLocker lock(&m_mutex);
    Mark& mark = m_sources[sourceKey(source)];
    mark.saved = targetDigits(source.SourceDirTarget);
}

bool BackupState::known(const SourceEntry& source) const
{
    QMutexLocker lock(&m_mutex);
    const auto it = m_sources.constFind(sourceKey(source));
    return it != m_sources.cend() && it->known;
}

void BackupState::markKnown(const SourceEntry& source)
{
    QMutexLocker lock(&m_mutex);
    m_sources[sourceKey(source)].known = true;
}

qint64 BackupState::lastCleanup(int target) const
{
    QMutexLocker lock(&m_mutex);
    return m_cleanup.at(static_cast<std::size_t>(target));
}

void BackupState::setLastCleanup(int target, qint64 seconds)
{
    QMutexLocker lock(&m_mutex);
    m_cleanup.at(static_cast<std::size_t>(target)) = seconds;
}

void BackupState::recordSaved(const FileRecord& record)
{
    QMutexLocker lock(&m_mutex);
    m_recorded.push_back(record);
    if (m_readOnly) {
        return;
    }
    QByteArray line(kFileRecordTextLength + 2, '\n');
    WriteFileRecordText(record, line.data());
    line[kFileRecordTextLength] = '\r';
    (void)m_journal.append(line);
}

bool BackupState::savedInFirstSave(const FileRecord& record) const
{
    QMutexLocker lock(&m_mutex);
    return std::binary_search(m_firstSave.begin(), m_firstSave.end(), record);
}

void BackupState::takeInRecordedSaves()
{
    QMutexLocker lock(&m_mutex);
    if (m_recorded.empty()) {
        return;
    }
    std::sort(m_recorded.begin(), m_recorded.end());
    const auto middle = static_cast<std::ptrdiff_t>(m_firstSave.size());
    m_firstSave.insert(m_firstSave.end(), m_recorded.begin(), m_recorded.end());
    std::inplace_merge(m_firstSave.begin(), m_firstSave.begin() + middle, m_firstSave.end());
    m_recorded.clear();
}

std::vector<FileRecord> BackupState::firstSaveRecords() const
{
    QMutexLocker lock(&m_mutex);
    return m_firstSave;
}

void BackupState::clearFirstSave()
{
    QMutexLocker lock(&m_mutex);
    m_firstSave.clear();
    m_recorded.clear();
    if (!m_readOnly) {
        (void)m_journal.remove();
    }
}

bool BackupState::compareAtNextStart() const
{
    QMutexLocker lock(&m_mutex);
    return m_compareAtNextStart;
}

void BackupState::setCompareAtNextStart(bool compare)
{
    QMutexLocker lock(&m_mutex);
    m_compareAtNextStart = compare;
}

} // namespace fernhold
