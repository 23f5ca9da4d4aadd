#pragma once

// What `fernhold` hands the desktop module: plain values only, as the two
// sides hold their own copies of every library type.
namespace fernhold {

struct DesktopStart
{
    bool headless = false;
    bool once = false;
    bool full = false;
};

// The module's entry point, found by this name.
inline constexpr char kDesktopEntryName[] = "fernhold_run_desktop";
using DesktopEntry = int (*)(int* argc, char** argv, const DesktopStart* start);

} // namespace fernhold
