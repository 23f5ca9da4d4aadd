#include "engine/exclusion_rules.h"

#include "core/job_settings.h"
#include "engine/exclusion_lists.h"
#include "platform/folders.h"

#include <algorithm>

namespace fernhold {

namespace {

// A system folder of the root alone would exclude every file.
QString folderForRules(const QString& folder)
{
    const QString lower = folder.toLower();
    return lower.size() > 1 ? lower : QString();
}

QString wrapped(const QString& list)
{
    return list.isEmpty() ? QString() : u',' + list + u',';
}

// ",ext," of a file name, the extension being the text after its last ".".
QString extensionKey(QStringView lowerName)
{
    const qsizetype dot = lowerName.lastIndexOf(u'.');
    QString key(u',');
    if (dot >= 0) {
        key += lowerName.mid(dot + 1);
    }
    key += u',';
    return key;
}

bool isOneOf(QStringView name, std::initializer_list<QLatin1StringView> names)
{
    return std::any_of(names.begin(), names.end(), [&](QLatin1StringView n) { return name == n; });
}

} // namespace

ExclusionRules::ExclusionRules(const JobSettings& settings, const Folders& folders)
    : m_typesKey(wrapped(settings.ExcludeFileTypes)),
      m_tempCharacter(settings.TempCharacterOn == 1),
      m_excludeList(BuildExcludeList(settings.ExcludeFileStrings)),
      m_internetCache(folderForRules(folders.internetCache)),
      m_userTemp(folderForRules(folders.userTemp)), m_program(folderForRules(folders.program)),
      m_appData(folderForRules(folders.appData))
{
    for (const QString& fragment : std::as_const(m_excludeList)) {
        if (!fragment.isEmpty()) {
            m_fragments.append(fragment);
            m_longestFragment = std::max(m_longestFragment, fragment.size());
        }
    }
}

int ExclusionRules::registryFolderKind(QStringView lowerFolder) const
{
    // The hive folder sits below a drive or mount point, never at the very start.
    return lowerFolder.indexOf(u"/system32/config/", 2) >= 0 ? 1 : 0;
}

int ExclusionRules::folderKind(QStringView lowerFolder) const
{
    // These folders are absolute, so being inside one means starting with it; a
    // substring test would also hit every folder named "tmp" anywhere.
    if (!m_internetCache.isEmpty() && lowerFolder.startsWith(m_internetCache)) {
        return 5;
    }
    if (!m_userTemp.isEmpty() && lowerFolder.startsWith(m_userTemp)) {
        return 6;
    }
    if ((!m_program.isEmpty() && lowerFolder == m_program) ||
        (!m_appData.isEmpty() && lowerFolder == m_appData)) {
        return 10;
    }
    if (lowerFolder.contains(u"\u00A6/")) {
        return 11;
    }
    return 0;
}

int ExclusionRules::nameKind(QStringView lowerName) const
{
    using namespace Qt::StringLiterals;
    if (isOneOf(lowerName, {"ntuser.dat"_L1, "usrclass.dat"_L1})) {
        return 2;
    }
    if (isOneOf(lowerName, {"user.dat"_L1, "system.dat"_L1, "classes.dat"_L1})) {
        return 3;
    }
    if (isOneOf(lowerName, {"pagefile.sys"_L1, "win386.swp"_L1})) {
        return 4;
    }
    return 0;
}

qsizetype ExclusionRules::fragmentIn(QStringView lowerText) const
{
    for (qsizetype i = 0; i < m_fragments.size(); ++i) {
        if (lowerText.contains(m_fragments.at(i))) {
            return i;
        }
    }
    return -1;
}

int ExclusionRules::SystemFileKind(const QString& fullPath) const
{
    const QString lower = fullPath.toLower();
    const qsizetype slash = lower.lastIndexOf(u'/');
    const QStringView folder = QStringView(lower).first(slash + 1);
    const QStringView name = QStringView(lower).sliced(slash + 1);
    if (const int kind = registryFolderKind(folder)) {
        return kind;
    }
    if (const int kind = nameKind(name)) {
        return kind;
    }
    if (const int kind = folderKind(folder)) {
        return kind;
    }
    if (m_tempCharacter && name.contains(u'~')) {
        return 20;
    }
    return 0;
}

int ExclusionRules::IsExcludedFile(const QString& folderPath, const QString& fileName,
                                   const QString& filter) const
{
    const QString key = extensionKey(fileName.toLower());
    if (!m_typesKey.isEmpty() && m_typesKey.contains(key)) {
        return 1;
    }
    if (!filter.isEmpty() && !wrapped(filter).contains(key)) {
        return 1;
    }
    const QString path = folderPath + fileName;
    if (SystemFileKind(path) > 0) {
        return 1;
    }
    return hasFragment(path.toLower()) ? 1 : 0;
}

int ExclusionRules::IsExcludedFolder(const QString& path) const
{
    return ExcludingFragment(path) > 0 ? 1 : 0;
}

int ExclusionRules::ExcludingFragment(const QString& path) const
{
    return static_cast<int>(fragmentIn(path.toLower()) + 1);
}

int ExclusionRules::TemporaryFolderKind(const QString& folderPath) const
{
    const int kind = folderKind(folderPath.toLower());
    return kind == 5 || kind == 6 ? kind : 0;
}

FolderExclusion ExclusionRules::forFolder(const QString& folderPath, const QString& filter) const
{
    return FolderExclusion(*this, folderPath, filter);
}

FolderExclusion::FolderExclusion(const ExclusionRules& rules, const QString& folderPath,
                                 const QString& filter)
    : m_rules(&rules), m_filterKey(wrapped(filter))
{
    Q_ASSERT(folderPath.isEmpty() || folderPath.endsWith(u'/'));
    const QString folder = folderPath.toLower();
    m_registryKind = rules.registryFolderKind(folder);
    m_folderKind = m_registryKind > 0 ? m_registryKind : rules.folderKind(folder);
    m_folderFragment = rules.fragmentIn(folder);
    if (rules.m_longestFragment > 1) {
        m_tail = folder.right(rules.m_longestFragment - 1);
    }
    m_name.reserve(256);
    m_key.reserve(64);
    m_joined.reserve(m_tail.size() + 256);
}

void FolderExclusion::lowerName(QStringView name)
{
    m_name.resize(name.size());
    QChar* out = m_name.data();
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name[i].unicode();
        if (c >= 0x80) {
            // Rare: let Qt apply the full Unicode rules (a letter may grow).
            m_name = name.toString().toLower();
            return;
        }
        out[i] = QChar(c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c);
    }
}

