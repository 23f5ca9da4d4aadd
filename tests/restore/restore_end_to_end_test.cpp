#include "platform/named_lock.h"
#include "restore_fixture.h"
#include "run_program.h"
#include "running_instance.h"

#include <QDateTime>

namespace fernhold::test {

namespace {

// Backups made by the real program with `fernhold --once`, restored by the
// real program, in extended mode with encrypted archives.
class RestoreEndToEndTest : public RestoreTest
{
protected:
    void SetUp() override
    {
        RestoreTest::SetUp();
        ASSERT_EQ(fernhold({QStringLiteral("config"), QStringLiteral("set"),
                            QStringLiteral("TargetDir"), m_targetRoot}),
                  0);
        ASSERT_EQ(fernhold({QStringLiteral("source"), QStringLiteral("add"), m_source,
                            QStringLiteral("--targets"), QStringLiteral("1")}),
                  0);
        // The password first: encryption is refused without one.
        ASSERT_EQ(fernhold({QStringLiteral("config"), QStringLiteral("set"),
                            QStringLiteral("CryptPassword"), QStringLiteral("--stdin")},
                           "tree password\n"),
                  0);
        for (const auto& [key, value] : {std::pair{"WorkModeExtended", "1"},
                                         {"CryptData", "1"},
                                         {"CompressData", "1"},
                                         {"CryptMethode", "2"}}) {
            ASSERT_EQ(fernhold({QStringLiteral("config"), QStringLiteral("set"),
                                QString::fromLatin1(key), QString::fromLatin1(value)}),
                      0);
        }
    }

    int fernhold(const QStringList& arguments, const QByteArray& input = {})
    {
        const RunResult result = RunFernhold(arguments, input);
        EXPECT_TRUE(result.finished);
        m_lastErr = QString::fromUtf8(result.err);
        return result.exitCode;
    }

    [[nodiscard]] QStringList versions() const
    {
        QStringList found;
        for (const QString& sub : {QString(), QStringLiteral("sub/")}) {
            for (const QString& name : QDir(versionFolder() + sub).entryList(QDir::Files)) {
                found.append(sub + name);
            }
        }
        found.sort();
        return found;
    }

    // Waits until the clock has left the second of the newest version, so
    // the next pass stamps its versions with a later time.
    void waitForTheNextSecond() const
    {
        QString newest;
        for (const QString& version : versions()) {
            newest = std::max(newest, version.mid(version.lastIndexOf(u'@') + 1, 15));
        }
        ASSERT_TRUE(WaitUntil([&] {
            return QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd~HHmmss")) >
                   newest;
        }));
    }

