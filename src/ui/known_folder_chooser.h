#pragma once

#include <QDialog>
#include <vector>

namespace fernhold {

struct Folders;
struct KnownFolder;

// The source page's chooser of well-known folders: one row per folder that
// exists, its caption and its path as a button. A click takes that folder
// and closes the chooser; the source page then puts it into its folder
// field and includes the sub-folders.
class KnownFolderChooser : public QDialog
{
    Q_OBJECT
public:
    KnownFolderChooser(const std::vector<KnownFolder>& rows, bool transparent,
                       QWidget* parent = nullptr);

    // The folder clicked, ending in "/"; "" while none was.
    [[nodiscard]] QString chosenFolder() const { return m_chosen; }

    // Opens the chooser over the folders of this system and waits for it;
    // gives the folder clicked or "" when it was closed without one.
    [[nodiscard]] static QString choose(const Folders& folders, bool transparent,
                                        QWidget* parent = nullptr);

private:
    QString m_chosen;
};

} // namespace fernhold
