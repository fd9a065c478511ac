#include "servercommands.h"

#include "passwordhash.h"
#include "server.h"
#include "serverconfig.h"
#include "serverdatabase.h"
#include "userstore.h"

#include <QDir>
#include <QIODevice>
#include <QUuid>

namespace OmbrServer {

int addUser(const ServerConfig &config, const QString &rawEmail, const QString &rawDisplayName, QIODevice &input,
            QString *message)
{
    UserRecord user;
    user.email = UserStore::normalizeEmail(rawEmail);
    if (!UserStore::isValidEmail(user.email)) {
        *message = QStringLiteral("Not a valid e-mail address: %1").arg(rawEmail);
        return 2;
    }
    user.displayName = rawDisplayName;
    if (const QString problem = UserStore::displayNameProblem(&user.displayName); !problem.isEmpty()) {
        *message = problem;
        return 2;
    }

    // One line; the line break is not part of the password.
    QByteArray line = input.readLine(64 * 1024);
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    const QString password = QString::fromUtf8(line);
    if (const QString problem = UserStore::passwordProblem(password); !problem.isEmpty()) {
        *message = problem + QStringLiteral(" (the password is read from standard input)");
        return 2;
    }

    if (!QDir().mkpath(config.dataDir)) {
        *message = QStringLiteral("Cannot create the data directory %1").arg(config.dataDir);
        return 1;
    }
    ServerDatabase database;
    QString error;
    if (!database.open(QDir(config.dataDir).filePath(Server::databaseFileName()), &error)) {
        *message = error;
        return 1;
    }
    UserStore users(database);
    user.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    user.username = user.email.section(QLatin1Char('@'), 0, 0);
    user.passwordHash = PasswordHash::create(password);
    user.createdAt = ServerDatabase::isoNow();
    switch (users.create(user)) {
    case UserStore::CreateResult::Created:
        *message = QStringLiteral("Created user %1 <%2>").arg(user.id, user.email);
        return 0;
    case UserStore::CreateResult::Exists:
        *message = QStringLiteral("A user with the e-mail address %1 already exists").arg(user.email);
        return 1;
    case UserStore::CreateResult::Failed:
        break;
    }
    *message = QStringLiteral("The user could not be stored");
    return 1;
}

} // namespace OmbrServer
