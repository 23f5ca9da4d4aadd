#include "backup_run_fixture.h"

#include <QSet>

namespace fernhold::test {

namespace {

// One form of version.
struct VersionForm
{
    const char* name;
    int compress;
    int crypt;
    int method;
    const char* password;
    QString suffix;
    const char* methodText; // as `7za l -slt` shows it
};

const QString kCopyright(QChar(0x00A9));

class EveryForm : public BackupRunTest, public ::testing::WithParamInterface<VersionForm>
{
};

std::string formName(const ::testing::TestParamInfo<VersionForm>& info)
{
    return info.param.name;
}

// The values of one key ("Path", "Method", ...) in a technical listing.
QStringList listed(const QByteArray& slt, const QString& key)
{
    QStringList values;
    for (const QString& line : QString::fromUtf8(slt).split(u'\n')) {
        if (line.startsWith(key + QStringLiteral(" = "))) {
            values.append(line.mid(key.size() + 3).trimmed());
        }
    }
    return values;
}

} // namespace

TEST_P(EveryForm, AChangedFileBecomesAVersionThatRestoresByteForByte)
{
    const VersionForm form = GetParam();
    m_settings.CompressData = static_cast<std::int8_t>(form.compress);
    m_settings.CryptData = static_cast<std::int8_t>(form.crypt);
    m_settings.CryptMethode = static_cast<std::int8_t>(form.method);
    m_settings.CryptPassword = QString::fromUtf8(form.password);
    const QByteArray content = noiseBytes(20000, 7) + QByteArray(30000, 'z');
    const QString file = source(QStringLiteral("Reports/report.docx"), content);

    // Fernhold packs by itself: no archiver program on its PATH.
    const QByteArray path = qgetenv("PATH");
    const QString noPrograms = m_home.path() + QStringLiteral("no-programs/");
    QDir().mkpath(noPrograms);
    qputenv("PATH", QFile::encodeName(noPrograms));
    const RunResult r = once();
    qputenv("PATH", path);
    if (form.crypt == 1 && *form.password == 0) {
        // Encryption without a password no longer gives a plain archive: the
        // file is not saved at all.
        EXPECT_EQ(r.exitCode, 3) << r.err.toStdString();
        EXPECT_TRUE(filesBelow(m_target).isEmpty());
        return;
    }
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();

    // As in the example: target root + the source path without its leading
    // "/" + "@" + the date and time + the suffix.
    const QString version = versionOf(QStringLiteral("Reports/report.docx"), form.suffix);
    ASSERT_FALSE(version.isEmpty()) << filesBelow(m_target).join(u' ').toStdString();
    EXPECT_TRUE(version.startsWith(m_target + file.mid(1) + u'@'));
    EXPECT_EQ(filesBelow(m_target).size(), 1);

    if (form.compress == 0) {
        EXPECT_EQ(fileBytes(version), content);
        return;
    }
    const ToolResult slt = sevenZip({QStringLiteral("l"), QStringLiteral("-slt"), version});
    ASSERT_EQ(slt.exitCode, 0) << slt.out.toStdString();
    EXPECT_EQ(listed(slt.out, QStringLiteral("Path")).mid(1),
              QStringList{QStringLiteral("report.docx")}); // the first Path is the archive's
    EXPECT_EQ(listed(slt.out, QStringLiteral("Method")),
              QStringList{QString::fromLatin1(form.methodText)});
    EXPECT_EQ(listed(slt.out, QStringLiteral("Encrypted")),
              QStringList{form.crypt == 1 && *form.password != 0 ? QStringLiteral("+")
                                                                 : QStringLiteral("-")});
    const ToolResult names = runTool(QStringLiteral("unzip"), {QStringLiteral("-Z1"), version});
    EXPECT_EQ(names.out, QByteArray("report.docx\n"));

    // Python's zipfile reads what it knows: unencrypted and ZipCrypto.
    const auto python = [&version](const QString& password) {
        return runTool(QStringLiteral("python3"),
                       {QStringLiteral("-c"),
                        QStringLiteral("import sys, zipfile\n"
                                       "z = zipfile.ZipFile(sys.argv[1])\n"
                                       "p = sys.argv[2].encode() if sys.argv[2] else None\n"
                                       "sys.stdout.buffer.write(z.read('report.docx', pwd=p))\n"),
                        version, password});
    };
    if (*form.password == 0) {
        EXPECT_EQ(extracted(version, QStringLiteral("report.docx")), content);
        EXPECT_EQ(runTool(QStringLiteral("unzip"), {QStringLiteral("-p"), version}).out, content);
        EXPECT_EQ(python(QString()).out, content);
        return;
    }
    const QString password = QString::fromUtf8(form.password);
    EXPECT_FALSE(extracted(version, QStringLiteral("report.docx")).has_value());
    EXPECT_FALSE(
        extracted(version, QStringLiteral("report.docx"), QStringLiteral("wrong")).has_value());
    EXPECT_EQ(extracted(version, QStringLiteral("report.docx"), password), content);
    const ToolResult wrong =
        runTool(QStringLiteral("unzip"),
                {QStringLiteral("-p"), QStringLiteral("-P"), QStringLiteral("wrong"), version});
    EXPECT_NE(wrong.exitCode, 0);
    EXPECT_NE(wrong.out, content);
    if (form.method == 0) {
        // unzip knows ZipCrypto (not AES).
        EXPECT_EQ(runTool(QStringLiteral("unzip"),
                          {QStringLiteral("-p"), QStringLiteral("-P"), password, version})
                      .out,
                  content);
        EXPECT_EQ(python(password).out, content);
        EXPECT_NE(python(QStringLiteral("wrong")).exitCode, 0);
        EXPECT_NE(python(QString()).exitCode, 0);
    }
    // The password never shows on a command line: it is not in the log either.
    EXPECT_FALSE(logTexts().join(u'\n').contains(password));
}

INSTANTIATE_TEST_SUITE_P(
    Forms, EveryForm,
    ::testing::Values(VersionForm{"copy", 0, 0, 0, "", QStringLiteral(".docx"), ""},
                      VersionForm{"zip", 1, 0, 0, "", QStringLiteral(".zip"), "Deflate"},
                      VersionForm{"encryptedWithoutPassword", 1, 1, 2, "", QStringLiteral(".zip"),
                                  "Deflate"},
                      VersionForm{"zipCrypto", 1, 1, 0, "correct horse",
                                  kCopyright + QStringLiteral(".zip"), "ZipCrypto Deflate"},
                      VersionForm{"aes128", 1, 1, 1, "correct horse",
                                  kCopyright + QStringLiteral(".zip"), "AES-128 Deflate"},
                      VersionForm{"aes256", 1, 1, 2, "correct horse",
                                  kCopyright + QStringLiteral(".zip"), "AES-256 Deflate"}),
    formName);

TEST_F(BackupRunTest, TheFilterExcludedTypesAndSizeLimitChooseTheFiles)
{
    m_settings.CompressData = 0;
    m_settings.ExcludeFileTypes = QStringLiteral("log,tmp");
    m_settings.BackupSize = 4;
    m_settings.BackupUnit = 0; // kilobytes
    m_settings.sources[0].SourceDirFilter = QStringLiteral("txt,doc");
    const QString pictures = m_home.path() + QStringLiteral("Pictures/");
    SourceEntry second;
    second.SourceDirPfad = pictures;
    second.SourceDirSub = 1;
    second.SourceDirTarget = QStringLiteral("1");
    m_settings.sources.append(second);
    source(QStringLiteral("a.txt"), "a");
    source(QStringLiteral("sub/b.DOC"), "b");
    source(QStringLiteral("c.pdf"), "c");
    source(QStringLiteral("README"), "no extension, filtered out");
    source(QStringLiteral("trace.log"), "t");
    source(QStringLiteral("big.txt"), QByteArray(4097, 'b'));
    m_home.writeFile(QStringLiteral("Pictures/photo.jpg"), "p");
    m_home.writeFile(QStringLiteral("Pictures/exact.jpg"), QByteArray(4096, 'e'));
    m_home.writeFile(QStringLiteral("Pictures/huge.jpg"), QByteArray(5000, 'h'));
    m_home.writeFile(QStringLiteral("Pictures/debug.log"), "d");
    m_home.writeFile(QStringLiteral("Pictures/old/cache.TMP"), "c");

    const RunResult r = once();
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();

    QStringList saved;
    for (const QString& name : filesBelow(m_target)) {
        saved.append(name.left(name.indexOf(u'@')));
    }
    EXPECT_EQ(saved, (QStringList{MirrorText(m_source) + QStringLiteral("a.txt"),
                                  MirrorText(m_source) + QStringLiteral("sub/b.DOC"),
                                  MirrorText(pictures) + QStringLiteral("exact.jpg"),
                                  MirrorText(pictures) + QStringLiteral("photo.jpg")}));
}

TEST_F(BackupRunTest, WithTheSecondTargetUnreachableTheLogLineEndsInOne)
{
    const QString unplugged = m_home.path() + QStringLiteral("unplugged/");
    m_settings.target(2).TargetType = QStringLiteral("WIN");
    m_settings.target(2).TargetDir = unplugged;
    m_settings.sources[0].SourceDirTarget = QStringLiteral("1,2");
    const QString file = source(QStringLiteral("a.txt"), QByteArray(2048, 'a'));

    const RunResult r = once();
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();

    const QStringList log = logTexts();
    EXPECT_TRUE(log.contains(QStringLiteral("0002.0 KB\t2048\t") + file + QStringLiteral(" [1]")))
        << log.join(u'\n').toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("\t\t") + text("TXT00159") + QStringLiteral(":  [2] ") +
                             unplugged));
    EXPECT_FALSE(versionOf(QStringLiteral("a.txt"), QStringLiteral(".zip")).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(unplugged));
    EXPECT_EQ(summaryOf(r.err).value(0), text("TXT00078") + QStringLiteral(" (") +
                                             text("TXT00160") + QStringLiteral(", 1 ") +
                                             text("TXT00064") + u')');
}

