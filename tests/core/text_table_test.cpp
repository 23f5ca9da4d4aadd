#include "core/protected_text.h"
#include "core/text_table.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace fernhold;

TEST(TextTable, FixedNamesAreReadable)
{
    UnscrambleConstants();
    EXPECT_EQ(Text(QStringLiteral("Program_Name")), QStringLiteral("Fernhold"));
    EXPECT_EQ(Text(QStringLiteral("AppData_Subdir")), QStringLiteral("fernhold"));
    EXPECT_EQ(Text(QStringLiteral("Pref_FileName")), QStringLiteral("fernhold.ini"));
    EXPECT_EQ(Text(QStringLiteral("MutexProgName")), QStringLiteral("Fernhold_Running"));
    EXPECT_EQ(Text(QStringLiteral("Registry_Subkey")), QStringLiteral("Software\\Fernhold"));
    EXPECT_FALSE(Text(QStringLiteral("Version_Name")).isEmpty());
    EXPECT_FALSE(Text(QStringLiteral("Version_Name")).contains(u'@'));
}

TEST(TextTable, MissingKeyGivesEmptyTextAndIsRemembered)
{
    const int before = TextCount();
    EXPECT_EQ(Text(QStringLiteral("TXT99999")), QString());
    EXPECT_EQ(TextCount(), before + 1);
    EXPECT_EQ(Text(QStringLiteral("TXT99999")), QString());
    EXPECT_EQ(TextCount(), before + 1);
}

TEST(TextTable, EveryUserTextIsPresentAndNoneIsStoredPlain)
{
    // A few keys from each group that the program shows.
    for (const char* key : {"TXT00001", "TXT00041", "TXT00157", "TXT00158", "GAD00061", "HLP00000",
                            "MEN00009", "TXT00300"}) {
        EXPECT_FALSE(Text(QString::fromLatin1(key)).isEmpty()) << key;
    }
    for (std::size_t i = 0; i < kCompiledTextCount; ++i) {
        const QString plain = Text(QString::fromLatin1(kCompiledTexts[i].key));
        if (plain.size() > 3) {
            EXPECT_EQ(std::strstr(kCompiledTexts[i].scrambled, plain.toUtf8().constData()), nullptr)
                << kCompiledTexts[i].key;
        }
    }
}
