#include "backup.h"

#include "archivereader.h"
#include "archivewriter.h"
#include "attachmentrepository.h"
#include "columns.h"
#include "database.h"
#include "importbatch.h"
#include "importcommon.h"
#include "iolog.h"
#include "notebookrepository.h"
#include "noterepository.h"
#include "paths.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>

namespace {

// Reports at most this often, so progress costs nothing beside the work.
constexpr int ProgressStep = 200;

QString dateText(const QDateTime &value)
{
    return value.isValid() ? value.toUTC().toString(Qt::ISODateWithMs) : QString();
}

QString dateText(const std::optional<QDateTime> &value)
{
    return value ? dateText(*value) : QString();
}

QDateTime dateFrom(const QJsonValue &value)
{
    QDateTime parsed = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
    if (!parsed.isValid())
        parsed = QDateTime::fromString(value.toString(), Qt::ISODate);
    return parsed.isValid() ? parsed.toUTC() : QDateTime();
}

QByteArray notebookJson(const Notebook &notebook)
{
    const QJsonObject object{
        {QStringLiteral("id"), notebook.id},
        {QStringLiteral("name"), notebook.name},
        {QStringLiteral("isDefault"), notebook.isDefault},
        {QStringLiteral("isShared"), notebook.isShared},
        {QStringLiteral("ownerId"), notebook.ownerId},
        {QStringLiteral("createdAt"), dateText(notebook.createdAt)},
        {QStringLiteral("updatedAt"), dateText(notebook.updatedAt)},
        {QStringLiteral("deletedAt"), dateText(notebook.deletedAt)},
        {QStringLiteral("version"), notebook.version},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

QByteArray noteJson(const Note &note)
{
    const QJsonObject object{
        {QStringLiteral("id"), note.id},
        {QStringLiteral("notebookId"), note.notebookId},
        {QStringLiteral("body"), note.body},
        {QStringLiteral("createdAt"), dateText(note.createdAt)},
        {QStringLiteral("updatedAt"), dateText(note.updatedAt)},
        {QStringLiteral("modifiedAt"), dateText(note.modifiedAt)},
        {QStringLiteral("deletedAt"), dateText(note.deletedAt)},
        {QStringLiteral("version"), note.version},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

std::optional<QDateTime> optionalDate(const QJsonValue &value)
{
    const QDateTime parsed = dateFrom(value);
    return parsed.isValid() ? std::optional<QDateTime>(parsed) : std::nullopt;
}

Notebook notebookFrom(const QJsonObject &object)
{
    Notebook notebook;
    notebook.id = object.value(QStringLiteral("id")).toString();
    notebook.name = object.value(QStringLiteral("name")).toString();
    notebook.isDefault = object.value(QStringLiteral("isDefault")).toBool();
    notebook.isShared = object.value(QStringLiteral("isShared")).toBool();
    notebook.ownerId = object.value(QStringLiteral("ownerId")).toString();
    notebook.createdAt = dateFrom(object.value(QStringLiteral("createdAt")));
    notebook.updatedAt = dateFrom(object.value(QStringLiteral("updatedAt")));
    notebook.deletedAt = optionalDate(object.value(QStringLiteral("deletedAt")));
    notebook.version = object.value(QStringLiteral("version")).toInt(1);
    return notebook;
}

Note noteFrom(const QJsonObject &object)
{
    Note note;
    note.id = object.value(QStringLiteral("id")).toString();
    note.notebookId = object.value(QStringLiteral("notebookId")).toString();
    note.body = object.value(QStringLiteral("body")).toString();
    note.createdAt = dateFrom(object.value(QStringLiteral("createdAt")));
    note.updatedAt = dateFrom(object.value(QStringLiteral("updatedAt")));
    note.modifiedAt = dateFrom(object.value(QStringLiteral("modifiedAt")));
    note.deletedAt = optionalDate(object.value(QStringLiteral("deletedAt")));
    note.version = object.value(QStringLiteral("version")).toInt(1);
    return note;
}

// The attachment rows, which the folders alone do not carry: without them a restored
// file has lost its shown name and type.
//   [{"id": "<uuid>", "noteId": "<uuid>", "filename": "a.png", "mimeType": "image/png",
//     "sizeBytes": 1234, "createdAt": "2024-05-01T09:30:00.123Z"}]
const QString AttachmentRowsEntry = QStringLiteral("attachments.json");

QByteArray attachmentRowsJson(const QList<Attachment> &attachments)
{
    QJsonArray rows;
    for (const Attachment &attachment : attachments) {
        rows.append(QJsonObject{
            {QStringLiteral("id"), attachment.id},
            {QStringLiteral("noteId"), attachment.noteId},
            {QStringLiteral("filename"), attachment.filename},
            {QStringLiteral("mimeType"), attachment.mimeType},
            {QStringLiteral("sizeBytes"), double(attachment.sizeBytes)},
            {QStringLiteral("createdAt"), dateText(attachment.createdAt)},
        });
    }
    return QJsonDocument(rows).toJson(QJsonDocument::Indented);
}

QList<Attachment> attachmentRowsFrom(const QByteArray &json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (!document.isArray()) {
        qCWarning(lcIo) << "Restore: ignored an unreadable attachments.json:" << error.errorString();
        return {};
    }
    QList<Attachment> rows;
    const QJsonArray array = document.array();
    for (const QJsonValue &value : array) {
        const QJsonObject object = value.toObject();
        Attachment attachment;
        attachment.id = object.value(QStringLiteral("id")).toString();
        attachment.noteId = object.value(QStringLiteral("noteId")).toString();
        if (!AttachmentRepository::isValidId(attachment.id) || attachment.noteId.isEmpty())
            continue;
        attachment.filename = object.value(QStringLiteral("filename")).toString();
        attachment.mimeType = object.value(QStringLiteral("mimeType")).toString();
        attachment.createdAt = dateFrom(object.value(QStringLiteral("createdAt")));
        if (!attachment.createdAt.isValid())
            attachment.createdAt = QDateTime::currentDateTimeUtc();
        rows.append(attachment);
    }
    return rows;
}

// A row only for a file that is in place and a note that is stored, and never over an
// existing row. The size is the file's own: the archive's figure is not trusted.
void restoreAttachmentRows(const QList<Attachment> &rows, const IoRepositories &repositories, ImportBatch *batch)
{
    batch->writePendingNotes();
    for (Attachment row : rows) {
        const QFileInfo file(attachmentFilePath(row.id));
        if (!file.isFile() || repositories.attachments->findById(row.id) || !repositories.notes->findById(row.noteId))
            continue;
        row.sizeBytes = file.size();
        if (!batch->addAttachmentRow(row))
            qCWarning(lcIo) << "Restore: could not store the attachment row" << row.id;
    }
}

// "notes/<id>.json" -> "notes"; only direct children of the three folders count.
bool splitEntry(const QString &name, QString *folder, QString *file)
{
    const QStringList parts = name.split(QLatin1Char('/'));
    if (parts.size() != 2 || parts.at(1).isEmpty())
        return false;
    *folder = parts.at(0);
    *file = parts.at(1);
    return true;
}

// The stored "updated_at" of a row, the only thing the policies compare: one prepared
// statement per table instead of loading every stored note whole.
class StoredRows
{
public:
    StoredRows(const QSqlDatabase &db, const char *table)
        : m_query(db)
    {
        m_query.setForwardOnly(true);
        m_query.prepare(QStringLiteral("SELECT updated_at FROM %1 WHERE id = ?").arg(QLatin1String(table)));
    }

    std::optional<QDateTime> updatedAt(const QString &id)
    {
        m_query.bindValue(0, id);
        std::optional<QDateTime> found;
        if (m_query.exec() && m_query.next())
            found = Columns::toDateTime(m_query.value(0));
        m_query.finish();
        return found;
    }

private:
    QSqlQuery m_query;
};

bool shouldReplace(RestorePolicy policy, const QDateTime &stored, const QDateTime &incoming)
{
    switch (policy) {
    case RestorePolicy::Overwrite:
        return true;
    case RestorePolicy::NewerWins:
        return stored < incoming;
    case RestorePolicy::SkipExisting:
        break;
    }
    return false;
}

} // namespace

BackupResult createBackup(const QString &zipPath, const IoRepositories &repositories, const IoProgress &progress)
{
    BackupResult result;
    const auto fail = [&](const QString &message) {
        result.count = 0;
        result.errors = 1;
        result.error = message;
        return result;
    };

    const QList<Notebook> notebooks = repositories.notebooks->allNotebooks();
    QList<Note> notes = repositories.notes->allNotes();
    notes += repositories.notes->trashedNotes();
    QStringList attachmentFiles;
    const QDir attachmentDir(attachmentsDirectory());
    for (const QFileInfo &info : attachmentDir.entryInfoList(QDir::Files | QDir::NoSymLinks | QDir::Hidden))
        attachmentFiles.append(info.fileName());

    const int total = int(notebooks.size() + notes.size() + attachmentFiles.size());
    int done = 0;
    const auto step = [&] {
        ++done;
        if (progress && (done % ProgressStep == 0 || done == total))
            progress(done, total, QStringLiteral("Writing backup..."));
    };
    if (progress)
        progress(0, total, QStringLiteral("Writing backup..."));

    ArchiveWriter writer(zipPath);
    const auto zipFailed = [&] { return fail(QStringLiteral("Failed to create ZIP: %1").arg(writer.errorString())); };
    if (!writer.open())
        return zipFailed();
    // The folders are part of the layout even when empty.
    for (const char *folder : {"notebooks/", "notes/", "attachments/"}) {
        if (!writer.addDirectory(QString::fromLatin1(folder)))
            return zipFailed();
    }
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const Notebook &notebook : notebooks) {
        if (!writer.addFile(QStringLiteral("notebooks/%1.json").arg(notebook.id), notebookJson(notebook), now))
            return zipFailed();
        step();
    }
    for (const Note &note : std::as_const(notes)) {
        if (!writer.addFile(QStringLiteral("notes/%1.json").arg(note.id), noteJson(note), now))
            return zipFailed();
        step();
    }
    for (const QString &name : std::as_const(attachmentFiles)) {
        if (!writer.addFileFromDisk(QStringLiteral("attachments/") + name, attachmentDir.filePath(name)))
            return zipFailed();
        step();
    }
    if (!writer.addFile(AttachmentRowsEntry, attachmentRowsJson(repositories.attachments->allAttachments()), now))
        return zipFailed();
    const QJsonObject manifest{
        {QStringLiteral("version"), 1},
        {QStringLiteral("exportedAt"), now.toString(Qt::ISODateWithMs)},
        {QStringLiteral("noteCount"), int(notes.size())},
        {QStringLiteral("notebookCount"), int(notebooks.size())},
    };
    if (!writer.addFile(QStringLiteral("manifest.json"), QJsonDocument(manifest).toJson(QJsonDocument::Indented), now)
        || !writer.commit())
        return zipFailed();
    result.count = int(notes.size());
    qCInfo(lcIo) << "Backup written:" << zipPath << result.count << "notes";
    return result;
}

BackupResult restoreBackup(const QString &zipPath, const IoRepositories &repositories, int policyValue,
                           const IoProgress &progress)
{
    BackupResult result;
    const auto fail = [&](const QString &message) {
        result.count = 0;
        result.skipped = 0;
        result.errors = 1;
        result.error = message;
        return result;
    };
    const QString extractFailed = QStringLiteral("Failed to extract backup");
    const RestorePolicy policy = policyValue == 1 ? RestorePolicy::Overwrite
        : policyValue == 2                        ? RestorePolicy::NewerWins
                                                  : RestorePolicy::SkipExisting;

    // A first pass over the headers alone: refuses unsafe archives and finds the manifest
    // before anything is stored, and gives the progress its total.
    int total = 0;
    bool hasManifest = false;
    {
        ArchiveReader scan(zipPath);
        ArchiveReader::Entry entry;
        if (scan.open()) {
            while (scan.next(&entry)) {
                ++total;
                hasManifest = hasManifest || entry.name == QLatin1String("manifest.json");
            }
        }
        if (scan.hasError())
            return fail(extractFailed + QStringLiteral(": ") + scan.errorString());
    }
    if (!hasManifest)
        return fail(QStringLiteral("No manifest.json found"));

    if (progress)
        progress(0, total, QStringLiteral("Restoring backup..."));
    // One transaction for the whole archive: a broken or hostile archive found half-way
    // (or a killed restore) leaves the library as it was.
    ImportBatch batch(repositories, std::numeric_limits<int>::max());
    batch.setBulkIndexing(true);
    ArchiveReader reader(zipPath);
    ArchiveReader::Entry entry;
    int done = 0;
    int skipped = 0;
    QList<Attachment> attachmentRows;
    StoredRows storedNotes(repositories.database->handle(), "notes");
    StoredRows storedNotebooks(repositories.database->handle(), "notebooks");
    if (reader.open()) {
        while (reader.next(&entry)) {
            ++done;
            if (progress && done % ProgressStep == 0)
                progress(done, total, QStringLiteral("Restoring backup..."));
            if (entry.name == AttachmentRowsEntry) {
                QByteArray bytes;
                if (!reader.readData(&bytes, ImportCommon::MaxTextEntryBytes))
                    break;
                // Applied once every note and file of the archive is in place.
                attachmentRows = attachmentRowsFrom(bytes);
                continue;
            }
            QString folder;
            QString file;
            if (!splitEntry(entry.name, &folder, &file))
                continue;
            if (folder == QLatin1String("attachments")) {
                if (!AttachmentRepository::isValidId(file)) {
                    qCWarning(lcIo) << "Restore: ignored attachment file with a foreign name:" << file;
                    continue;
                }
                QByteArray bytes;
                if (!reader.readData(&bytes, std::numeric_limits<qint64>::max()))
                    break;
                bool exists = false;
                if (!batch.addLooseFile(file, bytes, &exists))
                    qCWarning(lcIo) << "Restore: could not write attachment file" << file;
                continue;
            }
            const bool isNotebook = folder == QLatin1String("notebooks");
            if ((!isNotebook && folder != QLatin1String("notes")) || !file.endsWith(QLatin1String(".json")))
                continue;
            QByteArray bytes;
            if (!reader.readData(&bytes, ImportCommon::MaxTextEntryBytes))
                break;
            const QJsonObject object = QJsonDocument::fromJson(bytes).object();
            if (object.value(QStringLiteral("id")).toString().isEmpty())
                continue;
            if (isNotebook) {
                const Notebook notebook = notebookFrom(object);
                const std::optional<QDateTime> stored = storedNotebooks.updatedAt(notebook.id);
                if (stored && !shouldReplace(policy, *stored, notebook.updatedAt))
                    ++skipped;
                else
                    batch.addNotebook(notebook, stored.has_value());
            } else {
                const Note note = noteFrom(object);
                const std::optional<QDateTime> stored = storedNotes.updatedAt(note.id);
                if (stored && !shouldReplace(policy, *stored, note.updatedAt))
                    ++skipped;
                else
                    batch.addNote(note, {}, stored.has_value());
            }
        }
    }
    if (reader.hasError())
        return fail(extractFailed + QStringLiteral(": ") + reader.errorString());
    restoreAttachmentRows(attachmentRows, repositories, &batch);
    if (!batch.finish())
        return fail(QStringLiteral("Failed to store the restored records"));
    result.count = batch.notesStored() + batch.notebooksStored();
    result.skipped = skipped;
    if (progress)
        progress(total, total, QStringLiteral("Restoring backup..."));
    qCInfo(lcIo) << "Restore:" << result.count << "imported," << result.skipped << "skipped";
    return result;
}
