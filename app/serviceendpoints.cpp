#include "serviceendpoints.h"

namespace {

QString fromEnvironment(const char *name, const char *fallback)
{
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? QString::fromLatin1(fallback) : value;
}

} // namespace

ServiceEndpoints ServiceEndpoints::fromEnvironment()
{
    ServiceEndpoints endpoints;
    endpoints.authBaseUrl = ::fromEnvironment("AUTH_BASE_URL", "https://auth.ombrel.app");
    endpoints.accountApiUrl = ::fromEnvironment("ACCOUNT_API_URL", "https://api.ombrel.app/account/v1");
    endpoints.syncApiUrl = ::fromEnvironment("SYNC_API_URL", "https://api.ombrel.app/notes/v1");
    endpoints.realmSlug = ::fromEnvironment("AUTH_REALM_SLUG", "ombrel");
    endpoints.clientId = ::fromEnvironment("AUTH_CLIENT_ID", "0f1e2d3c4b5a69788796a5b4c3d2e1f0");
    endpoints.accountPortalUrl = ::fromEnvironment("ACCOUNT_PORTAL_URL", "https://account.ombrel.app");
    return endpoints;
}
