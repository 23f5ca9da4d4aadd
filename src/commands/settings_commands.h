#pragma once

#include <QStringList>

namespace fernhold {

// `fernhold config list | get KEY | set KEY VALUE | set KEY --stdin`
[[nodiscard]] int RunConfigCommand(const QStringList& arguments);

// `fernhold source list | add DIR [--targets 1,3] [--filter TEXT] [--no-subfolders] | remove N`
[[nodiscard]] int RunSourceCommand(const QStringList& arguments);

} // namespace fernhold
