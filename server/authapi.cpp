#include "authapi.h"

#include "httputil.h"
#include "loginthrottle.h"
#include "passwordhash.h"
#include "serverlog.h"
#include "sessionstore.h"
#include "tokenservice.h"
#include "userstore.h"

#include <QDateTime>
#include <QJsonArray>

#include <httplib.h>

namespace OmbrServer {

namespace {

QJsonObject tokenResponse(const TokenPair &tokens)
{
    return QJsonObject{
        {QStringLiteral("access_token"), tokens.accessToken},
        {QStringLiteral("refresh_token"), tokens.refreshToken},
        {QStringLiteral("token_type"), QStringLiteral("Bearer")},
        {QStringLiteral("expires_in"), tokens.expiresIn},
    };
}

} // namespace

AuthApi::AuthApi(const QString &realm, UserStore &users, SessionStore &sessions, TokenService &tokens,
                 LoginThrottle &throttle)
    : m_base("/api/v1/realms/" + realm.toStdString())
    , m_users(users)
    , m_sessions(sessions)
    , m_tokens(tokens)
    , m_throttle(throttle)
{
}

void AuthApi::registerRoutes(httplib::Server &server)
{
    server.Post(m_base + "/auth/token/refresh",
                [this](const httplib::Request &req, httplib::Response &res) { refreshToken(req, res); });
    server.Post(m_base + "/auth/logout", [this](const httplib::Request &req, httplib::Response &res) { logout(req, res); });
    server.Get(m_base + "/users/me", authenticated(&AuthApi::getMe));
    server.Patch(m_base + "/users/me", authenticated(&AuthApi::patchMe));
    server.Post(m_base + "/users/me/password", authenticated(&AuthApi::changePassword));
    server.Get(m_base + "/users/me/sessions", authenticated(&AuthApi::listSessions));
    server.Delete(m_base + R"(/users/me/sessions/([A-Za-z0-9_-]{1,64}))", authenticated(&AuthApi::deleteSession));
}

std::function<void(const httplib::Request &, httplib::Response &)> AuthApi::authenticated(Handler handler)
{
    return [this, handler](const httplib::Request &req, httplib::Response &res) {
        if (const auto caller = requireCaller(req, res))
            (this->*handler)(req, res, *caller);
    };
}

std::optional<Caller> AuthApi::requireCaller(const httplib::Request &req, httplib::Response &res)
{
    const QByteArray token = bearerToken(req);
    if (!token.isEmpty()) {
        if (auto caller = m_tokens.authenticate(token))
            return caller;
    }
    res.set_header("WWW-Authenticate", "Bearer");
    sendError(res, 401, token.isEmpty() ? QStringLiteral("Authentication required")
                                        : QStringLiteral("Invalid or expired access token"));
    return std::nullopt;
}

void AuthApi::refreshToken(const httplib::Request &req, httplib::Response &res)
{
    const auto body = readJsonBody(req, res);
    QString refreshToken;
    if (!body || !readString(*body, QStringLiteral("refresh_token"), res, &refreshToken))
        return;
    if (refreshToken.isEmpty()) {
        sendError(res, 400, QStringLiteral("\"refresh_token\" is required"));
        return;
    }
    const auto result = m_tokens.refresh(refreshToken);
    switch (result.status) {
    case TokenService::RefreshStatus::Ok:
        sendJson(res, 200, tokenResponse(result.tokens));
        return;
    case TokenService::RefreshStatus::Reused:
        sendError(res, 401, QStringLiteral("Refresh token was already used; the session has been revoked"));
        return;
    case TokenService::RefreshStatus::Invalid:
        sendError(res, 401, QStringLiteral("Invalid or expired refresh token"));
        return;
    case TokenService::RefreshStatus::Failed:
        sendError(res, 503, QStringLiteral("Token refresh failed; try again"));
        return;
    }
}

void AuthApi::logout(const httplib::Request &req, httplib::Response &res)
{
    // The access token names the session; a client left with only its refresh token may
    // send that instead.
    const auto body = readJsonBody(req, res);
    QString refreshToken;
    if (!body || !readString(*body, QStringLiteral("refresh_token"), res, &refreshToken))
        return;
    if (!bearerToken(req).isEmpty() || refreshToken.isEmpty()) {
        if (const auto caller = requireCaller(req, res)) {
            m_sessions.revoke(caller->sessionId, caller->userId);
            sendJson(res, 200, {});
        }
        return;
    }
    m_sessions.revokeByRefreshToken(TokenService::hashRefreshToken(refreshToken));
    sendJson(res, 200, {});
}

void AuthApi::getMe(const httplib::Request &, httplib::Response &res, const Caller &caller)
{
    const auto user = m_users.findById(caller.userId);
    if (!user) {
        sendError(res, 404, QStringLiteral("User not found"));
        return;
    }
    sendJson(res, 200, user->toJson());
}

void AuthApi::patchMe(const httplib::Request &req, httplib::Response &res, const Caller &caller)
{
    const auto body = readJsonBody(req, res);
    if (!body)
        return;
    if (!body->contains(QLatin1String("display_name"))) {
        sendError(res, 400, QStringLiteral("Nothing to change: send \"display_name\""));
        return;
    }
    QString displayName;
    if (!body->value(QLatin1String("display_name")).isString()) {
        sendError(res, 400, QStringLiteral("\"display_name\" must be a string"));
        return;
    }
    displayName = body->value(QLatin1String("display_name")).toString();
    if (const QString problem = UserStore::displayNameProblem(&displayName); !problem.isEmpty()) {
        sendError(res, 400, problem);
        return;
    }
    if (!m_users.setDisplayName(caller.userId, displayName)) {
        sendError(res, 404, QStringLiteral("User not found"));
        return;
    }
    getMe(req, res, caller);
}

void AuthApi::changePassword(const httplib::Request &req, httplib::Response &res, const Caller &caller)
{
    const auto body = readJsonBody(req, res);
    QString current;
    QString next;
    if (!body || !readString(*body, QStringLiteral("current_password"), res, &current)
        || !readString(*body, QStringLiteral("new_password"), res, &next))
        return;
    if (const QString problem = UserStore::passwordProblem(next); !problem.isEmpty()) {
        sendError(res, 400, problem);
        return;
    }
    const auto user = m_users.findById(caller.userId);
    if (!user) {
        sendError(res, 404, QStringLiteral("User not found"));
        return;
    }
    // A stolen access token must not become a way to guess the password.
    const QString address = fromStd(req.remote_addr);
    if (const qint64 wait = m_throttle.delayFor(user->email, address, QDateTime::currentMSecsSinceEpoch()); wait > 0) {
        res.set_header("Retry-After", std::to_string((wait + 999) / 1000));
        sendError(res, 429, QStringLiteral("Too many failed attempts; try again later"));
        return;
    }
    if (!PasswordHash::verify(current, user->passwordHash)) {
        m_throttle.recordFailure(user->email, address, QDateTime::currentMSecsSinceEpoch());
        sendError(res, 403, QStringLiteral("Current password is incorrect"));
        return;
    }
    m_throttle.recordSuccess(user->email);
    if (!m_users.setPasswordHash(user->id, PasswordHash::create(next))) {
        sendError(res, 500, QStringLiteral("The password could not be changed"));
        return;
    }
    // Whoever knew the old password is signed out everywhere but here.
    m_sessions.revokeAllExcept(user->id, caller.sessionId);
    qCInfo(lcServer).noquote() << "Password changed for user" << user->id;
    sendJson(res, 200, {});
}

void AuthApi::listSessions(const httplib::Request &, httplib::Response &res, const Caller &caller)
{
    QJsonArray sessions;
    for (const SessionRecord &session : m_sessions.activeSessions(caller.userId))
        sessions.append(session.toJson(session.id == caller.sessionId));
    sendJson(res, 200, QJsonObject{{QStringLiteral("sessions"), sessions}});
}

void AuthApi::deleteSession(const httplib::Request &req, httplib::Response &res, const Caller &caller)
{
    const QString sessionId = fromStd(req.matches[1].str());
    if (!m_sessions.revoke(sessionId, caller.userId)) {
        sendError(res, 404, QStringLiteral("Session not found"));
        return;
    }
    sendJson(res, 200, {});
}

} // namespace OmbrServer
