#include "noterepository.h"

#include "attachmentrepository.h"
#include "columns.h"
#include "database.h"
#include "storagelog.h"

#include <QDateTime>
#include <QFile>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace {

QDateTime nowUtc()
{
    return QDateTime::currentDateTimeUtc();
}

void bindNoteColumns(QSqlQuery &query, const Note &note)
{
    query.addBindValue(Columns::emptyIfNull(note.notebookId));
    query.addBindValue(Columns::emptyIfNull(note.body));
}

void bindNoteState(QSqlQuery &query, const Note &note)
{
    query.addBindValue(Columns::fromOptionalDateTime(note.deletedAt));
    query.addBindValue(note.version);
    query.addBindValue(note.opVersion);
    query.addBindValue(syncStatusToString(note.syncStatus));
    query.addBindValue(note.isSample ? 1 : 0);
    query.addBindValue(Columns::nullIfEmpty(note.ownerId));
    query.addBindValue(note.isShared ? 1 : 0);
    query.addBindValue(Columns::nullIfEmpty(note.permission));
}

// When FTS5 rejects what the user typed as query syntax ("e-mail", "don't", an
// unbalanced quote), search for the typed words literally instead of showing nothing.
QString literalMatch(const QString &text)
{
    static const QRegularExpression whitespace(QStringLiteral("\\s+"));
    const QStringList terms = text.split(whitespace, Qt::SkipEmptyParts);
    QStringList quoted;
    quoted.reserve(terms.size());
    for (const QString &term : terms) {
        QString escaped = term;
        escaped.replace(QLatin1Char('"'), QLatin1String("\"\""));
        quoted.append(QLatin1Char('"') + escaped + QLatin1Char('"'));
    }
    if (quoted.isEmpty())
        return QString();
    quoted.last().append(QLatin1Char('*'));
    return quoted.join(QLatin1Char(' '));
}

QList<Note> readNotes(QSqlQuery &query)
{
    QList<Note> notes;
    const Columns::Index column(query.record(),
                                {"id", "notebook_id", "body", "created_at", "updated_at", "modified_at",
                                 "deleted_at", "version", "op_version", "sync_status", "is_sample",
                                 "owner_id", "is_shared", "permission"});
    while (query.next()) {
        Note note;
        note.id = query.value(column[0]).toString();
        note.notebookId = query.value(column[1]).toString();
        note.body = query.value(column[2]).toString();
        note.createdAt = Columns::toDateTime(query.value(column[3]));
        note.updatedAt = Columns::toDateTime(query.value(column[4]));
        note.modifiedAt = Columns::toDateTime(query.value(column[5]));
        note.deletedAt = Columns::toOptionalDateTime(query.value(column[6]));
        note.version = query.value(column[7]).toInt();
        note.opVersion = query.value(column[8]).toInt();
        note.syncStatus = syncStatusFromString(query.value(column[9]).toString());
        note.isSample = query.value(column[10]).toLongLong() != 0;
        note.ownerId = query.value(column[11]).toString();
        note.isShared = query.value(column[12]).toLongLong() != 0;
        note.permission = query.value(column[13]).toString();
        notes.append(std::move(note));
    }
    return notes;
}

const char listColumns[] = "id, notebook_id, updated_at, version, sync_status, is_shared, owner_id, deleted_at";

QList<NoteListEntry> readEntries(QSqlQuery &query)
{
    QList<NoteListEntry> entries;
    while (query.next()) {
        NoteListEntry entry;
        entry.id = query.value(0).toString();
        entry.notebookId = query.value(1).toString();
        entry.updatedAt = Columns::toDateTime(query.value(2));
        entry.version = query.value(3).toInt();
        entry.syncStatus = syncStatusFromString(query.value(4).toString());
        entry.isShared = query.value(5).toLongLong() != 0;
        entry.ownerId = query.value(6).toString();
        entry.isTrashed = Columns::toOptionalDateTime(query.value(7)).has_value();
        entries.append(std::move(entry));
    }
    return entries;
}

QList<NoteListEntry> selectEntries(Database *database, const QString &where, const QVariantList &values = {})
{
    QSqlQuery query(database->handle());
    query.setForwardOnly(true);
    if (!query.prepare(QStringLiteral("SELECT %1 FROM notes %2").arg(QLatin1String(listColumns), where)))
        return {};
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec())
        return {};
    return readEntries(query);
}

