#pragma once

#include <QMetaType>
#include <QString>

namespace OmbrAccount {

// The application's own claims inside the access token ("custom" → "omb").
struct OmbClaims
{
    QString groupId;
    QString role;

    bool isOwner() const { return role == QLatin1String("owner"); }
    bool operator==(const OmbClaims &) const = default;
};

OmbClaims decodeClaims(const QString &accessToken);

// The token's "exp" in seconds since the epoch; 0 when the token is no JWT or has none.
qint64 tokenExpiry(const QString &token);

} // namespace OmbrAccount

Q_DECLARE_METATYPE(OmbrAccount::OmbClaims)