TEST_F(BackupRunTest, TheSummaryOfSixFilesShowsFourNamesAndMore)
{
    QSet<QString> names;
    for (int i = 1; i <= 6; ++i) {
        const QString name = QStringLiteral("letter %1.odt").arg(i);
        names.insert(name);
        source(name, QByteArray::number(i));
    }

    const RunResult r = once();
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();

    const QStringList summary = summaryOf(r.err);
    ASSERT_EQ(summary.size(), 6) << r.err.toStdString();
    EXPECT_EQ(summary[0], text("TXT00078") + QStringLiteral(" (") + text("TXT00160") +
                              QStringLiteral(", 6 ") + text("TXT00064") + u')');
    const QSet<QString> shown(summary.begin() + 1, summary.begin() + 5);
    EXPECT_EQ(shown.size(), 4);
    EXPECT_TRUE(names.contains(shown));
    EXPECT_EQ(summary[5], text("TXT00077"));
    EXPECT_EQ(filesBelow(m_target).size(), 6);
}

TEST_F(BackupRunTest, WithoutAReachableTargetNothingIsSavedAndTheExitCodeIsOne)
{
    m_settings.target(1).TargetDir = m_home.path() + QStringLiteral("unplugged/");
    source(QStringLiteral("a.txt"), "a");

    const RunResult r = once();

    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(QString::fromUtf8(r.err).contains(text("TXT00075"))) << r.err.toStdString();
    EXPECT_TRUE(logTexts().contains(QStringLiteral("\t\t") + text("TXT00153")));
    EXPECT_TRUE(filesBelow(m_target).isEmpty());
}

