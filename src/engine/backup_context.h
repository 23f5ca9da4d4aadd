#pragma once

#include "core/job_settings.h"

#include <QString>
#include <atomic>

namespace fernhold {

class Archiver;
class BackupState;
class Clock;
class LogBook;
class RemoteTargets;
class SourceIndex;
class StatusLine;
class StatusRecorder;
class UserInterface;
struct Folders;
struct RunState;

// Times that outlive a pass; owned by the application.
struct EngineTimes
{
    std::atomic<qint64> LastLogFlush{0}; // seconds since 1970 of the last log-file write
};

// Everything a pass works with. The settings are the worker's own copy.
struct BackupServices
{
    const JobSettings& settings;
    RunState& run;
    const Clock& clock;
    UserInterface& ui;
    StatusLine& statusLine;
    StatusRecorder& recorder;
    LogBook& log;
    SourceIndex& index;
    const Folders& folders;
    const Archiver& archiver;
    RemoteTargets& remote;
    EngineTimes& times;
    QString fileTimeTablePath; // where the file-time table is written; "" writes none
    BackupState& state;        // what sources owe their targets, clean-up times
};

} // namespace fernhold
