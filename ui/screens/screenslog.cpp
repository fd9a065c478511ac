#include "screenslog.h"

Q_LOGGING_CATEGORY(lcScreens, "ombrel.screens")
