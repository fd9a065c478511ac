#include "tokenservice.h"

#include "secrets.h"
#include "userstore.h"

#include <QDateTime>
#include <QJsonObject>

namespace OmbrServer {

namespace {
// Longer than any token this service issues; anything longer is not ours.
constexpr qsizetype kMaxRefreshTokenLength = 256;
}

TokenService::TokenService(QByteArray secret, Settings settings, UserStore &users, SessionStore &sessions)
    : m_signer(std::move(secret))
    , m_settings(std::move(settings))
    , m_users(users)
    , m_sessions(sessions)
{
}

QString TokenService::hashRefreshToken(const QString &token)
{
    return QString::fromLatin1(sha256Hex(token.toUtf8()));
}

QString TokenService::expiryFromNow() const
{
    return QDateTime::currentDateTimeUtc().addSecs(m_settings.refreshTokenTtl).toString(Qt::ISODateWithMs);
}

QString TokenService::accessTokenFor(const UserRecord &user, const QString &sessionId) const
{
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    // {"iss":…, "sub": user id, "sid": session id, "iat":…, "exp":…, "email":…,
    //  "custom": {"omb": {"group_id": …, "role": …}}}
    const QJsonObject claims{
        {QStringLiteral("iss"), m_settings.issuer},
        {QStringLiteral("sub"), user.id},
        {QStringLiteral("sid"), sessionId},
        {QStringLiteral("iat"), now},
        {QStringLiteral("exp"), now + m_settings.accessTokenTtl},
        {QStringLiteral("email"), user.email},
        {QStringLiteral("custom"),
         QJsonObject{{QStringLiteral("omb"),
                      QJsonObject{{QStringLiteral("group_id"), user.groupId}, {QStringLiteral("role"), user.role}}}}},
    };
    return m_signer.sign(claims);
}

std::optional<TokenPair> TokenService::startSession(const UserRecord &user, const QString &userAgent,
                                                    const QString &ipAddress)
{
    TokenPair tokens;
    tokens.refreshToken = randomToken(32);
    const auto session = m_sessions.create(user.id, userAgent, ipAddress, hashRefreshToken(tokens.refreshToken),
                                           expiryFromNow());
    if (!session)
        return std::nullopt;
    // Housekeeping rides along with sign-ins instead of needing a timer thread.
    if (++m_sessionsStarted % 256 == 0)
        purgeOldSessions();
    tokens.accessToken = accessTokenFor(user, session->id);
    tokens.expiresIn = m_settings.accessTokenTtl;
    return tokens;
}

TokenService::RefreshResult TokenService::refresh(const QString &refreshToken)
{
    RefreshResult result;
    if (refreshToken.isEmpty() || refreshToken.size() > kMaxRefreshTokenLength) {
        result.status = RefreshStatus::Invalid;
        return result;
    }
    const QString next = randomToken(32);
    const auto rotated = m_sessions.rotate(hashRefreshToken(refreshToken), hashRefreshToken(next), expiryFromNow());
    switch (rotated.status) {
    case SessionStore::RotateStatus::Rotated:
        break;
    case SessionStore::RotateStatus::Reused:
        result.status = RefreshStatus::Reused;
        return result;
    case SessionStore::RotateStatus::Unknown:
    case SessionStore::RotateStatus::Inactive:
        result.status = RefreshStatus::Invalid;
        return result;
    case SessionStore::RotateStatus::Failed:
        return result;
    }
    const auto user = m_users.findById(rotated.session.userId);
    if (!user) {
        result.status = RefreshStatus::Invalid;
        return result;
    }
    result.status = RefreshStatus::Ok;
    result.tokens.accessToken = accessTokenFor(*user, rotated.session.id);
    result.tokens.refreshToken = next;
    result.tokens.expiresIn = m_settings.accessTokenTtl;
    return result;
}

void TokenService::purgeOldSessions()
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    m_sessions.purge(now.addDays(-30).toString(Qt::ISODateWithMs), now.addDays(-7).toString(Qt::ISODateWithMs));
}

std::optional<Caller> TokenService::authenticate(const QByteArray &accessToken)
{
    const auto claims = m_signer.verify(accessToken, QDateTime::currentSecsSinceEpoch());
    if (!claims || claims->value(QLatin1String("iss")).toString() != m_settings.issuer)
        return std::nullopt;
    Caller caller;
    caller.userId = claims->value(QLatin1String("sub")).toString();
    caller.sessionId = claims->value(QLatin1String("sid")).toString();
    if (caller.userId.isEmpty() || caller.sessionId.isEmpty() || !m_sessions.activeSession(caller.sessionId, caller.userId))
        return std::nullopt;
    return caller;
}

} // namespace OmbrServer
