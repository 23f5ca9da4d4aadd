#pragma once

#include <QLoggingCategory>

// Developer diagnostics of FTP sessions and clean-ups (not the user's log file).
Q_DECLARE_LOGGING_CATEGORY(lcFtp)
Q_DECLARE_LOGGING_CATEGORY(lcTargets)
