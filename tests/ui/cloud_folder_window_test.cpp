#include "core/text_table.h"
#include "settings_window_fixture.h"
#include "ui/settings/cloud_folder_window.h"

#include <QLabel>
#include <QPushButton>

namespace fernhold::test {

TEST_F(SettingsWindowTest, CloudFolderWindowListsTheFoundFolders)
{
    const QString dropbox = m_home.path() + QStringLiteral("Dropbox");
    QDir().mkpath(dropbox);
    m_home.writeFile(QStringLiteral(".dropbox/info.json"),
                     QStringLiteral(R"({"personal": {"path": "%1"}})").arg(dropbox).toUtf8());
    m_shell->open(*m_app);
    m_opened = true;
    SettingsContext context{*m_app, m_ui, {}, {}, {}, {}};
    CloudFolderWindow window(context);
    EXPECT_TRUE(window.windowTitle().endsWith(Text("GAD00190")));
    int links = 0;
    int missing = 0;
    for (const QPushButton* link : window.findChildren<QPushButton*>()) {
        links += link->text() == dropbox;
    }
    for (const QLabel* label : window.findChildren<QLabel*>()) {
        missing += label->text() == Text("GAD00193");
    }
    EXPECT_EQ(links, 1);
    EXPECT_EQ(missing, 4);
    EXPECT_TRUE(window.picked().isEmpty());
}

} // namespace fernhold::test
