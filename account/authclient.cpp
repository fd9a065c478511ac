#include "authclient.h"

#include "accountlog.h"
#include "apiclient.h"
#include "tokenmanager.h"
#include "webauthhandler.h"

#include <QDesktopServices>
#include <QJsonArray>
#include <QRandomGenerator>
#include <QStandardPaths>

namespace OmbrAccount {

namespace {

QDateTime dateTimeFrom(const QJsonValue &value)
{
    return QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
}

// 128 bits from the system's secure source, hex-encoded.
QString randomState()
{
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(words), sizeof words).toHex());
}

} // namespace

User User::fromJson(const QJsonObject &object)
{
    User user;
    user.id = object.value(QLatin1String("id")).toString();
    user.email = object.value(QLatin1String("email")).toString();
    user.displayName = object.value(QLatin1String("display_name")).toString();
    user.username = object.value(QLatin1String("username")).toString();
    user.avatarUrl = object.value(QLatin1String("avatar_url")).toString();
    user.createdAt = dateTimeFrom(object.value(QLatin1String("created_at")));
    return user;
}

Session Session::fromJson(const QJsonObject &object)
{
    Session session;
    session.id = object.value(QLatin1String("id")).toString();
    session.userAgent = object.value(QLatin1String("user_agent")).toString();
    session.ipAddress = object.value(QLatin1String("ip_address")).toString();
    session.createdAt = dateTimeFrom(object.value(QLatin1String("created_at")));
    session.lastActiveAt = dateTimeFrom(object.value(QLatin1String("last_active_at")));
    session.isCurrent = object.value(QLatin1String("is_current")).toBool();
    return session;
}

AuthClient::AuthClient(const QString &authBaseUrl, const QString &realmSlug, const QString &clientId,
                       ApiClient *authApi, TokenManager *tokenManager, QObject *parent)
    : QObject(parent)
    , m_authBaseUrl(authBaseUrl)
    , m_realmSlug(realmSlug)
    , m_clientId(clientId)
    , m_authApi(authApi)
    , m_tokenManager(tokenManager)
    , m_urlOpener([](const QUrl &url) {
        // A test that forgot to replace the opener must not start the user's browser.
        if (QStandardPaths::isTestModeEnabled())
            return false;
        return QDesktopServices::openUrl(url);
    })
{
    setupRefreshCallback();
}

void AuthClient::setUrlOpener(UrlOpener opener)
{
    m_urlOpener = std::move(opener);
}

void AuthClient::setupRefreshCallback()
{
    QPointer<ApiClient> api(m_authApi);
    m_tokenManager->setRefreshCallback([api](const QString &refreshToken, TokenManager::OnSuccess onSuccess,
                                             TokenManager::OnFailure onFailure) {
        if (!api) {
            onFailure();
            return;
        }
        api->postPublic(QStringLiteral("/auth/token/refresh"),
                        QJsonObject{{QStringLiteral("refresh_token"), refreshToken}},
                        [onSuccess, onFailure](bool ok, int status, const QJsonObject &body) {
            const QString access = body.value(QLatin1String("access_token")).toString();
            const QString refresh = body.value(QLatin1String("refresh_token")).toString();
            // A 2xx without both tokens would sign the user out while claiming success.
            if (ok && !access.isEmpty() && !refresh.isEmpty()) {
                onSuccess(access, refresh);
                return;
            }
            qCInfo(lcAccount) << "Token refresh refused, status" << status;
            onFailure();
        });
    });
}

void AuthClient::setState(AuthState state)
{
    if (state == m_state)
        return;
    m_state = state;
    Q_EMIT stateChanged(state);
}

void AuthClient::initialize()
{
    m_tokenManager->loadTokens();
    if (!m_tokenManager->accessToken().isEmpty()) {
        setState(AuthState::Authenticated);
        return;
    }
    if (!m_tokenManager->refreshToken().isEmpty()) {
        QPointer<AuthClient> self(this);
        m_tokenManager->refresh([self](bool ok) {
            if (self)
                self->setState(ok ? AuthState::Authenticated : AuthState::Unauthenticated);
        });
        return;
    }
    setState(AuthState::Unauthenticated);
}

QUrl AuthClient::loginUrl(const QString &redirectUri, const QString &state) const
{
    // Built by hand so that the redirect URI is encoded completely, ':' and '/' included.
    QString text = QStringLiteral("%1/%2/account/login?client_id=%3&redirect_uri=%4")
                       .arg(m_authBaseUrl, m_realmSlug,
                            QString::fromLatin1(QUrl::toPercentEncoding(m_clientId)),
                            QString::fromLatin1(QUrl::toPercentEncoding(redirectUri)));
    if (!state.isEmpty())
        text += QStringLiteral("&state=") + QString::fromLatin1(QUrl::toPercentEncoding(state));
    return QUrl(text, QUrl::StrictMode);
}

