#include "ombclaims.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace OmbrAccount {

namespace {

// The payload of a JWT as an object; empty for anything that is not one. Nothing here
// checks the signature: the services do that, the client only reads its own token.
QJsonObject payloadOf(const QString &token)
{
    const QStringList parts = token.split(QLatin1Char('.'));
    if (parts.size() < 2)
        return {};
    const auto decoded = QByteArray::fromBase64Encoding(
        parts.at(1).toLatin1(), QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals
                                    | QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return {};
    const QJsonDocument document = QJsonDocument::fromJson(*decoded);
    return document.isObject() ? document.object() : QJsonObject();
}

} // namespace

qint64 tokenExpiry(const QString &token)
{
    const QJsonValue exp = payloadOf(token).value(QLatin1String("exp"));
    // A fractional or huge "exp" is still a time; a string is not.
    if (!exp.isDouble())
        return 0;
    const double seconds = exp.toDouble();
    if (!(seconds > 0) || seconds > 1e15)
        return 0;
    return static_cast<qint64>(seconds);
}

OmbClaims decodeClaims(const QString &accessToken)
{
    const QJsonObject omb = payloadOf(accessToken)
                                .value(QLatin1String("custom")).toObject()
                                .value(QLatin1String("omb")).toObject();
    OmbClaims claims;
    if (omb.isEmpty())
        return claims;
    claims.groupId = omb.value(QLatin1String("group_id")).toString();
    claims.role = omb.value(QLatin1String("role")).toString();
    return claims;
}

} // namespace OmbrAccount
