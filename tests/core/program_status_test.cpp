#include "core/job_settings.h"
#include "core/program_status.h"
#include "platform/registry_file.h"
#include "temp_home.h"

#include <QFileInfo>
#include <gtest/gtest.h>

using namespace fernhold;
using namespace fernhold::test;

TEST(StatusRecorder, WritesNumberAndTextForEveryStatus)
{
    TempHome home;
    const QString path = home.configHome() + QStringLiteral("fernhold/registry.ini");
    StatusRecorder recorder(path);
    RegistryFile registry(path);
    const QString group = QStringLiteral("Software\\Fernhold");
    const std::vector<std::tuple<int, QString, QString>> cases = {
        {-1, QStringLiteral("0"), QStringLiteral("undefined")},
        {0, QStringLiteral("1"), QStringLiteral("inactive")},
        {1, QStringLiteral("2"), QStringLiteral("active")},
        {2, QStringLiteral("3"), QStringLiteral("paused")},
        {7, QStringLiteral("8"), QStringLiteral("undefined")},
    };
    for (const auto& [status, number, text] : cases) {
        recorder.RecordStatus(status);
        EXPECT_EQ(registry.value(group, QStringLiteral("ActualStatusValue")), number);
        EXPECT_EQ(registry.value(group, QStringLiteral("ActualStatusText")), text);
    }
    EXPECT_EQ(StatusRecorder::storedNumber(127), -128);
}

TEST(RegistryFile, KeepsOtherGroupsAndValues)
{
    TempHome home;
    const QString path =
        home.writeFile(QStringLiteral("reg.ini"),
                       "; note\n[Software\\Microsoft\\OneDrive\\Accounts\\Personal]\n"
                       "UserFolder=/home/ann/OneDrive\n[Software\\Fernhold]\nOther=x\n");
    RegistryFile registry(path);
    ASSERT_EQ(registry.setValues(QStringLiteral("Software\\Fernhold"),
                                 {{QStringLiteral("ActualStatusText"), QStringLiteral("a\nb")}}),
              1);
    EXPECT_EQ(registry.value(QStringLiteral("software\\microsoft\\onedrive\\accounts\\personal"),
                             QStringLiteral("userfolder")),
              QStringLiteral("/home/ann/OneDrive"));
    EXPECT_EQ(registry.value(QStringLiteral("Software\\Fernhold"), QStringLiteral("Other")),
              QStringLiteral("x"));
    EXPECT_EQ(
        registry.value(QStringLiteral("Software\\Fernhold"), QStringLiteral("ActualStatusText")),
        QStringLiteral("a b"));
    EXPECT_TRUE(TempHome::readFile(path).startsWith("; note\n"));
    ASSERT_EQ(registry.removeValue(QStringLiteral("Software\\Fernhold"), QStringLiteral("Other")),
              1);
    EXPECT_FALSE(registry.value(QStringLiteral("Software\\Fernhold"), QStringLiteral("Other")));
    EXPECT_FALSE(registry.value(QStringLiteral("Nowhere"), QStringLiteral("x")));
}

TEST(Autostart, WrittenWithTheProgramPathAndRemovedWhenSwitchedOff)
{
    TempHome home;
    JobSettings settings;
    settings.LoadOnWindowsStart = 1;
    WriteAutostart(settings, home.configHome(), QStringLiteral("/opt/fernhold/bin/fernhold"));
    const QString path = AutostartPath(home.configHome());
    const QString entry = QString::fromUtf8(TempHome::readFile(path));
    EXPECT_TRUE(entry.startsWith(QStringLiteral("[Desktop Entry]\n")));
    EXPECT_TRUE(entry.contains(QStringLiteral("\nExec=/opt/fernhold/bin/fernhold\n")));

    WriteAutostart(settings, home.configHome(), QStringLiteral("/home/ann/my apps/fernhold"));
    EXPECT_TRUE(QString::fromUtf8(TempHome::readFile(path))
                    .contains(QStringLiteral("\nExec=\"/home/ann/my apps/fernhold\"\n")));

    settings.LoadOnWindowsStart = 0;
    WriteAutostart(settings, home.configHome(), QStringLiteral("/x"));
    EXPECT_FALSE(QFileInfo::exists(path));
    settings.LoadOnWindowsStart = -3;
    WriteAutostart(settings, home.configHome(), QStringLiteral("/x"));
    EXPECT_FALSE(QFileInfo::exists(path));
}
