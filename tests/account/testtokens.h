#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

namespace OmbrelTest {

// An unsigned-looking JWT with the given payload; the client never checks signatures.
inline QString makeJwt(const QJsonObject &payload)
{
    const auto encode = [](const QByteArray &bytes) {
        return bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    };
    return QString::fromLatin1(encode(R"({"alg":"HS256","typ":"JWT"})") + '.'
                               + encode(QJsonDocument(payload).toJson(QJsonDocument::Compact)) + '.'
                               + encode("signature"));
}

// A token whose "exp" lies secondsAhead from now (negative: already past).
inline QString tokenExpiringIn(qint64 secondsAhead, const QJsonObject &extra = {})
{
    QJsonObject payload = extra;
    payload.insert(QStringLiteral("exp"), QDateTime::currentSecsSinceEpoch() + secondsAhead);
    payload.insert(QStringLiteral("sub"), QStringLiteral("user-1"));
    return makeJwt(payload);
}

} // namespace OmbrelTest
