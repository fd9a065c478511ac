#include "joplinimporter.h"

#include "archivereader.h"
#include "attachmentrepository.h"
#include "htmltodelta.h"
#include "importbatch.h"
#include "importcommon.h"
#include "iolog.h"
#include "markdowntodelta.h"
#include "notebookrepository.h"
#include "simplemarkdown.h"

#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QTimeZone>

#include <map>

namespace {

const QString MetadataMarker = QStringLiteral("\n\nid: ");
const QString ArchiveUnreadable = QStringLiteral("Failed to read archive or archive is empty");

// Where the trailing metadata starts, or -1.
qsizetype metadataStart(const QString &text)
{
    const qsizetype last = text.lastIndexOf(MetadataMarker);
    if (last >= 0)
        return last;
    return text.indexOf(QLatin1String("id: "));
}

QString firstLine(const QString &text)
{
    const qsizetype end = text.indexOf(QLatin1Char('\n'));
    return end < 0 ? text : text.left(end);
}

QString withoutFirstLine(const QString &text)
{
    const qsizetype end = text.indexOf(QLatin1Char('\n'));
    return end < 0 ? QString() : text.mid(end + 1).trimmed();
}

// Joplin repeats the title as the first body line, and often again as a heading.
QString stripRepeatedTitle(QString body, const QString &title)
{
    if (title.isEmpty())
        return body;
    if (firstLine(body).trimmed() == title)
        body = withoutFirstLine(body);
    const QString line = firstLine(body);
    if (line.startsWith(QLatin1String("# "))) {
        const QString heading = line.mid(2).trimmed();
        if (heading == title || heading.startsWith(title + QLatin1Char(' '))
            || heading.startsWith(title + QStringLiteral(" \u2013")) || heading.startsWith(title + QLatin1String(" -")))
            body = withoutFirstLine(body);
    }
    return body;
}

QString htmlEscaped(const QString &text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('&'), QLatin1String("&amp;"))
        .replace(QLatin1Char('<'), QLatin1String("&lt;"))
        .replace(QLatin1Char('>'), QLatin1String("&gt;"));
    return escaped;
}

QDateTime validOr(const QDateTime &value, const QDateTime &fallback)
{
    return value.isValid() ? value : fallback;
}

} // namespace

QDateTime parseJoplinDate(const QString &text)
{
    const QString value = text.trimmed();
    if (value.isEmpty())
        return QDateTime();
    for (const Qt::DateFormat format : {Qt::ISODateWithMs, Qt::ISODate}) {
        QDateTime parsed = QDateTime::fromString(value, format);
        if (parsed.isValid()) {
            if (parsed.timeSpec() == Qt::LocalTime)
                parsed.setTimeZone(QTimeZone::utc());
            return parsed.toUTC();
        }
    }
    bool ok = false;
    const qint64 millis = value.toLongLong(&ok);
    if (ok && millis > 0)
        return QDateTime::fromMSecsSinceEpoch(millis, QTimeZone::utc());
    return QDateTime();
}

JoplinItem parseJoplinItem(const QString &text)
{
    JoplinItem item;
    const qsizetype start = metadataStart(text);
    QHash<QString, QString> meta;
    if (start >= 0) {
        item.body = text.left(start).trimmed();
        // Blanks only after the colon: "\s" would run over the line end of an empty value
        // ("parent_id: " of a top-level folder) and take the next line as its value.
        static const QRegularExpression line(QStringLiteral("^(\\w+):[ \\t]*(.*)$"),
                                             QRegularExpression::MultilineOption);
        const QString block = text.mid(start).trimmed();
        for (auto it = line.globalMatch(block); it.hasNext();) {
            const auto match = it.next();
            meta.insert(match.captured(1), match.captured(2));
        }
    } else {
        item.body = text.trimmed();
    }
    item.id = meta.value(QStringLiteral("id")).trimmed();
    item.title = meta.contains(QStringLiteral("title")) ? meta.value(QStringLiteral("title"))
                                                         : QString();
    if (!meta.contains(QStringLiteral("title"))) {
        for (const QString &candidate : item.body.split(QLatin1Char('\n'))) {
            if (!candidate.trimmed().isEmpty()) {
                item.title = candidate;
                break;
            }
        }
    }
    item.title = item.title.trimmed();
    item.parentId = meta.value(QStringLiteral("parent_id")).trimmed();
    item.type = meta.value(QStringLiteral("type_")).trimmed().toInt();
    bool ok = false;
    const int markup = meta.value(QStringLiteral("markup_language")).trimmed().toInt(&ok);
    item.markupLanguage = ok ? markup : 1;
    item.createdTime = parseJoplinDate(meta.value(QStringLiteral("created_time")));
    item.updatedTime = parseJoplinDate(meta.value(QStringLiteral("updated_time")));
    item.mime = meta.value(QStringLiteral("mime")).trimmed();
    item.fileExtension = meta.value(QStringLiteral("file_extension")).trimmed();
    item.body = stripRepeatedTitle(item.body, item.title);
    return item;
}

