// A file the layer check must refuse: it proves the check can fail.
#include "core/job_settings.h"
#include <QtGui/QIcon>
