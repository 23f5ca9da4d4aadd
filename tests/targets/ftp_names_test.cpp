#include "core/job_settings.h"
#include "platform/file_name.h"
#include "targets/ftp_names.h"

#include <gtest/gtest.h>

namespace fernhold {

namespace {

bool utf8(const char* bytes, qsizetype size = -1)
{
    return IsWellFormedUtf8(QByteArrayView(bytes, size < 0 ? qsizetype(std::strlen(bytes)) : size));
}

} // namespace

TEST(FtpUtf8Test, FollowsTheLeadByteRule)
{
    EXPECT_TRUE(utf8(""));
    EXPECT_TRUE(utf8("plain ASCII"));
    EXPECT_TRUE(utf8("Gr\xC3\xB6\xC3\x9F"
                     "e"));                            // two-byte forms
    EXPECT_TRUE(utf8("\xE2\x82\xAC"));                 // three bytes
    EXPECT_TRUE(utf8("\xF0\x9F\x98\x80"));             // four bytes
    EXPECT_TRUE(utf8("\xF8\x88\x80\x80\x80"));         // five: no upper limit
    EXPECT_TRUE(utf8("\xFE\x80\x80\x80\x80\x80\x80")); // seven
    EXPECT_TRUE(utf8("\xC0\x80"));                     // overlong is not rejected
    EXPECT_TRUE(utf8("\xED\xA0\x80"));                 // nor is a surrogate

    EXPECT_FALSE(utf8("caf\xE9")); // Windows-1252 é
    EXPECT_FALSE(utf8("\xFF"));
    EXPECT_FALSE(utf8("\x80")); // stray continuation byte
    EXPECT_FALSE(utf8("\xBFx"));
    EXPECT_FALSE(utf8("\xE2\x82")); // cut short
    EXPECT_FALSE(utf8("\xE2\x41\x41"));
    EXPECT_FALSE(utf8("\xFE\x80\x80\x80\x80\x80")); // one continuation missing

    // The text ends at its first NUL.
    EXPECT_TRUE(utf8("ok\0\xFF", 4));
    EXPECT_FALSE(utf8("\xC3\0\xA4", 3));
}

TEST(FtpNamesTest, WireNameFollowsTheMode)
{
    EXPECT_EQ(FtpWireName(QStringLiteral("5€ café"), FtpNameMode::Plain),
              QByteArray("5\x80 caf\xE9"));
    EXPECT_EQ(FtpWireName(QStringLiteral("5€ café"), FtpNameMode::Utf8),
              QByteArray("5\xE2\x82\xAC caf\xC3\xA9"));
    EXPECT_EQ(FtpWireName(QStringLiteral("日本"), FtpNameMode::Utf8),
              QByteArray("\xE6\x97\xA5\xE6\x9C\xAC"));
    EXPECT_EQ(FtpWireName(QString(), FtpNameMode::Plain), QByteArray(""));

    // What cannot travel gives nothing instead of a mangled or split name.
    EXPECT_FALSE(FtpWireName(QStringLiteral("日本"), FtpNameMode::Plain));
    for (const FtpNameMode mode : {FtpNameMode::Plain, FtpNameMode::Utf8}) {
        EXPECT_FALSE(FtpWireName(QStringLiteral("a\r\nDELE b"), mode));
        EXPECT_FALSE(FtpWireName(QStringLiteral("a\nb"), mode));
        EXPECT_FALSE(FtpWireName(QString(QChar(u'a')) + QChar(u'\0'), mode));
    }
    EXPECT_FALSE(FtpWireName(QString(QChar(0xD800)), FtpNameMode::Utf8));
    EXPECT_EQ(FtpWireName(QStringLiteral("😀"), FtpNameMode::Utf8), QByteArray("\xF0\x9F\x98\x80"));
}

TEST(FtpNamesTest, ListedNameKeepsBytesThatAreNotUtf8)
{
    EXPECT_EQ(FtpListedName("Gr\xC3\xB6\xC3\x9F"
                            "e",
                            FtpNameMode::Utf8),
              QStringLiteral("Größe"));
    // In UTF-8 mode a name that is not UTF-8 keeps its bytes, so it names the
    // same file when it goes back to the server.
    const QString latin = FtpListedName("caf\xE9 \x80", FtpNameMode::Utf8);
    EXPECT_EQ(latin, DecodeFileName("caf\xE9 \x80"));
    EXPECT_EQ(FtpWireName(latin, FtpNameMode::Utf8), QByteArray("caf\xE9 \x80"));
    // Plain mode has no form for those bytes: such a name does not travel.
    EXPECT_FALSE(FtpWireName(latin, FtpNameMode::Plain));
    // Plain mode never reads UTF-8.
    EXPECT_EQ(FtpListedName("Gr\xC3\xB6", FtpNameMode::Plain), QStringLiteral("GrÃ¶"));
    EXPECT_EQ(FtpListedName("caf\xE9", FtpNameMode::Plain), QStringLiteral("café"));
}

TEST(FtpNamesTest, Windows1252CarriesEveryByteBothWays)
{
    QByteArray all;
    for (int b = 1; b < 256; ++b) {
        all.append(static_cast<char>(b));
    }
    const QString text = DecodeWindows1252(all);
    EXPECT_EQ(text.size(), 255);
    EXPECT_EQ(text.at(0x80 - 1), QChar(0x20AC));
    EXPECT_EQ(text.at(0x81 - 1), QChar(0x0081)); // undefined in the code page
    EXPECT_EQ(text.at(0x9F - 1), QChar(0x0178));
    EXPECT_EQ(text.at(0xE9 - 1), QChar(0x00E9));
    EXPECT_EQ(EncodeWindows1252(text), all);
    EXPECT_FALSE(EncodeWindows1252(QStringLiteral("Ω")));
}

TEST(FtpNamesTest, ModeComesFromTheSelectedTarget)
{
    JobSettings settings;
    settings.target(1).FTPUnicode = 0;
    settings.target(2).FTPUnicode = 1;
    settings.SelectedTarget = 1;
    EXPECT_EQ(FtpModeOf(settings), FtpNameMode::Plain);
    settings.SelectedTarget = 2;
    EXPECT_EQ(FtpModeOf(settings), FtpNameMode::Utf8);
    settings.SelectedTarget = 0;
    EXPECT_EQ(FtpModeOf(settings), FtpNameMode::Plain);
}

} // namespace fernhold