// Runs one SELECT of whole note rows; nullopt when the statement fails.
std::optional<QList<Note>> selectNotes(Database *database, const QString &sql, const QVariantList &values = {})
{
    QSqlQuery query(database->handle());
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        return std::nullopt;
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec())
        return std::nullopt;
    return readNotes(query);
}

QList<Note> selectNotesOrEmpty(Database *database, const QString &sql, const QVariantList &values = {})
{
    return selectNotes(database, sql, values).value_or(QList<Note>());
}

} // namespace

NoteRepository::NoteRepository(Database *database, QObject *parent)
    : QObject(parent)
    , m_database(database)
{
}

QList<Note> NoteRepository::allNotes() const
{
    return selectNotesOrEmpty(m_database, QStringLiteral("SELECT * FROM notes WHERE deleted_at IS NULL ORDER BY updated_at DESC"));
}

QList<Note> NoteRepository::notesInNotebook(const QString &notebookId) const
{
    return selectNotesOrEmpty(m_database, QStringLiteral("SELECT * FROM notes WHERE notebook_id=? AND deleted_at IS NULL ORDER BY updated_at DESC"),
                              {Columns::emptyIfNull(notebookId)});
}

QList<Note> NoteRepository::trashedNotes() const
{
    return selectNotesOrEmpty(m_database, QStringLiteral("SELECT * FROM notes WHERE deleted_at IS NOT NULL ORDER BY deleted_at DESC"));
}

QList<Note> NoteRepository::pendingNotes() const
{
    return selectNotesOrEmpty(m_database, QStringLiteral("SELECT * FROM notes WHERE sync_status = 'pending'"));
}

QList<Note> NoteRepository::sharedByMe() const
{
    return selectNotesOrEmpty(m_database, QStringLiteral("SELECT * FROM notes WHERE is_shared = 1 AND (owner_id IS NULL OR owner_id = '') "
                                      "AND deleted_at IS NULL ORDER BY updated_at DESC"));
}

QList<Note> NoteRepository::sharedWithMe() const
{
    return selectNotesOrEmpty(m_database, QStringLiteral("SELECT * FROM notes WHERE owner_id IS NOT NULL AND owner_id != '' "
                                      "AND deleted_at IS NULL ORDER BY updated_at DESC"));
}

std::optional<Note> NoteRepository::findById(const QString &id) const
{
    const QList<Note> notes = selectNotesOrEmpty(m_database, QStringLiteral("SELECT * FROM notes WHERE id = ?"), {id});
    if (notes.isEmpty())
        return std::nullopt;
    return notes.first();
}

