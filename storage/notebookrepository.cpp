#include "notebookrepository.h"

#include "columns.h"
#include "database.h"
#include "storagelog.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace {

QList<Notebook> readNotebooks(QSqlQuery &query)
{
    QList<Notebook> notebooks;
    const Columns::Index column(query.record(), {"id", "name", "is_default", "is_shared", "owner_id", "created_at",
                                                 "updated_at", "deleted_at", "version", "sync_status"});
    while (query.next()) {
        Notebook notebook;
        notebook.id = query.value(column[0]).toString();
        notebook.name = query.value(column[1]).toString();
        notebook.isDefault = query.value(column[2]).toLongLong() != 0;
        notebook.isShared = query.value(column[3]).toLongLong() != 0;
        notebook.ownerId = query.value(column[4]).toString();
        notebook.createdAt = Columns::toDateTime(query.value(column[5]));
        notebook.updatedAt = Columns::toDateTime(query.value(column[6]));
        notebook.deletedAt = Columns::toOptionalDateTime(query.value(column[7]));
        notebook.version = query.value(column[8]).toInt();
        notebook.syncStatus = syncStatusFromString(query.value(column[9]).toString());
        notebooks.append(std::move(notebook));
    }
    return notebooks;
}

} // namespace

NotebookRepository::NotebookRepository(Database *database, QObject *parent)
    : QObject(parent)
    , m_database(database)
{
}

QList<Notebook> NotebookRepository::allNotebooks() const
{
    QSqlQuery query(m_database->handle());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral(
            "SELECT * FROM notebooks WHERE deleted_at IS NULL ORDER BY is_default DESC, name ASC")))
        return {};
    return readNotebooks(query);
}

std::optional<Notebook> NotebookRepository::findById(const QString &id) const
{
    QSqlQuery query(m_database->handle());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT * FROM notebooks WHERE id = ?"));
    query.addBindValue(id);
    if (!query.exec())
        return std::nullopt;
    const QList<Notebook> found = readNotebooks(query);
    if (found.isEmpty())
        return std::nullopt;
    return found.first();
}

bool NotebookRepository::insert(const Notebook &notebook)
{
    QSqlQuery query(m_database->handle());
    query.prepare(QStringLiteral(
        "INSERT INTO notebooks (id, name, is_default, is_shared, owner_id, created_at, updated_at, deleted_at, "
        "version, sync_status) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    query.addBindValue(notebook.id);
    query.addBindValue(Columns::emptyIfNull(notebook.name));
    query.addBindValue(notebook.isDefault ? 1 : 0);
    query.addBindValue(notebook.isShared ? 1 : 0);
    query.addBindValue(Columns::nullIfEmpty(notebook.ownerId));
    query.addBindValue(Columns::fromDateTime(notebook.createdAt));
    query.addBindValue(Columns::fromDateTime(notebook.updatedAt));
    query.addBindValue(Columns::fromOptionalDateTime(notebook.deletedAt));
    query.addBindValue(notebook.version);
    query.addBindValue(syncStatusToString(notebook.syncStatus));
    if (!query.exec()) {
        qCWarning(lcStorage) << "NotebookRepository::insert failed:" << query.lastError().text();
        return false;
    }
    Q_EMIT notebooksChanged();
    return true;
}

bool NotebookRepository::update(const Notebook &notebook)
{
    QSqlQuery query(m_database->handle());
    query.prepare(QStringLiteral(
        "UPDATE notebooks SET name=?, is_default=?, is_shared=?, owner_id=?, updated_at=?, deleted_at=?, "
        "version=?, sync_status=? WHERE id=?"));
    query.addBindValue(Columns::emptyIfNull(notebook.name));
    query.addBindValue(notebook.isDefault ? 1 : 0);
    query.addBindValue(notebook.isShared ? 1 : 0);
    query.addBindValue(Columns::nullIfEmpty(notebook.ownerId));
    query.addBindValue(Columns::fromDateTime(notebook.updatedAt));
    query.addBindValue(Columns::fromOptionalDateTime(notebook.deletedAt));
    query.addBindValue(notebook.version);
    query.addBindValue(syncStatusToString(notebook.syncStatus));
    query.addBindValue(notebook.id);
    if (!query.exec()) {
        qCWarning(lcStorage) << "NotebookRepository::update failed:" << query.lastError().text();
        return false;
    }
    Q_EMIT notebooksChanged();
    return true;
}

bool NotebookRepository::moveToTrash(const QString &id)
{
    QSqlQuery query(m_database->handle());
    query.prepare(QStringLiteral("UPDATE notebooks SET deleted_at=?, sync_status='pending' WHERE id=?"));
    query.addBindValue(Columns::fromDateTime(QDateTime::currentDateTimeUtc()));
    query.addBindValue(id);
    if (!query.exec())
        return false;
    Q_EMIT notebooksChanged();
    return true;
}

int NotebookRepository::markAllPending()
{
    QSqlQuery query(m_database->handle());
    if (!query.exec(QStringLiteral(
            "UPDATE notebooks SET sync_status='pending' WHERE deleted_at IS NULL AND sync_status != 'pending'")))
        return 0;
    return query.numRowsAffected();
}
