#pragma once

#include "ui/settings/settings_page.h"

#include <QWidget>
#include <array>
#include <memory>

class QLabel;
class QMenu;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QToolButton;

namespace fernhold {

// The settings window: eight pages of Job settings in tabs, the status line
// for help and progress texts, the program status options and the close
// button. While it is open the program is paused; closing it copies the
// controls back, saves the settings and the autostart entry and takes the
// chosen program status.
class SettingsWindow : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kPageCount = 8;

    SettingsWindow(ProgramControl& control, QtUserInterface& ui, QMenu& helpMenu, MenuHandler menu);
    ~SettingsWindow() override;

    // Sets every control from Job settings and selects the current page and target.
    void FillSettingsWindow();
    // Copies every control back into Job settings.
    void ReadSettingsWindow();
    // Switches the current target of every chooser (storing the target page first).
    void chooseTarget(int target);

    [[nodiscard]] QTabWidget* tabs() const { return m_tabs; }
    [[nodiscard]] SettingsPage* page(int index) const { return m_pages.at(index); }
    [[nodiscard]] QLabel* statusLine() const { return m_statusLine; }
    [[nodiscard]] QRadioButton* activeOption() const { return m_active; }
    [[nodiscard]] QRadioButton* inactiveOption() const { return m_inactive; }
    [[nodiscard]] QPushButton* closeButton() const { return m_close; }
    [[nodiscard]] QToolButton* helpButton(int index) const { return m_help.at(index); }

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void showStatus(const QString& text);
    void pageChanged(int index);
    void openHelpMenu();
    void finish();

    ProgramControl& m_control;
    QtUserInterface& m_ui;
    QMenu& m_helpMenu;
    std::unique_ptr<SettingsContext> m_context;
    QTabWidget* m_tabs = nullptr;
    std::array<SettingsPage*, kPageCount> m_pages{};
    QLabel* m_statusLine = nullptr;
    QRadioButton* m_active = nullptr;
    QRadioButton* m_inactive = nullptr;
    QPushButton* m_close = nullptr;
    std::array<QToolButton*, 2> m_help{};
    int m_shownPage = -1;
    bool m_filling = false;
};

} // namespace fernhold
