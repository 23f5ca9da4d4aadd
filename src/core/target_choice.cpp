#include "core/target_choice.h"

#include "core/job_settings.h"
#include "core/text_table.h"

#include <algorithm>

namespace fernhold {

QString TargetChooserItem(const JobSettings& settings, int target)
{
    QString text = QString::number(target) + QStringLiteral(". ") + Text("GAD00175");
    if (target == 1) {
        text += QStringLiteral(" (standard)");
    }
    const TargetEntry& t = settings.target(target);
    QString description;
    if (t.TargetType == QStringLiteral("WIN")) {
        description = t.TargetDir;
    } else if (t.TargetType == QStringLiteral("FTP")) {
        QString sub = t.FTPSubDir;
        while (sub.startsWith(u'/')) {
            sub.remove(0, 1);
        }
        description = QStringLiteral("//") + t.FTPServerName + u':' + t.FTPServerPort + u'/' + sub;
    } else {
        description = Text("GAD00176");
    }
    return text + QStringLiteral(" --> ") + description;
}

QString JoinTargets(QList<int> targets)
{
    std::sort(targets.begin(), targets.end());
    targets.erase(std::unique(targets.begin(), targets.end()), targets.end());
    QStringList parts;
    for (const int t : targets) {
        if (t >= 1 && t <= kTargetCount) {
            parts << QString::number(t);
        }
    }
    return parts.join(u',');
}

QList<int> SplitTargets(const QString& stored)
{
    // Read as the backup pass reads it: every digit 1 to 9 present is a target.
    QList<int> targets;
    for (int t = 1; t <= kTargetCount; ++t) {
        if (stored.contains(QChar(u'0' + t))) {
            targets << t;
        }
    }
    return targets;
}

} // namespace fernhold
