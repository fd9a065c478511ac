#include "noterepository.h"

#include "attachmentrepository.h"
#include "columns.h"
#include "database.h"
#include "notecounts.h"
#include "notetextindex.h"
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

const char listColumns[] = "id, notebook_id, updated_at, version, sync_status, is_shared, owner_id, deleted_at, rowid";

// lastUpdatedAt: the last row's update time as stored, for a page's cursor.
QList<NoteListEntry> readEntries(QSqlQuery &query, QString *lastUpdatedAt = nullptr)
{
    QList<NoteListEntry> entries;
    QVariant last;
    while (query.next()) {
        NoteListEntry entry;
        entry.id = query.value(0).toString();
        entry.notebookId = query.value(1).toString();
        const QVariant updatedAt = query.value(2);
        entry.updatedAt = Columns::toDateTime(updatedAt);
        entry.version = query.value(3).toInt();
        entry.syncStatus = syncStatusFromString(query.value(4).toString());
        entry.isShared = query.value(5).toLongLong() != 0;
        entry.ownerId = query.value(6).toString();
        entry.isTrashed = Columns::toOptionalDateTime(query.value(7)).has_value();
        entry.rowid = query.value(8).toLongLong();
        entries.append(std::move(entry));
        if (lastUpdatedAt)
            last = updatedAt;
    }
    if (lastUpdatedAt)
        *lastUpdatedAt = last.toString();
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

NoteRepository::~NoteRepository() = default;

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

QStringList NoteRepository::trashedIds() const
{
    QStringList ids;
    QSqlQuery query(m_database->handle());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT id FROM notes WHERE deleted_at IS NOT NULL")))
        return ids;
    while (query.next())
        ids.append(query.value(0).toString());
    return ids;
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

namespace {

// One statement shape for single and multi-row inserts: the columns, then a row of values per note.
const QString InsertColumns = QStringLiteral(
    "INSERT INTO notes (id, notebook_id, body, created_at, updated_at, modified_at, deleted_at, version, "
    "op_version, sync_status, is_sample, owner_id, is_shared, permission) VALUES ");
const QString InsertRow = QStringLiteral("(?,?,?,?,?,?,?,?,?,?,?,?,?,?)");

void bindInsertRow(QSqlQuery &query, const Note &note)
{
    query.addBindValue(note.id);
    bindNoteColumns(query, note);
    query.addBindValue(Columns::fromDateTime(note.createdAt));
    query.addBindValue(Columns::fromDateTime(note.updatedAt));
    query.addBindValue(Columns::fromDateTime(note.modifiedAt));
    bindNoteState(query, note);
}

} // namespace

bool NoteRepository::insert(const Note &note)
{
    // Prepared once: an import or restore inserts a hundred thousand rows in a row.
    QSqlQuery &query = preparedQuery(m_insertQuery, InsertColumns + InsertRow);
    bindInsertRow(query, note);
    if (!query.exec()) {
        m_lastError = query.lastError();
        qCWarning(lcStorage) << "NoteRepository::insert failed:" << query.lastError().text();
        m_insertQuery.reset(); // prepared anew next time, in case the statement itself was at fault
        return false;
    }
    if (m_idsByRowidValid)
        m_idsByRowid.insert(query.lastInsertId().toLongLong(), note.id);
    recordChange(note.id);
    Q_EMIT notesChanged();
    return true;
}

int NoteRepository::insertMany(const QList<Note> &notes)
{
    // 14 values a row; SQLite before 3.32 allows only 999 variables a statement. Larger
    // statements gain little and cost more to prepare and bind.
    constexpr qsizetype rowsPerStatement = 64;
    qsizetype written = 0;
    while (written < notes.size()) {
        const qsizetype rows = qMin(rowsPerStatement, notes.size() - written);
        if (!m_insertManyQueries.contains(rows) && m_insertManyQueries.size() >= 2)
            m_insertManyQueries.clear();
        std::shared_ptr<QSqlQuery> &slot = m_insertManyQueries[rows];
        if (!slot) {
            QString sql = InsertColumns;
            sql.reserve(InsertColumns.size() + rows * (InsertRow.size() + 1));
            for (qsizetype i = 0; i < rows; ++i) {
                if (i > 0)
                    sql += QLatin1Char(',');
                sql += InsertRow;
            }
            auto prepared = std::make_shared<QSqlQuery>(m_database->handle());
            if (!prepared->prepare(sql)) {
                m_insertManyQueries.remove(rows);
                m_lastError = prepared->lastError();
                qCWarning(lcStorage) << "NoteRepository::insertMany failed:" << m_lastError.text();
                break;
            }
            slot = std::move(prepared);
        }
        QSqlQuery &query = *slot;
        for (qsizetype i = written; i < written + rows; ++i)
            bindInsertRow(query, notes.at(i));
        if (!query.exec()) {
            m_lastError = query.lastError();
            qCWarning(lcStorage) << "NoteRepository::insertMany failed:" << query.lastError().text();
            break;
        }
        query.finish();
        for (qsizetype i = written; i < written + rows; ++i)
            recordChange(notes.at(i).id);
        written += rows;
    }
    if (written > 0) {
        // The rowids of a multi-row insert are not reported one by one: read them again when needed.
        m_idsByRowidValid = false;
        Q_EMIT notesChanged();
    }
    return int(written);
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
        m_lastError = query.lastError();
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

    if (m_idsByRowidValid) {
        // A purged rowid may be reused by the next insert, which records its own id.
        for (auto it = m_idsByRowid.begin(); it != m_idsByRowid.end(); ++it) {
            if (it.value() == id) {
                m_idsByRowid.erase(it);
                break;
            }
        }
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

QHash<QString, int> NoteRepository::liveCountsByNotebook() const
{
    if (std::optional<QHash<QString, int>> counts = NoteCounts::read(m_database->handle()))
        return *std::move(counts);
    return noteCountsByNotebook();
}

QList<Note> NoteRepository::search(const QString &text) const
{
    if (text.trimmed().isEmpty())
        return allNotes();

    if (!textIndexComplete()) {
        // Until the text index is filled, the body index answers (it also matches JSON words).
        const QString sql = QStringLiteral("SELECT n.* FROM notes n JOIN notes_fts f ON n.rowid = f.rowid "
                                           "WHERE notes_fts MATCH ? AND n.deleted_at IS NULL ORDER BY rank");
        if (const auto found = selectNotes(m_database, sql, {text + QLatin1Char('*')}))
            return *found;
        return selectNotesOrEmpty(m_database, sql, {literalMatch(text)});
    }

    QSqlQuery &query = preparedQuery(m_searchNotesQuery, QString::fromLatin1(searchNotesSql()));
    // The literal form is built only when the typed text is not valid query syntax.
    for (const bool literal : {false, true}) {
        query.bindValue(0, matchText(text, literal));
        if (query.exec()) {
            QList<Note> notes = readNotes(query);
            query.finish();
            return notes;
        }
    }
    return {};
}

// The id breaks ties of equal update times, so that pages join up exactly; both keys are
// in the list indexes, so no sort is needed.
QList<NoteListEntry> NoteRepository::listEntries() const
{
    return selectEntries(m_database, QStringLiteral("WHERE deleted_at IS NULL ORDER BY updated_at DESC, id DESC"));
}

QList<NoteListEntry> NoteRepository::listEntriesInNotebook(const QString &notebookId) const
{
    return selectEntries(m_database,
                         QStringLiteral("WHERE notebook_id=? AND deleted_at IS NULL ORDER BY updated_at DESC, id DESC"),
                         {Columns::emptyIfNull(notebookId)});
}

NoteListPage NoteRepository::listEntriesPage(const QString &notebookId, bool reversed, const NoteListCursor &after,
                                             int limit) const
{
    NoteListPage page;
    if (limit <= 0) {
        page.complete = true;
        return page;
    }
    QString where = notebookId.isNull() ? QStringLiteral("WHERE deleted_at IS NULL")
                                        : QStringLiteral("WHERE notebook_id=? AND deleted_at IS NULL");
    QVariantList values;
    if (!notebookId.isNull())
        values.append(notebookId);
    if (!after.atStart()) {
        where += reversed ? QStringLiteral(" AND (updated_at, id) > (?, ?)") : QStringLiteral(" AND (updated_at, id) < (?, ?)");
        values << after.updatedAt << after.id;
    }
    where += reversed ? QStringLiteral(" ORDER BY updated_at ASC, id ASC LIMIT ?")
                      : QStringLiteral(" ORDER BY updated_at DESC, id DESC LIMIT ?");
    values.append(limit);

    QSqlQuery query(m_database->handle());
    query.setForwardOnly(true);
    if (!query.prepare(QStringLiteral("SELECT %1 FROM notes %2").arg(QLatin1String(listColumns), where))) {
        page.complete = true;
        return page;
    }
    for (const QVariant &value : std::as_const(values))
        query.addBindValue(value);
    if (!query.exec()) {
        qCWarning(lcStorage) << "NoteRepository::listEntriesPage failed:" << query.lastError().text();
        page.complete = true;
        return page;
    }
    QString lastUpdatedAt;
    page.entries = readEntries(query, &lastUpdatedAt);
    page.complete = page.entries.size() < limit;
    if (!page.entries.isEmpty())
        page.next = {lastUpdatedAt, page.entries.constLast().id};
    else
        page.next = after;
    return page;
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
    if (!textIndexComplete()) {
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

    const QList<qint64> rowids = searchRowids(text);
    ids.reserve(rowids.size());
    for (const qint64 rowid : rowids) {
        const QString id = idOfRowid(rowid);
        if (!id.isEmpty())
            ids.append(id);
    }
    return ids;
}

QList<qint64> NoteRepository::searchRowids(const QString &text) const
{
    QList<qint64> rowids;
    if (text.trimmed().isEmpty())
        return rowids;
    QSqlQuery &query = preparedQuery(m_searchRowidsQuery, QString::fromLatin1(rankedRowidsSql()));
    // The literal form is built only when the typed text is not valid query syntax.
    for (const bool literal : {false, true}) {
        query.bindValue(0, matchText(text, literal));
        if (query.exec()) {
            while (query.next())
                rowids.append(query.value(0).toLongLong());
            query.finish();
            break;
        }
    }
    return rowids;
}

const char *NoteRepository::rankedRowidsSql()
{
    return "SELECT rowid FROM notes_text_fts WHERE notes_text_fts MATCH ? ORDER BY rank";
}

const char *NoteRepository::searchNotesSql()
{
    return "SELECT n.* FROM notes_text_fts f JOIN notes n ON n.rowid = f.rowid WHERE notes_text_fts MATCH ? ORDER BY f.rank";
}

QString NoteRepository::matchText(const QString &text, bool literal)
{
    return literal ? literalMatch(text) : text + QLatin1Char('*');
}

bool NoteRepository::textIndexComplete() const
{
    if (!m_textIndexComplete)
        m_textIndexComplete = NoteTextIndex::isComplete(m_database->handle());
    return m_textIndexComplete;
}

QSqlQuery &NoteRepository::preparedQuery(std::unique_ptr<QSqlQuery> &slot, const QString &sql) const
{
    if (!slot) {
        slot = std::make_unique<QSqlQuery>(m_database->handle());
        slot->setForwardOnly(true);
        if (!slot->prepare(sql))
            qCWarning(lcStorage) << "NoteRepository: cannot prepare" << slot->lastError().text();
    }
    return *slot;
}

QString NoteRepository::idOfRowid(qint64 rowid) const
{
    if (!m_idsByRowidValid) {
        m_idsByRowid.clear();
        QSqlQuery query(m_database->handle());
        query.setForwardOnly(true);
        // The primary-key index holds (id, rowid): a scan of it never touches a body.
        if (query.exec(QStringLiteral("SELECT rowid, id FROM notes INDEXED BY sqlite_autoindex_notes_1"))
            || query.exec(QStringLiteral("SELECT rowid, id FROM notes"))) {
            while (query.next())
                m_idsByRowid.insert(query.value(0).toLongLong(), query.value(1).toString());
            m_idsByRowidValid = true;
        }
    }
    const auto it = m_idsByRowid.constFind(rowid);
    if (it != m_idsByRowid.cend())
        return it.value();
    // A row written around this repository: read it once.
    QSqlQuery query(m_database->handle());
    query.prepare(QStringLiteral("SELECT id FROM notes WHERE rowid = ?"));
    query.addBindValue(rowid);
    if (!query.exec() || !query.next())
        return QString();
    const QString id = query.value(0).toString();
    if (m_idsByRowidValid)
        m_idsByRowid.insert(rowid, id);
    return id;
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
