#pragma once

#include <QByteArray>
#include <QString>

namespace OmbrServer {

// Bytes from the operating system's cryptographic generator.
QByteArray randomBytes(int count);
// count random bytes as unpadded base64url: opaque tokens and identifiers.
QString randomToken(int count = 32);
QByteArray sha256Hex(const QByteArray &data);
// Comparison whose time does not depend on where the inputs first differ.
bool constantTimeEquals(const QByteArray &a, const QByteArray &b);

QByteArray base64UrlEncode(const QByteArray &data);
// Strict: padding optional, any other character outside the alphabet fails.
bool base64UrlDecode(const QByteArray &text, QByteArray *out);

// Reads the signing secret from path, or creates it (owner-only, written atomically).
// Empty on failure, with the reason in error.
QByteArray loadOrCreateSecret(const QString &path, QString *error);

} // namespace OmbrServer
