#pragma once

#include "engine/archiver.h"

#include <QList>

namespace fernhold {

struct JobSettings;

enum class ZipUse
{
    Write, // packing: deflate, and encrypt with the methods
    Read,  // restoring: inflate, and decrypt with the methods
};

// The encryption methods the settings ask packing for: none when versions
// are copies or unencrypted, or the method is outside the table (which the
// settings check reports on its own).
[[nodiscard]] QList<ZipMethod> WantedZipMethods(const JobSettings& settings);

// Every method of the table, for restores, which meet archives of any.
[[nodiscard]] QList<ZipMethod> AllZipMethods();

// Makes sure the zip library of this build can do what is asked: 1 when it
// can; 0 tells the caller to show TXT00006 and end. Run at start-up and
// before every pass, with the methods the settings of that moment want.
[[nodiscard]] int InstallArchiver(ZipUse use, const QList<ZipMethod>& methods);

} // namespace fernhold
