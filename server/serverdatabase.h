#pragma once

#include <QMutex>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

namespace OmbrServer {

// The service's one SQLite file (WAL). Request handlers run on a pool of threads and a
// Qt connection belongs to the thread that opened it, so each thread gets its own.
class ServerDatabase
{
public:
    ServerDatabase();
    ~ServerDatabase();
    ServerDatabase(const ServerDatabase &) = delete;
    ServerDatabase &operator=(const ServerDatabase &) = delete;

    // Opens (creating if needed) and migrates the database at path.
    bool open(const QString &path, QString *error);
    // This thread's connection; invalid when the file cannot be opened.
    QSqlDatabase connection();

    static QString isoNow();

private:
    bool migrate(QSqlDatabase db, QString *error);

    const int m_serial;
    QString m_path;
    QMutex m_mutex;
    QStringList m_connectionNames;
};

// Qt binds a null QString as SQL NULL; text columns here are NOT NULL.
inline QString textValue(const QString &value)
{
    return value.isNull() ? QStringLiteral("") : value;
}

// BEGIN IMMEDIATE … COMMIT, rolled back unless committed: read-then-write sequences
// (refresh token rotation) take the write lock up front instead of failing on upgrade.
class WriteTransaction
{
public:
    explicit WriteTransaction(QSqlDatabase db);
    ~WriteTransaction();
    bool isActive() const { return m_active; }
    bool commit();

private:
    QSqlDatabase m_db;
    bool m_active = false;
};

} // namespace OmbrServer
