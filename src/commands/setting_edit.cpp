#include "commands/setting_edit.h"

#include "core/clock.h"
#include "core/job_settings.h"
#include "core/protected_text.h"
#include "core/server_fingerprint.h"
#include "core/settings_fields.h"
#include "core/text_table.h"
#include "engine/exclusion_lists.h"

#include <QRegularExpression>
#include <optional>

namespace fernhold {

namespace {

// Where a key lives: a job field, or a field of target `number`.
struct KeyRef
{
    const JobField* job = nullptr;
    const TargetField* target = nullptr;
    int number = 0;
};

std::optional<KeyRef> findKey(const QString& key)
{
    const auto matches = [&](const char* name, int number) {
        return key.compare(TargetKey(name, number), Qt::CaseInsensitive) == 0;
    };
    for (const auto& fields : {JobFieldsBeforeTargets(), JobFieldsAfterTargets()}) {
        for (const JobField& field : fields) {
            if (matches(field.key, 0)) {
                return KeyRef{&field, nullptr, 0};
            }
        }
    }
    for (int t = 1; t <= kTargetCount; ++t) {
        for (const TargetField& field : TargetFields()) {
            if (matches(field.key, t)) {
                return KeyRef{nullptr, &field, t};
            }
        }
    }
    return std::nullopt;
}

SettingEditResult refuse(const QString& why)
{
    return {false, why};
}

// Seven entries of eleven fields: hours 0-23, minutes 0-59, day flags 0 or 1.
std::optional<QString> checkSchedule(const QString& text)
{
    static const QRegularExpression entry(
        QStringLiteral("^(\\d{1,2}),(\\d{1,2}),(\\d{1,2}),(\\d{1,2})((,[01]){7})$"));
    QStringList entries = text.split(u';');
    if (entries.size() == 8 && entries.last().isEmpty()) {
        entries.removeLast();
    }
    if (entries.size() != 7) {
        return QStringLiteral("the schedule needs seven entries, each ended by \";\"");
    }
    for (const QString& e : entries) {
        const auto m = entry.match(e);
        if (!m.hasMatch() || m.captured(1).toInt() > 23 || m.captured(3).toInt() > 23 ||
            m.captured(2).toInt() > 59 || m.captured(4).toInt() > 59) {
            return QStringLiteral("bad schedule entry \"%1\": expected from-hour,from-minute,"
                                  "to-hour,to-minute and seven day flags 0 or 1")
                .arg(e);
        }
    }
    return std::nullopt;
}

} // namespace

QStringList SettingKeys()
{
    QStringList keys;
    for (const JobField& f : JobFieldsBeforeTargets()) {
        keys << QString::fromLatin1(f.key);
    }
    for (int t = 1; t <= kTargetCount; ++t) {
        for (const TargetField& f : TargetFields()) {
            keys << TargetKey(f.key, t);
        }
    }
    for (const JobField& f : JobFieldsAfterTargets()) {
        keys << QString::fromLatin1(f.key);
    }
    return keys;
}

bool IsProtectedSetting(const QString& key)
{
    const auto ref = findKey(key);
    if (!ref) {
        return false;
    }
    return (ref->job ? ref->job->protection : ref->target->protection) != Protection::None;
}

std::optional<QString> SettingValue(const JobSettings& settings, const QString& key)
{
    const auto ref = findKey(key);
    if (!ref) {
        return std::nullopt;
    }
    return ref->job ? FieldText(settings, *ref->job)
                    : FieldText(settings.target(ref->number), *ref->target);
}

SettingEditResult SetSettingFromText(JobSettings& settings, const QString& key,
                                     const QString& rawValue, const Clock& clock)
{
    const auto ref = findKey(key);
    if (!ref) {
        return refuse(QStringLiteral("unknown setting \"%1\"").arg(key));
    }
    const char* name = ref->job ? ref->job->key : ref->target->key;
    const SettingKind kind = ref->job ? ref->job->kind : ref->target->kind;
    const Protection protection = ref->job ? ref->job->protection : ref->target->protection;
    const int minimum = ref->job ? ref->job->minimum : ref->target->minimum;
    const int maximum = ref->job ? ref->job->maximum : ref->target->maximum;
    const QString field = QString::fromLatin1(name);
    QString value = field == QStringLiteral("TargetType") ? rawValue : rawValue.trimmed();

    if (kind != SettingKind::Text || field == QStringLiteral("FTPServerPort")) {
        bool ok = false;
        const int number = value.toInt(&ok);
        if (!ok || number < minimum || number > maximum) {
            return refuse(QStringLiteral("%1 must be a whole number from %2 to %3")
                              .arg(key)
                              .arg(minimum)
                              .arg(maximum));
        }
        value = QString::number(number);
    }
    if (protection != Protection::None && value.toUtf8().size() > kMaxProtectedPlainBytes - 1) {
        return refuse(QStringLiteral("%1 is too long: at most %2 bytes can be stored protected")
                          .arg(key)
                          .arg(kMaxProtectedPlainBytes - 1));
    }
    if (field == QStringLiteral("CryptPassword")) {
        for (QChar c : value) {
            if (c.unicode() > 126 || c.unicode() < 32) {
                return refuse(QStringLiteral("the archive password may hold only printable ASCII "
                                             "characters, so it can be typed on any keyboard"));
            }
        }
    } else if (field == QStringLiteral("CryptData")) {
        // Encryption without a password would give unencrypted versions.
        if (value == QStringLiteral("1") && settings.CryptPassword.isEmpty()) {
            return refuse(Text(QStringLiteral("TXT00462")));
        }
    } else if (field == QStringLiteral("TargetType")) {
        if (value != QStringLiteral("WIN") && value != QStringLiteral("FTP") && !value.isEmpty()) {
            return refuse(QStringLiteral("%1 must be WIN (a folder), FTP or empty").arg(key));
        }
    } else if (field == QStringLiteral("TargetDir")) {
        if (!value.isEmpty() && !value.startsWith(u'/')) {
            return refuse(QStringLiteral("%1 must be an absolute folder path").arg(key));
        }
        if (!value.isEmpty() && !value.endsWith(u'/')) {
            value += u'/';
        }
    } else if (field == QStringLiteral("FTPFingerprint")) {
        if (!value.isEmpty()) {
            const std::optional<QByteArray> digest = FingerprintDigest(value);
            if (!digest) {
                return refuse(key + QStringLiteral(": ") + Text(QStringLiteral("TXT00500")));
            }
            value = FingerprintText(*digest);
        }
    } else if (field == QStringLiteral("ExcludeFileTypes")) {
        value = TidyTypeList(value);
    } else if (field == QStringLiteral("ExcludeFileStrings")) {
        value = TidyPathList(value);
    } else if (field == QStringLiteral("Schedule")) {
        if (const auto problem = checkSchedule(value)) {
            return refuse(*problem);
        }
        if (!value.endsWith(u';')) {
            value += u';';
        }
    }

    const int repeaterBefore = settings.InitialRepeater;
    const int hoursBefore = settings.InitialRepeaterTime;
    if (ref->job) {
        SetFieldFromText(settings, *ref->job, value, false);
    } else {
        SetFieldFromText(settings.target(ref->number), *ref->target, value,
                         field == QStringLiteral("TargetType"));
    }
    if ((repeaterBefore == 0 && settings.InitialRepeater == 1) ||
        hoursBefore != settings.InitialRepeaterTime) {
        settings.InitialFullBackupLastStarted = static_cast<int>(clock.nowSeconds());
    }
    if (field == QStringLiteral("CryptPassword") && value.isEmpty()) {
        settings.CryptData = 0;
    }
    return {true, QString()};
}

} // namespace fernhold
