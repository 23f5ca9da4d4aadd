#include "core/text_table.h"
#include "platform/folders.h"
#include "platform/known_folders.h"
#include "temp_home.h"
#include "ui/known_folder_chooser.h"
#include "ui_fixture.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

namespace fernhold::test {

namespace {

class KnownFolderChooserTest : public ::testing::Test
{
protected:
    KnownFolderChooserTest()
    {
        (void)WidgetApplication();
        QDir().mkpath(m_home.path() + QStringLiteral("Documents"));
        QDir().mkpath(m_home.path() + QStringLiteral(".thunderbird"));
    }

    [[nodiscard]] Folders folders() const
    {
        return ResolveFolders(QStringLiteral("fernhold"), QStringLiteral("fernhold"));
    }

    TempHome m_home;
};

} // namespace

TEST_F(KnownFolderChooserTest, ShowsARowPerFolderAndAClickTakesIt)
{
    KnownFolderChooser chooser(KnownFolders(folders()), true);
    chooser.show();
    EXPECT_EQ(chooser.windowTitle(), Text("GAD00133"));
    EXPECT_NEAR(chooser.windowOpacity(), 240 / 255.0, 0.01);
    auto* documents = chooser.findChild<QPushButton*>(QStringLiteral("GAD00134"));
    auto* mail = chooser.findChild<QPushButton*>(QStringLiteral("GAD00137"));
    ASSERT_NE(documents, nullptr);
    ASSERT_NE(mail, nullptr);
    EXPECT_EQ(documents->text(), m_home.path() + QStringLiteral("Documents/"));
    // Folders that do not exist here get no row.
    EXPECT_EQ(chooser.findChild<QPushButton*>(QStringLiteral("GAD00136")), nullptr);
    EXPECT_EQ(chooser.findChild<QPushButton*>(QStringLiteral("TXT00552")), nullptr);
    bool captioned = false;
    for (const QLabel* label : chooser.findChildren<QLabel*>()) {
        captioned = captioned || label->buddy() == mail;
        EXPECT_FALSE(label->text().contains(QStringLiteral("GAD00")));
    }
    EXPECT_TRUE(captioned);

    mail->click();
    EXPECT_EQ(chooser.result(), QDialog::Accepted);
    EXPECT_FALSE(chooser.isVisible());
    EXPECT_EQ(chooser.chosenFolder(), m_home.path() + QStringLiteral(".thunderbird/"));
}

TEST_F(KnownFolderChooserTest, ChooseWaitsForTheClickOrGivesNothingWhenClosed)
{
    const auto clickLater = [](const QString& name) {
        QTimer::singleShot(50, [name] {
            auto* chooser = qobject_cast<KnownFolderChooser*>(QApplication::activeModalWidget());
            ASSERT_NE(chooser, nullptr);
            auto* button = chooser->findChild<QPushButton*>(name);
            ASSERT_NE(button, nullptr);
            button->click();
        });
    };
    clickLater(QStringLiteral("TXT00550"));
    EXPECT_EQ(KnownFolderChooser::choose(folders(), false), m_home.path());
    clickLater(QStringLiteral("close"));
    EXPECT_EQ(KnownFolderChooser::choose(folders(), false), QString());
}

} // namespace fernhold::test
