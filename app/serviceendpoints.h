#pragma once

#include <QString>

// Where the remote services live; read from the environment once at start-up.
struct ServiceEndpoints
{
    QString authBaseUrl;
    QString accountApiUrl;
    QString syncApiUrl;
    QString realmSlug;
    QString clientId;
    QString accountPortalUrl;

    // A variable counts when it is set and not empty.
    static ServiceEndpoints fromEnvironment();
};
