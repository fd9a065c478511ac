#include "secrets.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRandomGenerator>
#include <QSaveFile>

namespace OmbrServer {

namespace {
constexpr int kSecretBytes = 64;
}

QByteArray randomBytes(int count)
{
    QByteArray bytes(count, Qt::Uninitialized);
    auto *generator = QRandomGenerator::system();
    for (int i = 0; i < count; ++i)
        bytes[i] = char(generator->generate() & 0xff);
    return bytes;
}

QString randomToken(int count)
{
    return QString::fromLatin1(base64UrlEncode(randomBytes(count)));
}

QByteArray sha256Hex(const QByteArray &data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex();
}

bool constantTimeEquals(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size())
        return false;
    unsigned char diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

QByteArray base64UrlEncode(const QByteArray &data)
{
    return data.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

bool base64UrlDecode(const QByteArray &text, QByteArray *out)
{
    const auto result = QByteArray::fromBase64Encoding(
        text, QByteArray::Base64UrlEncoding | QByteArray::AbortOnBase64DecodingErrors);
    if (!result)
        return false;
    *out = *result;
    return true;
}

QByteArray loadOrCreateSecret(const QString &path, QString *error)
{
    QFile existing(path);
    if (existing.exists()) {
        if (!existing.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("Cannot read %1: %2").arg(path, existing.errorString());
            return {};
        }
        QByteArray secret;
        if (!base64UrlDecode(existing.readAll().trimmed(), &secret) || secret.size() < 32) {
            *error = QStringLiteral("%1 is not a valid secret; remove it to generate a new one").arg(path);
            return {};
        }
        return secret;
    }

    const QByteArray secret = randomBytes(kSecretBytes);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)
        || !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)
        || file.write(base64UrlEncode(secret) + '\n') < 0 || !file.commit()) {
        *error = QStringLiteral("Cannot write %1: %2").arg(path, file.errorString());
        return {};
    }
    return secret;
}

} // namespace OmbrServer
