#pragma once

#include <QString>

namespace fernhold {

// A version file at a folder target, open for reading. No symbolic link is
// followed below the target's root: every folder on the way and the version
// itself are opened with O_NOFOLLOW, and fstat on the open file must show a
// regular file, so nothing can be swapped in between the check and the
// read. FIFOs and devices are not opened at all.
class VersionSource
{
public:
    enum class Problem
    {
        None,
        Missing,        // no such file, or it cannot be read
        NotRegularFile, // a link, FIFO, device or folder, or a linked folder on the way
    };

    // `root` is the target's TargetDir (absolute; it may itself be a link the
    // user chose), `relativePath` the version's folder relative to it + its name.
    VersionSource(const QString& root, const QString& relativePath);
    ~VersionSource();
    VersionSource(const VersionSource&) = delete;
    VersionSource& operator=(const VersionSource&) = delete;

    [[nodiscard]] Problem problem() const { return m_problem; }
    // The open file; -1 unless problem() is None.
    [[nodiscard]] int descriptor() const { return m_fd; }
    [[nodiscard]] qint64 size() const { return m_size; }
    [[nodiscard]] int permissions() const { return m_permissions; } // mode & 0777

    // Copies the whole file into a new file `path` (mode 0600): the archiver
    // opens its input by name, so it gets a private copy. Gives 1 on success.
    [[nodiscard]] int copyTo(const QString& path) const;

private:
    Problem m_problem = Problem::Missing;
    int m_fd = -1;
    qint64 m_size = 0;
    int m_permissions = 0;
};

// True when `relativeFolder` ("home/ann/", "" for the root) is a folder below
// `root` and none of its levels is a symbolic link.
[[nodiscard]] bool IsRealFolderBelow(const QString& root, const QString& relativeFolder);

} // namespace fernhold
