#include "backup_pass_fixture.h"
#include "engine/file_record.h"
#include "engine/file_time_table.h"
#include "engine/index_scan.h"
#include "engine/single_file_backup.h"

#include <QRegularExpression>

using namespace fernhold;
using namespace fernhold::test;

namespace {

QByteArray bytesOf(int size, char seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>(seed + (i * 7) % 91);
    }
    return bytes;
}

} // namespace

// --- version names and forms ---

TEST_F(BackupPassTest, AChangedFileBecomesAZipNamedAsInTheDesignExample)
{
    const QByteArray content = bytesOf(1536, 'a');
    const QString file = source(QStringLiteral("report.docx"), content);
    m_settings.CompressData = 1;

    const BackupPassResult result = pass();

    EXPECT_EQ(result.readyTargets, 1);
    EXPECT_EQ(result.newFiles, 1);
    // The clock stands at 5 March 2024, 14:07:09.
    const QString version = mirror() + QStringLiteral("report.docx@20240305~140709.zip");
    EXPECT_EQ(versions(), QStringList{QFileInfo(version).fileName()});
    EXPECT_EQ(version, m_target + file.mid(1) + QStringLiteral("@20240305~140709.zip"));
    const Archiver archiver(m_folders.temp);
    EXPECT_EQ(archiver.isOneFileArchive(version, QStringLiteral("report.docx")), 1);
    EXPECT_EQ(unpacked(version, QStringLiteral("report.docx")), content);
    EXPECT_TRUE(logged(QStringLiteral("0001.5 KB\t1536\t") + file + QStringLiteral(" [1]")))
        << logTexts().join(u'\n').toStdString();
    EXPECT_EQ(m_index.IndexCount(), 1);
    expectNoLeftovers();
}

TEST_F(BackupPassTest, APlainCopyKeepsTheBytesAndTheLastExtension)
{
    m_settings.CompressData = 0;
    const QByteArray a = bytesOf(5000, 'b');
    const QByteArray b = bytesOf(17, 'c');
    const QByteArray c = QByteArray();
    source(QStringLiteral("notes.txt"), a);
    source(QStringLiteral("README"), b);
    source(QStringLiteral("sub/deeper/archive.tar.gz"), c);

    EXPECT_EQ(pass().newFiles, 3);

    const QString s = stamp();
    EXPECT_EQ(versions(), (QStringList{QStringLiteral("README@") + s + u'.',
                                       QStringLiteral("notes.txt@") + s + QStringLiteral(".txt")}));
    EXPECT_EQ(contentOf(mirror() + QStringLiteral("notes.txt@") + s + QStringLiteral(".txt")), a);
    EXPECT_EQ(contentOf(mirror() + QStringLiteral("README@") + s + u'.'), b);
    const QString deep =
        mirror() + QStringLiteral("sub/deeper/archive.tar.gz@") + s + QStringLiteral(".gz");
    EXPECT_TRUE(QFileInfo(deep).isFile());
    EXPECT_EQ(QFileInfo(deep).size(), 0);
    expectNoLeftovers();
}

TEST_F(BackupPassTest, EncryptedVersionsOpenOnlyWithThePassword)
{
    m_settings.CompressData = 1;
    m_settings.CryptData = 1;
    m_settings.CryptPassword = QStringLiteral("s3cret pass");
    const QByteArray content = bytesOf(3000, 'd');
    for (const int method : {0, 1, 2}) {
        SCOPED_TRACE(method);
        m_settings.CryptMethode = static_cast<std::int8_t>(method);
        source(QStringLiteral("ledger.ods"), content);
        m_index.EmptyIndex();
        m_clock.advanceSeconds(1);

        EXPECT_EQ(pass().newFiles, 1);

        const QString version = mirror() + QStringLiteral("ledger.ods@") + stamp() +
                                QString(QChar(0x00A9)) + QStringLiteral(".zip");
        ASSERT_TRUE(QFile::exists(version)) << versions().join(u' ').toStdString();
        EXPECT_EQ(unpacked(version, QStringLiteral("ledger.ods")), QByteArray("<not unpacked>"));
        EXPECT_EQ(unpacked(version, QStringLiteral("ledger.ods"), QStringLiteral("wrong")),
                  QByteArray("<not unpacked>"));
        EXPECT_EQ(unpacked(version, QStringLiteral("ledger.ods"), m_settings.CryptPassword),
                  content);
    }
    EXPECT_EQ(versions().size(), 3);
}

