#pragma once

#include "serverconfig.h"

#include <QString>

#include <memory>

namespace httplib {
class Server;
}

namespace OmbrServer {

class AuthApi;
class LoginPage;
class LoginThrottle;
class ServerDatabase;
class SessionStore;
class TokenService;
class UserStore;

// One process, one root URL: the authentication service (realm API and sign-in page) and,
// as they arrive, the account and notes services and the release site.
class Server
{
public:
    explicit Server(ServerConfig config);
    ~Server();
    Server(const Server &) = delete;
    Server &operator=(const Server &) = delete;

    // Prepares the data directory (owner-only), the signing secret and the database.
    bool open(QString *error);
    // Binds the listening socket; the bound port (the chosen one when the port is 0), or -1.
    int bind(QString *error);
    // Serves until stop(); false when serving could not start.
    bool run();
    // Safe from any thread; run() returns after the requests in progress finish.
    void stop();

    QString publicUrl() const { return m_publicUrl; }

    static QString databaseFileName();
    static QString secretFileName();

private:
    void installRoutes();

    ServerConfig m_config;
    QString m_publicUrl;
    QByteArray m_secret;
    std::unique_ptr<ServerDatabase> m_database;
    std::unique_ptr<UserStore> m_users;
    std::unique_ptr<SessionStore> m_sessions;
    std::unique_ptr<LoginThrottle> m_throttle;
    std::unique_ptr<TokenService> m_tokens;
    std::unique_ptr<AuthApi> m_authApi;
    std::unique_ptr<LoginPage> m_loginPage;
    std::unique_ptr<httplib::Server> m_http;
};

} // namespace OmbrServer
