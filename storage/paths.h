#pragma once

#include <QString>

// Where the application keeps its data. Computed on every call; nothing is cached,
// so tests can point NOTES_DATA_DIR elsewhere between calls.
QString dataDirectory();
QString clientId();
QString databasePath();
QString attachmentsDirectory();
