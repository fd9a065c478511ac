#include "tokenstore.h"

#include "accountlog.h"
#include "filetokenstore.h"

#include <QStandardPaths>

#if defined(Q_OS_WIN)
#include "credentialmanagertokenstore.h"
#elif defined(OMBREL_HAVE_KEYCHAIN)
#include "keychaintokenstore.h"
#endif

namespace OmbrAccount {

TokenStore::~TokenStore() = default;

void TokenStore::clear()
{
    remove(QLatin1String(AccessTokenKey));
    remove(QLatin1String(RefreshTokenKey));
}

std::unique_ptr<TokenStore> createPlatformTokenStore(const QString &serviceName, const QString &directory)
{
#if defined(Q_OS_WIN)
    Q_UNUSED(directory);
    qCInfo(lcAccount) << "Token store: Windows Credential Manager";
    return std::make_unique<CredentialManagerTokenStore>(serviceName);
#else
#if defined(OMBREL_HAVE_KEYCHAIN)
    // The keyring is one per user, so it serves the default library only: an explicit data
    // directory (a second library, a test run) keeps a session of its own beside its data.
    const bool ownDirectory = qEnvironmentVariableIsSet("NOTES_DATA_DIR");
    if (!ownDirectory && !QStandardPaths::isTestModeEnabled() && KeychainTokenStore::isAvailable(serviceName)) {
        qCInfo(lcAccount) << "Token store: desktop keyring";
        return std::make_unique<KeychainTokenStore>(serviceName);
    }
#else
    Q_UNUSED(serviceName);
#endif
    const QString path = FileTokenStore::pathIn(directory);
    qCInfo(lcAccount) << "Token store: owner-only file" << path;
    return std::make_unique<FileTokenStore>(path);
#endif
}

} // namespace OmbrAccount