bool NoteRepository::insert(const Note &note)
{
    QSqlQuery query(m_database->handle());
    query.prepare(QStringLiteral(
        "INSERT INTO notes (id, notebook_id, body, created_at, updated_at, modified_at, deleted_at, version, "
        "op_version, sync_status, is_sample, owner_id, is_shared, permission) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    query.addBindValue(note.id);
    bindNoteColumns(query, note);
    query.addBindValue(Columns::fromDateTime(note.createdAt));
    query.addBindValue(Columns::fromDateTime(note.updatedAt));
    query.addBindValue(Columns::fromDateTime(note.modifiedAt));
    bindNoteState(query, note);
    if (!query.exec()) {
        qCWarning(lcStorage) << "NoteRepository::insert failed:" << query.lastError().text();
        return false;
    }
    recordChange(note.id);
    Q_EMIT notesChanged();
    return true;
}

bool NoteRepository::update(const Note &note)
{
    QSqlQuery query(m_database->handle());
    query.prepare(QStringLiteral(
        "UPDATE notes SET notebook_id=?, body=?, updated_at=?, modified_at=?, deleted_at=?, version=?, "
        "op_version=?, sync_status=?, is_sample=?, owner_id=?, is_shared=?, permission=? WHERE id=?"));
    bindNoteColumns(query, note);
    query.addBindValue(Columns::fromDateTime(note.updatedAt));
    query.addBindValue(Columns::fromDateTime(note.modifiedAt));
    bindNoteState(query, note);
    query.addBindValue(note.id);
    if (!query.exec()) {
        qCWarning(lcStorage) << "NoteRepository::update failed:" << query.lastError().text();
        return false;
    }
    recordChange(note.id);
    Q_EMIT notesChanged();
    return true;
}

bool NoteRepository::moveToTrash(const QString &id)
{
    QSqlQuery query(m_database->handle());
    query.prepare(QStringLiteral("UPDATE notes SET deleted_at=?, sync_status='pending' WHERE id=?"));
    query.addBindValue(Columns::fromDateTime(nowUtc()));
    query.addBindValue(id);
    if (!query.exec())
        return false;
    recordChange(id);
    Q_EMIT noteDeleted(id);
    Q_EMIT notesChanged();
    return true;
}

bool NoteRepository::restore(const QString &id)
{
    QSqlQuery query(m_database->handle());
    query.prepare(QStringLiteral("UPDATE notes SET deleted_at=NULL, sync_status='pending' WHERE id=?"));
    query.addBindValue(id);
    if (!query.exec())
        return false;
    recordChange(id);
    Q_EMIT notesChanged();
    return true;
}

// The note's snapshots, task setting and attachment rows reference it; with foreign
// keys on, the note can only go together with them, in one transaction. Attachment
// files are removed only once that transaction has committed.
bool NoteRepository::deletePermanently(const QString &id)
{
    QSqlDatabase db = m_database->handle();
    QStringList attachmentIds;
    {
        QSqlQuery query(db);
        query.prepare(QStringLiteral("SELECT id FROM attachments WHERE note_id = ?"));
        query.addBindValue(id);
        if (!query.exec())
            return false;
        while (query.next())
            attachmentIds.append(query.value(0).toString());
    }

    if (!db.transaction())
        return false;
    static const char *const statements[] = {
        "DELETE FROM note_snapshots WHERE note_id=?",
        "DELETE FROM note_task_settings WHERE note_id=?",
        "DELETE FROM note_operations WHERE note_id=?",
        "DELETE FROM tasks WHERE note_id=?",
        "DELETE FROM attachments WHERE note_id=?",
        "DELETE FROM notes WHERE id=?",
    };
    for (const char *statement : statements) {
        QSqlQuery query(db);
        query.prepare(QLatin1String(statement));
        query.addBindValue(id);
        if (!query.exec()) {
            qCWarning(lcStorage) << "NoteRepository::deletePermanently failed:" << query.lastError().text();
            query.finish();
            db.rollback();
            return false;
        }
    }
    if (!db.commit()) {
        qCWarning(lcStorage) << "NoteRepository::deletePermanently failed:" << db.lastError().text();
        db.rollback();
        return false;
    }

    for (const QString &attachmentId : std::as_const(attachmentIds)) {
        if (AttachmentRepository::isValidId(attachmentId))
            QFile::remove(attachmentFilePath(attachmentId));
    }
    recordChange(id);
    Q_EMIT notePurged(id);
    Q_EMIT notesChanged();
    return true;
}

bool NoteRepository::moveToNotebook(const QString &noteId, const QString &notebookId)
{
    QSqlQuery query(m_database->handle());
    query.prepare(QStringLiteral("UPDATE notes SET notebook_id=?, modified_at=?, sync_status='pending' WHERE id=?"));
    query.addBindValue(Columns::emptyIfNull(notebookId));
    query.addBindValue(Columns::fromDateTime(nowUtc()));
    query.addBindValue(noteId);
    if (!query.exec())
        return false;
    recordChange(noteId);
    Q_EMIT notesChanged();
    return true;
}

bool NoteRepository::markSynced(const QString &noteId, int version)
{
    QSqlQuery query(m_database->handle());
    query.prepare(QStringLiteral("UPDATE notes SET sync_status='synced', version=? WHERE id=?"));
    query.addBindValue(version);
    query.addBindValue(noteId);
    if (!query.exec())
        return false;
    recordChange(noteId);
    return true;
}

int NoteRepository::markAllPending()
{
    QSqlQuery query(m_database->handle());
    if (!query.exec(QStringLiteral(
            "UPDATE notes SET sync_status='pending' WHERE deleted_at IS NULL AND sync_status != 'pending'")))
        return 0;
    const int changed = query.numRowsAffected();
    if (changed > 0) {
        // Too many rows to journal one by one: views reload everything.
        m_journal.clear();
        m_journalStart = ++m_changeSerial;
    }
    return changed;
}

QHash<QString, int> NoteRepository::noteCountsByNotebook() const
{
    QHash<QString, int> counts;
    QSqlQuery query(m_database->handle());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral(
            "SELECT notebook_id, COUNT(*) AS c FROM notes WHERE deleted_at IS NULL GROUP BY notebook_id")))
        return counts;
    while (query.next())
        counts.insert(Columns::emptyIfNull(query.value(0).toString()), query.value(1).toInt());
    return counts;
}

