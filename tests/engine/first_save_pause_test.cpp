#include "backup_pass_fixture.h"

#include <QHash>

using namespace fernhold;
using namespace fernhold::test;

namespace {

// A first save of a source not indexed yet, plain or zipped.
class FirstSavePauseTest : public BackupPassTest, public ::testing::WithParamInterface<int>
{
protected:
    void SetUp() override
    {
        BackupPassTest::SetUp();
        m_settings.CompressData = static_cast<std::int8_t>(GetParam());
        m_settings.sources[0].Indexed = 0;
        m_sourcesSavedBefore = false;
    }

    // Versions at the target per source file name.
    [[nodiscard]] QHash<QString, int> versionCounts() const
    {
        QHash<QString, int> counts;
        for (const QString& path : filesBelow(m_target)) {
            const QString name = QFileInfo(path).fileName();
            ++counts[name.left(name.indexOf(u'@'))];
        }
        return counts;
    }
};

} // namespace

// A pause during a first save, then the next pass of the same run: the
// files delivered before the pause are not saved a second time, and the
// rest are saved once.
TEST_P(FirstSavePauseTest, ThePassAfterAPauseSavesOnlyWhatWasLeft)
{
    constexpr int kFiles = 30;
    constexpr int kAnnounced = 10;
    for (int i = 0; i < kFiles; ++i) {
        source(QStringLiteral("d%1/file%2.txt").arg(i % 3).arg(i), QByteArray::number(i * 7919));
    }
    int announced = 0;
    stopAtAnnouncement(kAnnounced, m_run.Status, 2, announced);
    const BackupPassResult stopped = pass();
    EXPECT_TRUE(stopped.stopped);
    ASSERT_GT(stopped.newFiles, 0);
    ASSERT_LT(stopped.newFiles, kFiles);

    const BackupPassResult rest = passAfterStop();

    EXPECT_FALSE(rest.stopped);
    EXPECT_EQ(stopped.newFiles + rest.newFiles, kFiles);
    const QHash<QString, int> counts = versionCounts();
    EXPECT_EQ(counts.size(), kFiles);
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        EXPECT_EQ(it.value(), 1) << it.key().toStdString();
    }
    EXPECT_TRUE(m_state.owedTargets(m_settings.sources[0]).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Forms, FirstSavePauseTest, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param == 0 ? std::string("Plain") : std::string("Zip");
                         });
