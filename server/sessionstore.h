#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

namespace OmbrServer {

class ServerDatabase;

struct SessionRecord
{
    QString id;
    QString userId;
    QString userAgent;
    QString ipAddress;
    QString createdAt;
    QString lastActiveAt;
    QString expiresAt;

    QJsonObject toJson(bool isCurrent) const;
};

// Sign-in sessions and their refresh tokens. Refresh tokens are kept only as SHA-256
// hashes; each is used once, and presenting a used one again revokes its session.
class SessionStore
{
public:
    explicit SessionStore(ServerDatabase &database);

    // A new session with its first refresh token; empty on failure.
    std::optional<SessionRecord> create(const QString &userId, const QString &userAgent, const QString &ipAddress,
                                        const QString &refreshTokenHash, const QString &expiresAt);

    enum class RotateStatus { Rotated, Unknown, Reused, Inactive, Failed };
    struct RotateResult
    {
        RotateStatus status = RotateStatus::Failed;
        SessionRecord session; // when Rotated
    };
    // Consumes oldHash and stores newHash for the same session, pushing its expiry out.
    RotateResult rotate(const QString &oldHash, const QString &newHash, const QString &newExpiresAt);

    // The session when it exists, belongs to userId, is not revoked and has not expired;
    // marks it active at most once a minute.
    std::optional<SessionRecord> activeSession(const QString &sessionId, const QString &userId);
    QList<SessionRecord> activeSessions(const QString &userId);

    // False when there was no such active session of the user.
    bool revoke(const QString &sessionId, const QString &userId);
    // Revokes the session whose current refresh token this is.
    bool revokeByRefreshToken(const QString &tokenHash);
    bool revokeAllExcept(const QString &userId, const QString &keptSessionId);

    // Deletes sessions that ended (revoked or expired) before endedBefore, and tokens
    // rotated before rotatedBefore; ISO 8601 times. Old rotated tokens then read as unknown
    // rather than reused.
    bool purge(const QString &endedBefore, const QString &rotatedBefore);

private:
    bool revokeInTransaction(const QString &sessionId);

    ServerDatabase &m_database;
};

} // namespace OmbrServer
