#include "core/job_settings.h"
#include "ftp_server.h"
#include "targets/target_services.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

namespace fernhold::test {

// A pass that must stop (program end, switched inactive) does not sit out
// the connect time-out of a server that accepts and never answers.
TEST(TargetServicesTest, ACheckOfASilentServerEndsWhenThePassMustStop)
{
    SilentListener silent;
    ASSERT_GT(silent.port(), 0);
    JobSettings settings;
    TargetEntry& entry = settings.target(3);
    entry.TargetType = QStringLiteral("FTP");
    entry.FTPServerName = QStringLiteral("127.0.0.1");
    entry.FTPServerPort = QString::number(silent.port());
    entry.FTPUserName = QStringLiteral("u");
    entry.FTPPassword = QStringLiteral("p");

    TargetServices services;
    QElapsedTimer clock;
    clock.start();
    int polls = 0;
    const auto mustStop = [&] {
        ++polls;
        return clock.elapsed() > 1000;
    };
    EXPECT_EQ(services.FtpCheckTarget(settings, 3, mustStop), 0);
    EXPECT_GT(polls, 0);
    // The connect time-out is 30 s.
    EXPECT_LT(clock.elapsed(), 10000);
}

} // namespace fernhold::test
