#pragma once

#include <QString>

// Where the application keeps its data. Computed on every call; nothing is cached,
// so tests can point NOTES_DATA_DIR elsewhere between calls.
QString dataDirectory();

// The id names the database file, so only a plain token is taken: letters, digits and
// "-", at most 64. A stored text that is not one (or a file that exists but cannot be
// read) gives an empty id and, through error, the reason; nothing is rewritten then.
QString clientId(QString *error = nullptr);
bool isValidClientId(const QString &id);
// Empty, with the reason in error, when the client id is unusable.
QString databasePath(QString *error = nullptr);
QString attachmentsDirectory();
