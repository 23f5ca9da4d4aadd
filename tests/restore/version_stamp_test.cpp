#include "restore/version_stamp.h"

#include <gtest/gtest.h>

namespace fernhold::test {

TEST(VersionStamp, RangeCountsBothDaysInFull)
{
    const QDate from(2023, 1, 1);
    const QDate to(2023, 1, 5);
    EXPECT_TRUE(StampInRange(QStringLiteral("20230101~000000"), from, to));
    EXPECT_TRUE(StampInRange(QStringLiteral("20230105~235959"), from, to));
    EXPECT_FALSE(StampInRange(QStringLiteral("20221231~235959"), from, to));
    EXPECT_FALSE(StampInRange(QStringLiteral("20230106~000000"), from, to));
    // A from date after the to date holds nothing.
    EXPECT_FALSE(StampInRange(QStringLiteral("20230103~120000"), to, from));
}

TEST(VersionStamp, DateTexts)
{
    EXPECT_EQ(BrowserDateText(QStringLiteral("20230115~093000")),
              QStringLiteral("2023/01/15   09:30:00"));
    EXPECT_EQ(RowDateText(QStringLiteral("20230115~093000")), QStringLiteral("2023/01/15 09:30"));
    EXPECT_EQ(StampDate(QDate(2023, 1, 2)), QStringLiteral("20230102"));
}

} // namespace fernhold::test
