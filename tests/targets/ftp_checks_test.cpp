#include "core/job_settings.h"
#include "core/text_table.h"
#include "fake_user_interface.h"
#include "ftp_test_helpers.h"
#include "targets/ftp_probe.h"
#include "targets/ftp_target.h"

#include <QSet>

namespace fernhold::test {

namespace {

const QString kBreak = QStringLiteral("\r\n");

QString text(const char* key)
{
    return Text(QString::fromLatin1(key));
}

FtpServerFields fieldsOf(const FtpServer& server)
{
    return {server.host(), QString::number(server.port()), server.user(), server.password()};
}

// Remembers whether the busy pointer was ever shown.
class BusyRecorder : public FakeUserInterface
{
public:
    void setBusy(bool busy) override
    {
        everBusy = everBusy || busy;
        FakeUserInterface::setBusy(busy);
    }
    bool everBusy = false;
};

JobSettings settingsFor(const FtpServer& server, int target, const QString& subDir)
{
    JobSettings settings;
    TargetEntry& entry = settings.target(target);
    entry.TargetType = QStringLiteral("FTP");
    entry.FTPServerName = server.host();
    entry.FTPServerPort = QString::number(server.port());
    entry.FTPUserName = server.user();
    entry.FTPPassword = server.password();
    entry.FTPSubDir = subDir;
    return settings;
}

} // namespace

TEST_P(BothServers, ProbeFindsUtf8Servers)
{
    auto server = startServer();
    EXPECT_EQ(FtpProbeUtf8(server->host(), server->port(), server->user(), server->password()),
              kFtpProbeUtf8);
}

TEST_F(ScriptedServer, ProbeReadsFeatInAnyCaseAndFallsBackToAnsi)
{
    FtpServerOptions lower;
    lower.feat = QStringLiteral("lower");
    auto lowerServer = startServer(lower);
    EXPECT_EQ(FtpProbeUtf8(lowerServer->host(), lowerServer->port(), lowerServer->user(),
                           lowerServer->password()),
              kFtpProbeUtf8);

    FtpServerOptions refuse;
    refuse.feat = QStringLiteral("refuse");
    auto refusing = startServer(refuse);
    EXPECT_EQ(
        FtpProbeUtf8(refusing->host(), refusing->port(), refusing->user(), refusing->password()),
        kFtpProbeAnsi);
    EXPECT_EQ(
        FtpProbeUtf8(refusing->host(), UnusedLocalPort(), refusing->user(), refusing->password()),
        kFtpProbeAnsi);
}

TEST_P(BothServers, CheckTargetNeedsLoginAndFolder)
{
    auto server = startServer();
    server->makeFolder("backup");
    const QString base = server->ftpFolder();
    // Without the trailing "/", which the check adds.
    EXPECT_EQ(FtpCheckTarget(settingsFor(*server, 4, base + "backup"), 4), 1);
    EXPECT_EQ(FtpCheckTarget(settingsFor(*server, 4, base + "backup/"), 4), 1);
    EXPECT_EQ(FtpCheckTarget(settingsFor(*server, 4, QString()), 4), 1);
    EXPECT_EQ(FtpCheckTarget(settingsFor(*server, 4, base + "missing"), 4), 0);

    JobSettings unreachable = settingsFor(*server, 4, base + "backup");
    unreachable.target(4).FTPServerPort = QString::number(UnusedLocalPort());
    EXPECT_EQ(FtpCheckTarget(unreachable, 4), 0);
    EXPECT_EQ(FtpCheckTarget(unreachable, 0), 0);
    EXPECT_EQ(FtpCheckTarget(unreachable, 10), 0);
}

TEST_P(BothServers, CheckTargetTakesTheModeOfTheSelectedTarget)
{
    auto server = startServer();
    server->makeFolder("Gr\xC3\xB6\xC3\x9F"
                       "e");
    JobSettings settings = settingsFor(*server, 2, server->ftpFolder() + QStringLiteral("Größe"));
    settings.target(1).FTPUnicode = 1;
    settings.target(2).FTPUnicode = 0;

    settings.SelectedTarget = 1; // UTF-8: the folder's name goes out as its UTF-8 bytes
    EXPECT_EQ(FtpCheckTarget(settings, 2), 1);
    settings.SelectedTarget = 2; // plain: Windows-1252 bytes name another folder
    EXPECT_EQ(FtpCheckTarget(settings, 2), 0);
}

TEST_F(ScriptedServer, CheckTargetFailsOnWrongPassword)
{
    auto server = startServer();
    JobSettings settings = settingsFor(*server, 1, QString());
    settings.target(1).FTPPassword = QStringLiteral("wrong");
    EXPECT_EQ(FtpCheckTarget(settings, 1), 0);
}

TEST_P(BothServers, ConnectionTestShowsTenEntriesAtMost)
{
    auto server = startServer();
    server->makeFolder("many");
    for (int i = 0; i < 25; ++i) {
        server->writeFile("many/file" + QByteArray::number(i).rightJustified(2, '0'), "x");
    }
    server->makeFolder("ten");
    for (int i = 0; i < 10; ++i) {
        server->writeFile("ten/f" + QByteArray::number(i), "x");
    }
    server->makeFolder("few/sub");
    server->writeFile("few/one.txt", "1");

    BusyRecorder ui;
    const QString many = server->ftpFolder() + "many";
    EXPECT_EQ(FtpTestConnection(ui, fieldsOf(*server), many), many + u'/');
    ASSERT_EQ(ui.messages().size(), 1u);
    const FakeUserInterface::Message shown = ui.messages().at(0);
    EXPECT_EQ(shown.title, text("TXT00013"));
    EXPECT_EQ(shown.icon, MessageIcon::Information);
    const QString head = text("TXT00016") + kBreak + kBreak + text("TXT00014") + kBreak + many +
                         u'/' + kBreak + kBreak;
    ASSERT_TRUE(shown.text.startsWith(head)) << shown.text.toStdString();
    // The server decides the order; any ten of the files, then "...".
    const QStringList lines = shown.text.mid(head.size()).split(kBreak);
    ASSERT_EQ(lines.size(), 12) << shown.text.toStdString();
    EXPECT_EQ(lines.mid(10), (QStringList{QStringLiteral("..."), QString()}));
    const QStringList names = lines.mid(0, 10);
    EXPECT_EQ(QSet<QString>(names.begin(), names.end()).size(), 10);
    for (const QString& name : names) {
        EXPECT_TRUE(name.startsWith(QStringLiteral("file"))) << name.toStdString();
    }
    EXPECT_TRUE(ui.everBusy);
    EXPECT_FALSE(ui.busy());

    BusyRecorder ten;
    (void)FtpTestConnection(ten, fieldsOf(*server), server->ftpFolder() + "ten/");
    ASSERT_EQ(ten.messages().size(), 1u);
    EXPECT_TRUE(ten.messages().at(0).text.endsWith(QStringLiteral("\r\n...\r\n")));
    EXPECT_EQ(ten.messages().at(0).text.count(kBreak), 5 + 10 + 1);

    BusyRecorder few;
    (void)FtpTestConnection(few, fieldsOf(*server), server->ftpFolder() + "few/");
    ASSERT_EQ(few.messages().size(), 1u);
    const QString report = few.messages().at(0).text;
    EXPECT_TRUE(report.endsWith(kBreak + kBreak + QStringLiteral("one.txt\r\n[DIR] sub\r\n")) ||
                report.endsWith(kBreak + kBreak + QStringLiteral("[DIR] sub\r\none.txt\r\n")))
        << report.toStdString();
}

TEST_P(BothServers, ConnectionTestReportsFolderAndLoginFailures)
{
    auto server = startServer();
    BusyRecorder ui;
    const QString missing = server->ftpFolder() + "not/there/";
    EXPECT_EQ(FtpTestConnection(ui, fieldsOf(*server), missing), missing);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages().at(0).title, text("TXT00013"));
    EXPECT_EQ(ui.messages().at(0).icon, MessageIcon::Warning);
    EXPECT_EQ(ui.messages().at(0).text, text("TXT00016") + kBreak + kBreak + text("TXT00015") +
                                            kBreak + missing + kBreak + kBreak);
    EXPECT_FALSE(ui.busy());

