#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <memory>

struct archive;
class QSaveFile;

// Writes a ZIP archive through QSaveFile: the file appears under its name only when
// commit() succeeds, so a failed or killed write never leaves a truncated archive.
class ArchiveWriter
{
public:
    explicit ArchiveWriter(const QString &path);
    ~ArchiveWriter();
    ArchiveWriter(const ArchiveWriter &) = delete;
    ArchiveWriter &operator=(const ArchiveWriter &) = delete;

    // Fast deflates at zlib's quickest level: for archives of many files, written while the
    // user waits, where size matters less than time.
    enum class Compression { Default, Fast };
    bool open(Compression compression = Compression::Default);
    bool addDirectory(const QString &name);
    bool addFile(const QString &name, const QByteArray &data, const QDateTime &modified = QDateTime());
    // Streams a file from disk into the archive without holding it in memory.
    bool addFileFromDisk(const QString &name, const QString &sourcePath);
    bool commit();

    QString errorString() const { return m_error; }

private:
    bool beginEntry(const QString &name, qint64 size, const QDateTime &modified, bool directory = false);
    bool fail(const QString &message);

    QString m_path;
    std::unique_ptr<QSaveFile> m_file;
    archive *m_archive = nullptr;
    QString m_error;
};
