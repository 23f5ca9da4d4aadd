#include "core/job_settings.h"
#include "core/target_choice.h"
#include "core/text_table.h"

#include <gtest/gtest.h>

using namespace fernhold;

TEST(TargetChoice, ItemTextsTellEachTargetsTypeAndPlace)
{
    JobSettings s;
    s.target(1).TargetType = QStringLiteral("WIN");
    s.target(1).TargetDir = QStringLiteral("/mnt/backup/");
    s.target(2).TargetType = QStringLiteral("FTP");
    s.target(2).FTPServerName = QStringLiteral("H");
    s.target(2).FTPServerPort = QStringLiteral("21");
    s.target(2).FTPSubDir = QStringLiteral("/backup");
    const QString target = Text("GAD00175");
    EXPECT_EQ(TargetChooserItem(s, 1),
              QStringLiteral("1. ") + target + QStringLiteral(" (standard) --> /mnt/backup/"));
    EXPECT_EQ(TargetChooserItem(s, 2),
              QStringLiteral("2. ") + target + QStringLiteral(" --> //H:21/backup"));
    EXPECT_EQ(TargetChooserItem(s, 9),
              QStringLiteral("9. ") + target + QStringLiteral(" --> ") + Text("GAD00176"));
    EXPECT_FALSE(Text("GAD00176").isEmpty());
}

TEST(TargetChoice, StoredFormIsAscendingNumbersJoinedByCommas)
{
    EXPECT_EQ(JoinTargets({9, 3, 3, 1}), QStringLiteral("1,3,9"));
    EXPECT_EQ(JoinTargets({}), QString());
    EXPECT_EQ(JoinTargets({0, 10, 4}), QStringLiteral("4"));
    EXPECT_EQ(SplitTargets(QStringLiteral("1,3")), (QList<int>{1, 3}));
    // Read as the pass reads it: each digit present is a target.
    EXPECT_EQ(SplitTargets(QStringLiteral(" 9, 2 ;5")), (QList<int>{2, 5, 9}));
    EXPECT_EQ(SplitTargets(QStringLiteral("0")), QList<int>{});
    EXPECT_EQ(JoinTargets(SplitTargets(QStringLiteral("7,2"))), QStringLiteral("2,7"));
}
