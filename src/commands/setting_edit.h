#pragma once

#include <QString>
#include <QStringList>

namespace fernhold {

class Clock;
struct JobSettings;

struct SettingEditResult
{
    bool ok = false;
    QString error; // why the value was refused
};

// Every key of the settings file, targets numbered as stored ("TargetDir",
// "TargetDir2" ... "TargetDir9"), in the order the file holds them.
[[nodiscard]] QStringList SettingKeys();

// True when the key names a protected value (passwords, FTP user names).
[[nodiscard]] bool IsProtectedSetting(const QString& key);

// The value of a key as text, or no value for an unknown key.
[[nodiscard]] std::optional<QString> SettingValue(const JobSettings& settings, const QString& key);

// Sets one key from the command line, with the ranges and normalisations the
// settings window applies (numbers in range, type lists and path lists
// tidied, target folders ending in "/", printable ASCII archive passwords,
// protected values that fit their limit, a well-formed schedule, encryption
// only once an archive password is set). Switching the repeated full backup
// on or changing its hours restarts its interval.
[[nodiscard]] SettingEditResult SetSettingFromText(JobSettings& settings, const QString& key,
                                                   const QString& value, const Clock& clock);

} // namespace fernhold
