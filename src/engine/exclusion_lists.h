#pragma once

#include <QString>
#include <QStringList>

namespace fernhold {

// Normalises a typed list of file-name extensions (`ExcludeFileTypes`, a
// source's `SourceDirFilter`): lower case, blanks, ";", "." and "/" become
// separators, no empty fields, no separator at either end.
// "  .JPG; .png " gives "jpg,png".
[[nodiscard]] QString TidyTypeList(const QString& text);

// Normalises a typed list of path fragments (`ExcludeFileStrings`): no blanks
// around the text or next to a ",", no doubled "," and none at either end.
// Letter case stays as typed, and "/" is kept: it is part of every path.
[[nodiscard]] QString TidyPathList(const QString& text);

// The fragments a walk tests against: every ","-separated field of
// `ExcludeFileStrings`, lower-cased and untrimmed. Empty fields are kept (so
// the count is always the number of "," plus one) but never match.
[[nodiscard]] QStringList BuildExcludeList(const QString& excludeFileStrings);

} // namespace fernhold
