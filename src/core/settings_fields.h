#pragma once

#include "core/job_settings.h"

#include <QString>
#include <algorithm>
#include <climits>
#include <cstdint>
#include <span>
#include <type_traits>
#include <variant>

namespace fernhold {

enum class SettingKind
{
    Flag, // one byte, 0 or 1
    Byte, // one signed byte
    Int,  // 32-bit signed
    Text,
};

// Which key constant protects a value in the file; None: stored as it is.
enum class Protection
{
    None,
    ArchivePassword, // Planets_One
    FtpUser,         // Planets_Two
    FtpPassword,     // Planets_Three
};

// One key of the settings file: how it is stored, where it lives in
// JobSettings, and the range the settings window allows for it.
template <typename Record> struct SettingField
{
    const char* key;
    SettingKind kind;
    std::variant<std::int8_t Record::*, int Record::*, QString Record::*> member;
    Protection protection = Protection::None;
    int minimum = INT_MIN;
    int maximum = INT_MAX;
};

using JobField = SettingField<JobSettings>;
using TargetField = SettingField<TargetEntry>;
using SourceField = SettingField<SourceEntry>;

// In the order they are written: the job keys before the targets, the targets
// (entry 1 with bare keys, 2 to 9 with the number appended), the job keys after them.
std::span<const JobField> JobFieldsBeforeTargets();
std::span<const TargetField> TargetFields();
std::span<const JobField> JobFieldsAfterTargets();
std::span<const SourceField> SourceFields();

// The key text of a numbered entry: bare for target 1, "TargetDir2" for target 2.
QString TargetKey(const char* key, int number);

// Key constant of the protection (Planets_One, ...), "" for None.
QString ProtectionConstant(Protection protection);

// Lenient decimal parse: optional blanks and sign, then leading digits; anything
// else is 0. Saturates at the limits of int.
[[nodiscard]] int LenientInt(QStringView text);

// The value of a field as the file holds it (numbers in decimal, texts as held).
template <typename Record>
QString FieldText(const Record& record, const SettingField<Record>& field)
{
    return std::visit(
        [&](auto member) -> QString {
            const auto& value = record.*member;
            if constexpr (std::is_same_v<std::decay_t<decltype(value)>, QString>) {
                return value;
            } else {
                return QString::number(static_cast<int>(value));
            }
        },
        field.member);
}

// Sets a field from its text in the file: numbers parsed leniently (a byte
// saturates at its range), texts trimmed unless `keepBlanks`.
template <typename Record>
void SetFieldFromText(Record& record, const SettingField<Record>& field, const QString& text,
                      bool keepBlanks)
{
    std::visit(
        [&](auto member) {
            auto& value = record.*member;
            using Value = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<Value, QString>) {
                value = keepBlanks ? text : text.trimmed();
            } else if constexpr (std::is_same_v<Value, std::int8_t>) {
                value = static_cast<std::int8_t>(std::clamp(LenientInt(text), -128, 127));
            } else {
                value = LenientInt(text);
            }
        },
        field.member);
}

} // namespace fernhold
