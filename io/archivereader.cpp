#include "archivereader.h"

#include "iolog.h"

#include <QFile>
#include <QFileInfo>

#include <archive.h>
#include <archive_entry.h>

namespace {
constexpr size_t ReadBlockSize = 64 * 1024;
}

ArchiveReader::ArchiveReader(const QString &path)
    : ArchiveReader(path, Limits())
{
}

ArchiveReader::ArchiveReader(const QString &path, const Limits &limits)
    : m_path(path)
    , m_limits(limits)
{
}

ArchiveReader::~ArchiveReader()
{
    if (m_archive)
        archive_read_free(m_archive);
}

bool ArchiveReader::open()
{
    const QFileInfo info(m_path);
    if (!info.isFile())
        return fail(QStringLiteral("Cannot open %1: no such file").arg(m_path));
    m_archiveSize = info.size();
    m_archive = archive_read_new();
    archive_read_support_format_tar(m_archive);
    // ZIPs are read through their central directory: a streaming read would take a
    // truncated archive's leading entries for the whole of it.
    archive_read_support_format_zip_seekable(m_archive);
    archive_read_support_filter_gzip(m_archive);
    const QByteArray local = QFile::encodeName(m_path);
    if (archive_read_open_filename(m_archive, local.constData(), ReadBlockSize) != ARCHIVE_OK)
        return fail(QString::fromUtf8(archive_error_string(m_archive)));
    return true;
}

bool ArchiveReader::next(Entry *entry)
{
    if (!m_archive || m_atEnd || hasError())
        return false;
    for (;;) {
        archive_entry *header = nullptr;
        const int status = archive_read_next_header(m_archive, &header);
        if (status == ARCHIVE_EOF) {
            m_atEnd = true;
            return false;
        }
        if (status < ARCHIVE_WARN)
            return fail(QString::fromUtf8(archive_error_string(m_archive)));
        if (++m_entries > m_limits.maxEntries)
            return fail(QStringLiteral("Archive has more than %1 entries").arg(m_limits.maxEntries));

        const char *utf8 = archive_entry_pathname_utf8(header);
        const QString name = utf8 ? QString::fromUtf8(utf8) : QString::fromLocal8Bit(archive_entry_pathname(header));
        if (!isSafeEntryName(name))
            return fail(QStringLiteral("Unsafe entry name in archive: %1").arg(name));
        if (archive_entry_hardlink(header) || archive_entry_symlink(header))
            return fail(QStringLiteral("Link entry in archive: %1").arg(name));
        const auto type = archive_entry_filetype(header);
        if (type == AE_IFDIR)
            continue;
        if (type != AE_IFREG)
            return fail(QStringLiteral("Special file in archive: %1").arg(name));

        entry->name = QString(name).replace(QLatin1Char('\\'), QLatin1Char('/'));
        while (entry->name.startsWith(QLatin1String("./")))
            entry->name.remove(0, 2);
        entry->size = archive_entry_size_is_set(header) ? archive_entry_size(header) : -1;
        return true;
    }
}

bool ArchiveReader::readData(QByteArray *data, qint64 maxBytes)
{
    data->clear();
    return streamData([&](const char *bytes, qsizetype size) {
        if (data->size() + size > maxBytes) {
            fail(QStringLiteral("Archive entry larger than %1 bytes").arg(maxBytes));
            return false;
        }
        data->append(bytes, size);
        return true;
    });
}

bool ArchiveReader::streamData(const std::function<bool(const char *, qsizetype)> &sink)
{
    if (!m_archive || hasError())
        return false;
    char buffer[ReadBlockSize];
    for (;;) {
        const la_ssize_t got = archive_read_data(m_archive, buffer, sizeof buffer);
        if (got < 0)
            return fail(QString::fromUtf8(archive_error_string(m_archive)));
        if (got == 0)
            return true;
        if (!account(got))
            return false;
        if (!sink(buffer, got)) {
            if (!hasError())
                fail(QStringLiteral("Archive entry could not be stored"));
            return false;
        }
    }
}

bool ArchiveReader::isSafeEntryName(const QString &name)
{
    if (name.isEmpty() || name.contains(QChar(0)))
        return false;
    if (name.startsWith(QLatin1Char('/')) || name.startsWith(QLatin1Char('\\')))
        return false;
    if (name.size() >= 2 && name.at(1) == QLatin1Char(':'))
        return false;
    // A ".." component between separators of either kind, or at either end.
    qsizetype start = 0;
    for (qsizetype i = 0; i <= name.size(); ++i) {
        if (i == name.size() || name.at(i) == QLatin1Char('/') || name.at(i) == QLatin1Char('\\')) {
            if (i - start == 2 && name.at(start) == QLatin1Char('.') && name.at(start + 1) == QLatin1Char('.'))
                return false;
            start = i + 1;
        }
    }
    return true;
}

bool ArchiveReader::fail(const QString &message)
{
    if (m_error.isEmpty()) {
        m_error = message.isEmpty() ? QStringLiteral("Unreadable archive") : message;
        qCWarning(lcIo) << "ArchiveReader:" << m_path << m_error;
    }
    return false;
}

bool ArchiveReader::account(qint64 bytes)
{
    m_totalBytes += bytes;
    if (m_totalBytes > m_limits.maxTotalBytes)
        return fail(QStringLiteral("Archive expands beyond %1 bytes").arg(m_limits.maxTotalBytes));
    if (m_totalBytes > m_limits.ratioSlackBytes && m_totalBytes / qMax<qint64>(1, m_archiveSize) > m_limits.maxRatio)
        return fail(QStringLiteral("Archive expands more than %1 times its size").arg(m_limits.maxRatio));
    return true;
}