void AuthClient::login()
{
    // A new sign-in replaces the one still waiting.
    if (m_handler) {
        m_handler->stop();
        m_handler->deleteLater();
    }
    auto *handler = new WebAuthHandler(this);
    const QString redirectUri = handler->start();
    if (redirectUri.isEmpty()) {
        handler->deleteLater();
        Q_EMIT loginFailed(QStringLiteral("Failed to start local auth server"));
        return;
    }
    const QString state = randomState();
    handler->setExpectedState(state);
    m_handler = handler;
    connect(handler, &WebAuthHandler::callbackReceived, this, [this, handler, state](const QUrl &url) {
        handleCallback(url, state);
        if (!handler->isListening())
            handler->deleteLater();
    });
    connect(handler, &WebAuthHandler::timedOut, this, [this, handler] {
        handler->deleteLater();
        Q_EMIT loginFailed(QStringLiteral("Sign-in timed out"));
    });
    const QUrl url = loginUrl(redirectUri, state);
    qCInfo(lcAccount) << "Opening sign-in page" << url.adjusted(QUrl::RemoveQuery).toString()
                      << "redirect" << redirectUri;
    if (!m_urlOpener || !m_urlOpener(url))
        qCWarning(lcAccount) << "AuthClient::login failed: no browser opened the sign-in page";
}

void AuthClient::handleCallback(const QUrl &url, const QString &expectedState)
{
    const WebAuthHandler::CallbackTokens tokens = WebAuthHandler::tokensFrom(url);
    if (tokens.accessToken.isEmpty() || tokens.refreshToken.isEmpty() || tokens.state != expectedState) {
        qCWarning(lcAccount) << "Sign-in callback refused:"
                             << (tokens.state != expectedState ? "state mismatch" : "tokens missing");
        Q_EMIT loginFailed(QStringLiteral("No tokens received"));
        return;
    }
    m_tokenManager->setTokens(tokens.accessToken, tokens.refreshToken);
    setState(AuthState::Authenticated);
    Q_EMIT loginSucceeded();
}

void AuthClient::logout()
{
    // Issued before the tokens go, so it still carries the access token. With an expired
    // one, refreshing first would only mint a session to throw away: the refresh token
    // names the session instead.
    if (!m_tokenManager->accessToken().isEmpty()) {
        m_authApi->post(QStringLiteral("/auth/logout"), {}, nullptr);
    } else if (!m_tokenManager->refreshToken().isEmpty()) {
        m_authApi->postPublic(QStringLiteral("/auth/logout"),
                              QJsonObject{{QStringLiteral("refresh_token"), m_tokenManager->refreshToken()}},
                              nullptr);
    }
    m_tokenManager->clear();
    m_currentUser = User();
    setState(AuthState::Unauthenticated);
    Q_EMIT logoutCompleted();
}

void AuthClient::refreshToken(std::function<void(bool ok)> done)
{
    QPointer<AuthClient> self(this);
    m_tokenManager->refresh([self, done = std::move(done)](bool ok) {
        if (self && !ok) {
            self->m_tokenManager->clear();
            self->m_currentUser = User();
            self->setState(AuthState::Unauthenticated);
        }
        if (done)
            done(ok);
    });
}

void AuthClient::fetchCurrentUser(std::function<void(const User &)> done)
{
    QPointer<AuthClient> self(this);
    m_authApi->get(QStringLiteral("/users/me"), [self, done = std::move(done)](bool ok, int, const QJsonObject &body) {
        if (!self)
            return;
        if (ok)
            self->m_currentUser = User::fromJson(body);
        if (done)
            done(self->m_currentUser);
    });
}

void AuthClient::updateProfile(const QString &displayName, std::function<void(const User &)> done)
{
    QPointer<AuthClient> self(this);
    m_authApi->patch(QStringLiteral("/users/me"), QJsonObject{{QStringLiteral("display_name"), displayName}},
                     [self, done = std::move(done)](bool ok, int, const QJsonObject &body) {
        if (!self)
            return;
        if (ok)
            self->m_currentUser = User::fromJson(body);
        if (done)
            done(self->m_currentUser);
    });
}

void AuthClient::changePassword(const QString &currentPassword, const QString &newPassword,
                                std::function<void(bool)> done)
{
    m_authApi->post(QStringLiteral("/users/me/password"),
                    QJsonObject{{QStringLiteral("current_password"), currentPassword},
                                {QStringLiteral("new_password"), newPassword}},
                    [done = std::move(done)](bool ok, int, const QJsonObject &) {
        if (done)
            done(ok);
    });
}

void AuthClient::listSessions(std::function<void(const QList<Session> &)> done)
{
    m_authApi->get(QStringLiteral("/users/me/sessions"), [done = std::move(done)](bool ok, int, const QJsonObject &body) {
        QList<Session> sessions;
        if (ok) {
            const QJsonArray array = body.value(QLatin1String("sessions")).toArray();
            for (const QJsonValue &value : array)
                sessions.append(Session::fromJson(value.toObject()));
        }
        if (done)
            done(sessions);
    });
}

void AuthClient::revokeSession(const QString &sessionId)
{
    m_authApi->deleteResource(QStringLiteral("/users/me/sessions/%1").arg(sessionId), nullptr);
}

} // namespace OmbrAccount
