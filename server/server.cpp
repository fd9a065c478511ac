#include "server.h"

#include "authapi.h"
#include "httputil.h"
#include "loginpage.h"
#include "loginthrottle.h"
#include "secrets.h"
#include "serverdatabase.h"
#include "serverlog.h"
#include "sessionstore.h"
#include "tokenservice.h"
#include "userstore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>
#include <QRegularExpression>

#include <httplib.h>

namespace OmbrServer {

namespace {

// Path length that no route needs; longer paths are refused before any pattern matching.
constexpr size_t kMaxPathLength = 2048;
constexpr int kIoTimeoutSeconds = 10;

// Set when routing starts, read by the logger: both run on the worker thread of the request.
thread_local QElapsedTimer requestTimer;
thread_local bool requestTimed = false;

QString statusText(int status)
{
    switch (status) {
    case 400: return QStringLiteral("Bad request");
    case 401: return QStringLiteral("Authentication required");
    case 403: return QStringLiteral("Forbidden");
    case 404: return QStringLiteral("Not found");
    case 405: return QStringLiteral("Method not allowed");
    case 413: return QStringLiteral("Request body too large");
    case 414: return QStringLiteral("Request URI too long");
    case 431: return QStringLiteral("Request headers too large");
    default: return status >= 500 ? QStringLiteral("Internal server error") : QStringLiteral("Request failed");
    }
}

// The path only: queries can carry credentials and never reach the log.
QString loggablePath(const std::string &path)
{
    static const QRegularExpression controls(QStringLiteral("[\\x00-\\x1f\\x7f]"));
    QString text = fromStd(path.size() > 200 ? path.substr(0, 200) + "..." : path);
    text.replace(controls, QStringLiteral("?"));
    return text;
}

} // namespace

Server::Server(ServerConfig config)
    : m_config(std::move(config))
{
}

Server::~Server()
{
    // Handlers refer to the stores; the pool threads stop before those go away.
    m_http.reset();
}

QString Server::databaseFileName()
{
    return QStringLiteral("ombrel-server.db");
}

QString Server::secretFileName()
{
    return QStringLiteral("jwt_secret");
}

bool Server::open(QString *error)
{
    QDir dir(m_config.dataDir);
    if (!dir.exists()) {
        if (!QDir().mkpath(m_config.dataDir)) {
            *error = QStringLiteral("Cannot create the data directory %1").arg(m_config.dataDir);
            return false;
        }
        QFile::setPermissions(m_config.dataDir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    } else if (QFile::permissions(m_config.dataDir) & (QFileDevice::ReadOther | QFileDevice::WriteOther)) {
        // An existing directory is the operator's; point out the exposure rather than chmod it.
        qCWarning(lcServer).noquote() << "The data directory" << m_config.dataDir
                                      << "is accessible to other users; its files are not";
    }

    m_secret = loadOrCreateSecret(dir.filePath(secretFileName()), error);
    if (m_secret.isEmpty())
        return false;
    m_database = std::make_unique<ServerDatabase>();
    if (!m_database->open(dir.filePath(databaseFileName()), error))
        return false;
    m_users = std::make_unique<UserStore>(*m_database);
    m_sessions = std::make_unique<SessionStore>(*m_database);
    m_throttle = std::make_unique<LoginThrottle>();
    return true;
}

int Server::bind(QString *error)
{
    if (!m_database) {
        *error = QStringLiteral("The server is not open");
        return -1;
    }
    TokenService::Settings tokenSettings;
    // Independent of the URL, so tokens survive a restart on another port.
    tokenSettings.issuer = QStringLiteral("ombrel-server/") + m_config.realm;
    tokenSettings.accessTokenTtl = m_config.accessTokenTtl;
    tokenSettings.refreshTokenTtl = m_config.refreshTokenTtl;
    m_tokens = std::make_unique<TokenService>(m_secret, tokenSettings, *m_users, *m_sessions);
    m_tokens->purgeOldSessions();
    m_authApi = std::make_unique<AuthApi>(m_config.realm, *m_users, *m_sessions, *m_tokens, *m_throttle);
    m_loginPage = std::make_unique<LoginPage>(
        LoginPage::Settings{m_config.realm, m_config.clientId, m_config.allowSignup}, *m_users, *m_tokens,
        *m_throttle);

    // Socket options apply when the listening socket is made: configure first, then bind.
    m_http = std::make_unique<httplib::Server>();
    installRoutes();
    int port = -1;
    const std::string host = m_config.listenAddress.toStdString();
    if (m_config.port == 0)
        port = m_http->bind_to_any_port(host);
    else if (m_http->bind_to_port(host, m_config.port))
        port = m_config.port;
    if (port <= 0) {
        *error = QStringLiteral("Cannot listen on %1 port %2").arg(m_config.listenAddress).arg(m_config.port);
        m_http.reset();
        return -1;
    }
    m_publicUrl = effectivePublicUrl(m_config, port);
    return port;
}

void Server::installRoutes()
{
    httplib::Server &http = *m_http;
    // Responses go out as a header write and a body write; without this, Nagle's algorithm
    // holds the body back for the client's delayed ACK (~40 ms per request).
    http.set_tcp_nodelay(true);
    http.set_payload_max_length(size_t(kMaxJsonBodyBytes));
    http.set_read_timeout(kIoTimeoutSeconds);
    http.set_write_timeout(kIoTimeoutSeconds);
    http.set_default_headers({{"Cache-Control", "no-store"}, {"X-Content-Type-Options", "nosniff"}});

    http.set_pre_routing_handler([](const httplib::Request &req, httplib::Response &res) {
        requestTimer.start();
        requestTimed = true;
        if (req.path.size() > kMaxPathLength) {
            sendError(res, 414, statusText(414));
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    http.set_error_handler([](const httplib::Request &, httplib::Response &res) {
        if (res.body.empty())
            sendError(res, res.status, statusText(res.status));
    });
    http.set_exception_handler([](const httplib::Request &req, httplib::Response &res, std::exception_ptr error) {
        QString what = QStringLiteral("unknown exception");
        try {
            if (error)
                std::rethrow_exception(error);
        } catch (const std::exception &e) {
            what = QString::fromLocal8Bit(e.what());
        } catch (...) {
        }
        qCWarning(lcServer).noquote() << "Handler failed for" << fromStd(req.method) << loggablePath(req.path) << what;
        sendError(res, 500, statusText(500));
    });
    http.set_logger([](const httplib::Request &req, const httplib::Response &res) {
        const double ms = requestTimed ? double(requestTimer.nsecsElapsed()) / 1e6 : 0.0;
        requestTimed = false;
        qCInfo(lcServer).noquote() << fromStd(req.method) << loggablePath(req.path) << res.status
                                   << QStringLiteral("%1 ms").arg(ms, 0, 'f', 1);
    });

    http.Get("/health", [](const httplib::Request &, httplib::Response &res) {
        sendJson(res, 200, QJsonObject{{QStringLiteral("status"), QStringLiteral("ok")}});
    });
    m_authApi->registerRoutes(http);
    m_loginPage->registerRoutes(http);
}

bool Server::run()
{
    if (!m_http)
        return false;
    qCInfo(lcServer).noquote() << "Serving realm" << m_config.realm << "at" << m_publicUrl << "from"
                               << m_config.dataDir;
    return m_http->listen_after_bind();
}

void Server::stop()
{
    if (m_http)
        m_http->stop();
}

} // namespace OmbrServer
