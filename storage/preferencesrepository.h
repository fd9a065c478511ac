#pragma once

#include <QObject>
#include <QString>
#include <optional>

class Database;

// The application's settings: a text key/value table inside the database.
class PreferencesRepository : public QObject
{
    Q_OBJECT

public:
    explicit PreferencesRepository(Database *database, QObject *parent = nullptr);

    std::optional<QString> find(const QString &key) const;
    QString get(const QString &key, const QString &defaultValue = QString()) const;
    bool getBool(const QString &key, bool defaultValue = false) const;
    int getInt(const QString &key, int defaultValue = 0) const;

    bool set(const QString &key, const QString &value);
    bool setBool(const QString &key, bool value);
    bool setInt(const QString &key, int value);
    bool remove(const QString &key);

Q_SIGNALS:
    void changed(const QString &key);

private:
    Database *m_database;
};
