#include "storagefixture.h"

#include "attachmentrepository.h"
#include "notelistentry.h"
#include "noterepository.h"
#include "paths.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

char *toString(SyncStatus status)
{
    switch (status) {
    case SyncStatus::Pending:
        return qstrdup("Pending");
    case SyncStatus::Synced:
        return qstrdup("Synced");
    case SyncStatus::Conflict:
        return qstrdup("Conflict");
    }
    return qstrdup(QByteArray("SyncStatus(" + QByteArray::number(int(status)) + ')').constData());
}

namespace OmbrelTest {

MigratedDatabase::MigratedDatabase()
{
    if (!dataDir.isValid())
        m_failure = QStringLiteral("no temporary data directory");
    else if (!database.open(databasePath()))
        m_failure = QStringLiteral("the database did not open");
    else if (!database.migrate())
        m_failure = QStringLiteral("the database did not migrate");
}

QVariant MigratedDatabase::rawValue(const QString &sql, const QVariantList &binds) const
{
    QSqlQuery query(database.handle());
    if (!query.prepare(sql))
        return QStringLiteral("<prepare failed: %1>").arg(query.lastError().text());
    for (const QVariant &value : binds)
        query.addBindValue(value);
    if (!query.exec() || !query.next())
        return QStringLiteral("<no row: %1>").arg(query.lastError().text());
    return query.value(0);
}

bool MigratedDatabase::rawExec(const QString &sql, const QVariantList &binds) const
{
    QSqlQuery query(database.handle());
    if (!query.prepare(sql))
        return false;
    for (const QVariant &value : binds)
        query.addBindValue(value);
    return query.exec();
}

QString renew(std::unique_ptr<NoteStore> &store)
{
    // The old connection closes before the new data directory is made.
    store.reset();
    store = std::make_unique<NoteStore>();
    return store->failure();
}

QDateTime utc(const char *iso)
{
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODateWithMs).toUTC();
}

QString newId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QString bodyOf(const QString &text)
{
    const QJsonArray ops{QJsonObject{{QStringLiteral("insert"), text + QLatin1Char('\n')}}};
    return QString::fromUtf8(QJsonDocument(ops).toJson(QJsonDocument::Compact));
}

Note makeNote(const QString &id, const QString &text, const char *updatedAt)
{
    Note note;
    note.id = id;
    note.body = bodyOf(text);
    note.createdAt = utc(updatedAt);
    note.updatedAt = note.createdAt;
    note.modifiedAt = note.createdAt;
    return note;
}

bool insertEmptyNote(Database *database, const QString &id, const QDateTime &createdAt)
{
    Note note;
    note.id = id;
    note.body = Note::emptyBody();
    note.createdAt = createdAt;
    note.updatedAt = note.createdAt;
    note.modifiedAt = note.createdAt;
    NoteRepository notes(database);
    return notes.insert(note);
}

QStringList idsOf(const QList<Note> &notes)
{
    QStringList ids;
    for (const Note &note : notes)
        ids << note.id;
    return ids;
}

QStringList idsOf(const QList<NoteListEntry> &entries)
{
    QStringList ids;
    for (const NoteListEntry &entry : entries)
        ids << entry.id;
    return ids;
}

QStringList idsOf(const QList<Attachment> &attachments)
{
    QStringList ids;
    for (const Attachment &attachment : attachments)
        ids << attachment.id;
    return ids;
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

} // namespace OmbrelTest
