#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace OmbrServer {

// HS256 JSON Web Tokens. Verification accepts nothing but HS256 with this signer's
// secret, so "alg":"none" or a token minted elsewhere never passes.
class JwtSigner
{
public:
    explicit JwtSigner(QByteArray secret);

    QString sign(const QJsonObject &claims) const;

    // The claims of a well-formed token with a valid signature and an "exp" after nowSecs;
    // empty otherwise.
    std::optional<QJsonObject> verify(const QByteArray &token, qint64 nowSecs) const;

private:
    QByteArray signature(const QByteArray &signingInput) const;

    QByteArray m_secret;
};

} // namespace OmbrServer
