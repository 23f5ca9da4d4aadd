#include "core/text_table.h"
#include "fake_user_interface.h"
#include "runtime/start_updater.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

namespace fernhold::test {

namespace {

QString title()
{
    return QStringLiteral("Update - ") + Text("Program_Title");
}

// A program folder whose updater notes the folder it runs in and its
// arguments.
class UpdaterFolder
{
public:
    explicit UpdaterFolder(bool executable)
    {
        QFile updater(path() + QStringLiteral("/Update"));
        EXPECT_TRUE(updater.open(QIODevice::WriteOnly));
        updater.write("#!/bin/sh\necho \"$PWD|$#\" > ran.tmp && mv ran.tmp ran\n");
        updater.close();
        QFile::Permissions rights = QFile::ReadOwner | QFile::WriteOwner;
        if (executable) {
            rights |= QFile::ExeOwner;
        }
        updater.setPermissions(rights);
    }
    [[nodiscard]] QString path() const { return m_dir.path(); }
    // What the updater noted, once it ran; "" when it did not run within a few seconds.
    [[nodiscard]] QString ran() const
    {
        QFile note(path() + QStringLiteral("/ran"));
        for (QDeadlineTimer deadline(5000); !deadline.hasExpired(); QThread::msleep(20)) {
            if (note.open(QIODevice::ReadOnly)) {
                return QString::fromUtf8(note.readAll()).trimmed();
            }
        }
        return {};
    }
    [[nodiscard]] bool ranAtAll() const { return QFile::exists(path() + QStringLiteral("/ran")); }

private:
    QTemporaryDir m_dir;
};

} // namespace

TEST(StartUpdaterTest, WithoutAnUpdaterItPointsToThePackageManager)
{
    QTemporaryDir empty;
    FakeUserInterface ui;
    EXPECT_EQ(StartUpdater(ui, empty.path(), true), 0);
    EXPECT_TRUE(ui.questions().empty());
    ASSERT_EQ(ui.messages().size(), 1U);
    EXPECT_EQ(ui.messages()[0].text, Text("TXT00534"));
    EXPECT_EQ(ui.messages()[0].title, title());
}

TEST(StartUpdaterTest, AsksFirstAndCancelIsTheDefault)
{
    UpdaterFolder folder(true);
    FakeUserInterface ui;
    EXPECT_EQ(StartUpdater(ui, folder.path(), false), 0);
    ASSERT_EQ(ui.questions().size(), 1U);
    const QString asked = ui.questions()[0].text;
    EXPECT_EQ(ui.questions()[0].title, title());
    // Without the rights to replace the program, the warning comes first.
    EXPECT_TRUE(asked.startsWith(Text("TXT00109") + QStringLiteral("\r\n\r\n"))) << asked.toStdString();
    EXPECT_TRUE(asked.endsWith(Text("TXT00110") + QStringLiteral("\r\n") + Text("TXT00111") +
                               QStringLiteral("\r\n")));
    QThread::msleep(300);
    EXPECT_FALSE(folder.ranAtAll());

    FakeUserInterface asAdministrator;
    EXPECT_EQ(StartUpdater(asAdministrator, folder.path(), true), 0);
    ASSERT_EQ(asAdministrator.questions().size(), 1U);
    EXPECT_TRUE(asAdministrator.questions()[0].text.startsWith(Text("TXT00110")));
}

TEST(StartUpdaterTest, OkStartsTheUpdaterInTheProgramFolderWithoutArguments)
{
    UpdaterFolder folder(true);
    FakeUserInterface ui;
    ui.queueAnswer(true);
    EXPECT_EQ(StartUpdater(ui, folder.path(), true), 1);
    EXPECT_EQ(folder.ran(), folder.path() + QStringLiteral("|0"));
    EXPECT_TRUE(ui.messages().empty());
}

TEST(StartUpdaterTest, AnUpdaterThatCannotStartIsReportedAndFernholdKeepsRunning)
{
    UpdaterFolder folder(false);
    FakeUserInterface ui;
    ui.queueAnswer(true);
    EXPECT_EQ(StartUpdater(ui, folder.path(), true), 0);
    ASSERT_EQ(ui.messages().size(), 1U);
    EXPECT_EQ(ui.messages()[0].text, Text("TXT00112"));
    EXPECT_EQ(ui.messages()[0].icon, MessageIcon::Warning);
}

} // namespace fernhold::test
