#pragma once

#include "note.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <optional>

class Database;

// The only code that reads and writes notes, notes_fts and note_task_settings.
class NoteRepository : public QObject
{
    Q_OBJECT

public:
    explicit NoteRepository(Database *database, QObject *parent = nullptr);

    QList<Note> allNotes() const;
    QList<Note> notesInNotebook(const QString &notebookId) const;
    QList<Note> trashedNotes() const;
    QList<Note> pendingNotes() const;
    QList<Note> sharedByMe() const;
    QList<Note> sharedWithMe() const;
    std::optional<Note> findById(const QString &id) const;

    bool insert(const Note &note);
    bool update(const Note &note);
    bool moveToTrash(const QString &id);
    bool restore(const QString &id);
    bool deletePermanently(const QString &id);
    bool moveToNotebook(const QString &noteId, const QString &notebookId);
    bool markSynced(const QString &noteId, int version);
    int markAllPending();

    QHash<QString, int> noteCountsByNotebook() const;
    QList<Note> search(const QString &text) const;

    bool includeInTodos(const QString &noteId) const;
    bool setIncludeInTodos(const QString &noteId, bool include);

Q_SIGNALS:
    void notesChanged();
    void noteDeleted(const QString &noteId);
    void notePurged(const QString &noteId);

private:
    Database *m_database;
};
