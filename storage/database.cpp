#include "database.h"

#include "storagelog.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

Database::Database(QObject *parent)
    : QObject(parent)
    , m_connectionName(QUuid::createUuid().toString(QUuid::WithoutBraces))
{
}

Database::~Database()
{
    {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        if (db.isOpen())
            db.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
}

bool Database::open(const QString &path)
{
    const QString directory = QFileInfo(path).absolutePath();
    if (!QDir(directory).exists())
        QDir().mkpath(directory);

    QSqlDatabase db = QSqlDatabase::contains(m_connectionName)
                          ? QSqlDatabase::database(m_connectionName, false)
                          : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    db.setDatabaseName(path);
    if (!db.open()) {
        qCCritical(lcStorage) << "Failed to open database:" << db.lastError().text();
        return false;
    }

    QSqlQuery pragma(db);
    pragma.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    pragma.exec(QStringLiteral("PRAGMA foreign_keys=ON"));
    qCInfo(lcStorage) << "Database opened:" << path;
    return true;
}

QSqlDatabase Database::handle() const
{
    return QSqlDatabase::database(m_connectionName, false);
}

bool Database::isOpen() const
{
    return QSqlDatabase::contains(m_connectionName) && handle().isOpen();
}

bool Database::migrate()
{
    QSqlDatabase db = handle();
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS schema_version (  version INTEGER NOT NULL DEFAULT 0)"))) {
        qCCritical(lcStorage) << "Failed to create schema_version table";
        return false;
    }

    if (!query.exec(QStringLiteral("SELECT version FROM schema_version LIMIT 1")))
        return false;
    int current = 0;
    if (query.next()) {
        current = query.value(0).toInt();
        if (current < 0)
            return false;
    } else if (!query.exec(QStringLiteral("INSERT INTO schema_version (version) VALUES (0)"))) {
        return false;
    }
    query.finish();

    if (current == 0) {
        qCInfo(lcStorage) << "Running migration 1: initial schema";
        if (!migrateToV1()) {
            Q_EMIT migrationError(1, QStringLiteral("Failed to create initial schema"));
            return false;
        }
        if (!setVersion(1))
            return false;
        Q_EMIT migrationApplied(1, QStringLiteral("initial schema"));
    }

    if (current < 2) {
        qCInfo(lcStorage) << "Running migration 2: drop default notebook + FK on notes.notebook_id";
        if (!migrateToV2()) {
            Q_EMIT migrationError(2, QStringLiteral("Failed to drop notebook FK"));
            return false;
        }
        if (!setVersion(2))
            return false;
        Q_EMIT migrationApplied(2, QStringLiteral("drop default notebook + FK"));
    }

    ensureSupportIndexes();
    qCInfo(lcStorage) << "Database at version" << LatestVersion;
    return true;
}

// Indexes beyond the numbered schema, created idempotently on every start so that
// databases already at the latest version get them too. Without them, counting notes
// per notebook and listing notes read every live row of the notes table, bodies
// included. A failure costs speed, not data.
void Database::ensureSupportIndexes()
{
    // The two list indexes cover every column of a note-list row, so the lists never
    // walk the pages of note bodies.
    static const char *const indexes[][2] = {
        {"idx_notes_deleted_at_notebook_id", "notes(deleted_at, notebook_id)"},
        {"idx_notes_list_all", "notes(deleted_at, updated_at, id, notebook_id, version, sync_status, is_shared, owner_id)"},
        {"idx_notes_list_notebook",
         "notes(notebook_id, deleted_at, updated_at, id, version, sync_status, is_shared, owner_id)"},
        // created_at sits after the body in the row: listing the history of a note with
        // large snapshots would otherwise walk every body's overflow pages.
        {"idx_note_snapshots_list", "note_snapshots(note_id, version DESC, id, created_at)"},
    };
    QSqlQuery query(handle());
    for (const auto &index : indexes) {
        if (!query.exec(QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2")
                            .arg(QLatin1String(index[0]), QLatin1String(index[1]))))
            qCWarning(lcStorage) << "Could not create index" << index[0] << query.lastError().text();
    }
}

bool Database::setVersion(int version)
{
    QSqlQuery query(handle());
    query.prepare(QStringLiteral("UPDATE schema_version SET version = ?"));
    query.addBindValue(version);
    return query.exec();
}
