#include "fake_user_interface.h"

#include <QMutexLocker>

namespace fernhold::test {

void FakeUserInterface::showMessage(const QString& title, const QString& text, MessageIcon icon,
                                    bool /*topmost*/)
{
    QMutexLocker lock(&m_mutex);
    m_messages.push_back({title, text, icon});
}

bool FakeUserInterface::askYesNo(const QString& title, const QString& text, MessageIcon icon,
                                 bool defaultYes)
{
    QMutexLocker lock(&m_mutex);
    m_questions.push_back({title, text, icon});
    if (m_answers.empty()) {
        return defaultYes;
    }
    const bool answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

bool FakeUserInterface::askOkCancel(const QString& title, const QString& text, MessageIcon icon)
{
    return askYesNo(title, text, icon, false);
}

void FakeUserInterface::showStatusLine(const QString& line)
{
    QMutexLocker lock(&m_mutex);
    m_statusLines.append(line);
}

void FakeUserInterface::showProgramStatus(int status, const QString& /*tooltip*/)
{
    QMutexLocker lock(&m_mutex);
    m_programStatuses.push_back(status);
}

void FakeUserInterface::showStatusText(const QString& text)
{
    QMutexLocker lock(&m_mutex);
    m_statusTexts.append(text);
}

QString FakeUserInterface::pickFolder(const QString& /*title*/, const QString& /*startFolder*/)
{
    QMutexLocker lock(&m_mutex);
    if (m_folders.empty()) {
        return {};
    }
    QString folder = m_folders.front();
    m_folders.pop_front();
    return folder;
}

void FakeUserInterface::setBusy(bool busy)
{
    QMutexLocker lock(&m_mutex);
    m_busy = busy;
}

void FakeUserInterface::showProgress(int done, int total)
{
    QMutexLocker lock(&m_mutex);
    m_progress.emplace_back(done, total);
}

void FakeUserInterface::showRestorePath(const QString& text)
{
    QMutexLocker lock(&m_mutex);
    m_restorePaths.append(text);
}

void FakeUserInterface::focusRestorePassword()
{
    QMutexLocker lock(&m_mutex);
    ++m_passwordFocusCount;
}

void FakeUserInterface::queueAnswer(bool yes)
{
    QMutexLocker lock(&m_mutex);
    m_answers.push_back(yes);
}

void FakeUserInterface::queueFolder(const QString& folder)
{
    QMutexLocker lock(&m_mutex);
    m_folders.push_back(folder);
}

std::vector<FakeUserInterface::Message> FakeUserInterface::messages() const
{
    QMutexLocker lock(&m_mutex);
    return m_messages;
}

std::vector<FakeUserInterface::Message> FakeUserInterface::questions() const
{
    QMutexLocker lock(&m_mutex);
    return m_questions;
}

QStringList FakeUserInterface::statusLines() const
{
    QMutexLocker lock(&m_mutex);
    return m_statusLines;
}

QStringList FakeUserInterface::statusTexts() const
{
    QMutexLocker lock(&m_mutex);
    return m_statusTexts;
}

std::vector<int> FakeUserInterface::programStatuses() const
{
    QMutexLocker lock(&m_mutex);
    return m_programStatuses;
}

bool FakeUserInterface::busy() const
{
    QMutexLocker lock(&m_mutex);
    return m_busy;
}

std::vector<std::pair<int, int>> FakeUserInterface::progress() const
{
    QMutexLocker lock(&m_mutex);
    return m_progress;
}

QStringList FakeUserInterface::restorePaths() const
{
    QMutexLocker lock(&m_mutex);
    return m_restorePaths;
}

int FakeUserInterface::passwordFocusCount() const
{
    QMutexLocker lock(&m_mutex);
    return m_passwordFocusCount;
}

bool FakeUserInterface::sawMessageContaining(const QString& part) const
{
    QMutexLocker lock(&m_mutex);
    for (const Message& m : m_messages) {
        if (m.text.contains(part)) {
            return true;
        }
    }
    return false;
}

void FakeUserInterface::showCleanupStatus(const QString& text)
{
    QMutexLocker lock(&m_mutex);
    m_cleanupStatuses.append(text);
}

void FakeUserInterface::showCleanupRunning(bool running)
{
    QMutexLocker lock(&m_mutex);
    m_cleanupRunning.push_back(running);
}

QStringList FakeUserInterface::cleanupStatuses() const
{
    QMutexLocker lock(&m_mutex);
    return m_cleanupStatuses;
}

std::vector<bool> FakeUserInterface::cleanupRunning() const
{
    QMutexLocker lock(&m_mutex);
    return m_cleanupRunning;
}

} // namespace fernhold::test