// Encryption asked for without a password used to give plain archives; now
// no file is saved, each counts as failed, and the pass says why once.
TEST_F(BackupPassTest, EncryptionWithoutAPasswordSavesNothingAndSaysWhyOncePerPass)
{
    m_settings.CompressData = 1;
    m_settings.CryptData = 1;
    m_settings.CryptPassword.clear();
    m_settings.WarnFileLocked = 1;
    const QStringList files = {source(QStringLiteral("a.txt"), "open to all"),
                               source(QStringLiteral("b.txt"), "b"),
                               source(QStringLiteral("sub/c.txt"), "c")};

    BackupPassResult result = pass();

    EXPECT_EQ(result.newFiles, 0);
    EXPECT_EQ(result.failedFiles, 3);
    EXPECT_TRUE(filesBelow(m_target).isEmpty());
    for (const QString& file : files) {
        EXPECT_TRUE(logged(failedLine(file))) << file.toStdString();
    }
    const QString why = text("TXT00460");
    EXPECT_EQ(logTexts().count(QStringLiteral("\t\t") + why), 1);
    ASSERT_EQ(m_ui.messages().size(), 1u);
    EXPECT_EQ(m_ui.messages()[0].text, why);
    EXPECT_EQ(m_index.IndexCount(), 0);

    result = pass();
    EXPECT_EQ(result.failedFiles, 3);
    EXPECT_EQ(m_ui.messages().size(), 2u);
    EXPECT_EQ(logTexts().count(QStringLiteral("\t\t") + why), 2);
}

TEST_F(BackupPassTest, AnUnknownEncryptionMethodGivesNoUnencryptedVersion)
{
    m_settings.CompressData = 1;
    m_settings.CryptData = 1;
    m_settings.CryptPassword = QStringLiteral("pw");
    m_settings.CryptMethode = 7;
    const QString file = source(QStringLiteral("a.txt"), "secret");

    const BackupPassResult result = pass();
    EXPECT_EQ(result.newFiles, 0);
    EXPECT_EQ(result.failedFiles, 1);

    EXPECT_TRUE(versions().isEmpty());
    EXPECT_TRUE(logged(failedLine(file)));
    EXPECT_TRUE(logged(QStringLiteral("\t\t") + text("TXT00461")));
    EXPECT_TRUE(m_ui.sawMessageContaining(text("TXT00461")));
    EXPECT_EQ(m_index.IndexCount(), 0);
}

// Plain copies are never encrypted, so the encryption settings do not stop them.
TEST_F(BackupPassTest, CopiesAreSavedWhateverTheEncryptionSettings)
{
    m_settings.CompressData = 0;
    m_settings.CryptData = 1;
    m_settings.CryptPassword.clear();
    m_settings.CryptMethode = 7;
    source(QStringLiteral("a.txt"), "plain");

    const BackupPassResult result = pass();

    EXPECT_EQ(result.newFiles, 1);
    EXPECT_EQ(result.failedFiles, 0);
    EXPECT_TRUE(m_ui.messages().empty());
}

TEST_F(BackupPassTest, TwoSavesWithinOneSecondLeaveOneVersion)
{
    for (const int compress : {0, 1}) {
        SCOPED_TRACE(compress);
        m_settings.CompressData = static_cast<std::int8_t>(compress);
        QDir(m_target).removeRecursively();
        QDir().mkpath(m_target);
        m_clock.advanceSeconds(10);
        const QString suffix = compress == 1 ? QStringLiteral(".zip") : QStringLiteral(".txt");

        source(QStringLiteral("draft.txt"), "first save");
        EXPECT_EQ(pass().newFiles, 1);
        source(QStringLiteral("draft.txt"), "second save, same second");
        EXPECT_EQ(pass().newFiles, 1);

        const QString version = QStringLiteral("draft.txt@") + stamp() + suffix;
        EXPECT_EQ(versions(), QStringList{version});
        const QByteArray now = compress == 1
                                   ? unpacked(mirror() + version, QStringLiteral("draft.txt"))
                                   : contentOf(mirror() + version);
        EXPECT_EQ(now, QByteArray("second save, same second"));

        m_clock.advanceSeconds(1);
        source(QStringLiteral("draft.txt"), "third save, a second later");
        EXPECT_EQ(pass().newFiles, 1);
        EXPECT_EQ(versions().size(), 2);
        expectNoLeftovers();
    }
}

