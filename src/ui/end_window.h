#pragma once

#include <QWidget>

class QProgressBar;

namespace fernhold {

// Shown at program end while a running pass finishes.
class EndWindow : public QWidget
{
    Q_OBJECT
public:
    EndWindow();
    void setPercent(int percent);
    [[nodiscard]] int percent() const;

private:
    QProgressBar* m_rule; // owned by the window
};

} // namespace fernhold
