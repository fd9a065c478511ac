#include "client.h"

#include "apiclient.h"
#include "authclient.h"
#include "paths.h"
#include "tokenmanager.h"
#include "tokenstore.h"

#include <QSysInfo>
#include <QUrl>

namespace OmbrAccount {

Client::Client(const ClientConfig &config, QObject *parent)
    : Client(config, createPlatformTokenStore(config.appId, dataDirectory()), parent)
{
}

Client::Client(const ClientConfig &config, std::unique_ptr<TokenStore> store, QObject *parent)
    : QObject(parent)
    , m_config(config)
{
    qRegisterMetaType<OmbrAccount::AuthState>();
    qRegisterMetaType<OmbrAccount::OmbClaims>();

    m_tokenManager = new TokenManager(std::move(store), this);
    const QString platform = config.platform.isEmpty() ? detectPlatform(QSysInfo::kernelType())
                                                       : config.platform;

    auto makeApi = [&](const QUrl &baseUrl) {
        auto *api = new ApiClient(m_tokenManager, this);
        api->setBaseUrl(baseUrl);
        api->setAppInfo(config.appId, config.appVersion, platform);
        return api;
    };
    m_authApi = makeApi(QUrl(QStringLiteral("%1/api/v1/realms/%2").arg(config.authBaseUrl, config.realmSlug)));
    m_accountApi = makeApi(QUrl(config.accountApiUrl));
    m_syncApi = makeApi(QUrl());

    m_authClient = new AuthClient(config.authBaseUrl, config.realmSlug, config.clientId, m_authApi,
                                  m_tokenManager, this);
    connect(m_authClient, &AuthClient::stateChanged, this, [this](AuthState state) {
        Q_EMIT authStateChanged(state);
        if (state == AuthState::Authenticated)
            Q_EMIT claimsUpdated(claims());
    });
}

Client::~Client() = default;

void Client::initialize()
{
    m_authClient->initialize();
}

bool Client::isAuthenticated() const
{
    return m_authClient->state() == AuthState::Authenticated;
}

OmbClaims Client::claims() const
{
    return decodeClaims(m_tokenManager->accessToken());
}

QString Client::detectPlatform(const QString &kernelType)
{
    const QString kernel = kernelType.toLower();
    if (kernel == QLatin1String("darwin"))
        return QStringLiteral("macos");
    if (kernel == QLatin1String("winnt"))
        return QStringLiteral("windows");
    return kernel;
}

} // namespace OmbrAccount
