#pragma once

#include <QString>
#include <optional>
#include <vector>

namespace fernhold {

// The per-user stand-in for the registry: an INI file whose groups are key
// paths ("[Software\Fernhold]") holding "name=value" lines. Every change
// rereads the file and writes it back atomically (mode 0600), so values that
// other programs or the user put there survive.
class RegistryFile
{
public:
    explicit RegistryFile(QString path);

    [[nodiscard]] const QString& path() const { return m_path; }

    [[nodiscard]] std::optional<QString> value(const QString& group, const QString& name) const;

    // Give 1 when the file was written.
    int setValues(const QString& group, const std::vector<std::pair<QString, QString>>& values);
    int removeValue(const QString& group, const QString& name);

private:
    QString m_path;
};

} // namespace fernhold
