#include "storagelog.h"

Q_LOGGING_CATEGORY(lcStorage, "ombrel.storage")
