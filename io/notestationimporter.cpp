#include "notestationimporter.h"

#include "archivereader.h"
#include "attachmentrepository.h"
#include "htmltodelta.h"
#include "importbatch.h"
#include "importcommon.h"
#include "iolog.h"
#include "notebookrepository.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>

#include <map>

namespace {

QJsonObject parseObject(const QByteArray &bytes, bool *ok = nullptr)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (ok)
        *ok = error.error == QJsonParseError::NoError && document.isObject();
    return document.object();
}

QString htmlEscaped(const QString &text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('&'), QLatin1String("&amp;"))
        .replace(QLatin1Char('<'), QLatin1String("&lt;"))
        .replace(QLatin1Char('>'), QLatin1String("&gt;"));
    return escaped;
}

QStringList idList(const QJsonValue &value)
{
    QStringList ids;
    for (const QJsonValue &id : value.toArray()) {
        if (id.isString())
            ids.append(id.toString());
    }
    return ids;
}

} // namespace

QDateTime parseNoteStationTime(const QJsonValue &value)
{
    double seconds = 0;
    if (value.isDouble()) {
        seconds = value.toDouble();
    } else if (value.isString()) {
        bool ok = false;
        seconds = value.toString().trimmed().toDouble(&ok);
        if (!ok)
            return QDateTime();
    }
    // Beyond year 9999 a date cannot be stored as ISO text; treat as unreadable.
    if (!(seconds >= 1) || seconds > 253402300799.0)
        return QDateTime();
    return QDateTime::fromSecsSinceEpoch(qint64(seconds), QTimeZone::utc());
}

ImportResult importNsx(const QString &path, const IoRepositories &repositories, const IoProgress &progress)
{
    ImportResult result;
    const auto report = [&](int current, int total, const QString &message) {
        if (progress)
            progress(current, total, message);
    };
    report(0, 0, QStringLiteral("Extracting archive..."));

    // Items and attachment files sit side by side at the root; the items are small JSON,
    // the attachments ("file_<md5>") may be large.
    QHash<QString, QByteArray> files;
    {
        ArchiveReader reader(path);
        ArchiveReader::Entry entry;
        if (reader.open()) {
            while (reader.next(&entry)) {
                QByteArray data;
                const bool isAttachment = entry.name.startsWith(QLatin1String("file_"));
                if (!reader.readData(&data, isAttachment ? std::numeric_limits<qint64>::max()
                                                         : ImportCommon::MaxTextEntryBytes))
                    break;
                files.insert(entry.name, std::move(data));
            }
        }
        if (reader.hasError()) {
            result.errors = 1;
            result.errorMessage = QStringLiteral("Failed to extract archive: %1").arg(reader.errorString());
            return result;
        }
    }

    const QByteArray configBytes = files.value(QStringLiteral("config.json"));
    if (configBytes.isEmpty()) {
        result.errors = 1;
        result.errorMessage = QStringLiteral("No config.json found in archive");
        return result;
    }
    const QJsonObject config = parseObject(configBytes);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    ImportBatch batch(repositories);

    QHash<QString, QString> notebookIds;
    for (const QString &oldId : idList(config.value(QStringLiteral("notebook")))) {
        const QByteArray bytes = files.value(oldId);
        if (bytes.isEmpty())
            continue;
        const QJsonObject item = parseObject(bytes);
        Notebook notebook;
        notebook.id = ImportCommon::newId();
        notebook.name = item.value(QStringLiteral("title")).toString();
        if (notebook.name.isEmpty())
            notebook.name = QStringLiteral("Imported Notebook");
        const QDateTime created = parseNoteStationTime(item.value(QStringLiteral("ctime")));
        const QDateTime updated = parseNoteStationTime(item.value(QStringLiteral("mtime")));
        notebook.createdAt = created.isValid() ? created : now;
        notebook.updatedAt = updated.isValid() ? updated : notebook.createdAt;
        if (batch.addNotebook(notebook))
            notebookIds.insert(oldId, notebook.id);
    }

    const QStringList noteIds = idList(config.value(QStringLiteral("note")));
    const int total = int(noteIds.size());
    report(0, total, QStringLiteral("Importing %1 notes...").arg(total));
    int number = 0;
    int unreadable = 0;
    for (const QString &oldId : noteIds) {
        ++number;
        bool parsed = false;
        const QJsonObject item = parseObject(files.value(oldId), &parsed);
        // A file that is not a JSON object is as unreadable as a missing one: no empty note for it.
        if (!parsed) {
            ++unreadable;
            continue;
        }
        const QString title = item.value(QStringLiteral("title")).toString();
        report(number, total, QStringLiteral("Importing: %1").arg(title.isEmpty() ? QStringLiteral("(untitled)") : title));

        Note note;
        note.id = ImportCommon::newId();
        note.notebookId = notebookIds.value(item.value(QStringLiteral("parent_id")).toString());
        QString html = item.value(QStringLiteral("content")).toString();

        QList<PendingAttachment> attachments;
        std::map<QString, QString> refs; // ordered by ref
        const QJsonObject attachmentObjects = item.value(QStringLiteral("attachment")).toObject();
        for (const QJsonValue &value : attachmentObjects) {
            const QJsonObject object = value.toObject();
            const QString md5 = object.value(QStringLiteral("md5")).toString();
            if (md5.isEmpty())
                continue;
            QByteArray data = files.value(QStringLiteral("file_") + md5);
            if (data.isEmpty())
                continue;
            const QString ext = object.value(QStringLiteral("ext")).toString();
            const QString name = object.value(QStringLiteral("name")).toString();
            PendingAttachment pending;
            pending.record.id = ImportCommon::newId();
            pending.record.noteId = note.id;
            pending.record.mimeType = object.value(QStringLiteral("type")).toString() == QLatin1String("image")
                ? QStringLiteral("image/%1").arg(ext.isEmpty() ? QStringLiteral("png") : ext)
                : QStringLiteral("application/octet-stream");
            pending.record.filename = name.isEmpty() ? QStringLiteral("attachment.%1").arg(ext) : name;
            pending.record.sizeBytes = data.size();
            pending.record.createdAt = now;
            pending.bytes = std::move(data);
            const QString ref = object.value(QStringLiteral("ref")).toString();
            if (!ref.isEmpty())
                refs.insert_or_assign(ref, pending.record.id);
            attachments.append(std::move(pending));
        }
        for (const auto &[ref, attachmentId] : refs) {
            html.replace(QStringLiteral("ref=\"%1\"").arg(ref),
                         QStringLiteral("src=\"ombrel-notes://attachment/%1\"").arg(attachmentId));
        }
        if (!title.isEmpty())
            html = QStringLiteral("<h1>%1</h1>\n%2").arg(htmlEscaped(title), html);

        note.body = ImportCommon::toCompactJson(htmlToDelta(html));
        const QDateTime created = parseNoteStationTime(item.value(QStringLiteral("ctime")));
        const QDateTime updated = parseNoteStationTime(item.value(QStringLiteral("mtime")));
        note.createdAt = created.isValid() ? created : now;
        note.updatedAt = updated.isValid() ? updated : note.createdAt;
        note.modifiedAt = note.updatedAt;
        batch.addNote(note, attachments);
    }
    batch.finish();
    result.imported = batch.notesStored();
    result.attachments = batch.attachmentsStored();
    result.errors = batch.failedNotes() + unreadable;
    qCInfo(lcIo) << "NoteStation import:" << result.imported << "notes," << result.attachments << "attachments,"
                 << result.errors << "errors";
    return result;
}