TEST_F(BackupPassTest, AnUnchangedFileIsNotSavedAgain)
{
    source(QStringLiteral("a.txt"), "same");
    EXPECT_EQ(pass().newFiles, 1);
    m_clock.advanceSeconds(60);

    const BackupPassResult second = pass();

    EXPECT_EQ(second.newFiles, 0);
    EXPECT_EQ(versions().size(), 1);
    EXPECT_EQ(lastStatus(), text("TXT00078") + QStringLiteral(" (0 ") + text("TXT00079") + u')');
}

// --- targets ---

TEST_F(BackupPassTest, WithTargetTwoUnreachableTheLogLineEndsInOne)
{
    const QString missing = m_home.path() + QStringLiteral("unplugged/");
    m_settings.target(2).TargetType = QStringLiteral("WIN");
    m_settings.target(2).TargetDir = missing;
    m_settings.sources[0].SourceDirTarget = QStringLiteral("1,2");
    const QString file = source(QStringLiteral("a.txt"), "abc");

    const BackupPassResult result = pass();

    EXPECT_EQ(result.readyTargets, 1);
    EXPECT_EQ(result.newFiles, 1);
    EXPECT_TRUE(
        logged(QStringLiteral("\t\t") + text("TXT00152") + QStringLiteral(":  [1] ") + m_target));
    EXPECT_TRUE(
        logged(QStringLiteral("\t\t") + text("TXT00159") + QStringLiteral(":  [2] ") + missing));
    EXPECT_TRUE(
        logged(QStringLiteral("\t\t") + text("TXT00154") + QStringLiteral(":  [1,2] ") + m_source));
    EXPECT_TRUE(logged(QStringLiteral("0000.0 KB\t3\t") + file + QStringLiteral(" [1]")))
        << logTexts().join(u'\n').toStdString();
    EXPECT_EQ(versions().size(), 1);
    EXPECT_FALSE(QFileInfo::exists(missing));
}

TEST_F(BackupPassTest, ASourceForTwoAndThreeGoesOnlyToTheReachableThree)
{
    const QString three = m_home.path() + QStringLiteral("three/");
    QDir().mkpath(three);
    m_settings.target(2).TargetType = QStringLiteral("WIN");
    m_settings.target(2).TargetDir = m_home.path() + QStringLiteral("unplugged/");
    m_settings.target(3).TargetType = QStringLiteral("WIN");
    m_settings.target(3).TargetDir = three;
    m_settings.sources[0].SourceDirTarget = QStringLiteral("2,3");
    const QString file = source(QStringLiteral("a.txt"), "abc");

    EXPECT_EQ(pass().newFiles, 1);

    EXPECT_EQ(versions(three),
              QStringList{QStringLiteral("a.txt@") + stamp() + QStringLiteral(".zip")});
    EXPECT_TRUE(versions().isEmpty());
    EXPECT_EQ(logTexts().filter(text("TXT00154")).size(), 1);
    EXPECT_TRUE(logged(QStringLiteral("0000.0 KB\t3\t") + file + QStringLiteral(" [3]")));
}

TEST_F(BackupPassTest, EveryReachableTargetOfTheSourceGetsTheSameVersion)
{
    const QString two = m_home.path() + QStringLiteral("two/");
    QDir().mkpath(two);
    m_settings.target(2).TargetType = QStringLiteral("WIN");
    m_settings.target(2).TargetDir = two;
    m_settings.sources[0].SourceDirTarget = QStringLiteral("1,2");
    m_settings.CompressData = 0;
    const QString file = source(QStringLiteral("a.txt"), "both");

    EXPECT_EQ(pass().newFiles, 1);

    EXPECT_EQ(versions(), versions(two));
    EXPECT_EQ(versions().size(), 1);
    EXPECT_TRUE(logged(QStringLiteral("0000.0 KB\t4\t") + file + QStringLiteral(" [1][2]")));
}

