#include "iolog.h"

Q_LOGGING_CATEGORY(lcIo, "ombrel.io")
