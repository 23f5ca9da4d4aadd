#pragma once

#include <QString>

namespace fernhold {

struct JobSettings;
class UserInterface;

// Reads and writes the settings file and the source-list file in the
// application-data folder.
class SettingsStore
{
public:
    SettingsStore(QString appDataFolder, UserInterface& ui);

    [[nodiscard]] QString settingsPath() const;
    [[nodiscard]] QString listPath() const;

    // Fills `settings` from both files; missing files are created empty and
    // missing keys take their defaults. Problems are reported, never fatal.
    void LoadSettings(JobSettings& settings);

    // Writes both files atomically with mode 0600. Gives 1 when both were written.
    int SaveSettings(const JobSettings& settings);

private:
    QString m_folder;
    UserInterface& m_ui;
};

} // namespace fernhold
