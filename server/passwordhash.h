#pragma once

#include <QString>

namespace OmbrServer {

// Salted PBKDF2-HMAC-SHA256, stored as "pbkdf2_sha256$<iterations>$<salt>$<key>"
// (base64url). Verification reads the iteration count from the stored text, so raising
// the default later keeps old hashes usable.
class PasswordHash
{
public:
    static constexpr int kDefaultIterations = 600000;

    static QString create(const QString &password, int iterations = kDefaultIterations);
    // False for a wrong password and for stored text this code did not write.
    static bool verify(const QString &password, const QString &stored);
    // Spends the time of one verification; keeps unknown accounts from answering faster.
    static void burnVerificationTime(const QString &password);
};

} // namespace OmbrServer
