#pragma once

#include <QString>

class QIODevice;

namespace OmbrServer {

struct ServerConfig;

// "add-user EMAIL": creates the account with the password read (one line) from input.
// Returns the process exit code; message is what to print (stdout on success, stderr
// otherwise).
int addUser(const ServerConfig &config, const QString &email, const QString &displayName, QIODevice &input,
            QString *message);

} // namespace OmbrServer