TEST_F(BackupPassTest, APassEndedByProgramEndSaysItStopped)
{
    m_settings.CompressData = 0;
    m_settings.sources[0].SourceDirSub = 0;
    source(QStringLiteral("1.txt"), "1");
    source(QStringLiteral("2.txt"), "2");
    m_ui.onStatusLine = [&](const QString& line) {
        if (line.endsWith(QStringLiteral(" ..."))) {
            m_run.Ending = 1;
        }
    };

    const BackupPassResult result = pass();

    EXPECT_TRUE(result.stopped);
    EXPECT_LT(filesBelow(m_target).size(), 2);

    m_ui.onStatusLine = nullptr;
    m_run.Ending = 0;
    m_index.EmptyIndex();
    EXPECT_FALSE(pass().stopped);
}

TEST_F(BackupPassTest, ATargetUnpluggedDuringThePassIsNotMadeAnew)
{
    m_settings.CompressData = 0;
    m_settings.sources[0].SourceDirSub = 0;
    const QString first = source(QStringLiteral("1.txt"), "1");
    const QString second = source(QStringLiteral("2.txt"), "2");
    const QString away = m_home.path() + QStringLiteral("unmounted/");
    QString savedFirst;
    m_ui.onStatusLine = [&](const QString& line) {
        if (line.endsWith(QStringLiteral(" ...")) && savedFirst.isEmpty()) {
            savedFirst = line.section(u'\n', -1).chopped(4);
        } else if (line.endsWith(QStringLiteral(" ...")) && QFileInfo::exists(m_target)) {
            ASSERT_TRUE(QDir().rename(m_target, away)); // the drive is gone
        }
    };

    const BackupPassResult result = pass();

    EXPECT_EQ(result.newFiles, 1);
    EXPECT_FALSE(QFileInfo::exists(m_target));
    const QString lost = savedFirst == QStringLiteral("1.txt") ? second : first;
    EXPECT_TRUE(logged(failedLine(lost))) << logTexts().join(u'\n').toStdString();
    EXPECT_EQ(filesBelow(away).size(), 1);
    EXPECT_EQ(m_index.IndexCount(), 1);
}

TEST_F(BackupPassTest, WithoutAReachableTargetThePassGivesUpAndSwitchesToInactive)
{
    QDir(m_target).removeRecursively();
    m_settings.WorkModeExtended = 1;
    source(QStringLiteral("a.txt"), "abc");

    const BackupPassResult result = pass();

    EXPECT_EQ(result.readyTargets, 0);
    EXPECT_EQ(result.newFiles, 0);
    EXPECT_EQ(m_run.Status.load(), 0);
    EXPECT_TRUE(
        m_ui.sawMessageContaining(text("TXT00075") + QStringLiteral("\r\n") + text("TXT00068")));
    EXPECT_TRUE(logged(QStringLiteral("\t\t") + text("TXT00153")));
    EXPECT_TRUE(m_ui.statusLines().join(u'\n').contains(text("TXT00073")));
    // The index is still saved.
    EXPECT_TRUE(QFile::exists(tablePath()));
    EXPECT_FALSE(QFileInfo::exists(m_target));
}

TEST_F(BackupPassTest, TheTargetWaitEndsWhenTheTargetAppears)
{
    QDir(m_target).removeRecursively();
    m_settings.WaitForTargetDirCount = 3;
    m_settings.WaitForTargetDirTime = 1;
    source(QStringLiteral("a.txt"), "abc");
    const QString waiting = text("TXT00071") + QStringLiteral(" (3 ") + text("TXT00072") + u')';
    m_ui.onStatusLine = [&](const QString& line) {
        if (line.endsWith(waiting)) {
            QDir().mkpath(m_target); // the drive is plugged in
        }
    };

    const BackupPassResult result = pass();

    EXPECT_EQ(result.readyTargets, 1);
    EXPECT_EQ(result.newFiles, 1);
    EXPECT_EQ(m_run.Status.load(), 1);
    EXPECT_EQ(m_ui.statusLines().filter(text("TXT00071")).size(), 1);
}

TEST_F(BackupPassTest, APermanentTargetWaitEndsWhenTheProgramIsPaused)
{
    QDir(m_target).removeRecursively();
    m_settings.WaitForTargetDirCount = 1;
    m_settings.WaitForTargetDirTime = 3600;
    m_settings.TargetDirCheckPermanent = 1;
    source(QStringLiteral("a.txt"), "abc");
    m_ui.onStatusLine = [&](const QString& line) {
        if (line.endsWith(text("TXT00071") + QStringLiteral(" (permanent)"))) {
            m_run.Status = 2;
        }
    };

    const BackupPassResult result = pass();

    EXPECT_EQ(result.readyTargets, 0);
    EXPECT_EQ(m_run.Status.load(), 2); // paused, not switched off
    EXPECT_TRUE(m_ui.messages().empty());
}

