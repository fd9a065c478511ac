#pragma once

// Internals of task extraction, shared with its tests; not part of the library's interface.

#include <QList>
#include <QString>
#include <QStringView>

class QDateTime;
struct Task;

namespace TaskScan {

// Receives the inserts of a Delta body in order.
class Sink
{
public:
    virtual ~Sink() = default;
    // A text insert and the string value of its "list" attribute (empty when absent or
    // not a string).
    virtual void text(QStringView text, QStringView list) = 0;
    virtual void embed() = 0;
};

enum class ScanResult {
    Complete,   // a JSON array; every insert has been delivered
    NotAnArray, // certainly not a JSON array: nothing delivered, no tasks
    Undecided,  // anything unusual; the caller discards what was delivered and parses fully
};

// A strict single-pass reader for well-formed bodies that avoids building a JSON
// document. It gives up (Undecided) on anything that the full parser might read
// differently or reject: duplicate keys, lone surrogates, unusual numbers, deep nesting,
// raw control characters, trailing garbage.
ScanResult scanDelta(QStringView body, Sink &sink);

// The reference path: a full parse with QJsonDocument. Returns false when the body is
// not a JSON array (nothing delivered).
bool walkDelta(const QString &body, Sink &sink);

} // namespace TaskScan

// Extraction through the full parse only; the tests hold both paths to the same result.
QList<Task> extractTasksByFullParse(const QString &noteId, const QString &body,
                                    const QDateTime &noteUpdatedAt);
