#pragma once

#include "jwt.h"
#include "sessionstore.h"

#include <QString>

#include <atomic>
#include <optional>

namespace OmbrServer {

class UserStore;
struct UserRecord;

struct TokenPair
{
    QString accessToken;
    QString refreshToken;
    int expiresIn = 0; // seconds of the access token
};

// Whom an authenticated request comes from.
struct Caller
{
    QString userId;
    QString sessionId;
};

// Issues and checks the bearer tokens of a session: short-lived HS256 access tokens that
// name their session, and single-use refresh tokens.
class TokenService
{
public:
    struct Settings
    {
        QString issuer;
        int accessTokenTtl = 900;
        int refreshTokenTtl = 30 * 24 * 60 * 60;
    };

    TokenService(QByteArray secret, Settings settings, UserStore &users, SessionStore &sessions);

    // A new session for the user; empty when the database refuses it.
    std::optional<TokenPair> startSession(const UserRecord &user, const QString &userAgent, const QString &ipAddress);

    enum class RefreshStatus { Ok, Invalid, Reused, Failed };
    struct RefreshResult
    {
        RefreshStatus status = RefreshStatus::Failed;
        TokenPair tokens;
    };
    RefreshResult refresh(const QString &refreshToken);

    // The caller of a request bearing accessToken, when the token verifies and its session
    // is still active (revoked sessions lose their access tokens at once).
    std::optional<Caller> authenticate(const QByteArray &accessToken);

    static QString hashRefreshToken(const QString &token);

    // Forgets sessions ended a month ago and tokens rotated a week ago.
    void purgeOldSessions();

private:
    QString accessTokenFor(const UserRecord &user, const QString &sessionId) const;
    QString expiryFromNow() const;

    JwtSigner m_signer;
    Settings m_settings;
    UserStore &m_users;
    SessionStore &m_sessions;
    std::atomic<unsigned> m_sessionsStarted{0};
};

} // namespace OmbrServer
