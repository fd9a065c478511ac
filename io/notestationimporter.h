#pragma once

#include "iorepositories.h"

#include <QDateTime>
#include <QJsonValue>

// Seconds since the epoch as a JSON number or decimal text; below 1 or unreadable is absent.
QDateTime parseNoteStationTime(const QJsonValue &value);

// Imports a Synology NoteStation .nsx archive (a ZIP of JSON items and attachment files).
ImportResult importNsx(const QString &path, const IoRepositories &repositories, const IoProgress &progress);
