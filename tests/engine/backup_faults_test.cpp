#include "backup_pass_fixture.h"
#include "engine/file_time_table.h"

#include <QProcess>
#include <sys/stat.h>

using namespace fernhold;
using namespace fernhold::test;

namespace {

// A pass in both forms: plain copies and zip archives.
class BackupFaultTest : public BackupPassTest, public ::testing::WithParamInterface<int>
{
protected:
    void SetUp() override
    {
        BackupPassTest::SetUp();
        m_settings.CompressData = static_cast<std::int8_t>(GetParam());
    }

    [[nodiscard]] QString suffix(const QString& extension) const
    {
        return GetParam() == 1 ? QStringLiteral(".zip") : u'.' + extension;
    }

    // True when `line`, a status line, announces the backup of `name`.
    static bool announces(const QString& line, const QString& name)
    {
        return line.endsWith(u'\n' + name + QStringLiteral(" ..."));
    }
};

std::string formName(const ::testing::TestParamInfo<int>& info)
{
    return info.param == 1 ? "zip" : "copy";
}

} // namespace

TEST_P(BackupFaultTest, AFileThatVanishesBeforeItsBackupIsLoggedAndTriedAgain)
{
    m_settings.WarnFileLocked = 1;
    const QString gone = source(QStringLiteral("gone.txt"), "short-lived");
    source(QStringLiteral("stays.txt"), "stays");
    m_ui.onStatusLine = [&](const QString& line) {
        if (announces(line, QStringLiteral("gone.txt"))) {
            QFile::remove(gone);
        }
    };

    const BackupPassResult first = pass();

    EXPECT_EQ(first.newFiles, 1);
    EXPECT_EQ(versions(), QStringList{QStringLiteral("stays.txt@") + stamp() + suffix("txt")});
    EXPECT_TRUE(logged(failedLine(gone))) << logTexts().join(u'\n').toStdString();
    EXPECT_TRUE(m_ui.sawMessageContaining(text("TXT00133") + QStringLiteral("\r\n") + gone));
    EXPECT_EQ(m_index.IndexCount(), 1);
    expectNoLeftovers();

    // Back again: the next pass saves it.
    m_ui.onStatusLine = {};
    source(QStringLiteral("gone.txt"), "short-lived");
    m_clock.advanceSeconds(1);
    EXPECT_EQ(pass().newFiles, 1);
    EXPECT_TRUE(versions().contains(QStringLiteral("gone.txt@") + stamp() + suffix("txt")));
}

TEST_P(BackupFaultTest, AFileHeldOpenForWritingIsStillSaved)
{
    const QByteArray content = "written and still open";
    const QString file = source(QStringLiteral("open.db"), content);
    QProcess holder;
    holder.start(QStringLiteral("/bin/sh"),
                 {QStringLiteral("-c"), QStringLiteral("exec 3>>\"$0\"; echo held; read x"), file});
    ASSERT_TRUE(holder.waitForReadyRead(10000));
    ASSERT_EQ(holder.readAll(), QByteArray("held\n"));

    EXPECT_EQ(pass().newFiles, 1);

    const QString version = mirror() + QStringLiteral("open.db@") + stamp() + suffix("db");
    EXPECT_EQ(GetParam() == 1 ? unpacked(version, QStringLiteral("open.db")) : contentOf(version),
              content);
    holder.closeWriteChannel();
    EXPECT_TRUE(holder.waitForFinished(10000));
}

TEST_P(BackupFaultTest, AnUnreadableFileFailsWithoutAPartialVersion)
{
    const QString locked = source(QStringLiteral("locked.txt"), "private");
    source(QStringLiteral("open.txt"), "public");
    ASSERT_EQ(::chmod(QFile::encodeName(locked).constData(), 0), 0);
    BackupPassResult result;
    {
        WithoutFileOverride unprivileged;
        if (!unprivileged.works()) {
            GTEST_SKIP() << "cannot give up the right to read every file";
        }
        result = pass();
    }

    EXPECT_EQ(result.newFiles, 1);
    EXPECT_EQ(versions(), QStringList{QStringLiteral("open.txt@") + stamp() + suffix("txt")});
    EXPECT_TRUE(logged(failedLine(locked)));
    expectNoLeftovers();

    ASSERT_EQ(::chmod(QFile::encodeName(locked).constData(), 0600), 0);
    m_clock.advanceSeconds(1);
    EXPECT_EQ(pass().newFiles, 1);
    EXPECT_EQ(versions().size(), 2);
}

