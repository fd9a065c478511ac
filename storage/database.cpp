#include "database.h"

#include "notetextindex.h"
#include "storagelog.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
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
    // Qt's default of five seconds would freeze the window for as long on a database
    // another program has locked; a failed save is retried instead.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(BusyTimeoutMs));
    if (!db.open()) {
        fail(db.lastError().text());
        qCCritical(lcStorage) << "Failed to open database:" << m_errorText;
        return false;
    }
    m_errorText.clear();

    m_readOnly = false;
    QSqlQuery pragma(db);
    pragma.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    pragma.exec(QStringLiteral("PRAGMA foreign_keys=ON"));
    if (pragma.exec(QStringLiteral("PRAGMA user_version")) && pragma.next()) {
        // Rewriting the header cookie with its own value is a write that changes
        // nothing: it tells a write-protected file apart before any edit is accepted.
        const int userVersion = pragma.value(0).toInt();
        pragma.finish();
        if (!pragma.exec(QStringLiteral("PRAGMA user_version = %1").arg(userVersion))
            && isReadOnlyError(pragma.lastError())) {
            m_readOnly = true;
            qCWarning(lcStorage) << "Database is read-only:" << path << pragma.lastError().text();
        }
    } else if (QFileInfo::exists(path) && !QFileInfo(path).isWritable()) {
        // On read-only media a WAL database cannot even be read without its shared-memory
        // file; opened as an unchanging file, it can.
        pragma.finish();
        db.close();
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1;QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI")
                                 .arg(BusyTimeoutMs));
        db.setDatabaseName(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) + QLatin1String("?immutable=1"));
        if (!db.open()) {
            fail(db.lastError().text());
            qCCritical(lcStorage) << "Failed to open database:" << m_errorText;
            return false;
        }
        m_readOnly = true;
        qCWarning(lcStorage) << "Database is on read-only storage:" << path;
    }
    pragma.finish();
    qCInfo(lcStorage) << "Database opened:" << path;
    return true;
}

bool Database::isWritable() const
{
    if (m_readOnly)
        return false;
    const QString path = handle().databaseName();
    return path.isEmpty() || !QFileInfo::exists(path) || QFileInfo(path).isWritable();
}

QSqlDatabase Database::handle() const
{
    return QSqlDatabase::database(m_connectionName, false);
}

bool Database::isReadOnlyError(const QSqlError &error)
{
    return error.nativeErrorCode() == QLatin1String("8")
           || error.databaseText().contains(QLatin1String("readonly"), Qt::CaseInsensitive);
}

QString Database::describeWriteError(const QSqlError &error)
{
    const QString code = error.nativeErrorCode();
    const QString text = error.databaseText();
    if (code == QLatin1String("13") || text.contains(QLatin1String("disk is full")))
        return tr("the disk is full");
    if (isReadOnlyError(error))
        return tr("the database is read-only");
    if (code == QLatin1String("5") || code == QLatin1String("6") || text.contains(QLatin1String("locked")))
        return tr("the database is locked by another program");
    if (!text.isEmpty())
        return text;
    return error.text().isEmpty() ? tr("unknown error") : error.text();
}

bool Database::beginTransaction()
{
    QSqlDatabase db = handle();
    if (db.transaction())
        return true;
    qCWarning(lcStorage) << "Database::beginTransaction failed:" << db.lastError().text();
    return false;
}

bool Database::commit()
{
    QSqlDatabase db = handle();
    if (db.commit())
        return true;
    qCWarning(lcStorage) << "Database::commit failed:" << db.lastError().text();
    db.rollback();
    return false;
}

void Database::rollback()
{
    handle().rollback();
}

bool Database::isOpen() const
{
    return QSqlDatabase::contains(m_connectionName) && handle().isOpen();
}

bool Database::migrate()
{
    QSqlDatabase db = handle();
    QSqlQuery query(db);
    if (!db.isOpen()) {
        fail(tr("The database is not open."));
        return false;
    }
    if (!query.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS schema_version (  version INTEGER NOT NULL DEFAULT 0)"))) {
        fail(query.lastError().text());
        qCCritical(lcStorage) << "Failed to create schema_version table" << m_errorText;
        return false;
    }

    if (!query.exec(QStringLiteral("SELECT version FROM schema_version LIMIT 1"))) {
        fail(query.lastError().text());
        return false;
    }
    int current = 0;
    if (query.next()) {
        current = query.value(0).toInt();
        if (current < 0) {
            fail(tr("The schema version %1 is not valid.").arg(current));
            return false;
        }
    } else if (!query.exec(QStringLiteral("INSERT INTO schema_version (version) VALUES (0)"))) {
        fail(query.lastError().text());
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
    // Created here, filled later (NoteTextIndex::startBuild) so that start-up never waits on it.
    if (!NoteTextIndex::ensure(handle()))
        qCWarning(lcStorage) << "Could not create the text index; search uses the body index";
}

bool Database::setVersion(int version)
{
    QSqlQuery query(handle());
    query.prepare(QStringLiteral("UPDATE schema_version SET version = ?"));
    query.addBindValue(version);
    if (query.exec())
        return true;
    fail(query.lastError().text());
    return false;
}