TEST_F(BackupPassTest, ATargetInsideTheSourceIsNotBackedUp)
{
    const QString inner = m_source + QStringLiteral("backup/");
    QDir().mkpath(inner);
    m_settings.target(1).TargetDir = inner;
    m_settings.CompressData = 0;
    source(QStringLiteral("a.txt"), "abc");

    EXPECT_EQ(pass().newFiles, 1);
    m_index.EmptyIndex();
    m_clock.advanceSeconds(1);
    EXPECT_EQ(pass().newFiles, 1);

    EXPECT_EQ(filesBelow(inner),
              (QStringList{MirrorText(m_source) + QStringLiteral("a.txt@20240305~140709.txt"),
                           MirrorText(m_source) + QStringLiteral("a.txt@20240305~140710.txt")}));
}

// --- index ---

TEST_F(BackupPassTest, ALateSourceIsIndexedAndItsFilesCountAsKnown)
{
    const QString late = m_home.path() + QStringLiteral("work/late/");
    SourceEntry entry;
    entry.SourceDirPfad = late;
    entry.SourceDirTarget = QStringLiteral("1");
    m_settings.sources.append(entry);
    QDir().mkpath(late);
    QFile file(late + QStringLiteral("old.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("old");
    file.close();

    const BackupPassResult first = pass();

    ASSERT_EQ(first.indexed.size(), 1U);
    EXPECT_EQ(first.indexed[0].number, 2);
    EXPECT_EQ(first.newFiles, 0);
    EXPECT_EQ(m_settings.sources[1].Indexed, 1);
    EXPECT_TRUE(filesBelow(m_target).isEmpty());

    QFile added(late + QStringLiteral("new.txt"));
    ASSERT_TRUE(added.open(QIODevice::WriteOnly));
    added.write("new");
    added.close();
    const BackupPassResult second = pass();
    EXPECT_TRUE(second.indexed.empty());
    EXPECT_EQ(second.newFiles, 1);
    EXPECT_EQ(filesBelow(m_target), QStringList{MirrorText(late) + QStringLiteral("new.txt@") +
                                                stamp() + QStringLiteral(".zip")});
}

TEST_F(BackupPassTest, TheFileTimeTableHoldsTheBackedUpFilesInExtendedMode)
{
    m_settings.WorkModeExtended = 1;
    source(QStringLiteral("a.txt"), "a");
    source(QStringLiteral("b.txt"), "b");

    EXPECT_EQ(pass().newFiles, 2);

    SourceIndex reread;
    ASSERT_EQ(ReadFileTimeTable(reread, tablePath()), 1);
    EXPECT_EQ(reread.ReferenceCount(), 2);
    for (const QString& name : {QStringLiteral("a.txt"), QStringLiteral("b.txt")}) {
        const auto record = ReadFileRecord(m_source + name);
        ASSERT_TRUE(record.has_value());
        EXPECT_TRUE(reread.InReference(*record)) << name.toStdString();
    }
}

// --- reports ---

TEST_F(BackupPassTest, TheSummaryShowsFourNamesThenMoreFiles)
{
    QStringList names;
    for (int i = 1; i <= 6; ++i) {
        names.append(QStringLiteral("file%1.txt").arg(i));
        source(names.last(), QByteArray::number(i));
    }

    EXPECT_EQ(pass().newFiles, 6);

    const QStringList lines = lastStatus().split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 6) << lastStatus().toStdString();
    EXPECT_EQ(lines[0], text("TXT00078") + QStringLiteral(" (6 ") + text("TXT00079") + u')');
    for (int i = 1; i <= 4; ++i) {
        EXPECT_TRUE(names.contains(lines[i])) << lines[i].toStdString();
    }
    EXPECT_EQ(QSet<QString>(lines.begin() + 1, lines.begin() + 5).size(), 4);
    EXPECT_EQ(lines[5], text("TXT00077"));
    EXPECT_TRUE(logged(QStringLiteral("\t\t") + text("TXT00156")));
}

TEST_F(BackupPassTest, TheSummaryCutsLongNamesAndCountsPathsTooLong)
{
    const QString longName = QString(60, u'x') + QStringLiteral(".txt");
    source(longName, "long");
    // With "@", the stamp and ".zip" the version's name is longer than 255 bytes.
    const QString tooLong = QString(251, u'n') + QStringLiteral(".txt");
    const QString tooLongPath = source(tooLong, "no room");
    m_settings.WarnLongPath = 1;
    m_settings.WarnFileLocked = 1;

    EXPECT_EQ(pass().newFiles, 1);

    const QStringList lines = lastStatus().split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 3) << lastStatus().toStdString();
    EXPECT_EQ(lines[1], text("TXT00190") + QStringLiteral(" (1)"));
    EXPECT_EQ(lines[2], longName.left(55) + QStringLiteral("..."));
    EXPECT_TRUE(logged(QStringLiteral("\t\t") + text("TXT00190") + QStringLiteral(": 1")));
    EXPECT_TRUE(logged(failedLine(tooLongPath)));
    // One warning at the end of the pass instead of a message per file.
    const auto messages = m_ui.messages();
    ASSERT_EQ(messages.size(), 1U);
    EXPECT_EQ(messages[0].text,
              text("TXT00190") + QStringLiteral(": 1\r\n\r\n") + text("HLP00027"));
    EXPECT_EQ(messages[0].icon, MessageIcon::Warning);
    EXPECT_EQ(versions().size(), 1);
    expectNoLeftovers();
}