TEST_F(BackupRunTest, OnlyWhatChangedAfterTheLastRunIsSavedInExtendedMode)
{
    m_settings.WorkModeExtended = 1;
    m_settings.CompressData = 0;
    source(QStringLiteral("same.txt"), "same");
    source(QStringLiteral("edited.txt"), "before");
    ASSERT_EQ(once().exitCode, 0);
    ASSERT_EQ(filesBelow(m_target).size(), 2);

    source(QStringLiteral("edited.txt"), "after the first run");
    source(QStringLiteral("added.txt"), "new");
    const RunResult r = once(false);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();

    EXPECT_EQ(summaryOf(r.err).value(0),
              text("TXT00078") + QStringLiteral(" (2 ") + text("TXT00079") + u')');
    EXPECT_EQ(fileBytes(versionOf(QStringLiteral("edited.txt"), QStringLiteral(".txt"))),
              QByteArray("after the first run"));
    EXPECT_EQ(fileBytes(versionOf(QStringLiteral("added.txt"), QStringLiteral(".txt"))),
              QByteArray("new"));
    // Three or four versions: a second run within the first one's second
    // replaces that run's version of the edited file.
    QStringList kept;
    for (const QString& name : filesBelow(m_target)) {
        kept.append(QFileInfo(name).fileName().section(u'@', 0, 0));
    }
    kept.removeDuplicates();
    kept.sort();
    EXPECT_EQ(kept, (QStringList{QStringLiteral("added.txt"), QStringLiteral("edited.txt"),
                                 QStringLiteral("same.txt")}));
    EXPECT_EQ(filesBelow(m_target).filter(QStringLiteral("same.txt@")).size(), 1);
}

} // namespace fernhold::test
