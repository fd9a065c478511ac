#pragma once

#include "note.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>

#include <optional>

// One "notes/<id>.json" file of a backup. Nearly every such file is as the backup wrote
// it, and a strict reader takes those several times faster than the general JSON parser
// (a note body is JSON inside a JSON string, all escapes); whatever it is unsure of goes
// to the general parser, with the same result.
namespace BackupNoteFile {

// ISO 8601 with or without milliseconds, in UTC; invalid when empty or unreadable.
QDateTime dateFrom(const QString &text);
Note fromObject(const QJsonObject &object);
// nullopt when the file is not a JSON object.
std::optional<Note> read(const QByteArray &json);
// The strict reader alone: nullopt wherever it leaves the file to the general parser.
std::optional<Note> readStrict(const QByteArray &json);

} // namespace BackupNoteFile
