#include "engine/exclusion_tally.h"

#include "core/text_table.h"
#include "engine/exclusion_rules.h"

namespace fernhold {

ExclusionTally::ExclusionTally(const ExclusionRules& rules)
    : m_fragments(rules.fragments()),
      m_files(static_cast<std::size_t>(kFirstFragmentRule + m_fragments.size()), 0),
      m_folders(static_cast<std::size_t>(m_fragments.size()), 0)
{}

QString ExclusionTally::summary() const
{
    QStringList parts;
    const auto add = [&parts](const char* key, qint64 count) {
        if (count > 0) {
            parts.append(Text(key) + u' ' + QString::number(count));
        }
    };
    add("TXT00481", m_files[kExcludedTypeRule]);
    add("TXT00482", m_files[kSourceFilterRule]);
    add("TXT00483", m_files[kSystemFileRule]);
    for (qsizetype i = 0; i < m_fragments.size(); ++i) {
        const qint64 files = m_files[static_cast<std::size_t>(kFirstFragmentRule + i)];
        const qint64 folders = m_folders[static_cast<std::size_t>(i)];
        if (files == 0 && folders == 0) {
            continue;
        }
        QString part = Text("TXT00484") + QStringLiteral(" \"") + m_fragments.at(i) +
                       QStringLiteral("\" ") + QString::number(files);
        if (folders > 0) {
            part +=
                QStringLiteral(" (") + QString::number(folders) + u' ' + Text("TXT00485") + u')';
        }
        parts.append(part);
    }
    return parts.join(QStringLiteral(", "));
}

} // namespace fernhold
