#include "ui/status_icons.h"

namespace fernhold {

QIcon StatusIcon(int status)
{
    switch (status) {
    case 0:
        return QIcon(QStringLiteral(":/icons/fernhold-inactive.svg"));
    case 1:
        return QIcon(QStringLiteral(":/icons/fernhold-active.svg"));
    case 2:
        return QIcon(QStringLiteral(":/icons/fernhold-paused.svg"));
    default:
        return QIcon(QStringLiteral(":/icons/fernhold-neutral.svg"));
    }
}

QIcon ApplicationIcon()
{
    return QIcon(QStringLiteral(":/icons/fernhold-app.svg"));
}

} // namespace fernhold
