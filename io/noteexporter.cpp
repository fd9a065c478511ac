#include "noteexporter.h"

#include "archivewriter.h"
#include "attachmentrepository.h"
#include "deltarender.h"
#include "iolog.h"
#include "note.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPageSize>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSet>
#include <QStringConverter>
#include <QTextDocument>
#include <QTextStream>
#include <QUrl>

namespace {

const QString AttachmentKey = QStringLiteral("ombrel-notes-attachment");
const QString ImageKey = QStringLiteral("image");
const QString AttachmentScheme = QStringLiteral("ombrel-notes://attachment/");
// Private-use characters survive every renderer's escaping untouched, so an embed the
// renderers skip can be put back in the rendered text afterwards.
const QChar MarkOpen(0xE000);
const QChar MarkClose(0xE001);

struct EmbeddedFile
{
    QString url;        // as stored in the body
    QString attachmentId;
    Attachment record;  // when the attachment is known
    bool known = false;
    bool isImage = false;
    QString bundleName; // "attachments/<name>" inside a bundle
};

enum class Target { LoneFile, Bundle, Pdf };

QString escapedAttribute(const QString &text)
{
    return text.toHtmlEscaped();
}

// A file name for the bundle: no separators or reserved characters, the extension kept,
// never hidden, unique within the bundle.
QString bundleFileName(const QString &wanted, QSet<QString> *taken)
{
    const QFileInfo info(wanted);
    QString base = sanitizeFileName(info.completeBaseName());
    QString suffix = info.suffix();
    suffix.remove(QRegularExpression(QStringLiteral("[<>:\"/\\\\|?*]")));
    suffix = suffix.trimmed().left(16);
    while (base.startsWith(QLatin1Char('.')))
        base.remove(0, 1);
    if (base.isEmpty())
        base = QStringLiteral("attachment");
    const auto compose = [&](int n) {
        const QString stem = n == 1 ? base : QStringLiteral("%1 (%2)").arg(base).arg(n);
        return suffix.isEmpty() ? stem : stem + QLatin1Char('.') + suffix;
    };
    int n = 1;
    while (taken->contains(compose(n).toLower()))
        ++n;
    const QString name = compose(n);
    taken->insert(name.toLower());
    return name;
}

class ExportContent
{
public:
    ExportContent(const Note &note, int format, Target target, const AttachmentRepository *attachments)
        : m_format(format)
        , m_target(target)
        , m_attachments(attachments)
    {
        if (note.body.isEmpty())
            return;
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(note.body.toUtf8(), &error);
        if (error.error != QJsonParseError::NoError || !document.isArray()) {
            m_text = note.body;
            return;
        }
        const int renderFormat = format == ExportPdf ? RenderHtmlForPdf : format;
        const QJsonArray marked = markEmbeds(document.array());
        const QString rendered = renderDelta(QString::fromUtf8(QJsonDocument(marked).toJson(QJsonDocument::Compact)),
                                             renderFormat);
        m_text = replaceMarks(rendered);
    }

    QString text() const { return m_text; }
    const QList<EmbeddedFile> &files() const { return m_files; }

private:
    QJsonArray markEmbeds(const QJsonArray &operations)
    {
        QJsonArray out;
        QSet<QString> taken;
        for (const QJsonValue &value : operations) {
            const QJsonObject operation = value.toObject();
            const QJsonObject embed = operation.value(QLatin1String("insert")).toObject();
            const QString url = embed.value(AttachmentKey).isString() ? embed.value(AttachmentKey).toString()
                                                                       : embed.value(ImageKey).toString();
            if (embed.isEmpty() || url.isEmpty()) {
                out.append(value);
                continue;
            }
            EmbeddedFile file;
            file.url = url;
            if (url.startsWith(AttachmentScheme)) {
                file.attachmentId = url.mid(AttachmentScheme.size());
                if (m_attachments && AttachmentRepository::isValidId(file.attachmentId)) {
                    if (const auto record = m_attachments->findById(file.attachmentId)) {
                        file.record = *record;
                        file.known = true;
                        file.isImage = record->mimeType.startsWith(QLatin1String("image/"));
                        file.bundleName = QStringLiteral("attachments/")
                            + bundleFileName(record->filename.isEmpty() ? file.attachmentId : record->filename, &taken);
                    }
                }
            } else {
                file.isImage = true;
            }
            QJsonObject marker{{QStringLiteral("insert"),
                                QString(MarkOpen) + QString::number(m_files.size()) + MarkClose}};
            if (operation.contains(QLatin1String("attributes")))
                marker.insert(QStringLiteral("attributes"), operation.value(QLatin1String("attributes")));
            out.append(marker);
            m_files.append(file);
        }
        return out;
    }

