#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QString>
#include <optional>

// Tasks found in note bodies for the to-do list: checklist lines, lines written as a
// Markdown checkbox and "TODO:" lines. Computed on demand and held in memory only.

enum class TaskSource : int {
    Checklist = 0,        // a Delta checklist line; the only kind that can be ticked off
    MarkdownCheckbox = 1, // "- [ ] text" or "- [x] text" typed as plain text
    TodoPrefix = 2,       // "TODO: text"
};

struct Task
{
    QString id;     // "<note id>_<line index>_<first 8 hex digits of MD5(text)>"
    QString noteId;
    QString text;   // trimmed
    bool isCompleted = false;
    TaskSource source = TaskSource::Checklist;
    qint32 lineIndex = 0;  // counted by the line ends of text inserts, from 0
    qint32 charOffset = 0; // characters of text inserts (1 per embed) before the line's text
    std::optional<QDate> dueDate;
    QString dueDatePhrase;
    QDateTime extractedAt;   // UTC
    QDateTime noteUpdatedAt; // UTC
};

// The tasks of one body in line order; an empty, malformed or non-array body has none.
QList<Task> extractTasks(const QString &noteId, const QString &body, const QDateTime &noteUpdatedAt);

QString taskId(const QString &noteId, int lineIndex, const QString &text);

// The body with the checklist line at lineIndex ticked or unticked, as compact JSON;
// the empty string when that line cannot be changed (see the implementation).
QString setTaskCompleted(const QString &body, int lineIndex, bool completed);

Q_DECLARE_METATYPE(Task)
