#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// Helpers the importers and the restore share.
namespace ImportCommon {

// The largest metadata or JSON file read into memory.
inline constexpr qint64 MaxTextEntryBytes = 64 * 1024 * 1024;

QString newId();
QString toCompactJson(const class QJsonArray &operations);

} // namespace ImportCommon
