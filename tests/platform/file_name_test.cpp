#include "platform/file_name.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

namespace fernhold {

namespace {

QString escaped(const char* before, char16_t byte, const char* after = "")
{
    return QString::fromUtf8(before) + QChar(static_cast<char16_t>(0xDC00 + byte)) +
           QString::fromUtf8(after);
}

std::string hex(const QByteArray& bytes)
{
    return bytes.toHex(' ').toStdString();
}

// Byte strings without NUL that are mostly not UTF-8: random bytes, with
// pieces of real UTF-8 sequences (whole, cut short, overlong, surrogate) mixed in.
QByteArray randomName(QRandomGenerator& random)
{
    static const QList<QByteArray> pieces = {
        "\xC3\xA9",     "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xE2\x82",     "\xF0\x9F", "\xC0\xAF",
        "\xED\xA0\x80", "\xEF\xBB\xBF", "\xF4\x90\x80\x80", "\xEF\xBF\xBF", "a",        "/"};
    QByteArray name;
    const int length = random.bounded(40);
    for (int i = 0; i < length; ++i) {
        if (random.bounded(3) == 0) {
            name += pieces[random.bounded(static_cast<int>(pieces.size()))];
        } else {
            name += static_cast<char>(1 + random.bounded(255));
        }
    }
    return name;
}

// Valid UTF-8 of code points from every range, none of them a surrogate.
QByteArray randomUtf8(QRandomGenerator& random)
{
    static const char32_t limits[] = {0x7F, 0x7FF, 0xFFFF, 0x10FFFF};
    QString text;
    const int length = 1 + random.bounded(30);
    for (int i = 0; i < length; ++i) {
        char32_t c = 0;
        do {
            c = 1 + random.bounded(static_cast<quint32>(limits[random.bounded(4)]));
        } while (c >= 0xD800 && c <= 0xDFFF);
        text += QString::fromUcs4(&c, 1);
    }
    return text.toUtf8();
}

} // namespace

TEST(FileNameTest, EveryByteStringSurvivesTheRoundTrip)
{
    QRandomGenerator random(20240305);
    for (int i = 0; i < 20000; ++i) {
        const QByteArray name = randomName(random);
        const QString decoded = DecodeFileName(name);
        ASSERT_EQ(hex(EncodeFileName(decoded)), hex(name));
        // The form is stable: decoding its bytes again gives the same text.
        ASSERT_EQ(DecodeFileName(EncodeFileName(decoded)), decoded);
    }
    // Every single byte as well.
    for (int b = 1; b < 256; ++b) {
        const QByteArray one(1, static_cast<char>(b));
        EXPECT_EQ(EncodeFileName(DecodeFileName(one)), one) << b;
    }
}

TEST(FileNameTest, ValidUtf8KeepsTheFormItHasToday)
{
    QRandomGenerator random(7);
    for (int i = 0; i < 5000; ++i) {
        const QByteArray name = randomUtf8(random);
        if (name.startsWith("\xEF\xBB\xBF")) {
            continue; // fromUtf8 drops a leading byte-order mark, see below
        }
        ASSERT_EQ(DecodeFileName(name), QString::fromUtf8(name)) << hex(name);
        ASSERT_EQ(EncodeFileName(QString::fromUtf8(name)), name) << hex(name);
    }
    for (const char* name :
         {"report.docx",
          "Gr\xC3\xBC\xC3\x9F"
          "e.txt",
          "\xE6\x97\xA5\xE6\x9C\xAC.txt", "\xF0\x9F\x98\x80", "\xEF\xBF\xBF\xF4\x8F\xBF\xBF",
          "a\xEF\xBB\xBF"
          "b"}) {
        EXPECT_EQ(DecodeFileName(name), QString::fromUtf8(name)) << name;
        EXPECT_FALSE(HasEscapedBytes(DecodeFileName(name))) << name;
        EXPECT_EQ(DisplayFileName(DecodeFileName(name)), QString::fromUtf8(name)) << name;
    }
    // A name can begin with a byte-order mark; it is part of the name.
    EXPECT_EQ(DecodeFileName("\xEF\xBB\xBFx"), QString(QChar(0xFEFF)) + u'x');
}

TEST(FileNameTest, BytesOfInvalidSequencesBecomeLoneSurrogates)
{
    EXPECT_EQ(DecodeFileName("caf\xE9.txt"), escaped("caf", 0xE9, ".txt"));
    EXPECT_EQ(DecodeFileName("M\xFCller"), escaped("M", 0xFC, "ller"));
    // Overlong and surrogate forms, and a sequence cut short, byte by byte.
    EXPECT_EQ(DecodeFileName("\xC0\xAF"), QString(QChar(0xDCC0)) + QChar(0xDCAF));
    EXPECT_EQ(DecodeFileName("\xED\xA0\x80"),
              QString(QChar(0xDCED)) + QChar(0xDCA0) + QChar(0xDC80));
    EXPECT_EQ(DecodeFileName("\xE2\x82x"), escaped("", 0xE2) + QChar(0xDC82) + u'x');
    EXPECT_EQ(DecodeFileName("\xF4\x90\x80\x80").size(), 4); // above U+10FFFF
    // Valid sequences next to invalid bytes stay as they are.
    EXPECT_EQ(DecodeFileName("\xE9\xC3\xA9"), escaped("", 0xE9, "\xC3\xA9"));
    EXPECT_TRUE(HasEscapedBytes(DecodeFileName("caf\xE9")));

    // A lone surrogate that stands for no byte is written as U+FFFD, as Qt does.
    EXPECT_EQ(EncodeFileName(QString(QChar(0xD800)) + u'a'), QByteArray("\xEF\xBF\xBD"
                                                                        "a"));
    EXPECT_EQ(EncodeFileName(QString(QChar(0xDC41))), QByteArray("\xEF\xBF\xBD"));
}

TEST(FileNameTest, DisplayShowsEscapedBytesInHex)
{
    EXPECT_EQ(DisplayFileName(DecodeFileName("/home/M\xFCller/caf\xE9.txt")),
              QStringLiteral("/home/M\\xFCller/caf\\xE9.txt"));
    EXPECT_EQ(DisplayFileName(DecodeFileName("\x80\xFF")), QStringLiteral("\\x80\\xFF"));
    EXPECT_EQ(DisplayFileName(QStringLiteral("plain \\x41 text")),
              QStringLiteral("plain \\x41 text"));
}

} // namespace fernhold
