#include "jwt.h"

#include "secrets.h"

#include <QJsonDocument>
#include <QMessageAuthenticationCode>

namespace OmbrServer {

namespace {

constexpr qsizetype kMaxTokenLength = 8192;

std::optional<QJsonObject> decodeJsonPart(const QByteArray &part)
{
    QByteArray json;
    if (!base64UrlDecode(part, &json))
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

} // namespace

JwtSigner::JwtSigner(QByteArray secret)
    : m_secret(std::move(secret))
{
}

QByteArray JwtSigner::signature(const QByteArray &signingInput) const
{
    return QMessageAuthenticationCode::hash(signingInput, m_secret, QCryptographicHash::Sha256);
}

QString JwtSigner::sign(const QJsonObject &claims) const
{
    static const QByteArray header = base64UrlEncode(R"({"alg":"HS256","typ":"JWT"})");
    const QByteArray input = header + '.' + base64UrlEncode(QJsonDocument(claims).toJson(QJsonDocument::Compact));
    return QString::fromLatin1(input + '.' + base64UrlEncode(signature(input)));
}

std::optional<QJsonObject> JwtSigner::verify(const QByteArray &token, qint64 nowSecs) const
{
    if (token.isEmpty() || token.size() > kMaxTokenLength || token.count('.') != 2)
        return std::nullopt;
    const qsizetype firstDot = token.indexOf('.');
    const qsizetype secondDot = token.lastIndexOf('.');

    const auto header = decodeJsonPart(token.left(firstDot));
    if (!header || header->value(QLatin1String("alg")).toString() != QLatin1String("HS256"))
        return std::nullopt;

    QByteArray givenSignature;
    if (!base64UrlDecode(token.mid(secondDot + 1), &givenSignature)
        || !constantTimeEquals(givenSignature, signature(token.left(secondDot))))
        return std::nullopt;

    const auto claims = decodeJsonPart(token.mid(firstDot + 1, secondDot - firstDot - 1));
    if (!claims)
        return std::nullopt;
    const QJsonValue exp = claims->value(QLatin1String("exp"));
    // Compared as a double: converting an out-of-range value to an integer is undefined.
    if (!exp.isDouble() || !(exp.toDouble() > double(nowSecs)))
        return std::nullopt;
    return claims;
}

} // namespace OmbrServer
