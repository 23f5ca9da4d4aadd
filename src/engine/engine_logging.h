#pragma once

#include <QLoggingCategory>

// Developer diagnostics of the backup engine (not the user's log file).
Q_DECLARE_LOGGING_CATEGORY(lcEngine)
