#include "sessionstore.h"

#include "secrets.h"
#include "serverdatabase.h"
#include "serverlog.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>

namespace OmbrServer {

namespace {

constexpr qint64 kActivityResolutionMs = 60 * 1000;

const QString kSelectSession = QStringLiteral(
    "SELECT id, user_id, user_agent, ip_address, created_at, last_active_at, expires_at FROM sessions ");

SessionRecord readSession(const QSqlQuery &query)
{
    SessionRecord session;
    session.id = query.value(0).toString();
    session.userId = query.value(1).toString();
    session.userAgent = query.value(2).toString();
    session.ipAddress = query.value(3).toString();
    session.createdAt = query.value(4).toString();
    session.lastActiveAt = query.value(5).toString();
    session.expiresAt = query.value(6).toString();
    return session;
}

bool warnFailed(const char *operation, const QSqlQuery &query)
{
    qCWarning(lcServer).noquote() << QStringLiteral("SessionStore::%1 failed:").arg(QLatin1String(operation))
                                  << query.lastError().text();
    return false;
}

} // namespace

QJsonObject SessionRecord::toJson(bool isCurrent) const
{
    return QJsonObject{
        {QStringLiteral("id"), id},
        {QStringLiteral("user_agent"), userAgent},
        {QStringLiteral("ip_address"), ipAddress},
        {QStringLiteral("created_at"), createdAt},
        {QStringLiteral("last_active_at"), lastActiveAt},
        {QStringLiteral("is_current"), isCurrent},
    };
}

SessionStore::SessionStore(ServerDatabase &database)
    : m_database(database)
{
}

std::optional<SessionRecord> SessionStore::create(const QString &userId, const QString &userAgent,
                                                  const QString &ipAddress, const QString &refreshTokenHash,
                                                  const QString &expiresAt)
{
    QSqlDatabase db = m_database.connection();
    WriteTransaction transaction(db);
    if (!transaction.isActive())
        return std::nullopt;

    SessionRecord session;
    session.id = randomToken(16);
    session.userId = userId;
    session.userAgent = userAgent;
    session.ipAddress = ipAddress;
    session.createdAt = ServerDatabase::isoNow();
    session.lastActiveAt = session.createdAt;
    session.expiresAt = expiresAt;

    QSqlQuery query(db);
    query.prepare(QStringLiteral("INSERT INTO sessions (id, user_id, user_agent, ip_address, created_at, "
                                 "last_active_at, expires_at) VALUES (?, ?, ?, ?, ?, ?, ?)"));
    for (const QString &value : {session.id, session.userId, session.userAgent, session.ipAddress,
                                 session.createdAt, session.lastActiveAt, session.expiresAt})
        query.addBindValue(textValue(value));
    if (!query.exec()) {
        warnFailed("create", query);
        return std::nullopt;
    }

    query.prepare(QStringLiteral("INSERT INTO refresh_tokens (token_hash, session_id, created_at) VALUES (?, ?, ?)"));
    query.addBindValue(refreshTokenHash);
    query.addBindValue(session.id);
    query.addBindValue(session.createdAt);
    if (!query.exec()) {
        warnFailed("create", query);
        return std::nullopt;
    }
    if (!transaction.commit())
        return std::nullopt;
    return session;
}

SessionStore::RotateResult SessionStore::rotate(const QString &oldHash, const QString &newHash,
                                                const QString &newExpiresAt)
{
    RotateResult result;
    QSqlDatabase db = m_database.connection();
    WriteTransaction transaction(db);
    if (!transaction.isActive())
        return result;

    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT session_id, rotated_at FROM refresh_tokens WHERE token_hash = ?"));
    query.addBindValue(oldHash);
    if (!query.exec()) {
        warnFailed("rotate", query);
        return result;
    }
    if (!query.next()) {
        result.status = RotateStatus::Unknown;
        return result;
    }
    const QString sessionId = query.value(0).toString();
    const bool alreadyRotated = !query.value(1).isNull();
    query.finish();

    if (alreadyRotated) {
        // Someone holds a copy of a token that was already exchanged: end the session
        // so neither the thief nor the owner can continue with it.
        if (!revokeInTransaction(sessionId) || !transaction.commit())
            return result;
        qCWarning(lcServer).noquote() << "Refresh token reused; session revoked:" << sessionId;
        result.status = RotateStatus::Reused;
        return result;
    }

    const QString now = ServerDatabase::isoNow();
    query.prepare(kSelectSession + QStringLiteral("WHERE id = ? AND revoked_at IS NULL AND expires_at > ?"));
    query.addBindValue(sessionId);
    query.addBindValue(now);
    if (!query.exec()) {
        warnFailed("rotate", query);
        return result;
    }
    if (!query.next()) {
        result.status = RotateStatus::Inactive;
        return result;
    }
    result.session = readSession(query);
    query.finish();

    query.prepare(QStringLiteral("UPDATE refresh_tokens SET rotated_at = ? WHERE token_hash = ?"));
    query.addBindValue(now);
    query.addBindValue(oldHash);
    if (!query.exec()) {
        warnFailed("rotate", query);
        return result;
    }
    query.prepare(QStringLiteral("INSERT INTO refresh_tokens (token_hash, session_id, created_at) VALUES (?, ?, ?)"));
    query.addBindValue(newHash);
    query.addBindValue(sessionId);
    query.addBindValue(now);
    if (!query.exec()) {
        warnFailed("rotate", query);
        return result;
    }
    query.prepare(QStringLiteral("UPDATE sessions SET last_active_at = ?, expires_at = ? WHERE id = ?"));
    query.addBindValue(now);
    query.addBindValue(newExpiresAt);
    query.addBindValue(sessionId);
    if (!query.exec()) {
        warnFailed("rotate", query);
        return result;
    }
    if (!transaction.commit())
        return result;

    result.session.lastActiveAt = now;
    result.session.expiresAt = newExpiresAt;
    result.status = RotateStatus::Rotated;
    return result;
}

std::optional<SessionRecord> SessionStore::activeSession(const QString &sessionId, const QString &userId)
{
    QSqlDatabase db = m_database.connection();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QString nowText = now.toString(Qt::ISODateWithMs);
    QSqlQuery query(db);
    query.prepare(kSelectSession
                  + QStringLiteral("WHERE id = ? AND user_id = ? AND revoked_at IS NULL AND expires_at > ?"));
    query.addBindValue(sessionId);
    query.addBindValue(userId);
    query.addBindValue(nowText);
    if (!query.exec() || !query.next())
        return std::nullopt;
    SessionRecord session = readSession(query);
    query.finish();

    const QDateTime lastActive = QDateTime::fromString(session.lastActiveAt, Qt::ISODateWithMs);
    if (!lastActive.isValid() || lastActive.msecsTo(now) >= kActivityResolutionMs) {
        query.prepare(QStringLiteral("UPDATE sessions SET last_active_at = ? WHERE id = ?"));
        query.addBindValue(nowText);
        query.addBindValue(sessionId);
        if (query.exec())
            session.lastActiveAt = nowText;
    }
    return session;
}

QList<SessionRecord> SessionStore::activeSessions(const QString &userId)
{
    QList<SessionRecord> sessions;
    QSqlQuery query(m_database.connection());
    query.prepare(kSelectSession + QStringLiteral("WHERE user_id = ? AND revoked_at IS NULL AND expires_at > ? "
                                                  "ORDER BY last_active_at DESC, id"));
    query.addBindValue(userId);
    query.addBindValue(ServerDatabase::isoNow());
    if (!query.exec()) {
        warnFailed("activeSessions", query);
        return sessions;
    }
    while (query.next())
        sessions.append(readSession(query));
    return sessions;
}

bool SessionStore::revokeByRefreshToken(const QString &tokenHash)
{
    QSqlQuery query(m_database.connection());
    query.prepare(QStringLiteral("UPDATE sessions SET revoked_at = ? WHERE revoked_at IS NULL AND id = "
                                 "(SELECT session_id FROM refresh_tokens WHERE token_hash = ? AND rotated_at IS NULL)"));
    query.addBindValue(ServerDatabase::isoNow());
    query.addBindValue(tokenHash);
    if (!query.exec())
        return warnFailed("revokeByRefreshToken", query);
    return query.numRowsAffected() == 1;
}

bool SessionStore::revokeInTransaction(const QString &sessionId)
{
    QSqlQuery query(m_database.connection());
    query.prepare(QStringLiteral("UPDATE sessions SET revoked_at = ? WHERE id = ? AND revoked_at IS NULL"));
    query.addBindValue(ServerDatabase::isoNow());
    query.addBindValue(sessionId);
    if (!query.exec())
        return warnFailed("revoke", query);
    return true;
}

bool SessionStore::revoke(const QString &sessionId, const QString &userId)
{
    QSqlQuery query(m_database.connection());
    query.prepare(QStringLiteral("UPDATE sessions SET revoked_at = ? WHERE id = ? AND user_id = ? "
                                 "AND revoked_at IS NULL AND expires_at > ?"));
    const QString now = ServerDatabase::isoNow();
    query.addBindValue(now);
    query.addBindValue(sessionId);
    query.addBindValue(userId);
    query.addBindValue(now);
    if (!query.exec())
        return warnFailed("revoke", query);
    return query.numRowsAffected() == 1;
}

bool SessionStore::revokeAllExcept(const QString &userId, const QString &keptSessionId)
{
    QSqlQuery query(m_database.connection());
    query.prepare(QStringLiteral("UPDATE sessions SET revoked_at = ? WHERE user_id = ? AND id <> ? "
                                 "AND revoked_at IS NULL"));
    query.addBindValue(ServerDatabase::isoNow());
    query.addBindValue(userId);
    query.addBindValue(keptSessionId);
    if (!query.exec())
        return warnFailed("revokeAllExcept", query);
    return true;
}

bool SessionStore::purge(const QString &endedBefore, const QString &rotatedBefore)
{
    QSqlDatabase db = m_database.connection();
    WriteTransaction transaction(db);
    if (!transaction.isActive())
        return false;
    QSqlQuery query(db);
    query.prepare(QStringLiteral("DELETE FROM refresh_tokens WHERE session_id IN (SELECT id FROM sessions "
                                 "WHERE revoked_at < ? OR expires_at < ?) OR rotated_at < ?"));
    query.addBindValue(endedBefore);
    query.addBindValue(endedBefore);
    query.addBindValue(rotatedBefore);
    if (!query.exec())
        return warnFailed("purge", query);
    query.prepare(QStringLiteral("DELETE FROM sessions WHERE revoked_at < ? OR expires_at < ?"));
    query.addBindValue(endedBefore);
    query.addBindValue(endedBefore);
    if (!query.exec())
        return warnFailed("purge", query);
    return transaction.commit();
}

} // namespace OmbrServer
