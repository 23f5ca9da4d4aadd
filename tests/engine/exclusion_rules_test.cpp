#include "core/job_settings.h"
#include "engine/exclusion_lists.h"
#include "engine/exclusion_rules.h"
#include "platform/folders.h"
#include "temp_home.h"

#include <gtest/gtest.h>

using namespace fernhold;
using fernhold::test::TempHome;

namespace {

class ExclusionTest : public ::testing::Test
{
protected:
    [[nodiscard]] Folders folders() const
    {
        return ResolveFolders(QStringLiteral("fernhold"), QStringLiteral("fernhold"));
    }
    [[nodiscard]] ExclusionRules rules() const { return ExclusionRules(settings, folders()); }
    [[nodiscard]] int excluded(const QString& folder, const QString& name,
                               const QString& filter = {}) const
    {
        return rules().IsExcludedFile(folder, name, filter);
    }
    [[nodiscard]] int kind(const QString& path) const { return rules().SystemFileKind(path); }

    TempHome home;
    JobSettings settings;
    const QString docs = QStringLiteral("/home/ann/Docs/");
};

} // namespace

TEST_F(ExclusionTest, ExcludedExtensionsMatchTheLowerCasedExtensionOnly)
{
    EXPECT_EQ(excluded(docs, QStringLiteral("report.TMP")), 1);
    EXPECT_EQ(excluded(docs, QStringLiteral("report.tmpx")), 0);
    EXPECT_EQ(excluded(docs, QStringLiteral("report.tmp.docx")), 0);
    EXPECT_EQ(excluded(docs, QStringLiteral("readme")), 0);

    // A value written in upper case by hand is compared as stored.
    settings.ExcludeFileTypes = QStringLiteral("TMP,Log");
    EXPECT_EQ(excluded(docs, QStringLiteral("report.TMP")), 0);
    EXPECT_EQ(excluded(docs, QStringLiteral("x.log")), 0);
}

TEST_F(ExclusionTest, SourceFilterKeepsOnlyItsExtensions)
{
    const QString filter = QStringLiteral("doc,docx");
    EXPECT_EQ(excluded(docs, QStringLiteral("a.docx"), filter), 0);
    EXPECT_EQ(excluded(docs, QStringLiteral("b.DOC"), filter), 0);
    EXPECT_EQ(excluded(docs, QStringLiteral("readme"), filter), 1);
    EXPECT_EQ(excluded(docs, QStringLiteral("c.do"), filter), 1);
    EXPECT_EQ(excluded(docs, QStringLiteral("trailing."), filter), 1);
    // The excluded extensions win over the filter.
    EXPECT_EQ(excluded(docs, QStringLiteral("a.tmp"), QStringLiteral("tmp")), 1);
}

TEST_F(ExclusionTest, SystemFileRulesInTheirLinuxForm)
{
    EXPECT_EQ(kind(QStringLiteral("/mnt/c/Windows/System32/config/SAM")), 1);
    // Searched from the third character on: a hive folder needs something before it.
    EXPECT_EQ(kind(QStringLiteral("/system32/config/SAM")), 0);
    EXPECT_EQ(kind(QStringLiteral("/mnt/c/Users/ann/NTUSER.DAT")), 2);
    EXPECT_EQ(kind(QStringLiteral("/mnt/c/Users/ann/ntuser.dat.log")), 0);
    EXPECT_EQ(kind(QStringLiteral("/mnt/win98/USER.DAT")), 3);
    EXPECT_EQ(kind(QStringLiteral("/mnt/c/pagefile.sys")), 4);

    EXPECT_EQ(kind(home.path() + QStringLiteral("tmp/x.docx")), 6);
    EXPECT_EQ(excluded(home.path() + QStringLiteral("tmp/deeper/"), QStringLiteral("x.docx")), 1);
    // Only the temporary folder itself: a folder named tmp elsewhere is ordinary.
    EXPECT_EQ(kind(home.path() + QStringLiteral("project/tmp/x.docx")), 0);
    EXPECT_EQ(kind(home.cacheHome() + QStringLiteral("thumbnails/x.png")), 5);
    EXPECT_EQ(kind(home.appData() + QStringLiteral("fernhold.ini")), 10);
    EXPECT_EQ(kind(home.appData() + QStringLiteral("sub/fernhold.ini")), 0);
    EXPECT_EQ(kind(folders().program + QStringLiteral("fernhold")), 10);
    EXPECT_EQ(kind(QStringLiteral("/mnt/backup/c\u00A6/Users/x.docx")), 11);

    // The first row that matches gives the number.
    EXPECT_EQ(kind(home.path() + QStringLiteral("tmp/pagefile.sys")), 4);
    EXPECT_EQ(kind(QStringLiteral("/mnt/c/windows/system32/config/ntuser.dat")), 1);
}