    BusyRecorder refused;
    FtpServerFields fields = fieldsOf(*server);
    fields.port = QString::number(UnusedLocalPort());
    EXPECT_EQ(FtpTestConnection(refused, fields, QString()), QString());
    ASSERT_EQ(refused.messages().size(), 1u);
    EXPECT_EQ(refused.messages().at(0).title, text("TXT00001"));
    EXPECT_EQ(refused.messages().at(0).text, text("TXT00011"));
    EXPECT_EQ(refused.messages().at(0).icon, MessageIcon::Warning);
    EXPECT_TRUE(refused.everBusy);
    EXPECT_FALSE(refused.busy());
}

TEST_F(ScriptedServer, ConnectionTestWithoutUtf8ReadsNamesInWindows1252)
{
    FtpServerOptions options;
    options.feat = QStringLiteral("refuse");
    auto server = startServer(options);
    server->writeFile("caf\xE9.txt", "x");
    FakeUserInterface ui;
    EXPECT_EQ(FtpTestConnection(ui, fieldsOf(*server), QString()), QString());
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages().at(0).text, text("TXT00017") + kBreak + kBreak + text("TXT00014") +
                                            kBreak + kBreak + kBreak + QStringLiteral("café.txt") +
                                            kBreak);
}

TEST_F(ScriptedServer, SwitchingUtf8OnNeedsTheServersWord)
{
    auto server = startServer();
    FakeUserInterface accepting;
    EXPECT_TRUE(FtpAcceptUtf8Mode(accepting, fieldsOf(*server)));
    EXPECT_TRUE(accepting.messages().empty());

    FtpServerOptions options;
    options.feat = QStringLiteral("refuse");
    auto refusing = startServer(options);
    FakeUserInterface ui;
    EXPECT_FALSE(FtpAcceptUtf8Mode(ui, fieldsOf(*refusing)));
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages().at(0).title, text("TXT00013"));
    EXPECT_EQ(ui.messages().at(0).text, text("GAD00183"));
    EXPECT_EQ(ui.messages().at(0).icon, MessageIcon::Warning);
    EXPECT_FALSE(ui.busy());
}

} // namespace fernhold::test
