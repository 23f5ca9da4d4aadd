#pragma once

#include <QLoggingCategory>

// Developer diagnostics of the restores (not the user's log file).
Q_DECLARE_LOGGING_CATEGORY(lcRestore)