TEST_F(ExclusionTest, UnsetTemporaryFolderMeansTmpAndTheRootNeverCounts)
{
    qunsetenv("TMPDIR");
    EXPECT_EQ(kind(QStringLiteral("/tmp/x.docx")), 6);
    qputenv("TMPDIR", "/");
    EXPECT_EQ(kind(QStringLiteral("/tmp/x.docx")), 0);
    EXPECT_EQ(excluded(docs, QStringLiteral("x.docx")), 0);
}

TEST_F(ExclusionTest, TildeRuleFollowsTempCharacterOn)
{
    EXPECT_EQ(kind(docs + QStringLiteral("~$report.docx")), 20);
    EXPECT_EQ(excluded(docs, QStringLiteral("~$report.docx")), 1);
    settings.TempCharacterOn = 0;
    EXPECT_EQ(kind(docs + QStringLiteral("~$report.docx")), 0);
    EXPECT_EQ(excluded(docs, QStringLiteral("~$report.docx")), 0);
}

TEST_F(ExclusionTest, FragmentsAreLowerCasedSubstringsOfThePath)
{
    settings.ExcludeFileStrings = QStringLiteral("/mnt/C/Windows,docs/rep,hiberfil.sys");
    EXPECT_EQ(excluded(QStringLiteral("/mnt/c/windows/"), QStringLiteral("x.txt")), 1);
    EXPECT_EQ(excluded(QStringLiteral("/mnt/c/WindowsOld/"), QStringLiteral("x.txt")), 1);
    EXPECT_EQ(excluded(QStringLiteral("/mnt/d/windows/"), QStringLiteral("x.txt")), 0);
    // A fragment may run from the folder into the name.
    EXPECT_EQ(excluded(docs, QStringLiteral("Report.txt")), 1);
    EXPECT_EQ(excluded(docs, QStringLiteral("summary.txt")), 0);
    EXPECT_EQ(excluded(QStringLiteral("/mnt/c/"), QStringLiteral("HIBERFIL.SYS")), 1);

    // The default names the swap and hibernation files only: a fragment for
    // a system folder would also hit user folders of that name.
    settings = JobSettings();
    EXPECT_EQ(excluded(QStringLiteral("/home/ann/usr/"), QStringLiteral("x.txt")), 0);
    EXPECT_EQ(excluded(QStringLiteral("/home/ann/proj/usr/code/"), QStringLiteral("x.c")), 0);
    EXPECT_EQ(excluded(QStringLiteral("/mnt/c/"), QStringLiteral("hiberfil.sys")), 1);
}

TEST_F(ExclusionTest, EmptyAndUntrimmedFragmentsBehaveAsStored)
{
    settings.ExcludeFileStrings = QStringLiteral(",,");
    EXPECT_EQ(rules().ExcludeList().size(), 3);
    EXPECT_EQ(excluded(docs, QStringLiteral("a.txt")), 0);
    EXPECT_EQ(rules().IsExcludedFolder(QStringLiteral("/home")), 0);

    settings.ExcludeFileStrings = QStringLiteral(" /usr/");
    EXPECT_EQ(excluded(QStringLiteral("/usr/share/"), QStringLiteral("x.txt")), 0);
    EXPECT_EQ(excluded(QStringLiteral("/x /usr/"), QStringLiteral("x.txt")), 1);
}

TEST_F(ExclusionTest, FolderContainingAFragmentIsNotEntered)
{
    settings.ExcludeFileStrings = QStringLiteral("Build/Cache");
    const ExclusionRules r = rules();
    EXPECT_EQ(r.IsExcludedFolder(QStringLiteral("/home/ann/build/cache")), 1);
    EXPECT_EQ(r.IsExcludedFolder(QStringLiteral("/home/ann/BUILD/cache-old")), 1);
    EXPECT_EQ(r.IsExcludedFolder(QStringLiteral("/home/ann/build")), 0);
    EXPECT_EQ(r.IsExcludedFolder(QStringLiteral("/home/ann/build/cach")), 0);

    // Files right below such a folder are excluded as a whole.
    FolderExclusion below = r.forFolder(QStringLiteral("/home/ann/build/cache/"), {});
    EXPECT_TRUE(below.excludesEveryFile());
    EXPECT_EQ(below.IsExcludedFile(u"main.o"), 1);
    FolderExclusion beside = r.forFolder(QStringLiteral("/home/ann/build/"), {});
    EXPECT_FALSE(beside.excludesEveryFile());
    EXPECT_EQ(beside.IsExcludedFile(u"main.o"), 0);
}

TEST(ExclusionLists, TidyTypeList)
{
    EXPECT_EQ(TidyTypeList(QStringLiteral(" .JPG; .png ")), QStringLiteral("jpg,png"));
    EXPECT_EQ(TidyTypeList(QStringLiteral("Doc,, DOCX;;txt/")), QStringLiteral("doc,docx,txt"));
    EXPECT_EQ(TidyTypeList(QStringLiteral(",,,")), QString());
    EXPECT_EQ(TidyTypeList(QString()), QString());
}

