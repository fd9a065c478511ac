#pragma once

#include "syncstatus.h"

#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QSet>
#include <QString>

// What the note list needs of one note, without its body: reading 100,000 bodies to
// draw fifteen rows is what makes a list slow.
struct NoteListEntry
{
    QString id;
    qint64 rowid = 0; // the notes row; what the full-text indexes rank
    QString notebookId;
    QDateTime updatedAt;
    int version = 1;
    SyncStatus syncStatus = SyncStatus::Pending;
    bool isShared = false;
    QString ownerId;
    bool isTrashed = false;
};

// Where a page of the note list ends: the stored update time (as text, compared as
// stored) and id of its last row. The start of the list when id is empty.
struct NoteListCursor
{
    QString updatedAt;
    QString id;
    bool atStart() const { return id.isEmpty(); }
};

struct NoteListPage
{
    QList<NoteListEntry> entries;
    NoteListCursor next; // after the last entry
    bool complete = false; // nothing follows (or the read failed)
};

// The notes touched since a change serial; complete is false when the journal no longer
// reaches back that far (or something changed wholesale), and callers reload everything.
struct NoteChanges
{
    bool complete = true;
    QSet<QString> ids;
};

Q_DECLARE_METATYPE(NoteListEntry)
