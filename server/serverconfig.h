#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace OmbrServer {

// Everything the service needs to run; filled from the command line, with environment
// variables of the same meaning as fallbacks.
struct ServerConfig
{
    QString listenAddress = QStringLiteral("127.0.0.1");
    int port = 8787; // 0 picks a free port
    QString dataDir;
    QString publicUrl; // empty: derived from the bound address and port
    QString realm = QStringLiteral("ombrel");
    QString clientId = QStringLiteral("0f1e2d3c4b5a69788796a5b4c3d2e1f0");
    int accessTokenTtl = 15 * 60;            // seconds
    int refreshTokenTtl = 30 * 24 * 60 * 60; // seconds, renewed on every refresh
    bool allowSignup = false;
};

struct ParsedCommand
{
    enum class Kind { Serve, AddUser, Help, Version, Error };
    Kind kind = Kind::Error;
    ServerConfig config;
    QString email;       // add-user
    QString displayName; // add-user, optional
    QString message;     // help text or error
};

// arguments include the program name, as QCoreApplication::arguments() gives them.
ParsedCommand parseCommandLine(const QStringList &arguments, const QProcessEnvironment &environment);

// The URL a browser reaches this process at: the configured public URL without a trailing
// slash, otherwise the listen address and the bound port.
QString effectivePublicUrl(const ServerConfig &config, int boundPort);

bool isValidRealm(const QString &realm);

} // namespace OmbrServer
