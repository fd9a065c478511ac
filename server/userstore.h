#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

namespace OmbrServer {

class ServerDatabase;

struct UserRecord
{
    QString id;
    QString email;
    QString passwordHash;
    QString displayName;
    QString username;
    QString avatarUrl;
    QString groupId;
    QString role;
    QString createdAt; // ISO 8601, UTC

    // The public shape: {"id", "email", "display_name", "username", "avatar_url", "created_at"}
    QJsonObject toJson() const;
};

class UserStore
{
public:
    explicit UserStore(ServerDatabase &database);

    enum class CreateResult { Created, Exists, Failed };
    CreateResult create(const UserRecord &user);
    std::optional<UserRecord> findByEmail(const QString &email);
    std::optional<UserRecord> findById(const QString &id);
    bool setDisplayName(const QString &id, const QString &displayName);
    bool setPasswordHash(const QString &id, const QString &passwordHash);

    // Lower-cased and trimmed; e-mail addresses are compared in this form.
    static QString normalizeEmail(const QString &email);
    static bool isValidEmail(const QString &normalizedEmail);
    // Empty when acceptable, otherwise the reason.
    static QString passwordProblem(const QString &password);
    // Empty when acceptable, otherwise the reason; also trims.
    static QString displayNameProblem(QString *displayName);

private:
    ServerDatabase &m_database;
};

} // namespace OmbrServer