int FolderExclusion::kindOfLoweredName() const
{
    if (m_registryKind > 0) {
        return m_registryKind;
    }
    if (const int kind = m_rules->nameKind(m_name)) {
        return kind;
    }
    if (m_folderKind > 0) {
        return m_folderKind;
    }
    if (m_rules->m_tempCharacter && m_name.contains(u'~')) {
        return 20;
    }
    return 0;
}

int FolderExclusion::SystemFileKind(QStringView fileName)
{
    lowerName(fileName);
    return kindOfLoweredName();
}

int FolderExclusion::ExcludingRule(QStringView fileName)
{
    if (m_folderKind > 0) {
        return kSystemFileRule;
    }
    if (m_folderFragment >= 0) {
        return kFirstFragmentRule + static_cast<int>(m_folderFragment);
    }
    lowerName(fileName);

    const qsizetype dot = m_name.lastIndexOf(u'.');
    const QStringView extension = dot >= 0 ? QStringView(m_name).sliced(dot + 1) : QStringView();
    m_key.resize(extension.size() + 2);
    m_key[0] = u',';
    std::copy(extension.begin(), extension.end(), m_key.begin() + 1);
    m_key[m_key.size() - 1] = u',';

    if (!m_rules->m_typesKey.isEmpty() && m_rules->m_typesKey.contains(m_key)) {
        return kExcludedTypeRule;
    }
    if (!m_filterKey.isEmpty() && !m_filterKey.contains(m_key)) {
        return kSourceFilterRule;
    }
    if (kindOfLoweredName() > 0) {
        return kSystemFileRule;
    }
    if (m_rules->m_fragments.isEmpty()) {
        return kNotExcluded;
    }
    // No fragment lies wholly in the folder path (checked above), so only one
    // that ends inside the name can match: search the folder's tail + name.
    m_joined.resize(m_tail.size() + m_name.size());
    std::copy(m_tail.cbegin(), m_tail.cend(), m_joined.begin());
    std::copy(m_name.cbegin(), m_name.cend(), m_joined.begin() + m_tail.size());
    const qsizetype fragment = m_rules->fragmentIn(m_joined);
    return fragment >= 0 ? kFirstFragmentRule + static_cast<int>(fragment) : kNotExcluded;
}

} // namespace fernhold
