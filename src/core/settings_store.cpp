#include "core/settings_store.h"

#include "core/job_settings.h"
#include "core/key_value_file.h"
#include "core/protected_text.h"
#include "core/settings_fields.h"
#include "core/text_table.h"
#include "core/user_interface.h"
#include "platform/file_io.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>

namespace fernhold {

namespace {

// Far more than any real settings file; a larger file is read only this far.
constexpr qint64 kMaxSettingsFileBytes = 64 * 1024 * 1024;

struct OpenedFile
{
    KeyValueFile entries;
    bool existed = false;
};

// The file's entries (none for a missing file, which SaveSettings creates), or
// no value when it is there but cannot be read.
std::optional<OpenedFile> openSettingsFile(const QString& path)
{
    if (const auto bytes = ReadFileCapped(path, kMaxSettingsFileBytes)) {
        return OpenedFile{KeyValueFile::parse(*bytes), true};
    }
    if (QFileInfo::exists(path)) {
        return std::nullopt; // a folder, or a file we may not read
    }
    return OpenedFile{};
}

// True when any key of the file is one Fernhold writes.
bool holdsKnownKey(const KeyValueFile& file, const QStringList& known)
{
    for (const QString& key : file.keys()) {
        for (const QString& name : known) {
            if (key.startsWith(name, Qt::CaseInsensitive)) {
                return true;
            }
        }
    }
    return false;
}

QStringList settingsKeyNames()
{
    QStringList names;
    for (const auto& field : JobFieldsBeforeTargets()) {
        names << QString::fromLatin1(field.key);
    }
    for (const auto& field : TargetFields()) {
        names << QString::fromLatin1(field.key);
    }
    for (const auto& field : JobFieldsAfterTargets()) {
        names << QString::fromLatin1(field.key);
    }
    return names;
}

QStringList listKeyNames()
{
    QStringList names{QStringLiteral("SourceDirCount")};
    for (const auto& field : SourceFields()) {
        names << QString::fromLatin1(field.key);
    }
    return names;
}

// A file that is there but holds nothing Fernhold wrote (empty, binary, a
// byte-order mark alone) is damaged. It is kept as `path`.damaged for the user.
bool damaged(const OpenedFile& file, const QString& path, const QStringList& known)
{
    if (!file.existed || holdsKnownKey(file.entries, known)) {
        return false;
    }
    const QString copy = path + QStringLiteral(".damaged");
    QFile::remove(copy);
    if (QFile::copy(path, copy)) {
        QFile(copy).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    return true;
}

QString cipherKey(Protection protection)
{
    return PrepareKey(Text(ProtectionConstant(protection)));
}

bool keepsBlanks(const char* key)
{
    return qstrcmp(key, "TargetType") == 0;
}

template <typename Record>
void readFields(const KeyValueFile& file, std::span<const SettingField<Record>> fields,
                Record& record, int number)
{
    for (const auto& field : fields) {
        if (const auto value = file.value(TargetKey(field.key, number))) {
            SetFieldFromText(record, field, *value, keepsBlanks(field.key));
        }
    }
}

// Stored values end in "|" before protection, so the last character goes.
template <typename Record>
void unprotectFields(std::span<const SettingField<Record>> fields, Record& record)
{
    for (const auto& field : fields) {
        if (field.protection == Protection::None) {
            continue;
        }
        QString& value = record.*std::get<QString Record::*>(field.member);
        if (!value.trimmed().isEmpty()) {
            value = UnprotectText(value, cipherKey(field.protection));
            value.chop(1);
        }
    }
}

// Gives false when a protected value was too long to protect; its old stored
// value is then left in the file.
template <typename Record>
bool writeFields(KeyValueFile& file, std::span<const SettingField<Record>> fields,
                 const Record& record, int number)
{
    bool allProtected = true;
    for (const auto& field : fields) {
        const QString key = TargetKey(field.key, number);
        QString value = FieldText(record, field);
        const bool asHeld = keepsBlanks(field.key) || qstrcmp(field.key, "Schedule") == 0;
        if (!asHeld) {
            value = value.trimmed();
        }
        if (qstrcmp(field.key, "FTPServerPort") == 0 && value.isEmpty()) {
            value = QStringLiteral("21");
        }
        if (field.protection != Protection::None && !value.isEmpty()) {
            const auto stored = ProtectText(value + u'|', cipherKey(field.protection));
            if (!stored) {
                allProtected = false;
                continue;
            }
            value = *stored;
        }
        file.setValue(key, value);
    }
    return allProtected;
}

// Highest entry number that has any source key in the file, so a damaged
// count cannot make the list larger than what is really there.
int highestSourceNumber(const KeyValueFile& file)
{
    int highest = 0;
    for (const QString& key : file.keys()) {
        for (const auto& field : SourceFields()) {
            const QString name = QString::fromLatin1(field.key);
            if (key.size() > name.size() && key.startsWith(name, Qt::CaseInsensitive)) {
                bool ok = false;
                const int number = key.mid(name.size()).toInt(&ok);
                if (ok && number > highest) {
                    highest = number;
                }
            }
        }
    }
    return highest;
}

} // namespace

SettingsStore::SettingsStore(QString appDataFolder, UserInterface& ui)
    : m_folder(std::move(appDataFolder)), m_ui(ui)
{}

QString SettingsStore::settingsPath() const
{
    return m_folder + Text(QStringLiteral("Pref_FileName"));
}

QString SettingsStore::listPath() const
{
    return m_folder + Text(QStringLiteral("List_FileName"));
}

void SettingsStore::LoadSettings(JobSettings& settings)
{
    JobSettings loaded;
    loaded.SelectedTarget = settings.SelectedTarget;
    loaded.CurrentPage = settings.CurrentPage;
    const QString title = Text(QStringLiteral("Program_Name"));

    m_settingsDamaged = false;
    m_listDamaged = false;
    if (const auto opened = openSettingsFile(settingsPath())) {
        const KeyValueFile& file = opened->entries;
        if (damaged(*opened, settingsPath(), settingsKeyNames())) {
            m_settingsDamaged = true;
            m_ui.showMessage(title,
                             Text(QStringLiteral("TXT00432")) + QStringLiteral("\r\n") +
                                 settingsPath() + QStringLiteral(".damaged"),
                             MessageIcon::Warning);
        }
        readFields(file, JobFieldsBeforeTargets(), loaded, 0);
        for (int t = 1; t <= kTargetCount; ++t) {
            readFields(file, TargetFields(), loaded.target(t), t);
        }
        readFields(file, JobFieldsAfterTargets(), loaded, 0);
        unprotectFields(JobFieldsBeforeTargets(), loaded);
        for (int t = 1; t <= kTargetCount; ++t) {
            unprotectFields(TargetFields(), loaded.target(t));
        }
    } else {
        m_ui.showMessage(title, Text(QStringLiteral("TXT00036")) + QStringLiteral(" (Pref)"),
                         MessageIcon::Warning);
    }

    if (const auto opened = openSettingsFile(listPath())) {
        const KeyValueFile& file = opened->entries;
        if (damaged(*opened, listPath(), listKeyNames())) {
            m_listDamaged = true;
            m_ui.showMessage(title,
                             Text(QStringLiteral("TXT00437")) + QStringLiteral("\r\n") +
                                 listPath() + QStringLiteral(".damaged"),
                             MessageIcon::Warning);
        }
        const int declared =
            LenientInt(file.value(QStringLiteral("SourceDirCount")).value_or(QString()));
        const int count = std::clamp(declared, 0, highestSourceNumber(file));
        loaded.sources.reserve(count);
        for (int i = 1; i <= count; ++i) {
            SourceEntry entry;
            for (const auto& field : SourceFields()) {
                const QString key = QString::fromLatin1(field.key) + QString::number(i);
                if (const auto value = file.value(key)) {
                    SetFieldFromText(entry, field, *value, false);
                }
            }
            entry.Indexed = 0;
            loaded.sources.append(entry);
        }
    } else {
        m_ui.showMessage(title, Text(QStringLiteral("TXT00036")) + QStringLiteral(" (List)"),
                         MessageIcon::Warning);
    }
    settings = std::move(loaded);
}

int SettingsStore::SaveSettings(const JobSettings& settings)
{
    const QString title = Text(QStringLiteral("Program_Name"));
    int result = 1;

    KeyValueFile prefs;
    if (const auto bytes = ReadFileCapped(settingsPath(), kMaxSettingsFileBytes)) {
        prefs = KeyValueFile::parse(*bytes);
    }
    bool allProtected = writeFields(prefs, JobFieldsBeforeTargets(), settings, 0);
    for (int t = 1; t <= kTargetCount; ++t) {
        allProtected = writeFields(prefs, TargetFields(), settings.target(t), t) && allProtected;
    }
    allProtected = writeFields(prefs, JobFieldsAfterTargets(), settings, 0) && allProtected;
    if (!WriteFileAtomically(settingsPath(), prefs.serialize(), true)) {
        m_ui.showMessage(title, Text(QStringLiteral("TXT00039")) + QStringLiteral(" (Pref)"),
                         MessageIcon::Warning);
        result = 0;
    } else if (!allProtected) {
        m_ui.showMessage(title, Text(QStringLiteral("TXT00300")), MessageIcon::Warning);
    }

    KeyValueFile list;
    list.setValue(QStringLiteral("SourceDirCount"), QString::number(settings.SourceDirCount()));
    for (int i = 1; i <= settings.SourceDirCount(); ++i) {
        const SourceEntry& entry = settings.sources[i - 1];
        for (const auto& field : SourceFields()) {
            list.setValue(QString::fromLatin1(field.key) + QString::number(i),
                          FieldText(entry, field).trimmed());
        }
    }
    if (!WriteFileAtomically(listPath(), list.serialize(), true)) {
        m_ui.showMessage(title, Text(QStringLiteral("TXT00039")) + QStringLiteral(" (List)"),
                         MessageIcon::Warning);
        result = 0;
    }
    return result;
}

} // namespace fernhold
