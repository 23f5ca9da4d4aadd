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

    // Fills `settings` from both files; missing files and keys take their
    // defaults (SaveSettings creates the files). Problems are reported, never
    // fatal: a file that is there but holds nothing Fernhold can read (empty,
    // binary, a byte-order mark alone) is reported, copied to
    // "<file>.damaged" and marked damaged until the next load.
    void LoadSettings(JobSettings& settings);

    // What the last LoadSettings found: a program that runs on defaults
    // because of it must not write them over the user's file.
    [[nodiscard]] bool settingsDamaged() const { return m_settingsDamaged; }
    [[nodiscard]] bool listDamaged() const { return m_listDamaged; }

    // Writes both files atomically with mode 0600. Gives 1 when both were written.
    int SaveSettings(const JobSettings& settings);

private:
    QString m_folder;
    UserInterface& m_ui;
    bool m_settingsDamaged = false;
    bool m_listDamaged = false;
};

} // namespace fernhold
