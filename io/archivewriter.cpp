#include "archivewriter.h"

#include "iolog.h"

#include <QFile>
#include <QSaveFile>

#include <archive.h>
#include <archive_entry.h>

namespace {

la_ssize_t writeToSaveFile(archive *, void *client, const void *buffer, size_t length)
{
    auto *file = static_cast<QSaveFile *>(client);
    const qint64 written = file->write(static_cast<const char *>(buffer), qint64(length));
    return written == qint64(length) ? la_ssize_t(written) : -1;
}

int noOpClose(archive *, void *)
{
    return ARCHIVE_OK;
}

} // namespace

ArchiveWriter::ArchiveWriter(const QString &path)
    : m_path(path)
{
}

ArchiveWriter::~ArchiveWriter()
{
    if (m_archive)
        archive_write_free(m_archive);
    if (m_file)
        m_file->cancelWriting();
}

bool ArchiveWriter::open(Compression compression)
{
    m_file = std::make_unique<QSaveFile>(m_path);
    if (!m_file->open(QIODevice::WriteOnly))
        return fail(m_file->errorString());
    m_archive = archive_write_new();
    archive_write_set_format_zip(m_archive);
    if (compression == Compression::Fast
        && archive_write_set_format_option(m_archive, "zip", "compression-level", "1") != ARCHIVE_OK)
        qCWarning(lcIo) << "ArchiveWriter: this libarchive has no compression levels; writing at its default";
    // A ZIP ends with its central directory; tar-style block padding would only add bytes.
    archive_write_set_bytes_in_last_block(m_archive, 1);
    if (archive_write_open2(m_archive, m_file.get(), nullptr, writeToSaveFile, noOpClose, nullptr) != ARCHIVE_OK)
        return fail(QString::fromUtf8(archive_error_string(m_archive)));
    return true;
}

bool ArchiveWriter::beginEntry(const QString &name, qint64 size, const QDateTime &modified, bool directory)
{
    if (!m_archive || !m_error.isEmpty())
        return false;
    archive_entry *entry = archive_entry_new();
    const QByteArray utf8 = name.toUtf8();
    archive_entry_set_pathname_utf8(entry, utf8.constData());
    archive_entry_set_filetype(entry, directory ? AE_IFDIR : AE_IFREG);
    archive_entry_set_perm(entry, directory ? 0755 : 0644);
    archive_entry_set_size(entry, size);
    const QDateTime when = modified.isValid() ? modified : QDateTime::currentDateTimeUtc();
    archive_entry_set_mtime(entry, when.toSecsSinceEpoch(), 0);
    const int status = archive_write_header(m_archive, entry);
    archive_entry_free(entry);
    if (status < ARCHIVE_WARN)
        return fail(QString::fromUtf8(archive_error_string(m_archive)));
    return true;
}

bool ArchiveWriter::addDirectory(const QString &name)
{
    return beginEntry(name.endsWith(QLatin1Char('/')) ? name : name + QLatin1Char('/'), 0, QDateTime(), true);
}

bool ArchiveWriter::addFile(const QString &name, const QByteArray &data, const QDateTime &modified)
{
    if (!beginEntry(name, data.size(), modified))
        return false;
    if (!data.isEmpty() && archive_write_data(m_archive, data.constData(), size_t(data.size())) != data.size())
        return fail(QString::fromUtf8(archive_error_string(m_archive)));
    return true;
}

bool ArchiveWriter::addFileFromDisk(const QString &name, const QString &sourcePath)
{
    QFile source(sourcePath);
    if (!source.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("%1: %2").arg(sourcePath, source.errorString()));
    if (!beginEntry(name, source.size(), QDateTime()))
        return false;
    char buffer[64 * 1024];
    qint64 remaining = source.size();
    while (remaining > 0) {
        const qint64 got = source.read(buffer, qMin<qint64>(remaining, sizeof buffer));
        if (got <= 0)
            return fail(QStringLiteral("%1: %2").arg(sourcePath, source.errorString()));
        if (archive_write_data(m_archive, buffer, size_t(got)) != got)
            return fail(QString::fromUtf8(archive_error_string(m_archive)));
        remaining -= got;
    }
    return true;
}

bool ArchiveWriter::commit()
{
    if (!m_archive || !m_error.isEmpty())
        return false;
    const int status = archive_write_close(m_archive);
    archive_write_free(m_archive);
    m_archive = nullptr;
    if (status != ARCHIVE_OK)
        return fail(QStringLiteral("Could not finish the archive"));
    if (!m_file->commit())
        return fail(m_file->errorString());
    m_file.reset();
    return true;
}

bool ArchiveWriter::fail(const QString &message)
{
    if (m_error.isEmpty()) {
        m_error = message.isEmpty() ? QStringLiteral("Archive write failed") : message;
        qCWarning(lcIo) << "ArchiveWriter:" << m_path << m_error;
    }
    return false;
}
