// What a run must not forget: the states of a source that is missing at
// start-up, and the last good file-time table when the settings or the table
// itself are damaged. Each case ends with a pass that saves the change made
// meanwhile.

#include "backup_run_fixture.h"

#include <QThread>

namespace fernhold::test {

namespace {

class DamagedStateTest : public BackupRunTest, public ::testing::WithParamInterface<int>
{
protected:
    DamagedStateTest()
    {
        m_settings.CompressData = 0;
        m_settings.WorkModeExtended = GetParam();
    }

    [[nodiscard]] QString table() const
    {
        return m_home.appData() + QStringLiteral("filetimes.txt");
    }
    [[nodiscard]] QString settingsFile() const
    {
        return m_home.appData() + QStringLiteral("fernhold.ini");
    }

    // A first run that saved both files, then an edit of one of them.
    void savedThenEdited()
    {
        source(QStringLiteral("same.txt"), "same");
        source(QStringLiteral("edited.txt"), "before");
        const RunResult r = once(false);
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        ASSERT_EQ(filesBelow(m_target).size(), 2);
        QThread::msleep(1100);
        source(QStringLiteral("edited.txt"), "edited while it could not be saved");
    }

    // Back to a first start, with an empty target.
    void reset()
    {
        QDir(m_target).removeRecursively();
        QDir().mkpath(m_target);
        for (const char* name : {"filetimes.txt", "state.ini", "fernhold.ini.damaged"}) {
            QFile::remove(m_home.appData() + QString::fromLatin1(name));
        }
    }

    // The next good run saves the edit.
    void editIsSavedNext()
    {
        QThread::msleep(1100);
        const RunResult r = once(false);
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_EQ(fileBytes(versionOf(QStringLiteral("edited.txt"), QStringLiteral(".txt"))),
                  QByteArray("edited while it could not be saved"))
            << r.err.toStdString();
    }
};

std::string modeName(const ::testing::TestParamInfo<int>& info)
{
    return info.param == 1 ? "extended" : "plain";
}

} // namespace

TEST_P(DamagedStateTest, ASourceMissingAtStartKeepsItsStatesUntilItIsBack)
{
    savedThenEdited();
    const QString away = m_home.path() + QStringLiteral("unplugged");
    ASSERT_TRUE(QDir().rename(m_source, away));
    RunResult r = once(false);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    ASSERT_TRUE(QDir().rename(away, m_source));

    editIsSavedNext();
    // The unchanged file still counts as known.
    EXPECT_EQ(filesBelow(mirror()).filter(QStringLiteral("same.txt@")).size(), 1);
}

TEST_P(DamagedStateTest, SettingsWithoutReadableContentReplaceNothingAndLoseNoChange)
{
    QByteArray binary(1500, '\0');
    for (int i = 0; i < binary.size(); ++i) {
        binary[i] = static_cast<char>((i * 97 + 3) % 256);
    }
    for (const QByteArray& damage : {QByteArray(), QByteArray("\xEF\xBB\xBF"), binary}) {
        savedThenEdited();
        const QByteArray tableBefore = fileBytes(table());
        m_home.writeFile(settingsFile().mid(m_home.path().size()), damage);

        const RunResult r = RunFernhold({QStringLiteral("--once")}, {}, 120000);
        ASSERT_TRUE(r.finished);
        // No target is configured in the defaults: nothing was saved, and
        // the run says why instead of ending as if all was well.
        EXPECT_NE(r.exitCode, 0);
        EXPECT_TRUE(QString::fromUtf8(r.err).contains(text("TXT00432"))) << r.err.toStdString();
        EXPECT_TRUE(logTexts().contains(QStringLiteral("\t\t") + text("TXT00432") + u' ' +
                                        settingsFile() + QStringLiteral(".damaged")));
        EXPECT_EQ(fileBytes(settingsFile()), damage);
        EXPECT_EQ(fileBytes(settingsFile() + QStringLiteral(".damaged")), damage);
        EXPECT_EQ(fileBytes(table()), tableBefore);

        save(); // the user mends the settings
        editIsSavedNext();
        reset();
    }
}

TEST_P(DamagedStateTest, ADamagedTableIsReportedAndEveryFileItCannotVouchForIsSaved)
{
    for (const QByteArray& damage :
         {QByteArray("-5\r\n"), QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16)}) {
        savedThenEdited();
        QByteArray kept = fileBytes(table());
        kept.replace(0, kept.indexOf('\n') + 1, damage);
        m_home.writeFile(table().mid(m_home.path().size()), kept);

        m_started = wholeSecond(QDateTime::currentDateTime());
        const RunResult r = once(false);
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_TRUE(QString::fromUtf8(r.err).contains(text("TXT00433"))) << r.err.toStdString();
        EXPECT_TRUE(
            logTexts().contains(QStringLiteral("\t\t") + text("TXT00433") + u' ' + table()));
        EXPECT_EQ(fileBytes(versionOf(QStringLiteral("edited.txt"), QStringLiteral(".txt"))),
                  QByteArray("edited while it could not be saved"));
        // The table is whole again.
        EXPECT_TRUE(fileBytes(table()).startsWith("2\r\n"));
        reset();
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, DamagedStateTest, ::testing::Values(0, 1), modeName);

} // namespace fernhold::test
