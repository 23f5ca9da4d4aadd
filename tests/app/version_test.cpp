#include "core/text_table.h"
#include "run_program.h"
#include "temp_home.h"

#include <gtest/gtest.h>

using namespace fernhold;
using namespace fernhold::test;

TEST(CommandLine, VersionPrintsTheVersionName)
{
    TempHome home;
    const RunResult r = RunFernhold({QStringLiteral("--version")});
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(QString::fromUtf8(r.out).trimmed(),
              QStringLiteral("Fernhold ") + Text(QStringLiteral("Version_Name")));
}

TEST(CommandLine, HelpNamesTheOptions)
{
    TempHome home;
    const RunResult r = RunFernhold({QStringLiteral("--help")});
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0);
    for (const char* command :
         {"--version", "--once", "--signal", "--status", "config", "source", "clean",
          "--cloud-folders", "restore list", "restore version", "restore folder", "target trust"}) {
        EXPECT_TRUE(r.out.contains(command)) << command;
    }
}
