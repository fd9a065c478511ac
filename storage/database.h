#pragma once

#include <QObject>
#include <QSqlDatabase>
#include <QString>

// The one SQLite connection of the application, its schema and its migrations.
class Database : public QObject
{
    Q_OBJECT

public:
    static constexpr int LatestVersion = 2;

    explicit Database(QObject *parent = nullptr);
    ~Database() override;

    bool open(const QString &path);
    bool migrate();

    QSqlDatabase handle() const;
    QString connectionName() const { return m_connectionName; }
    bool isOpen() const;

Q_SIGNALS:
    void migrationApplied(int version, const QString &name);
    void migrationError(int version, const QString &error);

private:
    bool migrateToV1();
    bool migrateToV2();
    bool setVersion(int version);
    void ensureSupportIndexes();

    QString m_connectionName;
};
