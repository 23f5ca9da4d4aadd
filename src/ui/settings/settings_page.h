#pragma once

#include "ui/program_menus.h"

#include <QWidget>
#include <functional>

namespace fernhold {

class ProgramControl;
class QtUserInterface;
struct JobSettings;

// What every page of the settings window reaches: the running program, the
// interface for messages, the window's status line and the menu actions.
struct SettingsContext
{
    ProgramControl& control;
    QtUserInterface& ui;
    std::function<void(const QString&)> showStatus;
    MenuHandler menu;
    // Another target was chosen in a page's chooser.
    std::function<void(int)> chooseTarget;
    // Copies the whole window into Job settings (before a manual clean-up).
    std::function<void()> readWindow;
};

// One page of the settings window.
class SettingsPage : public QWidget
{
    Q_OBJECT
public:
    explicit SettingsPage(SettingsContext& context, QWidget* parent = nullptr)
        : QWidget(parent), m_context(context)
    {}

    // Sets the controls from the settings.
    virtual void fill(const JobSettings& settings) = 0;
    // Copies the controls back; a value the settings table refuses keeps the old one.
    virtual void read(JobSettings& settings) = 0;
    // The page has become the current one.
    virtual void entered() {}
    // Another page has become the current one.
    virtual void left() {}
    // The current target or the targets' texts changed.
    virtual void showTarget(const JobSettings& settings) { (void)settings; }
    // The window closes: work the page started is stopped.
    virtual void closing() {}

protected:
    SettingsContext& m_context;
};

} // namespace fernhold
