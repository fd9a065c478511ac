#pragma once

#include "syncstatus.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <optional>

class Database;

struct Attachment
{
    QString id;
    QString noteId;
    QString filename;   // shown to the user; the file on disk is named by id
    QString mimeType;
    qint64 sizeBytes = 0;
    QDateTime createdAt;
    SyncStatus syncStatus = SyncStatus::Pending;
};

// Attachment rows, and their bytes as one file per attachment named by its id.
class AttachmentRepository : public QObject
{
    Q_OBJECT

public:
    explicit AttachmentRepository(Database *database, QObject *parent = nullptr);

    std::optional<Attachment> findById(const QString &id) const;
    QList<Attachment> attachmentsForNote(const QString &noteId) const;
    QList<Attachment> pendingAttachments() const;
    QList<Attachment> allAttachments() const;

    bool insert(const Attachment &attachment);
    bool markSynced(const QString &id);
    bool deleteById(const QString &id);
    bool deleteForNote(const QString &noteId);

    // Empty for an id that is not a well-formed UUID: such an id never reaches the file system.
    QString filePath(const QString &id) const;
    QByteArray readFile(const QString &id) const;
    bool saveFile(const QString &id, const QByteArray &data);

    static bool isValidId(const QString &id);

Q_SIGNALS:
    void attachmentsChanged();

private:
    Database *m_database;
};

// The file holding an attachment's bytes; empty for an id that is not a well-formed UUID.
QString attachmentFilePath(const QString &id);
