#pragma once

#include "note.h"
#include "notelistentry.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSqlError>

#include <functional>
#include <memory>
#include <optional>

class QSqlQuery;

class Database;

// The only code that reads and writes notes, notes_fts and note_task_settings.
class NoteRepository : public QObject
{
    Q_OBJECT

public:
    explicit NoteRepository(Database *database, QObject *parent = nullptr);
    ~NoteRepository() override;
    Database *database() const { return m_database; }

    QList<Note> allNotes() const;
    QList<Note> notesInNotebook(const QString &notebookId) const;
    QList<Note> trashedNotes() const;
    // The ids trashedNotes() would list, without reading a body.
    QStringList trashedIds() const;
    QList<Note> pendingNotes() const;
    QList<Note> sharedByMe() const;
    QList<Note> sharedWithMe() const;
    std::optional<Note> findById(const QString &id) const;

    // Why the last insert or update failed, for telling the user (Database::describeWriteError).
    QSqlError lastError() const { return m_lastError; }

    bool insert(const Note &note);
    // New notes, several rows per statement: one statement costs the text indexes one
    // flush instead of one per note. Stops at the first statement that fails and returns
    // how many notes, from the first, were written; the caller decides about the rest.
    int insertMany(const QList<Note> &notes);
    bool update(const Note &note);
    bool moveToTrash(const QString &id);
    bool restore(const QString &id);
    bool deletePermanently(const QString &id);
    bool moveToNotebook(const QString &noteId, const QString &notebookId);
    bool markSynced(const QString &noteId, int version);
    int markAllPending();

    QHash<QString, int> noteCountsByNotebook() const;
    // The same counts, from the table the triggers keep (NoteCounts) when it is there.
    QHash<QString, int> liveCountsByNotebook() const;
    QList<Note> search(const QString &text) const;

    // The note list's rows without bodies, newest first, live notes only.
    QList<NoteListEntry> listEntries() const;
    QList<NoteListEntry> listEntriesInNotebook(const QString &notebookId) const;
    // One page of what listEntries (notebookId null) or listEntriesInNotebook return, in
    // the same order (oldest first when reversed), starting after the cursor.
    NoteListPage listEntriesPage(const QString &notebookId, bool reversed, const NoteListCursor &after,
                                 int limit) const;
    // One row, trashed or not; absent when the note does not exist.
    std::optional<NoteListEntry> listEntry(const QString &id) const;
    std::optional<QString> bodyOf(const QString &id) const;
    // Every live note's id, update time and body, one row at a time and in no particular
    // order, so that a pass over all bodies never holds them all; false when the query fails.
    using BodyVisitor = std::function<void(const QString &id, const QDateTime &updatedAt, const QString &body)>;
    bool visitLiveBodies(const BodyVisitor &visit) const;
    // The ids search() would return, in the same order, without reading bodies.
    QStringList searchIds(const QString &text) const;
    // The notes rows of the live notes whose text matches, best first; empty while the
    // text index is still being filled.
    QList<qint64> searchRowids(const QString &text) const;
    bool textIndexComplete() const;
    // The ranking query and its MATCH argument, for readers on other connections: the
    // typed text with its last word as a prefix, or (literal) each word quoted.
    static const char *rankedRowidsSql();
    // What search() runs once the text index is complete.
    static const char *searchNotesSql();
    static QString matchText(const QString &text, bool literal);

    // A journal of the notes each change touched, so that views can update only those.
    quint64 changeSerial() const { return m_changeSerial; }
    NoteChanges changesSince(quint64 serial) const;

    bool includeInTodos(const QString &noteId) const;
    bool setIncludeInTodos(const QString &noteId, bool include);

Q_SIGNALS:
    void notesChanged();
    void noteDeleted(const QString &noteId);
    void notePurged(const QString &noteId);

private:
    void recordChange(const QString &id);
    QSqlQuery &preparedQuery(std::unique_ptr<QSqlQuery> &slot, const QString &sql) const;
    QString idOfRowid(qint64 rowid) const;

    Database *m_database;
    quint64 m_changeSerial = 0;
    // (serial, note id); oldest first, trimmed to a bounded length.
    QList<std::pair<quint64, QString>> m_journal;
    quint64 m_journalStart = 0; // changes before this serial are no longer known
    QSqlError m_lastError;

    mutable std::unique_ptr<QSqlQuery> m_searchNotesQuery;
    mutable std::unique_ptr<QSqlQuery> m_searchRowidsQuery;
    // Multi-row inserts by row count: a full statement and the last remainder.
    QHash<qsizetype, std::shared_ptr<QSqlQuery>> m_insertManyQueries;
    std::unique_ptr<QSqlQuery> m_insertQuery;
    mutable bool m_textIndexComplete = false;
    // rowid -> id of every note, read once from the primary-key index.
    mutable QHash<qint64, QString> m_idsByRowid;
    mutable bool m_idsByRowidValid = false;

};
