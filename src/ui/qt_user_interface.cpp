#include "ui/qt_user_interface.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QThread>

namespace fernhold {

namespace {

QMessageBox::Icon boxIcon(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::Question:
        return QMessageBox::Question;
    case MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

// Texts carry CR LF for line breaks.
QString boxText(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

} // namespace

QtUserInterface::QtUserInterface(QObject* parent) : QObject(parent) {}

bool QtUserInterface::onGuiThread() const
{
    return QThread::currentThread() == thread();
}

void QtUserInterface::showMessage(const QString& title, const QString& text, MessageIcon icon,
                                  bool topmost)
{
    if (onGuiThread()) {
        messageBox(title, text, icon, topmost);
        return;
    }
    QMetaObject::invokeMethod(
        this, [this, title, text, icon, topmost] { messageBox(title, text, icon, topmost); },
        Qt::QueuedConnection);
}

bool QtUserInterface::askYesNo(const QString& title, const QString& text, MessageIcon icon,
                               bool defaultYes)
{
    if (onGuiThread()) {
        return question(title, text, icon, defaultYes);
    }
    bool answer = defaultYes;
    QMetaObject::invokeMethod(
        this, [&] { answer = question(title, text, icon, defaultYes); },
        Qt::BlockingQueuedConnection);
    return answer;
}

bool QtUserInterface::askOkCancel(const QString& title, const QString& text, MessageIcon icon)
{
    if (onGuiThread()) {
        return question(title, text, icon, false, true);
    }
    bool answer = false;
    QMetaObject::invokeMethod(
        this, [&] { answer = question(title, text, icon, false, true); },
        Qt::BlockingQueuedConnection);
    return answer;
}

void QtUserInterface::showStatusLine(const QString& line)
{
    emit statusLineShown(line);
}

void QtUserInterface::showProgramStatus(int status, const QString& tooltip)
{
    emit programStatusShown(status, tooltip);
}

void QtUserInterface::showStatusText(const QString& text)
{
    emit statusTextShown(text);
}

QString QtUserInterface::pickFolder(const QString& title, const QString& startFolder)
{
    QString picked;
    const auto pick = [&] {
        picked = QFileDialog::getExistingDirectory(nullptr, title, startFolder);
        if (!picked.isEmpty() && !picked.endsWith(u'/')) {
            picked.append(u'/');
        }
    };
    if (onGuiThread()) {
        pick();
    } else {
        QMetaObject::invokeMethod(this, pick, Qt::BlockingQueuedConnection);
    }
    return picked;
}

void QtUserInterface::setBusy(bool on)
{
    if (onGuiThread()) {
        busy(on);
        return;
    }
    QMetaObject::invokeMethod(
        this, [this, on] { busy(on); }, Qt::QueuedConnection);
}

void QtUserInterface::showProgress(int done, int total)
{
    emit progressShown(done, total);
}

void QtUserInterface::showCleanupStatus(const QString& text)
{
    emit cleanupStatusShown(text);
}

void QtUserInterface::showCleanupRunning(bool running)
{
    emit cleanupRunningShown(running);
}

void QtUserInterface::showRestorePath(const QString& text)
{
    emit restorePathShown(text);
}

void QtUserInterface::focusRestorePassword()
{
    emit restorePasswordFocusAsked();
}

void QtUserInterface::messageBox(const QString& title, const QString& text, MessageIcon icon,
                                 bool topmost)
{
    QMessageBox box(boxIcon(icon), title, boxText(text), QMessageBox::Ok);
    if (topmost) {
        box.setWindowFlag(Qt::WindowStaysOnTopHint);
    }
    (void)box.exec();
}

bool QtUserInterface::question(const QString& title, const QString& text, MessageIcon icon,
                               bool defaultYes, bool okCancel)
{
    const QMessageBox::StandardButton yes = okCancel ? QMessageBox::Ok : QMessageBox::Yes;
    const QMessageBox::StandardButton no = okCancel ? QMessageBox::Cancel : QMessageBox::No;
    QMessageBox box(boxIcon(icon), title, boxText(text), yes | no);
    box.setDefaultButton(defaultYes ? yes : no);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    return box.exec() == yes;
}

void QtUserInterface::busy(bool on)
{
    if (on) {
        if (m_busyDepth++ == 0) {
            QApplication::setOverrideCursor(Qt::BusyCursor);
        }
    } else if (m_busyDepth > 0 && --m_busyDepth == 0) {
        QApplication::restoreOverrideCursor();
    }
}

} // namespace fernhold
