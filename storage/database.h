#pragma once

#include <QObject>
#include <QSqlDatabase>
#include <QSqlError>
#include <QString>

// The one SQLite connection of the application, its schema and its migrations.
class Database : public QObject
{
    Q_OBJECT

public:
    static constexpr int LatestVersion = 2;
    static constexpr int BusyTimeoutMs = 250;

    explicit Database(QObject *parent = nullptr);
    ~Database() override;

    bool open(const QString &path);
    bool migrate();

    // For writes that must land together or not at all.
    bool beginTransaction();
    bool commit();
    void rollback();

    // A failed write in words for the user: "the disk is full", "the database is
    // read-only", "the database is locked by another program", else the driver's text.
    static QString describeWriteError(const QSqlError &error);
    static bool isReadOnlyError(const QSqlError &error);
    // Whether writes are refused (a write-protected file or file system); checked at open.
    bool isReadOnly() const { return m_readOnly; }
    // Checked again after a failed write: the file or its file system may have turned
    // read-only since the start.
    bool isWritable() const;

    QSqlDatabase handle() const;
    QString connectionName() const { return m_connectionName; }
    bool isOpen() const;
    // The driver's reason for the last failed open or migration ("file is not a
    // database", "unable to open database file"); empty when nothing failed.
    QString errorText() const { return m_errorText; }

Q_SIGNALS:
    void migrationApplied(int version, const QString &name);
    void migrationError(int version, const QString &error);

private:
    bool migrateToV1();
    bool migrateToV2();
    bool setVersion(int version);
    void ensureSupportIndexes();

    void fail(const QString &reason) { m_errorText = reason; }

    QString m_connectionName;
    QString m_errorText;
    bool m_readOnly = false;
};
