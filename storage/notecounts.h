#pragma once

#include <QHash>
#include <QSqlDatabase>
#include <QString>

#include <optional>

// Live notes per notebook id ("" for notes in no notebook), kept in the note_counts table
// by triggers on notes in the writing transaction, whoever writes. Counting 100,000 index
// entries at every start costs more than the rest of opening the library.
namespace NoteCounts {

// Creates and fills the table and its triggers when any of them is missing; false when
// that failed (a read-only file), and readers count the notes instead.
bool ensure(QSqlDatabase db);
// Absent when the table is not there or cannot be read.
std::optional<QHash<QString, int>> read(QSqlDatabase db);

} // namespace NoteCounts
