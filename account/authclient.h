#pragma once

#include "authstate.h"
#include "webauthhandler.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <functional>

namespace OmbrAccount {

class ApiClient;
class TokenManager;

struct User
{
    QString id;
    QString email;
    QString displayName;
    QString username;
    QString avatarUrl;
    QDateTime createdAt;

    static User fromJson(const QJsonObject &object);
    bool operator==(const User &) const = default;
};

struct Session
{
    QString id;
    QString userAgent;
    QString ipAddress;
    QDateTime createdAt;
    QDateTime lastActiveAt;
    bool isCurrent = false;

    static Session fromJson(const QJsonObject &object);
};

// The signed-in state of the application: browser sign-in through a loopback redirect,
// the token refresh exchange, sign-out, and the calls on the current user.
class AuthClient : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isAuthenticated READ isAuthenticated NOTIFY stateChanged)

public:
    // Hands the sign-in page to a browser; true when it could.
    using UrlOpener = std::function<bool(const QUrl &url)>;

    AuthClient(const QString &authBaseUrl, const QString &realmSlug, const QString &clientId,
               ApiClient *authApi, TokenManager *tokenManager, QObject *parent = nullptr);

    void initialize();
    void login();
    void logout();
    void refreshToken(std::function<void(bool ok)> done);
    void fetchCurrentUser(std::function<void(const User &user)> done);
    void updateProfile(const QString &displayName, std::function<void(const User &user)> done);
    void changePassword(const QString &currentPassword, const QString &newPassword,
                        std::function<void(bool ok)> done);
    void listSessions(std::function<void(const QList<Session> &sessions)> done);
    void revokeSession(const QString &sessionId);

    AuthState state() const { return m_state; }
    User currentUser() const { return m_currentUser; }
    bool isAuthenticated() const { return m_state == AuthState::Authenticated; }

    // The system browser unless replaced (tests drive the sign-in page themselves).
    void setUrlOpener(UrlOpener opener);
    // The sign-in page for a redirect URI and state.
    QUrl loginUrl(const QString &redirectUri, const QString &state) const;
    // The listener of the sign-in in progress, if any.
    WebAuthHandler *pendingLogin() const { return m_handler; }

Q_SIGNALS:
    void stateChanged(OmbrAccount::AuthState state);
    void loginSucceeded();
    void loginFailed(const QString &error);
    void logoutCompleted();

private:
    void setupRefreshCallback();
    void handleCallback(const QUrl &url, const QString &expectedState);
    void setState(AuthState state);

    QString m_authBaseUrl;
    QString m_realmSlug;
    QString m_clientId;
    ApiClient *m_authApi = nullptr;
    TokenManager *m_tokenManager = nullptr;
    AuthState m_state = AuthState::Unknown;
    User m_currentUser;
    UrlOpener m_urlOpener;
    QPointer<WebAuthHandler> m_handler;
};

} // namespace OmbrAccount
