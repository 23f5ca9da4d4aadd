#pragma once

#include <QWidget>

class QPlainTextEdit;

namespace fernhold {

// The small always-on-top window that shows the status line.
class MonitorWindow : public QWidget
{
    Q_OBJECT
public:
    // `scale` multiplies the window's size; `translucent` draws it at 180/255.
    MonitorWindow(double scale, bool translucent);

    // Opens at `position`; (0, 0) is the default place at the bottom right
    // of the primary screen.
    void openAt(QPoint position);
    void setStatusLine(const QString& line);
    [[nodiscard]] QString statusLine() const;
    [[nodiscard]] static QPoint defaultPosition(double scale);

signals:
    // The window was closed by its user at `position`.
    void closedAt(QPoint position);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    double m_scale;
    QPlainTextEdit* m_text; // owned by the window
};

} // namespace fernhold
