#pragma once

#include "tokenstore.h"

#include <string>

namespace OmbrAccount {

// Tokens as generic credentials of the Windows Credential Manager, target
// "Ombrel/<service>/<key>".
class CredentialManagerTokenStore : public TokenStore
{
public:
    explicit CredentialManagerTokenStore(const QString &serviceName);

    std::optional<QString> load(const QString &key) override;
    bool save(const QString &key, const QString &value) override;
    bool remove(const QString &key) override;

private:
    std::wstring targetName(const QString &key) const;

    QString m_serviceName;
};

} // namespace OmbrAccount
