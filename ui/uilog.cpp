#include "uilog.h"

Q_LOGGING_CATEGORY(lcUi, "ombrel.ui")
