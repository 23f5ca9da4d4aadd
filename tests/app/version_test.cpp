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
    EXPECT_TRUE(r.out.contains("--version"));
}
