#pragma once

#include <QString>
#include <QTemporaryDir>
#include <memory>

namespace fernhold {

// A private folder of one restore inside Fernhold's work folder, for the
// downloaded versions and the unpacked files. Every restore has its own, so
// a restore from the command line cannot meet the files of another one or
// of a running instance, and the folder goes with everything in it when the
// object goes: nothing stays in the work folder on any way out.
class RestoreScratch
{
public:
    // `workFolder` is Folders::temp; it is made (private) when missing.
    explicit RestoreScratch(const QString& workFolder);
    ~RestoreScratch();
    RestoreScratch(const RestoreScratch&) = delete;
    RestoreScratch& operator=(const RestoreScratch&) = delete;

    // False when the folder could not be made.
    [[nodiscard]] bool isValid() const { return m_dir != nullptr; }
    // The folder, ending in "/"; "" when not valid.
    [[nodiscard]] QString path() const;

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

} // namespace fernhold