TEST_F(BackupPassTest, WithAPathTooLongTheSummaryShowsThreeNames)
{
    source(QString(251, u'n') + QStringLiteral(".txt"), "no room");
    for (int i = 1; i <= 6; ++i) {
        source(QStringLiteral("f%1.txt").arg(i), "x");
    }

    EXPECT_EQ(pass().newFiles, 6);

    const QStringList lines = lastStatus().split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 6) << lastStatus().toStdString();
    EXPECT_EQ(lines[1], text("TXT00190") + QStringLiteral(" (1)"));
    EXPECT_EQ(lines[5], text("TXT00077"));
}

TEST_F(BackupPassTest, AFullBackupSaysSoAndHandsBackItsStartTime)
{
    m_run.FullBackupRequested = 1;
    source(QStringLiteral("a.txt"), "a");
    source(QStringLiteral("b.txt"), "b");

    const BackupPassResult result = pass();

    EXPECT_EQ(result.newFiles, 2);
    ASSERT_TRUE(result.fullBackupStarted.has_value());
    EXPECT_EQ(*result.fullBackupStarted, m_clock.nowSeconds());
    EXPECT_EQ(m_run.FullBackupRequested.load(), 0);
    const QString full = QStringLiteral(" (") + text("TXT00160");
    EXPECT_TRUE(lastStatus().startsWith(text("TXT00078") + full + QStringLiteral(", 2 ") +
                                        text("TXT00064") + u')'))
        << lastStatus().toStdString();
    EXPECT_TRUE(logged(QStringLiteral("\t\t") + text("TXT00151") + full + u')'));
    EXPECT_TRUE(logged(QStringLiteral("\t\t") + text("TXT00156") + full + u')'));
}

TEST_F(BackupPassTest, TheStatusLinesShowEachFileAndWhereItWent)
{
    m_settings.MonitorWithPath = 1;
    const QString file =
        source(QStringLiteral("a folder whose name is long enough to wrap the path/a.txt"), "a");

    EXPECT_EQ(pass().newFiles, 1);

    const QStringList lines = m_ui.statusLines();
    const QString before =
        text("TXT00065") + QStringLiteral("\r\n") + WrappedActivity(file) + QStringLiteral(" ...");
    const QString after = text("TXT00065") + QStringLiteral("\r\n") + WrappedActivity(file) +
                          QStringLiteral(" -->[1]");
    ASSERT_GT(file.size(), 55); // the path is shown on two lines at least
    EXPECT_TRUE(WrappedActivity(file).contains(QStringLiteral("\r\n")));
    EXPECT_EQ(lines.filter(before).size(), 1) << lines.join(u'\n').toStdString();
    EXPECT_EQ(lines.filter(after).size(), 1) << lines.join(u'\n').toStdString();
}

