#include "restore/restore_logging.h"

Q_LOGGING_CATEGORY(lcRestore, "fernhold.restore")
