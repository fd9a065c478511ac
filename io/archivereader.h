#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

struct archive;
struct archive_entry;

// Reads tar and ZIP archives entry by entry, straight from the file, and refuses what a
// hostile archive could use against us: names that leave the extraction root, links and
// device entries, and archives that expand far beyond their size. Entries are never
// written anywhere by this class; callers decide where bytes go.
class ArchiveReader
{
public:
    struct Limits
    {
        qint64 maxTotalBytes = qint64(4) * 1024 * 1024 * 1024;
        // Expansion against the archive's size on disk; small archives get slack so a
        // well-compressed text file is never mistaken for a bomb.
        qint64 maxRatio = 1000;
        qint64 ratioSlackBytes = 16 * 1024 * 1024;
        qint64 maxEntries = 1000000;
    };

    struct Entry
    {
        QString name;      // relative path with '/' separators
        qint64 size = -1;  // as declared by the header; -1 when the format does not say
    };

    explicit ArchiveReader(const QString &path);
    ArchiveReader(const QString &path, const Limits &limits);
    ~ArchiveReader();
    ArchiveReader(const ArchiveReader &) = delete;
    ArchiveReader &operator=(const ArchiveReader &) = delete;

    bool open();
    // Advances to the next regular file, skipping directory entries. False at the end of
    // the archive or on an error; hasError() tells which.
    bool next(Entry *entry);
    // The current entry's bytes; fails (with an error) past maxBytes or the archive limits.
    bool readData(QByteArray *data, qint64 maxBytes);
    // The current entry's bytes in chunks; the sink returns false to stop with an error.
    bool streamData(const std::function<bool(const char *data, qsizetype size)> &sink);

    bool hasError() const { return !m_error.isEmpty(); }
    QString errorString() const { return m_error; }
    qint64 entryCount() const { return m_entries; }
    qint64 bytesRead() const { return m_totalBytes; }

    // Whether name stays inside the extraction root: relative, no "..", no drive letter.
    static bool isSafeEntryName(const QString &name);

private:
    bool fail(const QString &message);
    bool account(qint64 bytes);

    QString m_path;
    Limits m_limits;
    archive *m_archive = nullptr;
    qint64 m_archiveSize = 0;
    qint64 m_totalBytes = 0;
    qint64 m_entries = 0;
    bool m_atEnd = false;
    QString m_error;
};
