#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace fernhold {

// One entry of an archive listing.
struct ArchiveEntry
{
    QString name; // as stored, folders included, exactly as listed
    qint64 size = 0;
    bool folder = false;
};

// What the listing of the archiver's "l" command says about one archive.
struct ArchiveListing
{
    QList<ArchiveEntry> entries;
    // From the summary line under the table; -1 when there was none. Older
    // 7-Zip prints "1 files, 0 folders", current builds only "1 files" when
    // there is no folder: both give files 1, folders 0.
    int summaryFiles = -1;
    int summaryFolders = 0;
};

// Reads the table of an "l" listing: the entry lines between the two lines of
// dashes and the summary line after the second. Lines outside the table
// (banner, archive properties, warnings) are ignored.
[[nodiscard]] ArchiveListing parseArchiveListing(const QStringList& lines);

} // namespace fernhold
