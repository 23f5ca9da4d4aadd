#pragma once

#include <QMutex>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace fernhold {

class AppendFile;
class Clock;
class UserInterface;
struct Folders;
struct JobSettings;

// The user's log: the last 10,000 lines in memory, mirrored to the log file
// in the application-data folder, newest line first. Lines may be added from
// the main thread and the worker thread at the same time.
//
// The log file is rewritten whole now and then; with the journal on, every
// line also reaches the journal beside it ("fernhold.log.new", oldest first)
// as it is added, so a killed run loses none. Reading the log takes in the
// journal, and a rewrite that succeeded removes it.
class LogBook
{
public:
    static constexpr int kCapacity = 10000;
    // What is kept of one line, in characters: twice the longest path Linux
    // allows, so every line Fernhold writes itself survives whole; the rest of a
    // longer (damaged) line is dropped.
    static constexpr qsizetype kMaxLineChars = 8192;
    // Reading stops after this much of the file, so a huge or binary file can
    // cost neither unbounded memory nor time. The largest file the settings
    // allow (999 K characters) is far below it.
    static constexpr qint64 kMaxReadBytes = 32 * 1024 * 1024;

    LogBook(const Folders& folders, const Clock& clock);
    ~LogBook();
    LogBook(const LogBook&) = delete;
    LogBook& operator=(const LogBook&) = delete;

    // Lines added from now on go to the journal too (LogfileActive 1), or not.
    void keepJournal(bool on);
    // While on and the journal is kept, WriteLogFile leaves the file alone and
    // gives 1: the journal holds every line until the rewrite after `on` ends.
    // For a single run, which rewrites a log of up to 10,000 lines once, at its
    // end, instead of at its start and after its pass too.
    void deferRewrites(bool on);

    // Appends a line stamped with the clock's local date and time
    // ("yyyy.MM.dd", TAB, "HH:mm:ss", TAB, text). Never fails.
    void AddLogLine(const QString& text);

    // Replaces the log file with the newest lines that are younger than
    // `LogfileMaxDays` days (lines of the cutoff day itself are dropped) and fit,
    // without line ends, into `LogfileMaxSize` K characters. Written atomically;
    // then the journal, whose lines the file now holds, is removed.
    // Gives 0 when the file could not be written (callers ignore it: the memory
    // log goes on).
    int WriteLogFile(const JobSettings& settings);

    // Rebuilds the memory log from the file and the journal after it (an
    // unreadable or missing file gives an empty log). Lines of the older
    // layout are converted.
    void ReadLogFile();

    // Asks whether to delete the log file and, on Yes, deletes it and empties the
    // memory log. When there is no log file or it is empty, says so instead.
    // Gives 1 when the log was cleared.
    int clearLogFile(UserInterface& ui);

    [[nodiscard]] QString path() const { return m_path; }
    [[nodiscard]] QString journalPath() const;

    // The ring as it stands: index of the newest line (-1 when empty), number of
    // lines, the line at a ring index, and all lines oldest first.
    [[nodiscard]] int newestIndex() const;
    [[nodiscard]] int count() const;
    [[nodiscard]] QString lineAt(int index) const;
    [[nodiscard]] QStringList lines() const;

private:
    // Runs with m_fileMutex held.
    void loadFromFile();

    const QString m_path;
    const Clock& m_clock;

    mutable QMutex m_mutex; // guards the ring and the journal
    std::vector<QString> m_lines;
    int m_newest = -1;
    int m_count = 0;
    // The stamp of the lines added in the same second, made once.
    qint64 m_stampSeconds = -1;
    QString m_stamp;
    const std::unique_ptr<AppendFile> m_journal;
    bool m_journalOn = false;
    bool m_rewritesDeferred = false;

    // Serialises the file operations, so a later snapshot is never overwritten
    // by an earlier one.
    QMutex m_fileMutex;
};

} // namespace fernhold
