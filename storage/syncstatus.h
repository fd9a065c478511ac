#pragma once

#include <QString>

enum class SyncStatus { Pending, Synced, Conflict };

// "synced" and "conflict" map exactly; any other stored text reads as Pending.
SyncStatus syncStatusFromString(const QString &text);
QString syncStatusToString(SyncStatus status);
