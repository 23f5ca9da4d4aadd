#include "archiver_fixture.h"
#include "backup_pass_fixture.h"

#include <QFile>

using namespace fernhold;
using namespace fernhold::test;

namespace {

// Two folder targets for the source, versions packed and encrypted.
class BackupVerifyTest : public BackupPassTest
{
protected:
    void SetUp() override
    {
        BackupPassTest::SetUp();
        m_two = m_home.path() + QStringLiteral("two/");
        QDir().mkpath(m_two);
        m_settings.target(2).TargetType = QStringLiteral("WIN");
        m_settings.target(2).TargetDir = m_two;
        m_settings.sources[0].SourceDirTarget = QStringLiteral("1,2");
        m_settings.CompressData = 1;
        m_settings.CryptData = 1;
        m_settings.CryptMethode = 2;
        m_settings.CryptPassword = QStringLiteral("pass-pw");
    }

    QString m_two;
};

// Small files are packed in memory, larger ones in the work folder: the
// check decides on both ways.
class BackupVerifySizes : public BackupVerifyTest, public ::testing::WithParamInterface<qsizetype>
{};

} // namespace

// The check after packing decides: a file appended to while it is packed
// gets no version name at any target, is logged as failed, gives its index
// entry back, and the next pass saves it whole.
TEST_P(BackupVerifySizes, AFileAppendedToWhilePackedGetsNoVersionAndIsSavedNextPass)
{
    const QString raced = source(QStringLiteral("raced.bin"), randomBytes(GetParam()));
    source(QStringLiteral("calm.txt"), "calm");
    bool armed = false;
    int polls = 0;
    m_ui.onStatusLine = [&](const QString& line) {
        armed = armed || line.endsWith(QStringLiteral("\nraced.bin ..."));
    };
    m_whileArchiving = [&] {
        if (armed && ++polls == 3) {
            QFile file(raced);
            EXPECT_TRUE(file.open(QIODevice::Append));
            file.write("appended while packed");
            armed = false;
        }
    };

    const BackupPassResult first = pass();

    EXPECT_EQ(polls, 3);
    EXPECT_EQ(first.newFiles, 1);
    const QStringList calmOnly{QStringLiteral("calm.txt@") + stamp() + QStringLiteral("©.zip")};
    EXPECT_EQ(versions(), calmOnly);
    EXPECT_EQ(versions(m_two), calmOnly);
    EXPECT_TRUE(logged(failedLine(raced))) << logTexts().join(u'\n').toStdString();
    EXPECT_EQ(m_index.IndexCount(), 1);
    expectNoLeftovers();

    m_ui.onStatusLine = {};
    m_whileArchiving = {};
    m_clock.advanceSeconds(1);
    EXPECT_EQ(pass().newFiles, 1);
    const QString name = QStringLiteral("raced.bin@") + stamp() + QStringLiteral("©.zip");
    const QByteArray now = contentOf(raced);
    ASSERT_TRUE(now.endsWith("appended while packed"));
    for (const QString& root : {m_target, m_two}) {
        SCOPED_TRACE(root.toStdString());
        ASSERT_TRUE(versions(root).contains(name));
        EXPECT_EQ(unpacked(mirror({}, root) + name, QStringLiteral("raced.bin"),
                           QStringLiteral("pass-pw")),
                  now);
    }
    EXPECT_EQ(m_index.IndexCount(), 2);
}

INSTANTIATE_TEST_SUITE_P(Packing, BackupVerifySizes, ::testing::Values(400000, 1500000),
                         [](const ::testing::TestParamInfo<qsizetype>& info) {
                             return info.param < 1024 * 1024 ? std::string("InMemory")
                                                             : std::string("InWorkFolder");
                         });
