#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <memory>

namespace fernhold::test {

// The one QApplication of the widget tests (offscreen platform, set by ctest).
inline QApplication& WidgetApplication()
{
    static int argc = 1;
    static char name[] = "fernhold_ui_tests";
    static char* argv[] = {name, nullptr};
    // Never destroyed: at process exit Qt's own statics (the input device
    // list) may already be gone, and destroying the application after them
    // crashes.
    static QApplication* const app = new QApplication(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    return *app;
}

// Answers the message boxes that open while it lives, the way a person
// would: records each box's text and presses `answer` (or the default button).
class BoxAnswerer
{
public:
    explicit BoxAnswerer(QMessageBox::StandardButton answer = QMessageBox::NoButton)
        : m_answer(answer)
    {
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible()) {
                return;
            }
            texts.append(box->text());
            QAbstractButton* button =
                m_answer != QMessageBox::NoButton ? box->button(m_answer) : nullptr;
            if (!button) {
                button = box->defaultButton() ? static_cast<QAbstractButton*>(box->defaultButton())
                                              : box->buttons().value(0);
            }
            if (button) {
                button->click();
            }
        });
        m_timer.start();
    }

    QStringList texts;

private:
    QMessageBox::StandardButton m_answer;
    QTimer m_timer;
};

} // namespace fernhold::test