QList<Note> NoteRepository::search(const QString &text) const
{
    if (text.trimmed().isEmpty())
        return allNotes();

    const QString sql = QStringLiteral("SELECT n.* FROM notes n JOIN notes_fts f ON n.rowid = f.rowid "
                                       "WHERE notes_fts MATCH ? AND n.deleted_at IS NULL ORDER BY rank");
    if (const auto found = selectNotes(m_database, sql, {text + QLatin1Char('*')}))
        return *found;
    return selectNotesOrEmpty(m_database, sql, {literalMatch(text)});
}

QList<NoteListEntry> NoteRepository::listEntries() const
{
    return selectEntries(m_database, QStringLiteral("WHERE deleted_at IS NULL ORDER BY updated_at DESC"));
}

QList<NoteListEntry> NoteRepository::listEntriesInNotebook(const QString &notebookId) const
{
    return selectEntries(m_database, QStringLiteral("WHERE notebook_id=? AND deleted_at IS NULL ORDER BY updated_at DESC"),
                         {Columns::emptyIfNull(notebookId)});
}

std::optional<NoteListEntry> NoteRepository::listEntry(const QString &id) const
{
    const QList<NoteListEntry> found = selectEntries(m_database, QStringLiteral("WHERE id = ?"), {id});
    if (found.isEmpty())
        return std::nullopt;
    return found.first();
}

std::optional<QString> NoteRepository::bodyOf(const QString &id) const
{
    QSqlQuery query(m_database->handle());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT body FROM notes WHERE id = ?"));
    query.addBindValue(id);
    if (!query.exec() || !query.next())
        return std::nullopt;
    return query.value(0).toString();
}

bool NoteRepository::visitLiveBodies(const BodyVisitor &visit) const
{
    QSqlQuery query(m_database->handle());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT id, updated_at, body FROM notes WHERE deleted_at IS NULL")))
        return false;
    while (query.next())
        visit(query.value(0).toString(), Columns::toDateTime(query.value(1)), query.value(2).toString());
    return true;
}

QStringList NoteRepository::searchIds(const QString &text) const
{
    QStringList ids;
    if (text.trimmed().isEmpty()) {
        const QList<NoteListEntry> entries = listEntries();
        ids.reserve(entries.size());
        for (const NoteListEntry &entry : entries)
            ids.append(entry.id);
        return ids;
    }
    const auto run = [this, &ids](const QString &match) {
        QSqlQuery query(m_database->handle());
        query.setForwardOnly(true);
        query.prepare(QStringLiteral("SELECT n.id FROM notes n JOIN notes_fts f ON n.rowid = f.rowid "
                                     "WHERE notes_fts MATCH ? AND n.deleted_at IS NULL ORDER BY rank"));
        query.addBindValue(match);
        if (!query.exec())
            return false;
        while (query.next())
            ids.append(query.value(0).toString());
        return true;
    };
    if (!run(text + QLatin1Char('*')))
        run(literalMatch(text));
    return ids;
}

void NoteRepository::recordChange(const QString &id)
{
    constexpr qsizetype maxJournal = 4096;
    ++m_changeSerial;
    m_journal.append({m_changeSerial, id});
    if (m_journal.size() > maxJournal) {
        const qsizetype drop = m_journal.size() - maxJournal / 2;
        m_journalStart = m_journal.at(drop - 1).first;
        m_journal.remove(0, drop);
    }
}

NoteChanges NoteRepository::changesSince(quint64 serial) const
{
    NoteChanges changes;
    if (serial < m_journalStart) {
        changes.complete = false;
        return changes;
    }
    // Newest last: walk back until the serial the caller has seen.
    for (auto it = m_journal.crbegin(); it != m_journal.crend() && it->first > serial; ++it)
        changes.ids.insert(it->second);
    return changes;
}

bool NoteRepository::includeInTodos(const QString &noteId) const
{
    QSqlQuery query(m_database->handle());
    query.prepare(QStringLiteral("SELECT include_in_todos FROM note_task_settings WHERE note_id = ?"));
    query.addBindValue(noteId);
    if (!query.exec() || !query.next())
        return true;
    return query.value(0).toLongLong() != 0;
}

bool NoteRepository::setIncludeInTodos(const QString &noteId, bool include)
{
    QSqlQuery query(m_database->handle());
    query.prepare(QStringLiteral(
        "INSERT INTO note_task_settings (note_id, include_in_todos) VALUES (?, ?) "
        "ON CONFLICT(note_id) DO UPDATE SET include_in_todos = excluded.include_in_todos"));
    query.addBindValue(noteId);
    query.addBindValue(include ? 1 : 0);
    return query.exec();
}
