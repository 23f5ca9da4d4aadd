#pragma once

#include "core/user_interface.h"

#include <QMutex>
#include <QString>
#include <QStringList>
#include <deque>
#include <utility>
#include <vector>

namespace fernhold::test {

// A UserInterface that records every call and answers from a script, so a
// test can check which messages logic showed and steer its questions.
class FakeUserInterface : public UserInterface
{
public:
    struct Message
    {
        QString title;
        QString text;
        MessageIcon icon;
    };

    void showMessage(const QString& title, const QString& text, MessageIcon icon,
                     bool topmost = false) override;
    [[nodiscard]] bool askYesNo(const QString& title, const QString& text, MessageIcon icon,
                                bool defaultYes) override;
    // Recorded with the questions; scripted answers are true for OK.
    [[nodiscard]] bool askOkCancel(const QString& title, const QString& text,
                                   MessageIcon icon) override;
    void showStatusLine(const QString& line) override;
    void showProgramStatus(int status, const QString& tooltip) override;
    void showStatusText(const QString& text) override;
    [[nodiscard]] QString pickFolder(const QString& title, const QString& startFolder) override;
    void setBusy(bool busy) override;
    void showProgress(int done, int total) override;
    void showCleanupStatus(const QString& text) override;
    void showCleanupRunning(bool running) override;
    void showRestorePath(const QString& text) override;
    void focusRestorePassword() override;

    // Script: answers for the next questions and folder picks, in order. An
    // unscripted question takes its default button; an unscripted pick cancels.
    void queueAnswer(bool yes);
    void queueFolder(const QString& folder);

    [[nodiscard]] std::vector<Message> messages() const;
    [[nodiscard]] std::vector<Message> questions() const;
    [[nodiscard]] QStringList statusLines() const;
    [[nodiscard]] QStringList statusTexts() const;
    [[nodiscard]] std::vector<int> programStatuses() const;
    [[nodiscard]] bool busy() const;
    // Every progress call as {done, total}, in order.
    [[nodiscard]] std::vector<std::pair<int, int>> progress() const;
    // Every text the restore page's path field was given, in order.
    [[nodiscard]] QStringList restorePaths() const;
    [[nodiscard]] int passwordFocusCount() const;
    // True when some message's text contains `part`.
    [[nodiscard]] bool sawMessageContaining(const QString& part) const;
    // Clean-up page: every status text shown, and each change of the running notice.
    [[nodiscard]] QStringList cleanupStatuses() const;
    [[nodiscard]] std::vector<bool> cleanupRunning() const;

private:
    mutable QMutex m_mutex;
    std::vector<Message> m_messages;
    std::vector<Message> m_questions;
    QStringList m_statusLines;
    QStringList m_statusTexts;
    std::vector<int> m_programStatuses;
    QStringList m_cleanupStatuses;
    std::vector<bool> m_cleanupRunning;
    std::deque<bool> m_answers;
    std::deque<QString> m_folders;
    bool m_busy = false;
    std::vector<std::pair<int, int>> m_progress;
    QStringList m_restorePaths;
    int m_passwordFocusCount = 0;
};

} // namespace fernhold::test
