#pragma once

#include <QDialog>

namespace fernhold {

struct SettingsContext;

// The folders of the cloud-storage clients found on this computer, one row
// per client. Clicking a found folder opens the folder picker there; the
// pick becomes the target folder.
class CloudFolderWindow : public QDialog
{
    Q_OBJECT
public:
    CloudFolderWindow(SettingsContext& context, QWidget* parent = nullptr);

    // The folder picked, "" while none was.
    [[nodiscard]] QString picked() const { return m_picked; }

    // Opens the window modal; gives the folder picked or "".
    [[nodiscard]] static QString choose(SettingsContext& context, QWidget* parent = nullptr);

private:
    void pickAt(const QString& folder);

    SettingsContext& m_context;
    QString m_picked;
};

} // namespace fernhold
