#include "targets/targets_logging.h"

Q_LOGGING_CATEGORY(lcFtp, "fernhold.ftp")
Q_LOGGING_CATEGORY(lcTargets, "fernhold.targets")