TEST(ExclusionLists, TidyPathListKeepsSlashesAndCase)
{
    EXPECT_EQ(TidyPathList(QStringLiteral("  /usr/ , Pagefile.sys ,, /Mnt/C  ")),
              QStringLiteral("/usr/,Pagefile.sys,/Mnt/C"));
    EXPECT_EQ(TidyPathList(QStringLiteral("a, ,b")), QStringLiteral("a,b"));
    EXPECT_EQ(TidyPathList(QStringLiteral(",my docs/,")), QStringLiteral("my docs/"));
    EXPECT_EQ(TidyPathList(QString()), QString());
}

TEST(ExclusionLists, ExcludeListIsLowerCasedAndUntrimmed)
{
    EXPECT_EQ(BuildExcludeList(QStringLiteral("/USR/, X,,")),
              QStringList({QStringLiteral("/usr/"), QStringLiteral(" x"), QString(), QString()}));
    EXPECT_EQ(BuildExcludeList(QString()), QStringList({QString()}));
}

// The walk's per-folder form must answer exactly as the per-path functions,
// whatever the settings, folder and name; one FolderExclusion serves all names
// of a folder, so its scratch buffers are reused across ASCII and other names.
TEST_F(ExclusionTest, PerFolderFormAgreesWithPerPathFunctions)
{
    const Folders f = folders();
    const QStringList folderList = {
        f.userTemp,
        f.userTemp + QStringLiteral("Sub/"),
        f.internetCache + QStringLiteral("x/"),
        f.appData,
        f.appData + QStringLiteral("sub/"),
        f.program,
        QStringLiteral("/mnt/c/Windows/System32/config/"),
        QStringLiteral("/home/ann/Docs/"),
        QStringLiteral("/home/ann/DOCS/rep/"),
        QStringLiteral("/usr/share/"),
        QStringLiteral("/home/ann/usr/"),
        QStringLiteral("/srv/c\u00A6/data/"),
        QStringLiteral("/home/\u00C4NN/\u0130stanbul/"),
        QStringLiteral("/"),
    };
    const QStringList names = {
        QStringLiteral("report.TMP"),    QStringLiteral("report.tmpx"),
        QStringLiteral("readme"),        QStringLiteral("a.docx"),
        QStringLiteral("b.DOC"),         QStringLiteral("~$x.docx"),
        QStringLiteral("NTUSER.DAT"),    QStringLiteral("pagefile.sys"),
        QStringLiteral("Win386.SWP"),    QStringLiteral("x.tar.gz"),
        QStringLiteral(".bashrc"),       QStringLiteral("trailing."),
        QStringLiteral("\u0130NCE.DOC"), QStringLiteral("\u03A3\u0391\u03A3.txt"),
        QStringLiteral("a,b.doc"),       QStringLiteral("doc,docx"),
        QStringLiteral("hiberfil.sys"),  QStringLiteral("Report.txt"),
        QStringLiteral("a~b"),           QStringLiteral("emoji\U0001F600.Doc"),
        QStringLiteral("usr"),           QStringLiteral("x.LOG"),
        QStringLiteral("Y.\u00C4X"),
    };
    struct Variant
    {
        QString types, strings, filter;
        std::int8_t tilde;
    };
    const std::vector<Variant> variants = {
        {QStringLiteral("temp,tmp,log,exe,dll,ocx"),
         QStringLiteral("/usr/,pagefile.sys,hiberfil.sys"),
         {},
         1},
        {QStringLiteral("temp,tmp,log"), QStringLiteral("docs/rep,s/rep,\u0130,ORT.T"),
         QStringLiteral("doc,docx,txt,\u00E4x"), 0},
        {{}, QStringLiteral("usr,,/home/ann/docs/a, x"), QStringLiteral("doc"), 1},
        {QStringLiteral("b,doc,"), {}, QStringLiteral("gz,,"), 1},
    };

    int excludedCount = 0;
    int keptCount = 0;
    for (const Variant& v : variants) {
        settings.ExcludeFileTypes = v.types;
        settings.ExcludeFileStrings = v.strings;
        settings.TempCharacterOn = v.tilde;
        const ExclusionRules r = rules();
        for (const QString& folder : folderList) {
            FolderExclusion perFolder = r.forFolder(folder, v.filter);
            for (const QString& name : names) {
                const int expected = r.IsExcludedFile(folder, name, v.filter);
                ASSERT_EQ(perFolder.IsExcludedFile(name), expected)
                    << qPrintable(folder + name) << " types " << qPrintable(v.types) << " strings "
                    << qPrintable(v.strings) << " filter " << qPrintable(v.filter);
                ASSERT_EQ(perFolder.SystemFileKind(name), r.SystemFileKind(folder + name))
                    << qPrintable(folder + name);
                (expected ? excludedCount : keptCount)++;
            }
        }
    }
    // Both answers occur often, so the comparison means something.
    EXPECT_GT(excludedCount, 200);
    EXPECT_GT(keptCount, 100);
}
