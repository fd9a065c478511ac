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

#include <QStringTokenizer>
#include <QTimeZone>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

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

// "key: value" with an ASCII word as key. Blanks only after the colon: running over the
// line end of an empty value ("parent_id: " of a top-level folder) would take the next
// line as its value.
void addMetadataLine(QStringView line, QHash<QString, QString> *meta)
{
    qsizetype keyEnd = 0;
    while (keyEnd < line.size()) {
        const char16_t c = line[keyEnd].unicode();
        if (!((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_'))
            break;
        ++keyEnd;
    }
    if (keyEnd == 0 || keyEnd >= line.size() || line[keyEnd] != u':')
        return;
    qsizetype valueStart = keyEnd + 1;
    while (valueStart < line.size() && (line[valueStart] == u' ' || line[valueStart] == u'\t'))
        ++valueStart;
    meta->insert(line.left(keyEnd).toString(), line.mid(valueStart).toString());
}

bool isLowerHex(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f');
}

// The distinct resource ids linked as ":/" and 32 hex digits, in order of first mention.
QStringList referencedResources(const QString &body)
{
    constexpr qsizetype idLength = 32;
    QStringList ids;
    qsizetype at = body.indexOf(QLatin1String(":/"));
    while (at >= 0 && at + 2 + idLength <= body.size()) {
        const QStringView candidate = QStringView(body).mid(at + 2, idLength);
        if (std::all_of(candidate.begin(), candidate.end(), isLowerHex)) {
            const QString id = candidate.toString();
            if (!ids.contains(id))
                ids.append(id);
            at = body.indexOf(QLatin1String(":/"), at + 2 + idLength);
        } else {
            at = body.indexOf(QLatin1String(":/"), at + 1);
        }
    }
    return ids;
}

// A note made ready off the GUI thread: everything but the database writes and the full
// converters, which build rich-text documents and stay on the GUI thread.
struct PreparedNote
{
    Note note;
    QList<PendingAttachment> attachments;
    QString title;
    QString source;           // for the full converter
    bool needsConversion = false;
    bool html = false;
};

// Hands prepared notes from the worker to the GUI thread in order, holding a few at most.
class NoteQueue
{
public:
    void push(PreparedNote note)
    {
        std::unique_lock lock(m_mutex);
        m_notFull.wait(lock, [this] { return m_notes.size() < Capacity; });
        m_notes.push_back(std::move(note));
        m_notEmpty.notify_one();
    }
    PreparedNote pop()
    {
        std::unique_lock lock(m_mutex);
        m_notEmpty.wait(lock, [this] { return !m_notes.empty(); });
        PreparedNote note = std::move(m_notes.front());
        m_notes.pop_front();
        m_notFull.notify_one();
        return note;
    }

private:
    static constexpr size_t Capacity = 64;
    std::mutex m_mutex;
    std::condition_variable m_notEmpty;
    std::condition_variable m_notFull;
    std::deque<PreparedNote> m_notes;
};

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
        const QString block = text.mid(start).trimmed();
        for (const QStringView line : QStringTokenizer(block, u'\n'))
            addMetadataLine(line, &meta);
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
    // Transactions small enough that indexing each one at its commit keeps the window painting.
    ImportBatch batch(repositories, 250);
    batch.setBulkIndexing(true);
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

    // Reads only what is complete before it starts: the notes, resources, files and notebook ids.
    const auto prepare = [&](const JoplinItem &item) {
        PreparedNote prepared;
        prepared.title = item.title;
        Note &note = prepared.note;
        note.id = ImportCommon::newId();
        note.notebookId = notebookIds.value(item.parentId);
        QString body = item.body;
        for (const QString &resourceId : referencedResources(item.body)) {
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
            prepared.attachments.append(std::move(pending));
        }

        prepared.html = item.markupLanguage == 2;
        QString source = body;
        if (!item.title.isEmpty()) {
            source = prepared.html ? QStringLiteral("<h1>%1</h1>\n%2").arg(htmlEscaped(item.title), body)
                                   : QStringLiteral("# %1\n\n%2").arg(item.title, body);
        }
        // Most notes are plain Markdown that the fast reader converts identically.
        std::optional<QString> quick = prepared.html ? std::nullopt : simpleMarkdownToDeltaJson(source);
        if (quick) {
            note.body = std::move(*quick);
        } else {
            prepared.source = std::move(source);
            prepared.needsConversion = true;
        }
        note.createdAt = validOr(item.createdTime, now);
        note.updatedAt = validOr(item.updatedTime, note.createdAt);
        note.modifiedAt = note.updatedAt;
        return prepared;
    };

    // Notes are prepared on a worker while this thread writes the ones before them.
    NoteQueue queue;
    std::thread worker([&] {
        for (const JoplinItem &item : std::as_const(notes))
            queue.push(prepare(item));
    });
    for (int number = 1; number <= total; ++number) {
        PreparedNote prepared = queue.pop();
        report(number, total, QStringLiteral("Importing: %1").arg(prepared.title.isEmpty() ? QStringLiteral("(untitled)")
                                                                                          : prepared.title));
        if (prepared.needsConversion) {
            prepared.note.body = ImportCommon::toCompactJson(prepared.html ? htmlToDelta(prepared.source)
                                                                           : markdownToDelta(prepared.source));
        }
        batch.addNote(prepared.note, prepared.attachments);
    }
    worker.join();
    batch.finish();
    result.imported = batch.notesStored();
    result.attachments = batch.attachmentsStored();
    result.errors = batch.failedNotes();
    qCInfo(lcIo) << "Joplin import:" << result.imported << "notes," << result.attachments << "attachments,"
                 << result.errors << "errors";
    return result;
}
