#include "preferencesrepository.h"

#include "database.h"

#include <QSqlQuery>

PreferencesRepository::PreferencesRepository(Database *database, QObject *parent)
    : QObject(parent)
    , m_database(database)
{
}

std::optional<QString> PreferencesRepository::find(const QString &key) const
{
    QSqlQuery query(m_database->handle());
    query.prepare(QStringLiteral("SELECT value FROM preferences WHERE key = ?"));
    query.addBindValue(key);
    if (!query.exec() || !query.next())
        return std::nullopt;
    const QString value = query.value(0).toString();
    return value.isNull() ? QStringLiteral("") : value;
}

QString PreferencesRepository::get(const QString &key, const QString &defaultValue) const
{
    return find(key).value_or(defaultValue);
}

bool PreferencesRepository::getBool(const QString &key, bool defaultValue) const
{
    const std::optional<QString> value = find(key);
    if (!value)
        return defaultValue;
    return *value == QLatin1String("1") || *value == QLatin1String("true") || *value == QLatin1String("yes");
}

int PreferencesRepository::getInt(const QString &key, int defaultValue) const
{
    const std::optional<QString> value = find(key);
    if (!value)
        return defaultValue;
    bool ok = false;
    const int parsed = value->toInt(&ok, 10);
    return ok ? parsed : defaultValue;
}

bool PreferencesRepository::set(const QString &key, const QString &value)
{
    const std::optional<QString> existing = find(key);
    if (existing && *existing == value)
        return true;
    QSqlQuery query(m_database->handle());
    query.prepare(QStringLiteral("INSERT INTO preferences (key, value) VALUES (?, ?) "
                                 "ON CONFLICT(key) DO UPDATE SET value = excluded.value"));
    query.addBindValue(key);
    query.addBindValue(value.isNull() ? QStringLiteral("") : value);
    if (!query.exec())
        return false;
    Q_EMIT changed(key);
    return true;
}

bool PreferencesRepository::setBool(const QString &key, bool value)
{
    return set(key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

bool PreferencesRepository::setInt(const QString &key, int value)
{
    return set(key, QString::number(value));
}

bool PreferencesRepository::remove(const QString &key)
{
    QSqlQuery query(m_database->handle());
    query.prepare(QStringLiteral("DELETE FROM preferences WHERE key = ?"));
    query.addBindValue(key);
    if (!query.exec())
        return false;
    Q_EMIT changed(key);
    return true;
}
