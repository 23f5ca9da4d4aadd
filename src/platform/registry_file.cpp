#include "platform/registry_file.h"

#include "platform/file_io.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace fernhold {

namespace {

constexpr qint64 kMaxRegistryBytes = 4 * 1024 * 1024;

struct Entry
{
    QString group;
    QString name;
    QString value;
    QString raw; // a line kept as it is (comment, blank)
};

std::vector<Entry> readEntries(const QString& path)
{
    std::vector<Entry> entries;
    const auto bytes = ReadFileCapped(path, kMaxRegistryBytes);
    if (!bytes) {
        return entries;
    }
    QString group;
    for (QString line : QString::fromUtf8(*bytes).split(u'\n')) {
        if (line.endsWith(u'\r')) {
            line.chop(1);
        }
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(u'[') && trimmed.endsWith(u']')) {
            group = trimmed.mid(1, trimmed.size() - 2);
            entries.push_back({group, QString(), QString(), QString()});
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (equals > 0 && !trimmed.startsWith(u';') && !trimmed.startsWith(u'#')) {
            entries.push_back(
                {group, line.left(equals).trimmed(), line.mid(equals + 1), QString()});
        } else if (!trimmed.isEmpty()) {
            entries.push_back({group, QString(), QString(), line});
        }
    }
    return entries;
}

int writeEntries(const QString& path, const std::vector<Entry>& entries)
{
    QString text;
    for (const Entry& e : entries) {
        if (!e.raw.isEmpty()) {
            text += e.raw;
        } else if (e.name.isEmpty()) {
            text += u'[' + e.group + u']';
        } else {
            text += e.name + u'=' + e.value;
        }
        text += u'\n';
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    return WriteFileAtomically(path, text.toUtf8(), true);
}

} // namespace

RegistryFile::RegistryFile(QString path) : m_path(std::move(path)) {}

std::optional<QString> RegistryFile::value(const QString& group, const QString& name) const
{
    for (const Entry& e : readEntries(m_path)) {
        if (e.raw.isEmpty() && !e.name.isEmpty() &&
            e.group.compare(group, Qt::CaseInsensitive) == 0 &&
            e.name.compare(name, Qt::CaseInsensitive) == 0) {
            return e.value;
        }
    }
    return std::nullopt;
}

int RegistryFile::setValues(const QString& group,
                            const std::vector<std::pair<QString, QString>>& values)
{
    std::vector<Entry> entries = readEntries(m_path);
    for (const auto& [name, rawValue] : values) {
        QString value = rawValue;
        value.replace(u'\n', u' ').replace(u'\r', u' ');
        bool done = false;
        std::size_t lastOfGroup = entries.size();
        for (std::size_t i = 0; i < entries.size() && !done; ++i) {
            Entry& e = entries[i];
            if (e.raw.isEmpty() && e.group.compare(group, Qt::CaseInsensitive) == 0) {
                lastOfGroup = i;
                if (e.name.compare(name, Qt::CaseInsensitive) == 0 && !e.name.isEmpty()) {
                    e.value = value;
                    done = true;
                }
            }
        }
        if (done) {
            continue;
        }
        if (lastOfGroup == entries.size()) {
            entries.push_back({group, QString(), QString(), QString()});
            entries.push_back({group, name, value, QString()});
        } else {
            entries.insert(entries.begin() + static_cast<std::ptrdiff_t>(lastOfGroup) + 1,
                           {group, name, value, QString()});
        }
    }
    return writeEntries(m_path, entries);
}

int RegistryFile::removeValue(const QString& group, const QString& name)
{
    std::vector<Entry> entries = readEntries(m_path);
    const auto before = entries.size();
    std::erase_if(entries, [&](const Entry& e) {
        return e.raw.isEmpty() && !e.name.isEmpty() &&
               e.group.compare(group, Qt::CaseInsensitive) == 0 &&
               e.name.compare(name, Qt::CaseInsensitive) == 0;
    });
    if (entries.size() == before) {
        return 1;
    }
    return writeEntries(m_path, entries);
}

} // namespace fernhold
