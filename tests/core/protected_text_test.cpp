#include "core/protected_text.h"

#include <QStringList>
#include <gtest/gtest.h>

using namespace fernhold;

namespace {

QByteArray cryptHex(const char* key, const char* plain)
{
    QByteArray buffer(plain);
    Crypt(buffer, QString::fromLatin1(key));
    return buffer.toHex(' ').toUpper();
}

} // namespace

TEST(Crypt, MatchesPublishedRc4Vectors)
{
    EXPECT_EQ(cryptHex("Key", "Plaintext"), "BB F3 16 E8 D9 40 AF 0A D3");
    EXPECT_EQ(cryptHex("Wiki", "pedia"), "10 21 BF 04 20");
    EXPECT_EQ(cryptHex("Secret", "Attack at dawn"), "45 A0 1F 64 5F C3 5B 38 35 52 54 4B 9B F5");
}

TEST(Crypt, TakesOnlyTheLowByteOfEachKeyCharacter)
{
    const QString low = QStringLiteral("K\u0041y");
    const QString high = QStringLiteral("K\u0141y");
    QByteArray a("same plain text");
    QByteArray b = a;
    Crypt(a, low);
    Crypt(b, high);
    EXPECT_EQ(a, b);
    EXPECT_EQ(ProtectText(QStringLiteral("pw"), low), ProtectText(QStringLiteral("pw"), high));
}

TEST(ProtectText, RoundTripsAnyTextUpToTheLimit)
{
    const QString key = PrepareKey(QStringLiteral("Ünïcødé-κλειδί"));
    const QStringList texts = {
        QStringLiteral("abc"),
        QStringLiteral("pässwört with blanks and ünïcode: 日本語 🙂"),
        QString(kMaxProtectedPlainBytes, u'x'),
        QString(341, QChar(0x65E5)), // 341 three-byte characters: 1023 bytes
    };
    for (const QString& text : texts) {
        const auto stored = ProtectText(text, key);
        ASSERT_TRUE(stored.has_value());
        EXPECT_NE(*stored, text);
        EXPECT_EQ(UnprotectText(*stored, key), text);
    }
}

TEST(ProtectText, EmptyTextGivesEmptyBase64)
{
    EXPECT_EQ(ProtectText(QString(), QStringLiteral("key")), QString());
    EXPECT_EQ(UnprotectText(QString(), QStringLiteral("key")), QString());
}

TEST(ProtectText, RefusesTextsOverTheLimitInsteadOfCuttingThem)
{
    EXPECT_FALSE(ProtectText(QString(kMaxProtectedPlainBytes + 1, u'x'), QStringLiteral("k")));
    // 342 three-byte characters are 1026 bytes although only 342 characters.
    EXPECT_FALSE(ProtectText(QString(342, QChar(0x65E5)), QStringLiteral("k")));
}

TEST(UnprotectText, DamagedValuesGiveDamagedTextNotACrash)
{
    const QString key = QStringLiteral("key");
    EXPECT_NO_FATAL_FAILURE((void)UnprotectText(QStringLiteral("!!!not base64!!!"), key));
    const QString huge(100000, u'A');
    EXPECT_LE(UnprotectText(huge, key).toUtf8().size(), 3 * kMaxProtectedCipherBytes);
    const auto stored = ProtectText(QStringLiteral("secret"), key);
    ASSERT_TRUE(stored);
    EXPECT_NE(UnprotectText(stored->left(4), key), QStringLiteral("secret"));
}

TEST(PrepareKey, JoinsReversedPiecesAroundTheConstantTwice)
{
    const QString v = QStringLiteral("VALUE");
    const QString key = PrepareKey(v);
    EXPECT_EQ(key.size(), 90 + 2 * v.size());
    EXPECT_EQ(key.mid(30, 5), v);
    EXPECT_EQ(key.mid(65, 5), v);
    EXPECT_NE(PrepareKey(QStringLiteral("a")), PrepareKey(QStringLiteral("b")));
}

TEST(ConstantScrambling, RoundTripsNonAsciiText)
{
    const QString text = QStringLiteral("Sicherung läuft … ¦ © 日本");
    const QByteArray scrambled = ScrambleConstant(text);
    EXPECT_FALSE(scrambled.contains(text.toUtf8()));
    EXPECT_EQ(UnscrambleConstant(scrambled), text);
    EXPECT_EQ(UnscrambleConstant(ScrambleConstant(QString())), QString());
}
