#include "engine/engine_logging.h"

Q_LOGGING_CATEGORY(lcEngine, "fernhold.engine")
