#include "serverconfig.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QHostAddress>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>

namespace OmbrServer {

namespace {

struct OptionSpec
{
    const char *name;
    const char *environment;
    const char *valueName;
    const char *description;
};

constexpr OptionSpec kOptions[] = {
    {"listen", "OMBREL_SERVER_LISTEN", "address", "Address to listen on (default 127.0.0.1)."},
    {"port", "OMBREL_SERVER_PORT", "port", "Port to listen on (default 8787; 0 picks a free port and prints it)."},
    {"data-dir", "OMBREL_SERVER_DATA_DIR", "dir", "Directory of the database and the signing secret."},
    {"public-url", "OMBREL_SERVER_PUBLIC_URL", "url", "URL clients and browsers reach this server at."},
    {"realm", "OMBREL_SERVER_REALM", "name", "Realm served (default ombrel)."},
    {"client-id", "OMBREL_SERVER_CLIENT_ID", "id", "OAuth client id the sign-in page accepts."},
    {"access-token-ttl", "OMBREL_SERVER_ACCESS_TOKEN_TTL", "seconds", "Lifetime of access tokens (default 900)."},
    {"refresh-token-ttl", "OMBREL_SERVER_REFRESH_TOKEN_TTL", "seconds", "Idle lifetime of a session (default 30 days)."},
    {"display-name", nullptr, "name", "add-user: the new account's display name."},
};

QString valueOf(const QCommandLineParser &parser, const QProcessEnvironment &environment, const OptionSpec &spec)
{
    const QString name = QString::fromLatin1(spec.name);
    if (parser.isSet(name))
        return parser.value(name);
    if (spec.environment)
        return environment.value(QString::fromLatin1(spec.environment));
    return {};
}

bool parseBounded(const QString &text, int minimum, int maximum, int *out)
{
    bool ok = false;
    const qlonglong value = text.trimmed().toLongLong(&ok);
    if (!ok || value < minimum || value > maximum)
        return false;
    *out = int(value);
    return true;
}

bool isTrue(const QString &text)
{
    const QString t = text.trimmed().toLower();
    return t == QLatin1String("1") || t == QLatin1String("true") || t == QLatin1String("yes") || t == QLatin1String("on");
}

ParsedCommand failure(const QString &message)
{
    ParsedCommand command;
    command.kind = ParsedCommand::Kind::Error;
    command.message = message;
    return command;
}

} // namespace

bool isValidRealm(const QString &realm)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9_-]{1,64}$"));
    return pattern.match(realm).hasMatch();
}

ParsedCommand parseCommandLine(const QStringList &arguments, const QProcessEnvironment &environment)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Self-hostable authentication, account and notes service for Ombrel Notes.\n"
        "  ombrel-server [options]                  serve\n"
        "  ombrel-server add-user EMAIL [options]   create an account; the password is read from standard input"));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    for (const OptionSpec &spec : kOptions) {
        parser.addOption(QCommandLineOption(QString::fromLatin1(spec.name), QString::fromLatin1(spec.description),
                                            QString::fromLatin1(spec.valueName)));
    }
    const QCommandLineOption signup(QStringLiteral("allow-signup"),
                                    QStringLiteral("Offer a sign-up form on the sign-in page (also OMBREL_SERVER_ALLOW_SIGNUP=1)."));
    parser.addOption(signup);
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("add-user, or nothing to serve"), QStringLiteral("[command]"));

    if (!parser.parse(arguments))
        return failure(parser.errorText());
    if (parser.isSet(help)) {
        ParsedCommand command;
        command.kind = ParsedCommand::Kind::Help;
        command.message = parser.helpText();
        return command;
    }
    if (parser.isSet(version)) {
        ParsedCommand command;
        command.kind = ParsedCommand::Kind::Version;
        return command;
    }

    ParsedCommand command;
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty()) {
        command.kind = ParsedCommand::Kind::Serve;
    } else if (positional.first() == QLatin1String("add-user")) {
        if (positional.size() != 2)
            return failure(QStringLiteral("add-user takes exactly one e-mail address"));
        command.kind = ParsedCommand::Kind::AddUser;
        command.email = positional.at(1);
        command.displayName = parser.value(QStringLiteral("display-name"));
    } else {
        return failure(QStringLiteral("Unknown command: %1").arg(positional.first()));
    }

    ServerConfig &config = command.config;
    auto option = [&](int index) { return valueOf(parser, environment, kOptions[index]); };

    if (const QString listen = option(0); !listen.isEmpty()) {
        if (listen != QLatin1String("localhost") && QHostAddress(listen).isNull())
            return failure(QStringLiteral("Invalid listen address: %1").arg(listen));
        config.listenAddress = listen == QLatin1String("localhost") ? QStringLiteral("127.0.0.1") : listen;
    }
    if (const QString port = option(1); !port.isEmpty() && !parseBounded(port, 0, 65535, &config.port))
        return failure(QStringLiteral("Invalid port: %1").arg(port));

    config.dataDir = option(2);
    if (config.dataDir.isEmpty()) {
        config.dataDir = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                         + QStringLiteral("/ombrel-server");
    }
    config.dataDir = QDir::cleanPath(QDir(config.dataDir).absolutePath());

    if (const QString url = option(3); !url.isEmpty()) {
        const QUrl parsed(url, QUrl::StrictMode);
        if (!parsed.isValid() || (parsed.scheme() != QLatin1String("http") && parsed.scheme() != QLatin1String("https"))
            || parsed.host().isEmpty() || parsed.hasQuery() || parsed.hasFragment())
            return failure(QStringLiteral("Invalid public URL: %1").arg(url));
        config.publicUrl = url;
        while (config.publicUrl.endsWith(QLatin1Char('/')))
            config.publicUrl.chop(1);
    }
    if (const QString realm = option(4); !realm.isEmpty()) {
        if (!isValidRealm(realm))
            return failure(QStringLiteral("Invalid realm: %1 (letters, digits, - and _)").arg(realm));
        config.realm = realm;
    }
    if (const QString clientId = option(5); !clientId.isEmpty())
        config.clientId = clientId;

    constexpr int kYear = 366 * 24 * 60 * 60;
    if (const QString ttl = option(6); !ttl.isEmpty() && !parseBounded(ttl, 1, kYear, &config.accessTokenTtl))
        return failure(QStringLiteral("Invalid access token lifetime: %1").arg(ttl));
    if (const QString ttl = option(7); !ttl.isEmpty() && !parseBounded(ttl, 1, 10 * kYear, &config.refreshTokenTtl))
        return failure(QStringLiteral("Invalid refresh token lifetime: %1").arg(ttl));

    config.allowSignup = parser.isSet(signup) || isTrue(environment.value(QStringLiteral("OMBREL_SERVER_ALLOW_SIGNUP")));
    return command;
}

QString effectivePublicUrl(const ServerConfig &config, int boundPort)
{
    if (!config.publicUrl.isEmpty())
        return config.publicUrl;
    QString host = config.listenAddress;
    const QHostAddress address(host);
    if (address == QHostAddress::AnyIPv4)
        host = QStringLiteral("127.0.0.1");
    else if (address == QHostAddress::AnyIPv6)
        host = QStringLiteral("[::1]");
    else if (address.protocol() == QAbstractSocket::IPv6Protocol)
        host = QLatin1Char('[') + host + QLatin1Char(']');
    return QStringLiteral("http://%1:%2").arg(host).arg(boundPort);
}

} // namespace OmbrServer
