#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <optional>

class Database;

// An earlier version of a note body, kept for the version history.
struct Snapshot
{
    QString id;
    QString noteId;
    int version = 0;
    QString body;
    QDateTime createdAt;
};

class SnapshotRepository : public QObject
{
    Q_OBJECT

public:
    explicit SnapshotRepository(Database *database, QObject *parent = nullptr);

    QList<Snapshot> snapshotsForNote(const QString &noteId) const;
    // The same rows and order with empty bodies, read from an index only.
    QList<Snapshot> snapshotHeadersForNote(const QString &noteId) const;
    std::optional<Snapshot> findById(const QString &id) const;
    // One snapshot per note and version: a later one of the same version replaces it.
    bool insert(const Snapshot &snapshot);

private:
    Database *m_database;
};
