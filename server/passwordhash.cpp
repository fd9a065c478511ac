#include "passwordhash.h"

#include "secrets.h"

#include <QStringList>

#include <openssl/evp.h>

namespace OmbrServer {

namespace {

constexpr int kSaltBytes = 16;
constexpr int kKeyBytes = 32;
// A corrupted or hostile row must not pin a worker for minutes.
constexpr int kMaxIterations = 10000000;
const QLatin1String kScheme("pbkdf2_sha256");

// OpenSSL rather than QPasswordDigestor: the same PBKDF2, about five times faster, which
// matters at 600,000 iterations per sign-in.
QByteArray derive(const QByteArray &password, const QByteArray &salt, int iterations)
{
    QByteArray key(kKeyBytes, Qt::Uninitialized);
    if (PKCS5_PBKDF2_HMAC(password.constData(), int(password.size()),
                          reinterpret_cast<const unsigned char *>(salt.constData()), int(salt.size()),
                          iterations, EVP_sha256(), kKeyBytes, reinterpret_cast<unsigned char *>(key.data()))
        != 1)
        return {};
    return key;
}

} // namespace

QString PasswordHash::create(const QString &password, int iterations)
{
    const QByteArray salt = randomBytes(kSaltBytes);
    const QByteArray key = derive(password.toUtf8(), salt, iterations);
    if (key.isEmpty())
        return {};
    return QStringLiteral("%1$%2$%3$%4")
        .arg(kScheme)
        .arg(iterations)
        .arg(QString::fromLatin1(base64UrlEncode(salt)), QString::fromLatin1(base64UrlEncode(key)));
}

bool PasswordHash::verify(const QString &password, const QString &stored)
{
    const QStringList parts = stored.split(QLatin1Char('$'));
    if (parts.size() != 4 || parts.at(0) != kScheme)
        return false;
    bool ok = false;
    const int iterations = parts.at(1).toInt(&ok);
    if (!ok || iterations < 1 || iterations > kMaxIterations)
        return false;
    QByteArray salt;
    QByteArray expected;
    if (!base64UrlDecode(parts.at(2).toLatin1(), &salt) || salt.isEmpty()
        || !base64UrlDecode(parts.at(3).toLatin1(), &expected) || expected.size() != kKeyBytes)
        return false;
    const QByteArray key = derive(password.toUtf8(), salt, iterations);
    return !key.isEmpty() && constantTimeEquals(key, expected);
}

void PasswordHash::burnVerificationTime(const QString &password)
{
    static const QByteArray salt(kSaltBytes, 'x');
    derive(password.toUtf8(), salt, kDefaultIterations);
}

} // namespace OmbrServer