    QString replaceMarks(const QString &rendered) const
    {
        static const QRegularExpression mark(QStringLiteral("\uE000(\\d+)\uE001"));
        QString out;
        out.reserve(rendered.size());
        qsizetype from = 0;
        for (auto it = mark.globalMatch(rendered); it.hasNext();) {
            const auto match = it.next();
            out.append(QStringView(rendered).mid(from, match.capturedStart() - from));
            const int index = match.captured(1).toInt();
            if (index >= 0 && index < m_files.size())
                out.append(renderEmbed(m_files.at(index)));
            from = match.capturedEnd();
        }
        out.append(QStringView(rendered).mid(from));
        return out;
    }

    QString renderEmbed(const EmbeddedFile &file) const
    {
        const bool html = m_format == ExportHtml || m_format == ExportPdf;
        const QString label = file.known ? file.record.filename : QString();
        if (!file.attachmentId.isEmpty() && !file.known)
            return QString();
        if (html) {
            QString source;
            if (!file.attachmentId.isEmpty()) {
                if (m_target == Target::Bundle)
                    source = QString::fromLatin1(QUrl::toPercentEncoding(file.bundleName, "/"));
                else if (m_target == Target::Pdf)
                    source = file.url;
                else if (file.isImage)
                    source = dataUri(file);
            } else {
                source = file.url;
            }
            if (file.isImage && !source.isEmpty())
                return QStringLiteral("<img src=\"%1\" alt=\"%2\">").arg(escapedAttribute(source), escapedAttribute(label));
            if (!source.isEmpty())
                return QStringLiteral("<a href=\"%1\">%2</a>").arg(escapedAttribute(source), label.toHtmlEscaped());
            return label.toHtmlEscaped();
        }
        if (m_format == ExportMarkdown) {
            if (file.attachmentId.isEmpty())
                return QStringLiteral("![](%1)").arg(file.url);
            if (m_target == Target::Bundle) {
                const QString target = QString::fromLatin1(QUrl::toPercentEncoding(file.bundleName, "/"));
                return QStringLiteral("%1[%2](%3)").arg(file.isImage ? QStringLiteral("!") : QString(), label, target);
            }
            return label;
        }
        return label;
    }

    QString dataUri(const EmbeddedFile &file) const
    {
        const QByteArray bytes = m_attachments->readFile(file.attachmentId);
        if (bytes.isEmpty())
            return QString();
        return QStringLiteral("data:%1;base64,").arg(file.record.mimeType) + QString::fromLatin1(bytes.toBase64());
    }

    int m_format;
    Target m_target;
    const AttachmentRepository *m_attachments;
    QString m_text;
    QList<EmbeddedFile> m_files;
};

bool writePdf(const ExportContent &content, const QString &path, const AttachmentRepository *attachments)
{
    QPdfWriter writer(path);
    writer.setResolution(1200);
    writer.setPageSize(QPageSize(QPageSize::A4));
    QTextDocument document;
    for (const EmbeddedFile &file : content.files()) {
        if (!file.known || !file.isImage || !attachments)
            continue;
        QImage image;
        if (image.loadFromData(attachments->readFile(file.attachmentId)))
            document.addResource(QTextDocument::ImageResource, QUrl(file.url), image);
    }
    document.setHtml(content.text());
    document.print(&writer);
    return true;
}

bool writeText(const QString &text, const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        *error = QStringLiteral("Failed to write file: %1").arg(file.errorString());
        return false;
    }
    QTextStream stream(&file);
    stream.setEncoding(QStringConverter::Utf8);
    stream << text;
    stream.flush();
    if (stream.status() != QTextStream::Ok || !file.flush()) {
        *error = QStringLiteral("Failed to write file: %1").arg(file.errorString());
        return false;
    }
    return true;
}

