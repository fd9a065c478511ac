#include "attachmentrepository.h"

#include "columns.h"
#include "database.h"
#include "paths.h"
#include "storagelog.h"

#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace {

QList<Attachment> readAttachments(QSqlQuery &query)
{
    QList<Attachment> attachments;
    const Columns::Index column(query.record(), {"id", "note_id", "filename", "mime_type", "size_bytes",
                                                 "created_at", "sync_status"});
    while (query.next()) {
        Attachment attachment;
        attachment.id = query.value(column[0]).toString();
        attachment.noteId = query.value(column[1]).toString();
        attachment.filename = query.value(column[2]).toString();
        attachment.mimeType = query.value(column[3]).toString();
        attachment.sizeBytes = query.value(column[4]).toLongLong();
        attachment.createdAt = Columns::toDateTime(query.value(column[5]));
        attachment.syncStatus = syncStatusFromString(query.value(column[6]).toString());
        attachments.append(std::move(attachment));
    }
    return attachments;
}

bool refuseInvalid(const QString &id, const char *operation)
{
    if (AttachmentRepository::isValidId(id))
        return false;
    qCWarning(lcStorage).nospace() << "AttachmentRepository::" << operation << " refused id: " << id;
    return true;
}

} // namespace

QString attachmentFilePath(const QString &id)
{
    if (!AttachmentRepository::isValidId(id))
        return QString();
    return attachmentsDirectory() + QLatin1Char('/') + id;
}

AttachmentRepository::AttachmentRepository(Database *database, QObject *parent)
    : QObject(parent)
    , m_database(database)
{
}

bool AttachmentRepository::isValidId(const QString &id)
{
    static const QRegularExpression uuid(QStringLiteral(
        "\\A[0-9a-fA-F]{8}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{12}\\z"));
    return uuid.match(id).hasMatch();
}

std::optional<Attachment> AttachmentRepository::findById(const QString &id) const
{
    QSqlQuery query(m_database->handle());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT * FROM attachments WHERE id = ?"));
    query.addBindValue(id);
    if (!query.exec())
        return std::nullopt;
    const QList<Attachment> found = readAttachments(query);
    if (found.isEmpty())
        return std::nullopt;
    return found.first();
}

QList<Attachment> AttachmentRepository::attachmentsForNote(const QString &noteId) const
{
    QSqlQuery query(m_database->handle());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT * FROM attachments WHERE note_id = ? ORDER BY created_at ASC"));
    query.addBindValue(noteId);
    if (!query.exec())
        return {};
    return readAttachments(query);
}

QList<Attachment> AttachmentRepository::pendingAttachments() const
{
    QSqlQuery query(m_database->handle());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral(
            "SELECT * FROM attachments WHERE sync_status = 'pending' ORDER BY created_at ASC")))
        return {};
    return readAttachments(query);
}

QList<Attachment> AttachmentRepository::allAttachments() const
{
    QSqlQuery query(m_database->handle());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT * FROM attachments ORDER BY rowid")))
        return {};
    return readAttachments(query);
}

bool AttachmentRepository::insert(const Attachment &attachment)
{
    QSqlQuery query(m_database->handle());
    query.prepare(QStringLiteral("INSERT INTO attachments (id, note_id, filename, mime_type, size_bytes, created_at, "
                                 "sync_status) VALUES (?, ?, ?, ?, ?, ?, ?)"));
    query.addBindValue(attachment.id);
    query.addBindValue(attachment.noteId);
    query.addBindValue(Columns::emptyIfNull(attachment.filename));
    query.addBindValue(Columns::emptyIfNull(attachment.mimeType));
    query.addBindValue(attachment.sizeBytes);
    query.addBindValue(Columns::fromDateTime(attachment.createdAt));
    query.addBindValue(syncStatusToString(attachment.syncStatus));
    if (!query.exec()) {
        qCWarning(lcStorage) << "AttachmentRepository::insert failed:" << query.lastError().text();
        return false;
    }
    Q_EMIT attachmentsChanged();
    return true;
}

bool AttachmentRepository::markSynced(const QString &id)
{
    QSqlQuery query(m_database->handle());
    query.prepare(QStringLiteral("UPDATE attachments SET sync_status = 'synced' WHERE id = ?"));
    query.addBindValue(id);
    if (!query.exec()) {
        qCWarning(lcStorage) << "AttachmentRepository::markSynced failed:" << query.lastError().text();
        return false;
    }
    return true;
}

bool AttachmentRepository::deleteById(const QString &id)
{
    if (refuseInvalid(id, "deleteById"))
        return false;
    QFile::remove(filePath(id));
    QSqlQuery query(m_database->handle());
    query.prepare(QStringLiteral("DELETE FROM attachments WHERE id = ?"));
    query.addBindValue(id);
    if (!query.exec()) {
        qCWarning(lcStorage) << "AttachmentRepository::deleteById failed:" << query.lastError().text();
        return false;
    }
    Q_EMIT attachmentsChanged();
    return true;
}

bool AttachmentRepository::deleteForNote(const QString &noteId)
{
    bool allDeleted = true;
    const QList<Attachment> attachments = attachmentsForNote(noteId);
    for (const Attachment &attachment : attachments)
        allDeleted = deleteById(attachment.id) && allDeleted;
    return allDeleted;
}

QString AttachmentRepository::filePath(const QString &id) const
{
    if (refuseInvalid(id, "filePath"))
        return QString();
    return attachmentFilePath(id);
}

QByteArray AttachmentRepository::readFile(const QString &id) const
{
    if (refuseInvalid(id, "readFile"))
        return QByteArray();
    QFile file(attachmentFilePath(id));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

// Through QSaveFile: a crash or a full disk mid-write leaves the previous file (or
// none), never a truncated attachment.
bool AttachmentRepository::saveFile(const QString &id, const QByteArray &data)
{
    if (refuseInvalid(id, "saveFile"))
        return false;
    QSaveFile file(attachmentFilePath(id));
    if (!file.open(QIODevice::WriteOnly)) {
        qCWarning(lcStorage) << "AttachmentRepository::saveFile open failed:" << file.errorString();
        return false;
    }
    const qint64 written = file.write(data);
    if (written != data.size()) {
        qCWarning(lcStorage).nospace() << "AttachmentRepository::saveFile short write: " << written << "/"
                                       << data.size();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        qCWarning(lcStorage) << "AttachmentRepository::saveFile commit failed:" << file.errorString();
        return false;
    }
    return true;
}
