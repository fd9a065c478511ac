#pragma once

#include <QString>

#include <memory>
#include <optional>

namespace OmbrAccount {

inline constexpr char AccessTokenKey[] = "ombrel_access_token";
inline constexpr char RefreshTokenKey[] = "ombrel_refresh_token";

// Where the session's two tokens persist between runs.
class TokenStore
{
public:
    virtual ~TokenStore();
    virtual std::optional<QString> load(const QString &key) = 0;
    virtual bool save(const QString &key, const QString &value) = 0;
    virtual bool remove(const QString &key) = 0;
    virtual void clear();
};

// The store of this platform: the Windows Credential Manager; elsewhere the desktop's
// keyring when one answers and the library is the default one, otherwise an owner-only
// file in directory. Tests never get the keyring, so they cannot touch a real user's
// secrets.
std::unique_ptr<TokenStore> createPlatformTokenStore(const QString &serviceName, const QString &directory);

} // namespace OmbrAccount
