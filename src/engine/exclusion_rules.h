#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

namespace fernhold {

struct Folders;
struct JobSettings;
class FolderExclusion;

// Decides which files and folders a backup walk leaves out: the excluded
// extensions (`ExcludeFileTypes`), the source's own filter, the built-in
// system and temporary files, and the excluded path fragments
// (`ExcludeFileStrings`). Built once at the start of a walk; the settings and
// folders are copied, so the object stands on its own and may be shared by
// threads (it is never changed after construction).
//
// Two ways to ask:
// - the per-path functions below, for a single question;
// - forFolder(), which the walk calls once per folder: everything that depends
//   only on the folder is decided there, and the per-file test then costs a few
//   short searches in the file name, without a heap allocation for ASCII names.
// Both give the same answers.
class ExclusionRules
{
public:
    ExclusionRules(const JobSettings& settings, const Folders& folders);

    // 1 when the file `fileName` in `folderPath` (ending in "/") is not to be
    // backed up; `filter` is the source's `SourceDirFilter` ("" for all files).
    [[nodiscard]] int IsExcludedFile(const QString& folderPath, const QString& fileName,
                                     const QString& filter) const;

    // 1 when a path fragment occurs in the lower-cased folder path (folder path
    // + folder name, as the walk joins them): the walk does not enter it.
    [[nodiscard]] int IsExcludedFolder(const QString& path) const;

    // The same test, telling which fragment: its index in fragments() + 1, or 0.
    [[nodiscard]] int ExcludingFragment(const QString& path) const;

    // 5 when the folder `folderPath` (ending in "/") lies in the internet
    // cache, 6 when it lies in the user's temporary folder, else 0: every file
    // below such a folder is a system file.
    [[nodiscard]] int TemporaryFolderKind(const QString& folderPath) const;

    // 0 for an ordinary file, else the number of the system-file rule that
    // matches the full path: 1 registry hive folder, 2 and 3 registry files,
    // 4 swap files, 5 internet cache, 6 user's temporary folder, 10 program or
    // application-data folder, 11 a mirrored target folder, 20 a "~" in the name.
    [[nodiscard]] int SystemFileKind(const QString& fullPath) const;

    // The fragments as the walk uses them: the fields of `ExcludeFileStrings`,
    // lower-cased and untrimmed.
    [[nodiscard]] const QStringList& ExcludeList() const { return m_excludeList; }
    // The non-empty fragments, the ones that can match.
    [[nodiscard]] const QStringList& fragments() const { return m_fragments; }

    // The per-folder form of the file rules for `folderPath` (ending in "/") and
    // a source filter. The result refers to this object, which must outlive it.
    [[nodiscard]] FolderExclusion forFolder(const QString& folderPath, const QString& filter) const;

private:
    friend class FolderExclusion;

    [[nodiscard]] int registryFolderKind(QStringView lowerFolder) const;
    [[nodiscard]] int folderKind(QStringView lowerFolder) const;
    [[nodiscard]] int nameKind(QStringView lowerName) const;
    [[nodiscard]] bool hasFragment(QStringView lowerText) const
    {
        return fragmentIn(lowerText) >= 0;
    }
    // Index in m_fragments of the first fragment in the text, or -1.
    [[nodiscard]] qsizetype fragmentIn(QStringView lowerText) const;

    QString m_typesKey; // "," + ExcludeFileTypes + ",", or "" when the setting is empty
    bool m_tempCharacter = true;
    QStringList m_excludeList;
    QStringList m_fragments; // the non-empty entries of the exclude list
    qsizetype m_longestFragment = 0;
    // Lower-cased; "" where a folder is unknown or is the root (it must not
    // exclude everything).
    QString m_internetCache;
    QString m_userTemp;
    QString m_program;
    QString m_appData;
};

// Which rule keeps a file out, as FolderExclusion::ExcludingRule() tells it.
// Values from kFirstFragmentRule on name fragment number value -
// kFirstFragmentRule of ExclusionRules::fragments().
enum ExclusionRule : int
{
    kNotExcluded = 0,
    kExcludedTypeRule = 1,
    kSourceFilterRule = 2,
    kSystemFileRule = 3,
    kFirstFragmentRule = 4,
};

// The file rules for one folder, made by ExclusionRules::forFolder(). Keeps
// scratch buffers, so one object serves one thread; each level of a recursive
// walk keeps its own.
class FolderExclusion
{
public:
    // Same answer as ExclusionRules::IsExcludedFile(folder, fileName, filter).
    [[nodiscard]] int IsExcludedFile(QStringView fileName)
    {
        return ExcludingRule(fileName) != kNotExcluded ? 1 : 0;
    }

    // The same test, telling which rule matched (an ExclusionRule value).
    // Where the folder alone excludes every file, that rule is named: a
    // system-file folder or the fragment in the folder path.
    [[nodiscard]] int ExcludingRule(QStringView fileName);

    // Same answer as ExclusionRules::SystemFileKind(folder + fileName).
    [[nodiscard]] int SystemFileKind(QStringView fileName);

    // True when a rule of the folder alone excludes every file in it (a
    // system-file folder or a fragment in the folder path). Sub-folders are
    // judged by IsExcludedFolder, not by this.
    [[nodiscard]] bool excludesEveryFile() const
    {
        return m_folderKind > 0 || m_folderFragment >= 0;
    }

private:
    friend class ExclusionRules;
    FolderExclusion(const ExclusionRules& rules, const QString& folderPath, const QString& filter);

    void lowerName(QStringView name);
    [[nodiscard]] int kindOfLoweredName() const;

    const ExclusionRules* m_rules;
    QString m_filterKey; // "," + filter + ",", or "" for no filter
    int m_registryKind = 0;
    int m_folderKind = 0;
    qsizetype m_folderFragment = -1; // the fragment in the folder path, or -1
    // The end of the lower-cased folder path that a fragment can start in and
    // still reach into the file name.
    QString m_tail;
    // Scratch, reused from file to file.
    QString m_name; // lower-cased file name
    QString m_key;  // "," + extension + ","
    QString m_joined;
};

} // namespace fernhold
