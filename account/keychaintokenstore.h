#pragma once

#include "tokenstore.h"

namespace OmbrAccount {

// Tokens in the desktop's keyring (Secret Service) through QtKeychain.
class KeychainTokenStore : public TokenStore
{
public:
    explicit KeychainTokenStore(const QString &serviceName);

    // Whether a keyring answers at all; a missing entry is an answer.
    static bool isAvailable(const QString &serviceName);

    std::optional<QString> load(const QString &key) override;
    bool save(const QString &key, const QString &value) override;
    bool remove(const QString &key) override;

private:
    QString m_serviceName;
};

} // namespace OmbrAccount
