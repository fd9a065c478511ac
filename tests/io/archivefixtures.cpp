#include "archivefixtures.h"

#include <QFile>
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

} // namespace ArchiveFixtures
