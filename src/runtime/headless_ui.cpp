#include "runtime/headless_ui.h"

#include "platform/file_name.h"

#include <QMutexLocker>
#include <cstdio>

namespace fernhold {

namespace {

// Message texts carry CR LF line breaks for the desktop; a terminal wants LF.
QByteArray forTerminal(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return DisplayFileName(text).toUtf8();
}

} // namespace

void HeadlessUserInterface::showMessage(const QString& title, const QString& text,
                                        MessageIcon /*icon*/, bool /*topmost*/)
{
    const QByteArray line = forTerminal(title + QStringLiteral(": ") + text);
    QMutexLocker lock(&m_mutex);
    std::fprintf(stderr, "%s\n", line.constData());
    std::fflush(stderr);
}

bool HeadlessUserInterface::askYesNo(const QString& title, const QString& text,
                                     MessageIcon /*icon*/, bool defaultYes)
{
    const bool answer = m_answerYes || defaultYes;
    const QByteArray line = forTerminal(title + QStringLiteral(": ") + text);
    QMutexLocker lock(&m_mutex);
    std::fprintf(stderr, "%s\n-> %s\n", line.constData(), answer ? "yes" : "no");
    std::fflush(stderr);
    return answer;
}

bool HeadlessUserInterface::askOkCancel(const QString& title, const QString& text,
                                        MessageIcon icon)
{
    return askYesNo(title, text, icon, false);
}

void HeadlessUserInterface::showStatusLine(const QString& line)
{
    QMutexLocker lock(&m_mutex);
    m_lastStatusLine = line;
    if (m_verbose) {
        std::fprintf(stderr, "%s\n", forTerminal(line).constData());
        std::fflush(stderr);
    }
}

void HeadlessUserInterface::showProgramStatus(int /*status*/, const QString& /*tooltip*/) {}

void HeadlessUserInterface::showStatusText(const QString& /*text*/) {}

QString HeadlessUserInterface::pickFolder(const QString& /*title*/, const QString& /*startFolder*/)
{
    return {};
}

void HeadlessUserInterface::setBusy(bool /*busy*/) {}

void HeadlessUserInterface::showProgress(int /*done*/, int /*total*/) {}

void HeadlessUserInterface::showCleanupStatus(const QString& /*text*/) {}

void HeadlessUserInterface::showCleanupRunning(bool /*running*/) {}

void HeadlessUserInterface::showRestorePath(const QString& /*text*/) {}

void HeadlessUserInterface::focusRestorePassword() {}

QString HeadlessUserInterface::lastStatusLine() const
{
    QMutexLocker lock(&m_mutex);
    return m_lastStatusLine;
}

} // namespace fernhold
