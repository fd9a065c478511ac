#include "documentlog.h"

Q_LOGGING_CATEGORY(lcDocument, "ombrel.document")
