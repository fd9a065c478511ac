#include "applog.h"

Q_LOGGING_CATEGORY(lcApp, "ombrel.app")