ImportResult importJex(const QString &path, const IoRepositories &repositories, const IoProgress &progress)
{
    ImportResult result;
    const auto report = [&](int current, int total, const QString &message) {
        if (progress)
            progress(current, total, message);
    };
    report(0, 0, QStringLiteral("Reading archive..."));

    QList<JoplinItem> notes;
    std::map<QString, JoplinItem> folders; // ordered by id
    QHash<QString, JoplinItem> resources;
    QHash<QString, QByteArray> resourceFiles;
    {
        ArchiveReader reader(path);
        ArchiveReader::Entry entry;
        int entries = 0;
        if (reader.open()) {
            while (reader.next(&entry)) {
                ++entries;
                QByteArray data;
                const bool isItem = entry.name.endsWith(QLatin1String(".md"));
                if (!reader.readData(&data, isItem ? ImportCommon::MaxTextEntryBytes
                                                   : std::numeric_limits<qint64>::max()))
                    break;
                if (!isItem) {
                    resourceFiles.insert(entry.name, data);
                    continue;
                }
                JoplinItem item = parseJoplinItem(QString::fromUtf8(data));
                if (item.type == 1)
                    notes.append(std::move(item));
                else if (item.type == 2)
                    folders.insert_or_assign(item.id, std::move(item));
                else if (item.type == 4)
                    resources.insert(item.id, std::move(item));
            }
        }
        if (reader.hasError() || entries == 0) {
            result.errors = 1;
            result.errorMessage = ArchiveUnreadable;
            if (reader.hasError())
                result.errorMessage += QStringLiteral(": ") + reader.errorString();
            return result;
        }
    }

    const QDateTime now = QDateTime::currentDateTimeUtc();
    ImportBatch batch(repositories);
    QHash<QString, QString> notebookIds;
    for (const auto &[oldId, folder] : folders) {
        Notebook notebook;
        notebook.id = ImportCommon::newId();
        notebook.name = folder.title.isEmpty() ? QStringLiteral("Imported Folder") : folder.title;
        notebook.createdAt = validOr(folder.createdTime, now);
        notebook.updatedAt = validOr(folder.updatedTime, notebook.createdAt);
        if (batch.addNotebook(notebook))
            notebookIds.insert(oldId, notebook.id);
    }

    const int total = int(notes.size());
    report(0, 0, QStringLiteral("Importing %1 notes...").arg(total));
    static const QRegularExpression resourceLink(QStringLiteral(":/([a-f0-9]{32})"));
    int number = 0;
    for (const JoplinItem &item : std::as_const(notes)) {
        ++number;
        report(number, total, QStringLiteral("Importing: %1").arg(item.title.isEmpty() ? QStringLiteral("(untitled)")
                                                                                       : item.title));
        Note note;
        note.id = ImportCommon::newId();
        note.notebookId = notebookIds.value(item.parentId);

        QStringList referenced;
        for (auto it = resourceLink.globalMatch(item.body); it.hasNext();) {
            const QString id = it.next().captured(1);
            if (!referenced.contains(id))
                referenced.append(id);
        }
        QList<PendingAttachment> attachments;
        QString body = item.body;
        for (const QString &resourceId : std::as_const(referenced)) {
            const auto resource = resources.constFind(resourceId);
            if (resource == resources.cend())
                continue;
            QByteArray bytes = resourceFiles.value(
                QStringLiteral("resources/%1.%2").arg(resourceId, resource->fileExtension));
            if (bytes.isEmpty())
                bytes = resourceFiles.value(QStringLiteral("resources/%1").arg(resourceId));
            if (bytes.isEmpty())
                continue;
            PendingAttachment pending;
            pending.record.id = ImportCommon::newId();
            pending.record.noteId = note.id;
            pending.record.filename = resource->title.isEmpty()
                ? QStringLiteral("%1.%2").arg(resourceId, resource->fileExtension)
                : resource->title;
            pending.record.mimeType = resource->mime.isEmpty() ? QStringLiteral("application/octet-stream")
                                                               : resource->mime;
            pending.record.sizeBytes = bytes.size();
            pending.record.createdAt = validOr(resource->createdTime, now);
            pending.bytes = std::move(bytes);
            body.replace(QStringLiteral(":/") + resourceId,
                         QStringLiteral("ombrel-notes://attachment/") + pending.record.id);
            attachments.append(std::move(pending));
        }

        const bool html = item.markupLanguage == 2;
        QString source = body;
        if (!item.title.isEmpty()) {
            source = html ? QStringLiteral("<h1>%1</h1>\n%2").arg(htmlEscaped(item.title), body)
                          : QStringLiteral("# %1\n\n%2").arg(item.title, body);
        }
        if (html) {
            note.body = ImportCommon::toCompactJson(htmlToDelta(source));
        } else {
            // Most notes are plain Markdown that the fast reader converts identically.
            std::optional<QString> quick = simpleMarkdownToDeltaJson(source);
            note.body = quick ? std::move(*quick) : ImportCommon::toCompactJson(markdownToDelta(source));
        }
        note.createdAt = validOr(item.createdTime, now);
        note.updatedAt = validOr(item.updatedTime, note.createdAt);
        note.modifiedAt = note.updatedAt;
        batch.addNote(note, attachments);
    }
    batch.finish();
    result.imported = batch.notesStored();
    result.attachments = batch.attachmentsStored();
    result.errors = batch.failedNotes();
    qCInfo(lcIo) << "Joplin import:" << result.imported << "notes," << result.attachments << "attachments,"
                 << result.errors << "errors";
    return result;
}
