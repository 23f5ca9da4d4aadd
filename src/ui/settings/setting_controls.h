#pragma once

#include <QString>
#include <functional>
#include <utility>

class QCheckBox;
class QComboBox;
#include <QLabel>
class QLineEdit;
class QPushButton;
class QSpinBox;
#include <QToolButton>
class QWidget;

namespace fernhold {

class Clock;
struct JobSettings;

// The controls of the settings pages are named after the key they show, so
// they read and write through the same settings table, ranges and
// normalisations as `fernhold config set`.

// The range the settings table gives a numeric key.
[[nodiscard]] std::pair<int, int> SettingRange(const QString& key);

[[nodiscard]] QSpinBox* SettingSpin(const QString& key, QWidget* parent);
[[nodiscard]] QCheckBox* SettingCheck(const QString& key, const QString& text, QWidget* parent);
[[nodiscard]] QLineEdit* SettingEdit(const QString& key, QWidget* parent);
// A drop-down whose item index is the key's value.
[[nodiscard]] QComboBox* SettingCombo(const QString& key, const QStringList& items,
                                      QWidget* parent);

// Stores `text` as `key` with the checks of `fernhold config set`. A refused
// value keeps the old one; gives 0 then.
int StoreSetting(JobSettings& settings, const QString& key, const QString& text,
                 const Clock& clock);
[[nodiscard]] QString SettingText(const JobSettings& settings, const QString& key);

// Shows and stores a control named after a job key; `key` overrides the name
// (target keys carry the target's number).
void ShowControl(const JobSettings& settings, QWidget* control, const QString& key = {});
void StoreControl(JobSettings& settings, QWidget* control, const Clock& clock,
                  const QString& key = {});

// A small help icon that puts `text` into the status line when clicked.
[[nodiscard]] QToolButton*
HelpIcon(const QString& text, const std::function<void(const QString&)>& show, QWidget* parent);

// A text that acts like a link: reached with Tab, pressed with the space
// bar or its mnemonic ("&" in `text`).
[[nodiscard]] QPushButton* LinkText(const QString& text, const std::function<void()>& clicked,
                                    QWidget* parent);

// The letters the window's own buttons take (Active, Inactive, Close, Help),
// which the pages leave to them.
[[nodiscard]] inline QString FrameMnemonics()
{
    return QStringLiteral("aich");
}

// `text` with a mnemonic on its first letter not in `used` (which grows).
[[nodiscard]] QString WithMnemonic(const QString& text, QString& used);

// A caption for a control, with the control as its buddy.
[[nodiscard]] QLabel* Caption(const QString& text, QWidget* buddy, QWidget* parent);

} // namespace fernhold
