#include "snapshotrepository.h"

#include "columns.h"
#include "database.h"
#include "storagelog.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace {

QList<Snapshot> readSnapshots(QSqlQuery &query)
{
    QList<Snapshot> snapshots;
    const Columns::Index column(query.record(), {"id", "note_id", "version", "body", "created_at"});
    while (query.next()) {
        Snapshot snapshot;
        snapshot.id = query.value(column[0]).toString();
        snapshot.noteId = query.value(column[1]).toString();
        snapshot.version = query.value(column[2]).toInt();
        snapshot.body = query.value(column[3]).toString();
        snapshot.createdAt = Columns::toDateTime(query.value(column[4]));
        snapshots.append(std::move(snapshot));
    }
    return snapshots;
}

} // namespace

SnapshotRepository::SnapshotRepository(Database *database, QObject *parent)
    : QObject(parent)
    , m_database(database)
{
}

QList<Snapshot> SnapshotRepository::snapshotsForNote(const QString &noteId) const
{
    QSqlQuery query(m_database->handle());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT * FROM note_snapshots WHERE note_id=? ORDER BY version DESC"));
    query.addBindValue(noteId);
    if (!query.exec())
        return {};
    return readSnapshots(query);
}

QList<Snapshot> SnapshotRepository::snapshotHeadersForNote(const QString &noteId) const
{
    QSqlQuery query(m_database->handle());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT id, version, created_at FROM note_snapshots WHERE note_id=? ORDER BY version DESC"));
    query.addBindValue(noteId);
    QList<Snapshot> snapshots;
    if (!query.exec())
        return snapshots;
    while (query.next()) {
        Snapshot snapshot;
        snapshot.id = query.value(0).toString();
        snapshot.noteId = noteId;
        snapshot.version = query.value(1).toInt();
        snapshot.createdAt = Columns::toDateTime(query.value(2));
        snapshots.append(std::move(snapshot));
    }
    return snapshots;
}

std::optional<Snapshot> SnapshotRepository::findById(const QString &id) const
{
    QSqlQuery query(m_database->handle());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT * FROM note_snapshots WHERE id=?"));
    query.addBindValue(id);
    if (!query.exec())
        return std::nullopt;
    const QList<Snapshot> found = readSnapshots(query);
    if (found.isEmpty())
        return std::nullopt;
    return found.first();
}

bool SnapshotRepository::insert(const Snapshot &snapshot)
{
    QSqlQuery query(m_database->handle());
    query.prepare(QStringLiteral("INSERT OR REPLACE INTO note_snapshots (id, note_id, version, body, created_at) "
                                 "VALUES (?, ?, ?, ?, ?)"));
    query.addBindValue(snapshot.id);
    query.addBindValue(snapshot.noteId);
    query.addBindValue(snapshot.version);
    query.addBindValue(Columns::emptyIfNull(snapshot.body));
    query.addBindValue(Columns::fromDateTime(snapshot.createdAt));
    if (!query.exec()) {
        qCWarning(lcStorage) << "SnapshotRepository::insert failed:" << query.lastError().text();
        return false;
    }
    return true;
}