TEST_F(BackupPassTest, TheProgressTextFollowsTheBytesDone)
{
    m_settings.MonitorWithRemaining = 1;
    m_settings.CompressData = 0;
    m_settings.sources[0].SourceDirSub = 0;
    source(QStringLiteral("a.txt"), QByteArray(1000, 'a'));
    source(QStringLiteral("b.txt"), QByteArray(1000, 'b'));
    EXPECT_EQ(pass().newFiles, 2);

    // The second file's lines carry the first file's share of the bytes.
    const QString half = text("TXT00065") + QStringLiteral(" (50%, ") + text("TXT00135") + u' ' +
                         text("TXT00136") + QStringLiteral(")\r\n");
    EXPECT_EQ(m_ui.statusLines().filter(half).size(), 2)
        << m_ui.statusLines().join(u'\n').toStdString();
}

TEST_F(BackupPassTest, ABackUpNowRequestWhileInactiveEndsInactive)
{
    m_run.StatusBeforeBackupNow = 0;
    source(QStringLiteral("a.txt"), "a");

    EXPECT_EQ(pass().newFiles, 1);

    EXPECT_EQ(m_run.Status.load(), 0);
    EXPECT_EQ(m_run.StatusBeforeBackupNow.load(), -9);
    EXPECT_EQ(m_run.ShownStatus.load(), -2);
    EXPECT_TRUE(TempHome::readFile(m_recorder.registryPath()).contains("inactive"));
}

TEST_F(BackupPassTest, TheAutomaticCleanUpRunsWhenDueAndNotAgainSoon)
{
    m_settings.NoAutomaticCleaning = 0;
    m_settings.MaxCleanUpEachMinutes = 60;
    m_clock.setMonotonicMs(10LL * 3600 * 1000);
    source(QStringLiteral("a.txt"), "a");

    (void)pass();
    ASSERT_EQ(m_remote.cleaned.size(), 1U);
    EXPECT_EQ(m_remote.cleaned[0], std::make_pair(1, m_target));
    EXPECT_TRUE(
        logged(QStringLiteral("\t\t") + text("TXT00155") + QStringLiteral("   [1] ") + m_target));
    EXPECT_EQ(m_ui.statusLines().filter(text("TXT00076")).size(), 1);

    m_clock.advanceSeconds(59 * 60);
    (void)pass();
    EXPECT_EQ(m_remote.cleaned.size(), 1U);
    m_clock.advanceSeconds(2 * 60);
    (void)pass();
    EXPECT_EQ(m_remote.cleaned.size(), 2U);

    m_settings.NoAutomaticCleaning = 1;
    m_clock.advanceSeconds(2 * 3600);
    (void)pass();
    EXPECT_EQ(m_remote.cleaned.size(), 2U);
}

TEST(BackupTexts, SizesShowOneDecimalInTheirUnitWithLeadingZeros)
{
    EXPECT_EQ(SizeText(0), QStringLiteral("0000.0 KB"));
    EXPECT_EQ(SizeText(1536), QStringLiteral("0001.5 KB"));
    EXPECT_EQ(SizeText(1048575), QStringLiteral("1024.0 KB"));
    EXPECT_EQ(SizeText(1048576), QStringLiteral("0001.0 MB"));
    EXPECT_EQ(SizeText(12897485), QStringLiteral("0012.3 MB"));
    EXPECT_EQ(SizeText(5LL * 1024 * 1024 * 1024), QStringLiteral("0005.0 GB"));
    EXPECT_EQ(SizeText(12345LL * 1024 * 1024 * 1024), QStringLiteral("12345.0 GB"));
}

TEST(BackupTexts, LongActivitiesBreakInFrontOfEvery55thCharacter)
{
    EXPECT_EQ(WrappedActivity(QString(55, u'a')), QString(55, u'a'));
    const QString text56 = QString(54, u'a') + QStringLiteral("bc");
    EXPECT_EQ(WrappedActivity(text56), QString(54, u'a') + QStringLiteral("\r\nbc"));
    QString long230;
    for (int i = 0; i < 230; ++i) {
        long230 += QChar(u'a' + i / 55);
    }
    // Characters 55, 110, 165 and 220 (counted from 1) begin new lines.
    const QStringList lines = WrappedActivity(long230).split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines[0], QString(54, u'a'));
    EXPECT_EQ(lines[1], QStringLiteral("a") + QString(54, u'b'));
    EXPECT_EQ(lines[4], QStringLiteral("d") + QString(10, u'e'));
}
