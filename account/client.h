#pragma once

#include "authstate.h"
#include "ombclaims.h"

#include <QObject>
#include <QString>

#include <memory>

namespace OmbrAccount {

class ApiClient;
class AuthClient;
class TokenManager;
class TokenStore;

struct ClientConfig
{
    QString authBaseUrl;
    QString realmSlug;
    QString accountApiUrl;
    QString clientId;
    QString appId;
    QString appName;
    QString appVersion;
    // Empty: detected from the kernel.
    QString platform;
    QString accountPortalUrl;
};

// The account side of the application in one object: the tokens, one HTTP client per
// service and the sign-in client.
class Client : public QObject
{
    Q_OBJECT

public:
    // Tokens in the platform's store (keyring or owner-only file in the data directory).
    explicit Client(const ClientConfig &config, QObject *parent = nullptr);
    Client(const ClientConfig &config, std::unique_ptr<TokenStore> store, QObject *parent = nullptr);
    ~Client() override;

    void initialize();
    bool isAuthenticated() const;
    OmbClaims claims() const;

    const ClientConfig &config() const { return m_config; }
    TokenManager *tokenManager() const { return m_tokenManager; }
    ApiClient *authApi() const { return m_authApi; }
    ApiClient *accountApi() const { return m_accountApi; }
    ApiClient *syncApi() const { return m_syncApi; }
    AuthClient *authClient() const { return m_authClient; }

    static QString detectPlatform(const QString &kernelType);

Q_SIGNALS:
    void authStateChanged(OmbrAccount::AuthState state);
    void claimsUpdated(const OmbrAccount::OmbClaims &claims);

private:
    ClientConfig m_config;
    TokenManager *m_tokenManager = nullptr;
    ApiClient *m_authApi = nullptr;
    ApiClient *m_accountApi = nullptr;
    ApiClient *m_syncApi = nullptr;
    AuthClient *m_authClient = nullptr;
};

} // namespace OmbrAccount
