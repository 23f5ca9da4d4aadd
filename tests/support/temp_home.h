#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <map>
#include <string>

namespace fernhold::test {

// A temporary home for one test: HOME, the XDG folders and TMPDIR point into
// a fresh folder for the lifetime of the object and are restored afterwards.
class TempHome
{
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    // The home folder, ending in "/".
    [[nodiscard]] QString path() const;
    [[nodiscard]] QString configHome() const { return path() + QStringLiteral(".config/"); }
    [[nodiscard]] QString cacheHome() const { return path() + QStringLiteral(".cache/"); }
    [[nodiscard]] QString dataHome() const { return path() + QStringLiteral(".local/share/"); }
    [[nodiscard]] QString runtimeDir() const { return path() + QStringLiteral("run/"); }
    // Fernhold's application-data folder in this home.
    [[nodiscard]] QString appData() const { return configHome() + QStringLiteral("fernhold/"); }

    // Writes a file below the home (folders created as needed); gives its full path.
    QString writeFile(const QString& relativePath, const QByteArray& content) const;
    [[nodiscard]] static QByteArray readFile(const QString& fullPath);

private:
    QTemporaryDir m_dir;
    std::map<std::string, QByteArray> m_saved;
    std::map<std::string, bool> m_wasSet;
};

// Every file below `folder`, as paths relative to it, sorted.
[[nodiscard]] QStringList filesBelow(const QString& folder);

} // namespace fernhold::test
