#include "serverdatabase.h"

#include "serverlog.h"

#include <QDateTime>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>

#include <atomic>

namespace OmbrServer {

namespace {

std::atomic<int> nextSerial{1};

// Connection names of this thread, per database object.
thread_local QHash<int, QString> threadConnections;

// Each entry moves the schema one version up; never edit a released entry.
const char *const kMigrations[] = {
    R"(CREATE TABLE users (
        id TEXT PRIMARY KEY,
        email TEXT NOT NULL UNIQUE,
        password_hash TEXT NOT NULL,
        display_name TEXT NOT NULL DEFAULT '',
        username TEXT NOT NULL DEFAULT '',
        avatar_url TEXT NOT NULL DEFAULT '',
        group_id TEXT NOT NULL DEFAULT '',
        role TEXT NOT NULL DEFAULT '',
        created_at TEXT NOT NULL);
    CREATE TABLE sessions (
        id TEXT PRIMARY KEY,
        user_id TEXT NOT NULL REFERENCES users(id) ON DELETE CASCADE,
        user_agent TEXT NOT NULL DEFAULT '',
        ip_address TEXT NOT NULL DEFAULT '',
        created_at TEXT NOT NULL,
        last_active_at TEXT NOT NULL,
        expires_at TEXT NOT NULL,
        revoked_at TEXT);
    CREATE INDEX sessions_user ON sessions(user_id, revoked_at);
    CREATE TABLE refresh_tokens (
        token_hash TEXT PRIMARY KEY,
        session_id TEXT NOT NULL REFERENCES sessions(id) ON DELETE CASCADE,
        created_at TEXT NOT NULL,
        rotated_at TEXT);
    CREATE INDEX refresh_tokens_session ON refresh_tokens(session_id);)",
};

bool execScript(QSqlDatabase db, const QString &script, QString *error)
{
    QSqlQuery query(db);
    for (const QString &statement : script.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        if (statement.trimmed().isEmpty())
            continue;
        if (!query.exec(statement)) {
            *error = query.lastError().text();
            return false;
        }
    }
    return true;
}

} // namespace

ServerDatabase::ServerDatabase()
    : m_serial(nextSerial++)
{
}

ServerDatabase::~ServerDatabase()
{
    // Worker threads are gone by now; their connections are closed from here.
    QMutexLocker locker(&m_mutex);
    for (const QString &name : std::as_const(m_connectionNames))
        QSqlDatabase::removeDatabase(name);
    threadConnections.remove(m_serial);
}

QString ServerDatabase::isoNow()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
}

QSqlDatabase ServerDatabase::connection()
{
    const QString existing = threadConnections.value(m_serial);
    if (!existing.isEmpty())
        return QSqlDatabase::database(existing, false);

    const QString name = QStringLiteral("ombrel-server-%1-%2")
                             .arg(m_serial)
                             .arg(quintptr(Qt::HANDLE(QThread::currentThreadId())));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(m_path);
    if (!db.open()) {
        qCCritical(lcServer) << "Cannot open database:" << db.lastError().text();
        QSqlDatabase::removeDatabase(name);
        return {};
    }
    QSqlQuery pragma(db);
    pragma.exec(QStringLiteral("PRAGMA busy_timeout=10000"));
    pragma.exec(QStringLiteral("PRAGMA foreign_keys=ON"));
    pragma.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    threadConnections.insert(m_serial, name);
    QMutexLocker locker(&m_mutex);
    m_connectionNames.append(name);
    return db;
}

bool ServerDatabase::open(const QString &path, QString *error)
{
    m_path = path;
    QSqlDatabase db = connection();
    if (!db.isValid() || !db.isOpen()) {
        *error = QStringLiteral("Cannot open the database %1").arg(path);
        return false;
    }
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("PRAGMA journal_mode=WAL")) || !query.next()
        || query.value(0).toString() != QLatin1String("wal")) {
        *error = QStringLiteral("Cannot switch %1 to write-ahead logging").arg(path);
        return false;
    }
    query.finish();
    return migrate(db, error);
}

bool ServerDatabase::migrate(QSqlDatabase db, QString *error)
{
    WriteTransaction transaction(db);
    if (!transaction.isActive()) {
        *error = QStringLiteral("Cannot lock the database for migration");
        return false;
    }
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next()) {
        *error = query.lastError().text();
        return false;
    }
    const int current = query.value(0).toInt();
    query.finish();
    const int latest = int(std::size(kMigrations));
    if (current > latest) {
        *error = QStringLiteral("The database is from a newer server (schema %1, this server knows %2)")
                     .arg(current)
                     .arg(latest);
        return false;
    }
    for (int version = current; version < latest; ++version) {
        if (!execScript(db, QString::fromUtf8(kMigrations[version]), error))
            return false;
    }
    if (current != latest && !query.exec(QStringLiteral("PRAGMA user_version=%1").arg(latest))) {
        *error = query.lastError().text();
        return false;
    }
    if (!transaction.commit()) {
        *error = QStringLiteral("Cannot commit the migration");
        return false;
    }
    return true;
}

WriteTransaction::WriteTransaction(QSqlDatabase db)
    : m_db(db)
{
    if (m_db.isOpen()) {
        QSqlQuery query(m_db);
        m_active = query.exec(QStringLiteral("BEGIN IMMEDIATE"));
        if (!m_active)
            qCWarning(lcServer) << "WriteTransaction: BEGIN failed:" << query.lastError().text();
    }
}

WriteTransaction::~WriteTransaction()
{
    if (m_active) {
        QSqlQuery query(m_db);
        query.exec(QStringLiteral("ROLLBACK"));
    }
}

bool WriteTransaction::commit()
{
    if (!m_active)
        return false;
    QSqlQuery query(m_db);
    m_active = false;
    if (query.exec(QStringLiteral("COMMIT")))
        return true;
    query.exec(QStringLiteral("ROLLBACK"));
    return false;
}

} // namespace OmbrServer
