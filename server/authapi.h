#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

namespace OmbrServer {

class LoginThrottle;
class SessionStore;
class TokenService;
class UserStore;
struct Caller;

// The realm API under "/api/v1/realms/<realm>": token refresh and logout, the current
// user's profile and password, and sign-in sessions.
class AuthApi
{
public:
    AuthApi(const QString &realm, UserStore &users, SessionStore &sessions, TokenService &tokens,
            LoginThrottle &throttle);

    void registerRoutes(httplib::Server &server);

    // Resolves the bearer token; on failure sends 401 and yields nothing. Other services
    // of this process authenticate their callers through it too.
    std::optional<Caller> requireCaller(const httplib::Request &req, httplib::Response &res);

private:
    using Handler = void (AuthApi::*)(const httplib::Request &, httplib::Response &, const Caller &);
    std::function<void(const httplib::Request &, httplib::Response &)> authenticated(Handler handler);

    void refreshToken(const httplib::Request &req, httplib::Response &res);
    void logout(const httplib::Request &req, httplib::Response &res);
    void getMe(const httplib::Request &req, httplib::Response &res, const Caller &caller);
    void patchMe(const httplib::Request &req, httplib::Response &res, const Caller &caller);
    void changePassword(const httplib::Request &req, httplib::Response &res, const Caller &caller);
    void listSessions(const httplib::Request &req, httplib::Response &res, const Caller &caller);
    void deleteSession(const httplib::Request &req, httplib::Response &res, const Caller &caller);

    std::string m_base;
    UserStore &m_users;
    SessionStore &m_sessions;
    TokenService &m_tokens;
    LoginThrottle &m_throttle;
};

} // namespace OmbrServer
