#pragma once

#include <QString>

class QDateTime;

// How long ago a note changed, as the note list and the header bar show it: "just now",
// "5m ago", "3h ago", "Yesterday", a weekday, or a date. An invalid time gives "".
QString formatRelativeTime(const QDateTime &dateTime);
// The same against a given "now", so callers (and tests) can pin the clock.
QString formatRelativeTime(const QDateTime &dateTime, const QDateTime &now);