TEST_P(BackupFaultTest, ATargetThatBecomesReadOnlyLosesNothingAndCatchesUp)
{
    m_settings.WorkModeExtended = 1;
    const QString file = source(QStringLiteral("sub/a.txt"), "one");
    source(QStringLiteral("b.txt"), "bee");
    ASSERT_EQ(pass().newFiles, 2);
    const QByteArray table = contentOf(tablePath());
    const QStringList saved = filesBelow(m_target);
    const qsizetype indexed = m_index.IndexCount();

    m_clock.advanceSeconds(5);
    source(QStringLiteral("sub/a.txt"), "one, changed");
    source(QStringLiteral("new.txt"), "new");
    const QByteArray mirrored = QFile::encodeName(mirror());
    ASSERT_EQ(::chmod(mirrored.constData(), 0555), 0);
    ASSERT_EQ(::chmod((mirrored + "sub").constData(), 0555), 0);
    BackupPassResult failed;
    {
        WithoutFileOverride unprivileged;
        if (!unprivileged.works()) {
            GTEST_SKIP() << "cannot give up the right to write everywhere";
        }
        failed = pass();
    }

    EXPECT_EQ(failed.newFiles, 0);
    EXPECT_TRUE(lastStatus().startsWith(text("TXT00078") + QStringLiteral(" (0 ") +
                                        text("TXT00079") + u')'))
        << lastStatus().toStdString();
    EXPECT_TRUE(logged(failedLine(file)));
    EXPECT_TRUE(logged(failedLine(m_source + QStringLiteral("new.txt"))));
    EXPECT_EQ(filesBelow(m_target), saved);
    EXPECT_EQ(m_index.IndexCount(), indexed);
    EXPECT_EQ(contentOf(tablePath()), table);
    expectNoLeftovers();

    ASSERT_EQ(::chmod(mirrored.constData(), 0755), 0);
    ASSERT_EQ(::chmod((mirrored + "sub").constData(), 0755), 0);
    m_clock.advanceSeconds(1);
    EXPECT_EQ(pass().newFiles, 2);
    EXPECT_EQ(filesBelow(m_target).size(), saved.size() + 2);
}

TEST_P(BackupFaultTest, APassOfOnlyFailuresKeepsTheIndexAsItWas)
{
    m_settings.WorkModeExtended = 1;
    m_settings.WarnFileLocked = 0;
    source(QStringLiteral("known.txt"), "known");
    ASSERT_EQ(pass().newFiles, 1);
    const QByteArray table = contentOf(tablePath());
    ASSERT_FALSE(table.isEmpty());

    const QString a = source(QStringLiteral("a.txt"), "a");
    const QString b = source(QStringLiteral("b.txt"), "b");
    m_ui.onStatusLine = [&](const QString& line) {
        if (announces(line, QStringLiteral("a.txt"))) {
            QFile::remove(a);
        }
        if (announces(line, QStringLiteral("b.txt"))) {
            QFile::remove(b);
        }
    };
    m_clock.advanceSeconds(1);
    const BackupPassResult result = pass();

    EXPECT_EQ(result.newFiles, 0);
    EXPECT_EQ(lastStatus(), text("TXT00078") + QStringLiteral(" (0 ") + text("TXT00079") + u')');
    EXPECT_EQ(m_index.IndexCount(), 1);
    EXPECT_EQ(m_index.WorkingCount(), 1);
    EXPECT_EQ(contentOf(tablePath()), table);
    EXPECT_TRUE(logged(failedLine(a)));
    EXPECT_TRUE(logged(failedLine(b)));
    EXPECT_TRUE(m_ui.messages().empty());
}

TEST_P(BackupFaultTest, AProgramEndDuringThePassKeepsWhatWasSaved)
{
    m_settings.WarnFileLocked = 1;
    for (int i = 1; i <= 4; ++i) {
        source(QStringLiteral("f%1.txt").arg(i), QByteArray(1000 * i, 'x'));
    }
    int announced = 0;
    stopAtAnnouncement(2, m_run.Ending, 1, announced);

    const BackupPassResult stopped = pass();

    // The first file is saved and known. The second is being saved when the
    // program ends: a copy is finished, an archiver run is stopped. The
    // others are never reached.
    const int saved = GetParam() == 1 ? 1 : 2;
    EXPECT_EQ(stopped.newFiles, saved);
    EXPECT_EQ(versions().size(), saved);
    EXPECT_EQ(m_index.IndexCount(), saved);
    EXPECT_EQ(announced, 2);
    // Ending is not a locked file: no message keeps the program from ending.
    EXPECT_TRUE(m_ui.messages().empty());
    expectNoLeftovers();

    m_run.Ending = 0;
    m_ui.onStatusLine = {};
    m_clock.advanceSeconds(1);
    EXPECT_EQ(pass().newFiles, 4 - saved);
    EXPECT_EQ(versions().size(), 4);
}

INSTANTIATE_TEST_SUITE_P(Forms, BackupFaultTest, ::testing::Values(0, 1), formName);
