#include "backup_run_fixture.h"

#include <QSet>
#include <map>
#include <sys/stat.h>

namespace fernhold::test {

namespace {

// Runs in both forms: plain copies and zip archives. The first run of a test
// is a full backup; extended mode makes the next run save only what the
// first did not.
class RunFault : public BackupRunTest, public ::testing::WithParamInterface<int>
{
protected:
    void SetUp() override
    {
        m_settings.CompressData = static_cast<std::int8_t>(GetParam());
        m_settings.WorkModeExtended = 1;
    }

    [[nodiscard]] QString suffix(const QString& extension) const
    {
        return GetParam() == 1 ? QStringLiteral(".zip") : u'.' + extension;
    }

    // The content of a version, unpacked when it is an archive.
    [[nodiscard]] QByteArray restored(const QString& version, const QString& name) const
    {
        if (version.isEmpty()) {
            return QByteArray("<no version>");
        }
        if (GetParam() == 0) {
            return fileBytes(version);
        }
        return extracted(version, name).value_or(QByteArray("<not extracted>"));
    }

    // Nothing half-written anywhere below `folder`: no temporary copies, and
    // every version restores to a file of the source.
    void expectOnlyCompleteVersions(const QString& folder,
                                    const std::map<QString, QByteArray>& sources) const
    {
        for (const QString& relative : filesBelow(folder)) {
            const QString name = QFileInfo(relative).fileName();
            EXPECT_FALSE(name.startsWith(QStringLiteral("~fernhold"))) << relative.toStdString();
            const qsizetype at = name.lastIndexOf(u'@');
            ASSERT_GT(at, 0) << relative.toStdString();
            const QString original = name.left(at);
            const auto it = sources.find(original);
            ASSERT_NE(it, sources.end()) << relative.toStdString();
            EXPECT_EQ(restored(folder + relative, original), it->second) << relative.toStdString();
        }
    }
};

std::string formName(const ::testing::TestParamInfo<int>& info)
{
    return info.param == 1 ? "zip" : "copy";
}

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

} // namespace

TEST_P(RunFault, AnUnreadableFileIsReportedAndSavedOnceItCanBeRead)
{
    const auto ordinary = ordinaryUserWrapper();
    if (!ordinary) {
        GTEST_SKIP() << "cannot start fernhold without root's file rights";
    }
    m_settings.WarnFileLocked = 1;
    const QString locked = source(QStringLiteral("private/locked.txt"), "mine alone");
    source(QStringLiteral("open.txt"), "for all");
    ASSERT_EQ(::chmod(native(locked).constData(), 0), 0);

    const ToolResult first = onceThrough(*ordinary);
    ASSERT_EQ(first.exitCode, 3) << first.err.toStdString(); // a file failed

    EXPECT_EQ(
        restored(versionOf(QStringLiteral("open.txt"), suffix("txt")), QStringLiteral("open.txt")),
        QByteArray("for all"));
    EXPECT_TRUE(versionOf(QStringLiteral("private/locked.txt"), suffix("txt")).isEmpty());
    EXPECT_TRUE(logTexts().contains(failedLine(locked))) << logTexts().join(u'\n').toStdString();
    EXPECT_TRUE(QString::fromUtf8(first.err).contains(text("TXT00133") + u'\n' + locked))
        << first.err.toStdString();
    EXPECT_EQ(filesBelow(m_target).size(), 1);

    ASSERT_EQ(::chmod(native(locked).constData(), 0600), 0);
    const ToolResult second = onceThrough(*ordinary, false);
    ASSERT_EQ(second.exitCode, 0) << second.err.toStdString();
    EXPECT_EQ(restored(versionOf(QStringLiteral("private/locked.txt"), suffix("txt")),
                       QStringLiteral("locked.txt")),
              QByteArray("mine alone"));
    EXPECT_EQ(filesBelow(m_target).size(), 2);
}

TEST_P(RunFault, AReadOnlyTargetGetsNothingAndTheIndexStaysAsItWas)
{
    const auto ordinary = ordinaryUserWrapper();
    if (!ordinary) {
        GTEST_SKIP() << "cannot start fernhold without root's file rights";
    }
    const QString edited = source(QStringLiteral("sub/edited.txt"), "first");
    source(QStringLiteral("same.txt"), "same");
    ASSERT_EQ(once().exitCode, 0);
    const QStringList saved = filesBelow(m_target);
    ASSERT_EQ(saved.size(), 2);
    const QString table = m_home.appData() + QStringLiteral("filetimes.txt");
    const QByteArray tableBefore = fileBytes(table);

    source(QStringLiteral("sub/edited.txt"), "second, longer");
    const QString added = source(QStringLiteral("added.txt"), "added");
    for (const QString& folder : {mirror(), mirror() + QStringLiteral("sub")}) {
        ASSERT_EQ(::chmod(native(folder).constData(), 0555), 0);
    }
    const ToolResult failed = onceThrough(*ordinary, false);
    ASSERT_EQ(failed.exitCode, 3) << failed.err.toStdString(); // files failed

    EXPECT_EQ(summaryOf(failed.err).value(0),
              text("TXT00078") + QStringLiteral(" (0 ") + text("TXT00079") + u')')
        << failed.err.toStdString();
    EXPECT_TRUE(logTexts().contains(failedLine(edited)));
    EXPECT_TRUE(logTexts().contains(failedLine(added)));
    EXPECT_EQ(filesBelow(m_target), saved);
    // The failed pass added nothing: the table holds the unchanged file
    // only, whose state it held before.
    const QList<QByteArray> before = tableBefore.split('\n');
    const QList<QByteArray> after = fileBytes(table).split('\n');
    ASSERT_EQ(before.value(0), QByteArray("2\r"));
    ASSERT_EQ(after.value(0), QByteArray("1\r"));
    EXPECT_TRUE(before.mid(1).contains(after.value(1)));

    for (const QString& folder : {mirror(), mirror() + QStringLiteral("sub")}) {
        ASSERT_EQ(::chmod(native(folder).constData(), 0755), 0);
    }
    const ToolResult again = onceThrough(*ordinary, false);
    ASSERT_EQ(again.exitCode, 0) << again.err.toStdString();
    EXPECT_EQ(summaryOf(again.err).value(0),
              text("TXT00078") + QStringLiteral(" (2 ") + text("TXT00079") + u')');
    const QString newEdited = versionOf(QStringLiteral("sub/edited.txt"), suffix("txt"));
    const QString newAdded = versionOf(QStringLiteral("added.txt"), suffix("txt"));
    EXPECT_EQ(restored(newEdited, QStringLiteral("edited.txt")), QByteArray("second, longer"));
    EXPECT_EQ(restored(newAdded, QStringLiteral("added.txt")), QByteArray("added"));
    // A run in the same second as the first replaces its version of the file.
    QSet<QString> expected(saved.begin(), saved.end());
    expected << newEdited.mid(m_target.size()) << newAdded.mid(m_target.size());
    const QStringList now = filesBelow(m_target);
    EXPECT_EQ(QSet<QString>(now.begin(), now.end()), expected);
}

TEST_P(RunFault, AFullTargetKeepsOnlyCompleteVersionsAndTheRestFollows)
{
    if (!canMountPrivately()) {
        GTEST_SKIP() << "needs root and a mount namespace for a small file system";
    }
    // Five files of 100 KB that do not compress, on a file system of 256 KB:
    // two fit, the third fills it.
    std::map<QString, QByteArray> sources;
    for (int i = 1; i <= 5; ++i) {
        const QString name = QStringLiteral("part%1.bin").arg(i);
        sources[name] = noiseBytes(100 * 1024, static_cast<quint32>(i));
        source(name, sources[name]);
    }
    save();
    const QString out = m_home.path() + QStringLiteral("seen/");
    QDir().mkpath(out);
    // fernhold runs twice in a mount namespace of its own, where the target is
    // a small tmpfs: full, then grown. What the target held after each run is
    // copied out before the namespace and its mount end.
    const QString script =
        QStringLiteral("set -u\n"
                       "mount -t tmpfs -o size=256k,mode=0755 tmpfs \"$1\" || exit 90\n"
                       "\"$2\" --once --full --verbose 2>\"$3/err1\"; echo $? >\"$3/rc1\"\n"
                       "mkdir \"$3/first\" && cp -a \"$1/.\" \"$3/first/\"\n"
                       "mount -o remount,size=8m \"$1\" || exit 91\n"
                       "\"$2\" --once --verbose 2>\"$3/err2\"; echo $? >\"$3/rc2\"\n"
                       "mkdir \"$3/second\" && cp -a \"$1/.\" \"$3/second/\"\n");
    m_started = wholeSecond(QDateTime::currentDateTime());
    const ToolResult r =
        runTool(QStringLiteral("unshare"),
                {QStringLiteral("-m"), QStringLiteral("--propagation"), QStringLiteral("private"),
                 QStringLiteral("/bin/sh"), QStringLiteral("-c"), script, QStringLiteral("sh"),
                 m_target, FernholdProgram(), out});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(fileBytes(out + QStringLiteral("rc1")), QByteArray("3\n")); // files failed
    EXPECT_EQ(fileBytes(out + QStringLiteral("rc2")), QByteArray("0\n"));

    const QString mirrored = MirrorText(m_source);
    const QStringList first = filesBelow(out + QStringLiteral("first/"));
    const QStringList second = filesBelow(out + QStringLiteral("second/"));
    EXPECT_GE(first.size(), 1);
    EXPECT_LT(first.size(), 5) << "the small file system took every file";
    expectOnlyCompleteVersions(out + QStringLiteral("first/") + mirrored, sources);
    int failures = 0;
    for (const QString& line : logTexts()) {
        failures +=
            line.startsWith(QStringLiteral("\t\t") + text("TXT00150") + QStringLiteral(": "));
    }
    EXPECT_EQ(failures, 5 - first.size());

    // The second run saved exactly the files the first could not.
    EXPECT_EQ(second.size(), 5);
    for (const QString& name : first) {
        EXPECT_TRUE(second.contains(name)) << name.toStdString();
    }
    expectOnlyCompleteVersions(out + QStringLiteral("second/") + mirrored, sources);
    QSet<QString> originals;
    for (const QString& name : second) {
        originals.insert(QFileInfo(name).fileName().section(u'@', 0, 0));
    }
    EXPECT_EQ(originals.size(), 5);
    EXPECT_TRUE(filesBelow(m_target).isEmpty()); // the mount is gone with its namespace
}

TEST_P(RunFault, NamesWithBlanksQuotesSignsAndForeignLettersKeepTheirBytes)
{
    m_settings.TempCharacterOn = 0;
    const QStringList names = {
        QStringLiteral("with blanks  and  more.txt"),
        QStringLiteral("it's \"quoted\".txt"),
        QStringLiteral("mail@example.org.txt"),
        QStringLiteral("@listfile.txt"),
        QStringLiteral("-dash.txt"),
        QStringLiteral("tilde~name.txt"),
        QStringLiteral("~leading tilde.txt"),
        QStringLiteral("Grüße aus Køln, ĳ ß.txt"),
        QStringLiteral("日本語 ファイル.txt"),
        QStringLiteral("wild*card?[x].txt"),
        QStringLiteral("Ordner mit Ü & \"Zitat\"/inner name.txt"),
    };
    std::map<QString, QByteArray> sources;
    for (const QString& name : names) {
        const QByteArray content = name.toUtf8() + QByteArray(100, '.');
        sources[QFileInfo(name).fileName()] = content;
        source(name, content);
    }

    const RunResult r = once();
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();

    for (const QString& name : names) {
        const QString version = versionOf(name, suffix(QStringLiteral("txt")));
        EXPECT_FALSE(version.isEmpty()) << name.toStdString();
        EXPECT_EQ(restored(version, QFileInfo(name).fileName()),
                  sources[QFileInfo(name).fileName()])
            << name.toStdString();
    }
    EXPECT_EQ(filesBelow(m_target).size(), names.size());
    expectOnlyCompleteVersions(mirror(), sources);
    EXPECT_EQ(summaryOf(r.err).value(0),
              text("TXT00078") + QStringLiteral(" (") + text("TXT00160") + QStringLiteral(", ") +
                  QString::number(names.size()) + u' ' + text("TXT00064") + u')');
}

TEST_P(RunFault, ANameOf255BytesIsReportedAsTooLongForTheTarget)
{
    m_settings.WarnLongPath = 1;
    const QString longName =
        QString(100, QChar(0x00E9)) + QString(51, u'e') + QStringLiteral(".txt");
    ASSERT_EQ(longName.toUtf8().size(), 255);
    const QString file = source(longName, "no room for the stamp");
    source(QStringLiteral("short.txt"), "fits");

    const RunResult r = once();
    ASSERT_EQ(r.exitCode, 3) << r.err.toStdString(); // the long name failed

    EXPECT_EQ(filesBelow(m_target).size(), 1);
    EXPECT_TRUE(logTexts().contains(failedLine(file)));
    EXPECT_TRUE(
        logTexts().contains(QStringLiteral("\t\t") + text("TXT00190") + QStringLiteral(": 1")));
    const QStringList summary = summaryOf(r.err);
    ASSERT_GE(summary.size(), 3) << r.err.toStdString();
    EXPECT_EQ(summary[1], text("TXT00190") + QStringLiteral(" (1)"));
    EXPECT_EQ(summary[2], QStringLiteral("short.txt"));
    EXPECT_TRUE(QString::fromUtf8(r.err).contains(text("TXT00190") + QStringLiteral(": 1\n\n") +
                                                  text("HLP00027")))
        << r.err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Forms, RunFault, ::testing::Values(0, 1), formName);

} // namespace fernhold::test