    QString m_lastErr;
};

} // namespace

TEST_F(RestoreEndToEndTest, BacksUpTwiceAndRestoresEitherState)
{
    const QDate firstDay = QDate::currentDate();
    const QByteArray firstA = "first state of a";
    const QByteArray firstB = randomBytes(50000);
    const QByteArray firstC = "c, deleted later";
    ASSERT_TRUE(writeAll(m_source + QStringLiteral("a.txt"), firstA));
    ASSERT_TRUE(writeAll(m_source + QStringLiteral("sub/b.bin"), firstB));
    ASSERT_TRUE(writeAll(m_source + QStringLiteral("c with blank.txt"), firstC));

    ASSERT_EQ(fernhold({QStringLiteral("--once"), QStringLiteral("--full")}), 0)
        << m_lastErr.toStdString();
    const QStringList first = versions();
    ASSERT_EQ(first.size(), 3) << first.join(u' ').toStdString();

    waitForTheNextSecond();
    const QByteArray secondA = "the second state of a, longer";
    const QByteArray secondB = randomBytes(60000);
    const QByteArray newD = "d, new in the second pass";
    ASSERT_TRUE(writeAll(m_source + QStringLiteral("a.txt"), secondA));
    ASSERT_TRUE(writeAll(m_source + QStringLiteral("sub/b.bin"), secondB));
    ASSERT_TRUE(QFile::remove(m_source + QStringLiteral("c with blank.txt")));
    ASSERT_TRUE(writeAll(m_source + QStringLiteral("d.txt"), newD));
    ASSERT_EQ(fernhold({QStringLiteral("--once")}), 0) << m_lastErr.toStdString();
    const QStringList second = versions();
    ASSERT_EQ(second.size(), 6) << second.join(u' ').toStdString();

    const QStringList restoreFolder{
        QStringLiteral("restore"),          QStringLiteral("folder"),
        QStringLiteral("--from"),           firstDay.toString(Qt::ISODate),
        QStringLiteral("--until"),          QDate::currentDate().toString(Qt::ISODate),
        QStringLiteral("--subfolders"),     QStringLiteral("--yes"),
        QStringLiteral("--password-stdin"), relative()};
    ASSERT_EQ(fernhold(restoreFolder + QStringList{QStringLiteral("--oldest")}, "tree password\n"),
              0)
        << m_lastErr.toStdString();
    EXPECT_EQ(readAll(m_source + QStringLiteral("a.txt")), firstA);
    EXPECT_EQ(readAll(m_source + QStringLiteral("sub/b.bin")), firstB);
    EXPECT_EQ(readAll(m_source + QStringLiteral("c with blank.txt")), firstC);
    EXPECT_EQ(readAll(m_source + QStringLiteral("d.txt")), newD);
    EXPECT_TRUE(m_lastErr.contains(text("TXT00420")));
    EXPECT_TRUE(workFolderEmpty());

    // The restored files were registered: the next pass saves nothing again.
    ASSERT_EQ(fernhold({QStringLiteral("--once")}), 0);
    EXPECT_EQ(versions(), second);

    ASSERT_EQ(fernhold(restoreFolder, "tree password\n"), 0) << m_lastErr.toStdString();
    EXPECT_EQ(readAll(m_source + QStringLiteral("a.txt")), secondA);
    EXPECT_EQ(readAll(m_source + QStringLiteral("sub/b.bin")), secondB);
    EXPECT_EQ(readAll(m_source + QStringLiteral("c with blank.txt")), firstC);
    EXPECT_EQ(readAll(m_source + QStringLiteral("d.txt")), newD);

    // One encrypted version, with the password from standard input.
    const QString oldestA = first.filter(QStringLiteral("a.txt@")).value(0);
    ASSERT_TRUE(oldestA.endsWith(QString(QChar(0x00A9)) + QStringLiteral(".zip")));
    const QStringList restoreVersion{QStringLiteral("restore"),
                                     QStringLiteral("version"),
                                     QStringLiteral("--yes"),
                                     QStringLiteral("--to"),
                                     m_picked,
                                     relative(),
                                     oldestA};
    EXPECT_EQ(fernhold(restoreVersion), 1);
    EXPECT_FALSE(QFileInfo::exists(m_picked + QStringLiteral("a.txt")));
    ASSERT_EQ(fernhold(restoreVersion + QStringList{QStringLiteral("--password-stdin")},
                       "tree password\n"),
              0)
        << m_lastErr.toStdString();
    EXPECT_EQ(readAll(m_picked + QStringLiteral("a.txt")), firstA);
    EXPECT_TRUE(workFolderEmpty());
}

TEST_F(RestoreEndToEndTest, WithoutRegistrationTheRestoredFilesCountAsChanged)
{
    const QDate firstDay = QDate::currentDate();
    ASSERT_TRUE(writeAll(m_source + QStringLiteral("a.txt"), "a"));
    // A file that stays, so the table of file states is never empty (an
    // empty one makes the next start take every file as known).
    ASSERT_TRUE(writeAll(m_source + QStringLiteral("b.txt"), "b"));
    ASSERT_EQ(fernhold({QStringLiteral("--once"), QStringLiteral("--full")}), 0);
    ASSERT_EQ(versions().size(), 2);
    ASSERT_TRUE(QFile::remove(m_source + QStringLiteral("a.txt")));

    // While an instance runs, the restore does not touch its table and says so.
    {
        RunningInstance instance;
        ASSERT_TRUE(instance.started());
        ASSERT_TRUE(WaitUntil([&] {
            return NamedLock::isHeldElsewhere(m_home.runtimeDir(), QStringLiteral("Fernhold"));
        }));
        ASSERT_EQ(fernhold({QStringLiteral("restore"), QStringLiteral("folder"),
                            QStringLiteral("--from"), firstDay.toString(Qt::ISODate),
                            QStringLiteral("--until"), QDate::currentDate().toString(Qt::ISODate),
                            QStringLiteral("--yes"), QStringLiteral("--password-stdin"),
                            QStringLiteral("--filter"), QStringLiteral("a.txt"), relative()},
                           "tree password\n"),
                  0);
        EXPECT_TRUE(m_lastErr.contains(text("TXT00413")));
        EXPECT_EQ(instance.terminate(), 0);
    }
    EXPECT_EQ(readAll(m_source + QStringLiteral("a.txt")), QByteArray("a"));
    waitForTheNextSecond();
    ASSERT_EQ(fernhold({QStringLiteral("--once")}), 0);
    EXPECT_EQ(versions().filter(QStringLiteral("a.txt@")).size(), 2);
    EXPECT_EQ(versions().filter(QStringLiteral("b.txt@")).size(), 1);
}

} // namespace fernhold::test
