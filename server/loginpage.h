#pragma once

#include <QHash>
#include <QString>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

namespace OmbrServer {

class LoginThrottle;
class TokenService;
class UserStore;
struct UserRecord;

// The browser sign-in page "/<realm>/account/login" (and the optional sign-up page). On
// success the browser is sent to the application's loopback redirect URI with the tokens.
class LoginPage
{
public:
    struct Settings
    {
        QString realm;
        QString clientId;
        bool allowSignup = false;
    };

    LoginPage(Settings settings, UserStore &users, TokenService &tokens, LoginThrottle &throttle);

    void registerRoutes(httplib::Server &server);

    // Empty when uri may receive tokens: http(s) to localhost, 127.0.0.1 or [::1] only, with
    // no user info or fragment. Otherwise the reason.
    static QString redirectUriProblem(const QString &uri);

private:
    struct Request;
    // The OAuth parameters, validated; false after answering with the error page.
    bool readRequest(const QHash<QString, QString> &fields, httplib::Response &res, Request *out) const;
    void showLogin(const httplib::Request &req, httplib::Response &res);
    void submitLogin(const httplib::Request &req, httplib::Response &res);
    void showSignup(const httplib::Request &req, httplib::Response &res);
    void submitSignup(const httplib::Request &req, httplib::Response &res);
    void signIn(const Request &request, const UserRecord &user, const httplib::Request &req,
                httplib::Response &res);
    void renderForm(httplib::Response &res, int status, const Request &request, bool signup, const QString &email,
                    const QString &message) const;

    Settings m_settings;
    UserStore &m_users;
    TokenService &m_tokens;
    LoginThrottle &m_throttle;
};

} // namespace OmbrServer
