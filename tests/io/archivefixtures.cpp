#include "archivefixtures.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QJsonDocument>

#include <archive.h>
#include <archive_entry.h>

namespace ArchiveFixtures {

bool write(const QString &path, Format format, const QList<Entry> &entries)
{
    archive *writer = archive_write_new();
    switch (format) {
    case Format::Tar:
        archive_write_set_format_ustar(writer);
        break;
    case Format::PaxTar:
        archive_write_set_format_pax_restricted(writer);
        break;
    case Format::Zip:
        archive_write_set_format_zip(writer);
        break;
    }
    bool ok = archive_write_open_filename(writer, QFile::encodeName(path).constData()) == ARCHIVE_OK;
    for (const Entry &entry : entries) {
        if (!ok)
            break;
        archive_entry *header = archive_entry_new();
        archive_entry_set_pathname_utf8(header, entry.name.toUtf8().constData());
        archive_entry_set_perm(header, 0644);
        archive_entry_set_mtime(header, 1700000000, 0);
        switch (entry.kind) {
        case Kind::File:
            archive_entry_set_filetype(header, AE_IFREG);
            archive_entry_set_size(header, entry.data.size());
            break;
        case Kind::Directory:
            archive_entry_set_filetype(header, AE_IFDIR);
            break;
        case Kind::Symlink:
            archive_entry_set_filetype(header, AE_IFLNK);
            archive_entry_set_symlink_utf8(header, entry.linkTarget.toUtf8().constData());
            break;
        case Kind::Hardlink:
            archive_entry_set_filetype(header, AE_IFREG);
            archive_entry_set_hardlink_utf8(header, entry.linkTarget.toUtf8().constData());
            break;
        case Kind::CharDevice:
            archive_entry_set_filetype(header, AE_IFCHR);
            archive_entry_set_rdev(header, 0x0103);
            break;
        }
        ok = archive_write_header(writer, header) >= ARCHIVE_WARN;
        if (ok && entry.kind == Kind::File && !entry.data.isEmpty())
            ok = archive_write_data(writer, entry.data.constData(), size_t(entry.data.size())) == entry.data.size();
        archive_entry_free(header);
    }
    ok = archive_write_close(writer) == ARCHIVE_OK && ok;
    archive_write_free(writer);
    return ok;
}

QByteArray joplinItem(const QString &titleAndBody, const QList<std::pair<QString, QString>> &metadata)
{
    QString text = titleAndBody;
    text += QLatin1String("\n\n");
    QStringList lines;
    for (const auto &[key, value] : metadata)
        lines.append(key + QLatin1String(": ") + value);
    text += lines.join(QLatin1Char('\n'));
    return text.toUtf8();
}

QString joplinId(int n)
{
    return QStringLiteral("%1").arg(n, 32, 16, QLatin1Char('0'));
}

QByteArray json(const QJsonObject &object)
{
    return QJsonDocument(object).toJson();
}

QStringList entryNames(const QString &path)
{
    QStringList names;
    archive *reader = archive_read_new();
    archive_read_support_format_all(reader);
    if (archive_read_open_filename(reader, QFile::encodeName(path).constData(), 65536) == ARCHIVE_OK) {
        archive_entry *entry = nullptr;
        while (archive_read_next_header(reader, &entry) == ARCHIVE_OK)
            names.append(QString::fromUtf8(archive_entry_pathname_utf8(entry)));
    }
    archive_read_free(reader);
    return names;
}

QByteArray entryData(const QString &path, const QString &name)
{
    QByteArray data;
    archive *reader = archive_read_new();
    archive_read_support_format_all(reader);
    if (archive_read_open_filename(reader, QFile::encodeName(path).constData(), 65536) == ARCHIVE_OK) {
        archive_entry *entry = nullptr;
        while (archive_read_next_header(reader, &entry) == ARCHIVE_OK) {
            if (QString::fromUtf8(archive_entry_pathname_utf8(entry)) != name)
                continue;
            char buffer[65536];
            la_ssize_t got;
            while ((got = archive_read_data(reader, buffer, sizeof buffer)) > 0)
                data.append(buffer, got);
            break;
        }
    }
    archive_read_free(reader);
    return data;
}

QByteArray tinyPng()
{
    QImage image(4, 3, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QString joplinMarkdownBody(int n, int bytes)
{
    static const QStringList words = QStringLiteral(
        "alpha beta gamma delta notes search local first sync attachment heading list table "
        "quick brown fox jumps over the lazy dog while careful engineers review merge requests")
        .split(QLatin1Char(' '));
    quint32 state = 12345u + quint32(n) * 7919u;
    const QString title = QStringLiteral("Note %1 about %2").arg(n).arg(words.at(n % words.size()));
    QString body = title + QStringLiteral("\n\n");
    int line = 0;
    while (body.size() < bytes) {
        if (line % 12 == 0)
            body += QStringLiteral("## Section %1\n\n").arg(line);
        else if (line % 5 == 0)
            body += QStringLiteral("- [ ] task %1\n- item **bold** and `code`\n\n").arg(line);
        else if (line % 7 == 0)
            body += QStringLiteral("1. first *step*\n2. second [link](https://example.com/%1)\n\n").arg(line);
        for (int w = 0; w < 14; ++w) {
            state = state * 1103515245u + 12345u;
            body += words.at((state >> 16) % words.size()) + QLatin1Char(w == 13 ? '.' : ' ');
        }
        body += QStringLiteral("\n\n");
        ++line;
    }
    return body;
}

bool writeJoplinExport(const QString &path, int noteCount, int notebookCount, int bytesPerNote, int resourceEvery)
{
    QList<Entry> entries;
    const QString created = QStringLiteral("2023-04-05T06:07:08.123Z");
    for (int f = 0; f < notebookCount; ++f) {
        entries.append({joplinId(1000000 + f) + QStringLiteral(".md"),
                        joplinItem(QStringLiteral("Folder %1").arg(f),
                                   {{QStringLiteral("id"), joplinId(1000000 + f)},
                                    {QStringLiteral("parent_id"), f > 0 && f % 5 ? joplinId(1000000 + f - 1) : QString()},
                                    {QStringLiteral("created_time"), created},
                                    {QStringLiteral("updated_time"), created},
                                    {QStringLiteral("type_"), QStringLiteral("2")}})});
    }
    const QByteArray png = tinyPng();
    for (int n = 0; n < noteCount; ++n) {
        QString body = joplinMarkdownBody(n, bytesPerNote);
        const QString resourceId = joplinId(2000000 + n);
        const bool withResource = resourceEvery > 0 && n % resourceEvery == 0;
        if (withResource)
            body += QStringLiteral("![shot](:/%1)\n\nSee [the shot](:/%1).\n").arg(resourceId);
        entries.append({joplinId(n) + QStringLiteral(".md"),
                        joplinItem(body, {{QStringLiteral("id"), joplinId(n)},
                                          {QStringLiteral("parent_id"), joplinId(1000000 + n % qMax(1, notebookCount))},
                                          {QStringLiteral("created_time"), created},
                                          {QStringLiteral("updated_time"), created},
                                          {QStringLiteral("markup_language"), QStringLiteral("1")},
                                          {QStringLiteral("type_"), QStringLiteral("1")}})});
        if (withResource) {
            entries.append({resourceId + QStringLiteral(".md"),
                            joplinItem(QStringLiteral("shot %1.png").arg(n),
                                       {{QStringLiteral("id"), resourceId},
                                        {QStringLiteral("mime"), QStringLiteral("image/png")},
                                        {QStringLiteral("file_extension"), QStringLiteral("png")},
                                        {QStringLiteral("created_time"), created},
                                        {QStringLiteral("type_"), QStringLiteral("4")}})});
            entries.append({QStringLiteral("resources/%1.png").arg(resourceId), png});
        }
    }
    return write(path, Format::PaxTar, entries);
}

} // namespace ArchiveFixtures