ExportResult exportBundle(const Note &note, QString path, int format, const AttachmentRepository *attachments)
{
    ExportResult result;
    // "Trip.md" becomes "Trip.zip" holding "Trip.md".
    if (path.endsWith(exportExtension(format), Qt::CaseInsensitive))
        path.chop(exportExtension(format).size());
    if (!path.endsWith(QLatin1String(".zip"), Qt::CaseInsensitive))
        path += QLatin1String(".zip");
    const QString noteFile = sanitizeFileName(QFileInfo(path).completeBaseName()) + exportExtension(format);
    const ExportContent content(note, format, format == ExportPdf ? Target::Pdf : Target::Bundle, attachments);

    QByteArray noteBytes;
    if (format == ExportPdf) {
        // The PDF is produced by a file writer; render it to a scratch file first.
        const QString scratch = path + QLatin1String(".pdf-part");
        writePdf(content, scratch, attachments);
        QFile pdf(scratch);
        if (pdf.open(QIODevice::ReadOnly))
            noteBytes = pdf.readAll();
        pdf.remove();
    } else {
        noteBytes = content.text().toUtf8();
    }

    ArchiveWriter writer(path);
    bool ok = writer.open() && writer.addFile(noteFile, noteBytes);
    QSet<QString> written;
    for (const EmbeddedFile &file : content.files()) {
        if (!ok)
            break;
        if (!file.known || written.contains(file.attachmentId))
            continue;
        written.insert(file.attachmentId);
        ok = writer.addFileFromDisk(file.bundleName, attachmentFilePath(file.attachmentId));
    }
    if (ok && attachments) {
        // Attachments the body no longer shows still belong to the note.
        QSet<QString> taken;
        for (const EmbeddedFile &file : content.files())
            taken.insert(file.bundleName.mid(12).toLower());
        for (const Attachment &attachment : attachments->attachmentsForNote(note.id)) {
            if (!ok)
                break;
            if (written.contains(attachment.id) || !QFile::exists(attachmentFilePath(attachment.id)))
                continue;
            written.insert(attachment.id);
            ok = writer.addFileFromDisk(QStringLiteral("attachments/")
                                            + bundleFileName(attachment.filename.isEmpty() ? attachment.id
                                                                                           : attachment.filename,
                                                             &taken),
                                        attachmentFilePath(attachment.id));
        }
    }
    if (!ok || !writer.commit()) {
        result.error = QStringLiteral("Failed to write file: %1").arg(writer.errorString());
        return result;
    }
    result.ok = true;
    result.path = path;
    return result;
}

} // namespace

QString sanitizeFileName(const QString &name)
{
    static const QRegularExpression forbidden(QStringLiteral("[<>:\"/\\\\|?*]"));
    QString clean = name;
    clean.remove(forbidden);
    clean = clean.trimmed();
    if (clean.size() > 50)
        clean = clean.left(50).trimmed();
    if (clean.isEmpty())
        clean = QStringLiteral("note");
    return clean;
}

QString exportExtension(int format)
{
    switch (format) {
    case ExportMarkdown:
        return QStringLiteral(".md");
    case ExportHtml:
        return QStringLiteral(".html");
    case ExportPdf:
        return QStringLiteral(".pdf");
    default:
        return QStringLiteral(".txt");
    }
}

QString suggestedFileName(const Note &note, int format)
{
    QString title = note.title().trimmed();
    if (title.isEmpty())
        title = QStringLiteral("note-%1").arg(note.id.left(8));
    return sanitizeFileName(title) + exportExtension(format);
}

ExportResult exportNote(const Note &note, const QString &path, int format, bool includeAttachments,
                        const AttachmentRepository *attachments)
{
    if (includeAttachments)
        return exportBundle(note, path, format, attachments);
    ExportResult result;
    const ExportContent content(note, format, format == ExportPdf ? Target::Pdf : Target::LoneFile, attachments);
    if (format == ExportPdf) {
        // The PDF writer reports nothing when it cannot write: open the file first.
        QFile probe(path);
        if (!probe.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            result.error = QStringLiteral("Failed to write file: %1").arg(probe.errorString());
            return result;
        }
        probe.close();
        writePdf(content, path, attachments);
    } else if (!writeText(content.text(), path, &result.error)) {
        qCWarning(lcIo) << "Export failed:" << path << result.error;
        return result;
    }
    result.ok = true;
    result.path = path;
    return result;
}
