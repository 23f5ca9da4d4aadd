#pragma once

#include <QWidget>

class QCheckBox;

namespace fernhold {

// Shown at the start: what Fernhold does, and a check box not to show it again.
class SplashWindow : public QWidget
{
    Q_OBJECT
public:
    SplashWindow();

    [[nodiscard]] QCheckBox* dontShowAgain() const { return m_dontShow; }

signals:
    // Closed by its button or its close box; `dontShowAgain` is the check box.
    void closed(bool dontShowAgain);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QCheckBox* m_dontShow; // owned by the window
};

} // namespace fernhold
