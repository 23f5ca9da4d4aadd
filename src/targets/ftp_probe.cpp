#include "targets/ftp_probe.h"

#include "core/settings_fields.h"
#include "core/text_table.h"
#include "core/user_interface.h"
#include "targets/ftp_session.h"

namespace fernhold {

namespace {

constexpr int kTestConnectionEntries = 10;

int portOf(const QString& portText)
{
    const int port = LenientInt(portText);
    return port == 0 ? 21 : port;
}

// Clears the busy pointer on every way out.
class BusyGuard
{
public:
    explicit BusyGuard(UserInterface& ui) : m_ui(ui) { m_ui.setBusy(true); }
    ~BusyGuard() { release(); }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;
    void release()
    {
        if (m_busy) {
            m_busy = false;
            m_ui.setBusy(false);
        }
    }

private:
    UserInterface& m_ui;
    bool m_busy = true;
};

} // namespace

int FtpProbeUtf8(const QString& server, int port, const QString& user, const QString& password,
                 const FtpSessionOptions& options)
{
    std::unique_ptr<FtpSession> session =
        FtpOpen(server, port, user, password, FtpNameMode::Plain, options);
    if (!session) {
        return kFtpProbeAnsi;
    }
    const std::optional<QByteArray> features = FtpFeatures(*session);
    FtpClose(session);
    return features && features->toUpper().contains("UTF8") ? kFtpProbeUtf8 : kFtpProbeAnsi;
}

QString FtpTestConnection(UserInterface& ui, const FtpServerFields& fields, const QString& folder,
                          const FtpSessionOptions& options)
{
    QString typed = folder;
    if (!typed.isEmpty() && !typed.endsWith(u'/')) {
        typed.append(u'/');
    }
    BusyGuard busy(ui);
    const int port = portOf(fields.port);
    const int probe = FtpProbeUtf8(fields.server, port, fields.user, fields.password, options);
    const QString lineBreak = QStringLiteral("\r\n");
    QString report = Text(probe == kFtpProbeUtf8 ? "TXT00016" : "TXT00017") + lineBreak + lineBreak;

    FtpOpenError error = FtpOpenError::None;
    std::unique_ptr<FtpSession> session =
        FtpOpen(fields.server, port, fields.user, fields.password,
                probe == kFtpProbeUtf8 ? FtpNameMode::Utf8 : FtpNameMode::Plain, options, &error);
    if (!session) {
        busy.release();
        ui.showMessage(Text("TXT00001"),
                       Text(error == FtpOpenError::Transport ? "TXT00012" : "TXT00011"),
                       MessageIcon::Warning);
        return typed;
    }
    const QString resolved = FtpResolveFolder(*session, typed);
    if (FtpEnter(*session, resolved) == 0) {
        report += Text("TXT00015") + lineBreak + typed + lineBreak + lineBreak;
        FtpClose(session);
        busy.release();
        ui.showMessage(Text("TXT00013"), report, MessageIcon::Warning);
        return typed;
    }
    report += Text("TXT00014") + lineBreak + typed + lineBreak + lineBreak;
    const QList<FtpEntry> entries = FtpList(*session).value_or(QList<FtpEntry>());
    int shown = 0;
    for (const FtpEntry& entry : entries) {
        if (entry.isFile()) {
            report += entry.name + lineBreak;
        } else if (entry.isFolder()) {
            report += QStringLiteral("[DIR] ") + entry.name + lineBreak;
        }
        if (++shown == kTestConnectionEntries) {
            report += QStringLiteral("...") + lineBreak;
            break;
        }
    }
    FtpClose(session);
    busy.release();
    ui.showMessage(Text("TXT00013"), report, MessageIcon::Information);
    return typed;
}

bool FtpAcceptUtf8Mode(UserInterface& ui, const FtpServerFields& fields,
                       const FtpSessionOptions& options)
{
    BusyGuard busy(ui);
    const int probe =
        FtpProbeUtf8(fields.server, portOf(fields.port), fields.user, fields.password, options);
    busy.release();
    if (probe == kFtpProbeUtf8) {
        return true;
    }
    ui.showMessage(Text("TXT00013"), Text("GAD00183"), MessageIcon::Warning);
    return false;
}

} // namespace fernhold
