#include "ui/qt_user_interface.h"
#include "ui/status_icons.h"
#include "ui_fixture.h"

#include <QElapsedTimer>
#include <QImage>
#include <QPixmap>
#include <QThread>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace fernhold::test {

namespace {

// Runs the GUI thread's events until `done` holds or ten seconds passed.
bool spinUntil(const std::function<bool()>& done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 10000) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return done();
}

QMessageBox* openBox()
{
    return qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
}

} // namespace

// A question from the worker waits for the person; meanwhile the GUI thread
// goes on handling its events (timers keep firing).
TEST(QtUserInterface, QuestionFromTheWorkerBlocksTheWorkerNotTheGui)
{
    (void)WidgetApplication();
    QtUserInterface ui;
    std::atomic<bool> answered{false};
    std::atomic<bool> answer{false};
    std::thread worker([&] {
        answer = ui.askYesNo(QStringLiteral("Title"), QStringLiteral("Overwrite?"),
                             MessageIcon::Question, false);
        answered = true;
    });

    // The box runs its own event loop on the GUI thread; the checks run
    // from timers inside it.
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&ticks] { ++ticks; });
    tick.start(10);
    int ticksAtOpen = -1;
    bool workerWaited = false;
    QString text;
    bool defaultNo = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QMessageBox* box = openBox();
        if (!box) {
            return;
        }
        if (ticksAtOpen < 0) {
            ticksAtOpen = ticks;
            text = box->text();
            defaultNo = box->defaultButton() == box->button(QMessageBox::No);
            return;
        }
        if (ticks >= ticksAtOpen + 5) {
            // The box is up: the worker still waits, the GUI still runs.
            workerWaited = !answered.load();
            poll.stop();
            box->button(QMessageBox::Yes)->click();
        }
    });
    poll.start(20);
    EXPECT_TRUE(spinUntil([&] { return answered.load(); }));
    EXPECT_GE(ticksAtOpen, 0);
    EXPECT_EQ(text, QStringLiteral("Overwrite?"));
    EXPECT_TRUE(defaultNo);
    EXPECT_TRUE(workerWaited);
    worker.join();
    EXPECT_TRUE(answer.load());
}

// A message from the worker returns at once; the box opens on the GUI thread.
TEST(QtUserInterface, MessageFromTheWorkerDoesNotWait)
{
    (void)WidgetApplication();
    QtUserInterface ui;
    std::thread worker([&] {
        ui.showMessage(QStringLiteral("T"), QStringLiteral("line one\r\nline two"),
                       MessageIcon::Warning, true);
    });
    worker.join(); // returned without anyone answering
    BoxAnswerer answerer;
    EXPECT_TRUE(spinUntil([&] { return !answerer.texts.isEmpty(); }));
    EXPECT_EQ(answerer.texts.value(0), QStringLiteral("line one\nline two"));
}

TEST(QtUserInterface, WorkerCallsArriveAsSignalsOnTheGuiThread)
{
    (void)WidgetApplication();
    QtUserInterface ui;
    QString line;
    std::pair<int, int> progress{-1, -1};
    Qt::HANDLE receivedOn = nullptr;
    QObject receiver;
    QObject::connect(&ui, &QtUserInterface::statusLineShown, &receiver, [&](const QString& l) {
        line = l;
        receivedOn = QThread::currentThreadId();
    });
    QObject::connect(&ui, &QtUserInterface::progressShown, &receiver, [&](int done, int total) {
        progress = {done, total};
    });
    std::thread worker([&] {
        ui.showStatusLine(QStringLiteral("saving"));
        ui.showProgress(3, 7);
    });
    worker.join();
    EXPECT_TRUE(spinUntil([&] { return progress.first == 3; }));
    EXPECT_EQ(line, QStringLiteral("saving"));
    EXPECT_EQ(receivedOn, QThread::currentThreadId());
    EXPECT_EQ(progress, (std::pair<int, int>{3, 7}));
}

// Four different status icons, drawn sharp at any size from their SVG.
TEST(StatusIcons, FourIconsRenderedAtAnySize)
{
    (void)WidgetApplication();
    QList<QImage> images;
    for (int status : {-1, 0, 1, 2}) {
        const QIcon icon = StatusIcon(status);
        ASSERT_FALSE(icon.isNull()) << status;
        const QPixmap large = icon.pixmap(256, 256);
        ASSERT_EQ(large.size(), QSize(256, 256)) << status;
        images.append(icon.pixmap(32, 32).toImage());
    }
    for (qsizetype i = 0; i < images.size(); ++i) {
        for (qsizetype j = i + 1; j < images.size(); ++j) {
            EXPECT_NE(images[i], images[j]) << i << " " << j;
        }
    }
    EXPECT_FALSE(ApplicationIcon().pixmap(48, 48).isNull());
}

} // namespace fernhold::test
