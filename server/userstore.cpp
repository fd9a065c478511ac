#include "userstore.h"

#include "serverdatabase.h"
#include "serverlog.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

namespace OmbrServer {

namespace {

constexpr int kMinPasswordLength = 8;
constexpr int kMaxPasswordBytes = 1024;
constexpr int kMaxDisplayNameLength = 100;

const QString kSelectColumns = QStringLiteral(
    "SELECT id, email, password_hash, display_name, username, avatar_url, group_id, role, created_at FROM users ");

UserRecord readUser(const QSqlQuery &query)
{
    UserRecord user;
    user.id = query.value(0).toString();
    user.email = query.value(1).toString();
    user.passwordHash = query.value(2).toString();
    user.displayName = query.value(3).toString();
    user.username = query.value(4).toString();
    user.avatarUrl = query.value(5).toString();
    user.groupId = query.value(6).toString();
    user.role = query.value(7).toString();
    user.createdAt = query.value(8).toString();
    return user;
}

bool hasControlCharacters(const QString &text)
{
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control)
            return true;
    }
    return false;
}

} // namespace

QJsonObject UserRecord::toJson() const
{
    return QJsonObject{
        {QStringLiteral("id"), id},
        {QStringLiteral("email"), email},
        {QStringLiteral("display_name"), displayName},
        {QStringLiteral("username"), username},
        {QStringLiteral("avatar_url"), avatarUrl},
        {QStringLiteral("created_at"), createdAt},
    };
}

UserStore::UserStore(ServerDatabase &database)
    : m_database(database)
{
}

UserStore::CreateResult UserStore::create(const UserRecord &user)
{
    QSqlDatabase db = m_database.connection();
    QSqlQuery query(db);
    query.prepare(QStringLiteral(
        "INSERT INTO users (id, email, password_hash, display_name, username, avatar_url, group_id, role, created_at) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    for (const QString &value : {user.id, user.email, user.passwordHash, user.displayName, user.username,
                                 user.avatarUrl, user.groupId, user.role, user.createdAt})
        query.addBindValue(textValue(value));
    if (query.exec())
        return CreateResult::Created;
    if (findByEmail(user.email))
        return CreateResult::Exists;
    qCWarning(lcServer) << "UserStore::create failed:" << query.lastError().text();
    return CreateResult::Failed;
}

std::optional<UserRecord> UserStore::findByEmail(const QString &email)
{
    QSqlQuery query(m_database.connection());
    query.prepare(kSelectColumns + QStringLiteral("WHERE email = ?"));
    query.addBindValue(email);
    if (!query.exec() || !query.next())
        return std::nullopt;
    return readUser(query);
}

std::optional<UserRecord> UserStore::findById(const QString &id)
{
    QSqlQuery query(m_database.connection());
    query.prepare(kSelectColumns + QStringLiteral("WHERE id = ?"));
    query.addBindValue(id);
    if (!query.exec() || !query.next())
        return std::nullopt;
    return readUser(query);
}

bool UserStore::setDisplayName(const QString &id, const QString &displayName)
{
    QSqlQuery query(m_database.connection());
    query.prepare(QStringLiteral("UPDATE users SET display_name = ? WHERE id = ?"));
    query.addBindValue(displayName);
    query.addBindValue(id);
    if (!query.exec()) {
        qCWarning(lcServer) << "UserStore::setDisplayName failed:" << query.lastError().text();
        return false;
    }
    return query.numRowsAffected() == 1;
}

bool UserStore::setPasswordHash(const QString &id, const QString &passwordHash)
{
    QSqlQuery query(m_database.connection());
    query.prepare(QStringLiteral("UPDATE users SET password_hash = ? WHERE id = ?"));
    query.addBindValue(passwordHash);
    query.addBindValue(id);
    if (!query.exec()) {
        qCWarning(lcServer) << "UserStore::setPasswordHash failed:" << query.lastError().text();
        return false;
    }
    return query.numRowsAffected() == 1;
}

QString UserStore::normalizeEmail(const QString &email)
{
    return email.trimmed().toLower();
}

bool UserStore::isValidEmail(const QString &email)
{
    static const QRegularExpression pattern(QStringLiteral("^[^@\\s]+@[^@\\s]+\\.[^@\\s]+$|^[^@\\s]+@localhost$"));
    return email.size() <= 254 && !hasControlCharacters(email) && pattern.match(email).hasMatch();
}

QString UserStore::passwordProblem(const QString &password)
{
    if (password.size() < kMinPasswordLength)
        return QStringLiteral("Password must be at least %1 characters long").arg(kMinPasswordLength);
    if (password.toUtf8().size() > kMaxPasswordBytes)
        return QStringLiteral("Password is too long");
    return {};
}

QString UserStore::displayNameProblem(QString *displayName)
{
    *displayName = displayName->trimmed();
    if (displayName->size() > kMaxDisplayNameLength)
        return QStringLiteral("Display name must be at most %1 characters long").arg(kMaxDisplayNameLength);
    if (hasControlCharacters(*displayName))
        return QStringLiteral("Display name must not contain control characters");
    return {};
}

} // namespace OmbrServer
