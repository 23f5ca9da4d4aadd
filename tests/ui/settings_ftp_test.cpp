#include "settings_window_fixture.h"
#include "ui/settings/targets_page.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest/QTest>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace fernhold::test {

namespace {

// A server on 127.0.0.1 that takes connections into its backlog and never says a word.
class SilentServer
{
public:
    SilentServer()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
            ::listen(m_fd, 8) == 0 &&
            ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            m_port = ntohs(address.sin_port);
        }
    }
    ~SilentServer()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;

    [[nodiscard]] int port() const { return m_port; }

private:
    int m_fd = -1;
    int m_port = 0;
};

} // namespace

// The connection test waits on the network in the worker: the window keeps
// handling events, and closing it stops the test without hanging.
TEST_F(SettingsWindowTest, ConnectionTestToASilentServerKeepsTheWindowLive)
{
    SilentServer server;
    ASSERT_GT(server.port(), 0);
    SettingsWindow& window = openWindow();
    window.tabs()->setCurrentIndex(2);
    auto& targets = page<TargetsPage>(2);
    targets.typeOption(2)->setChecked(true);
    targets.server()->setText(QStringLiteral("127.0.0.1"));
    targets.port()->setText(QString::number(server.port()));
    targets.user()->setText(QStringLiteral("ann"));

    BoxAnswerer answerer;
    int ticks = 0;
    QTimer tick;
    tick.setInterval(20);
    QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
    tick.start();
    targets.testButton()->click();
    EXPECT_TRUE(targets.probing());
    EXPECT_FALSE(targets.testButton()->isEnabled());
    QTest::qWait(1500);
    EXPECT_TRUE(targets.probing());
    // About 75 ticks in 1.5 s; a blocked GUI thread would have none.
    EXPECT_GT(ticks, 30);

    QElapsedTimer closing;
    closing.start();
    const JobSettings saved = closeAndLoad();
    EXPECT_LT(closing.elapsed(), 10000);
    EXPECT_FALSE(targets.probing());
    EXPECT_EQ(saved.target(1).TargetType, QStringLiteral("FTP"));
    EXPECT_EQ(saved.target(1).FTPServerPort, QString::number(server.port()));
}

} // namespace fernhold::test
