#include "librarygenerator.h"

#include "database.h"
#include "documentcorpus.h"
#include "note.h"
#include "notebookrepository.h"
#include "noterepository.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include <algorithm>
#include <cmath>

Q_LOGGING_CATEGORY(lcBench, "ombrel.bench")

namespace {

// Raised whenever the generated content changes, so stale cached libraries are not reused.
constexpr int GeneratorVersion = 3;

// Notes are spread over three years before this instant.
constexpr qint64 LatestMs = 1714550400000; // 2024-05-01T08:00:00Z
constexpr qint64 SpanMs = 3ll * 365 * 24 * 3600 * 1000;

enum Stream : std::uint64_t {
    NoteIdStream = 1,
    NotebookIdStream,
    NotebookPickStream,
    TrashStream,
    SizeStream,
    BodyStream,
    TimeStream,
    StatusStream,
};

QDateTime utcFromMs(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

// A notebook's share of the notes falls with its rank as 1/sqrt(rank): a few big
// notebooks and a long tail of small ones.
double notebookWeight(int rank)
{
    return 1.0 / std::sqrt(double(rank + 1));
}

} // namespace

LibraryGenerator::LibraryGenerator()
    : LibraryGenerator(Options())
{
}

LibraryGenerator::LibraryGenerator(const Options &options)
    : m_options(options)
{
    m_options.noteCount = std::max(0, m_options.noteCount);
    m_options.notebookCount = std::max(1, m_options.notebookCount);
    m_options.minBodyBytes = std::max(64, m_options.minBodyBytes);
    m_options.maxBodyBytes = std::max(m_options.minBodyBytes, m_options.maxBodyBytes);
}

QString LibraryGenerator::cacheDirectory()
{
    const QString configured = qEnvironmentVariable("OMBREL_BENCH_DIR");
    if (!configured.isEmpty())
        return configured;
    return QDir::tempPath() + QLatin1String("/ombrel-bench");
}

QString LibraryGenerator::cacheFileName() const
{
    return QStringLiteral("library-s%1-n%2-b%3-%4-%5-v%6.db")
        .arg(m_options.seed)
        .arg(m_options.noteCount)
        .arg(m_options.notebookCount)
        .arg(m_options.minBodyBytes)
        .arg(m_options.maxBodyBytes)
        .arg(GeneratorVersion);
}

QString LibraryGenerator::cachedLibrary()
{
    const QString directory = cacheDirectory();
    if (!QDir().mkpath(directory)) {
        m_error = QStringLiteral("cannot create %1").arg(directory);
        return QString();
    }
    const QString path = directory + QLatin1Char('/') + cacheFileName();
    if (QFileInfo::exists(path))
        return path;

    // Generate beside the final name and rename at the end, so that an interrupted run
    // never leaves a half-written library that later runs would trust.
    const QString partial = path + QLatin1String(".partial");
    for (const char *suffix : {"", "-wal", "-shm"})
        QFile::remove(partial + QLatin1String(suffix));
    if (!generate(partial))
        return QString();
    if (!QFile::rename(partial, path)) {
        m_error = QStringLiteral("cannot rename %1").arg(partial);
        return QString();
    }
    return path;
}

QString LibraryGenerator::copyTo(const QString &directory, const QString &fileName)
{
    const QString source = cachedLibrary();
    if (source.isEmpty())
        return QString();
    if (!QDir().mkpath(directory)) {
        m_error = QStringLiteral("cannot create %1").arg(directory);
        return QString();
    }
    const QString target = directory + QLatin1Char('/')
        + (fileName.isEmpty() ? QStringLiteral("library.db") : fileName);
    for (const char *suffix : {"", "-wal", "-shm"})
        QFile::remove(target + QLatin1String(suffix));
    if (!QFile::copy(source, target)) {
        m_error = QStringLiteral("cannot copy %1 to %2").arg(source, target);
        return QString();
    }
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
    return target;
}

bool LibraryGenerator::generate(const QString &path)
{
    if (QFileInfo::exists(path)) {
        m_error = QStringLiteral("%1 already exists").arg(path);
        return false;
    }
    QElapsedTimer timer;
    timer.start();
    qCInfo(lcBench) << "Generating a library of" << m_options.noteCount << "notes in"
                    << m_options.notebookCount << "notebooks:" << path;

    bool ok = false;
    {
        Database database;
        if (!database.open(path) || !database.migrate()) {
            m_error = QStringLiteral("cannot open or migrate %1").arg(path);
            return false;
        }
        NotebookRepository notebooks(&database);
        NoteRepository notes(&database);
        QSqlDatabase handle = database.handle();
        if (!handle.transaction()) {
            m_error = handle.lastError().text();
            return false;
        }

        const QDateTime epoch = utcFromMs(LatestMs - SpanMs);
        ok = true;
        for (int i = 0; i < m_options.notebookCount && ok; ++i) {
            Notebook notebook;
            notebook.id = notebookId(i);
            QString word = BenchCorpus::wordAt(60 + (i * 7) % 300);
            word[0] = word[0].toUpper();
            notebook.name = QStringLiteral("%1 %2").arg(word).arg(i + 1, 3, 10, QLatin1Char('0'));
            notebook.createdAt = epoch.addSecs(i * 3600);
            notebook.updatedAt = notebook.createdAt;
            notebook.syncStatus = SyncStatus::Synced;
            ok = notebooks.insert(notebook);
        }

        for (int i = 0; i < m_options.noteCount && ok; ++i) {
            const std::uint64_t times = hash(TimeStream, std::uint64_t(i));
            const qint64 created = LatestMs - SpanMs + qint64(times % std::uint64_t(SpanMs));
            const qint64 updated = created + qint64((times >> 20) % std::uint64_t(LatestMs - created + 1));
            const std::uint64_t status = hash(StatusStream, std::uint64_t(i)) % 100;

            Note note;
            note.id = noteId(i);
            const int notebook = notebookIndexOf(i);
            note.notebookId = notebook < 0 ? QString() : notebookId(notebook);
            note.body = BenchCorpus::deltaBody(bodySeed(i), bodyBytes(i), i % 20 == 0);
            note.createdAt = utcFromMs(created);
            note.updatedAt = utcFromMs(updated);
            note.modifiedAt = note.updatedAt;
            if (isTrashed(i))
                note.deletedAt = utcFromMs(updated + 60000);
            note.version = 1 + int(status % 7);
            note.syncStatus = status < 90 ? SyncStatus::Synced : SyncStatus::Pending;
            ok = notes.insert(note);
            if (ok && (i + 1) % 20000 == 0)
                qCInfo(lcBench) << "  " << i + 1 << "notes," << timer.elapsed() / 1000 << "s";
        }

        if (!ok || !handle.commit()) {
            m_error = QStringLiteral("writing the library failed: %1").arg(handle.lastError().text());
            handle.rollback();
            ok = false;
        } else {
            // Fold the write-ahead log into the file so that the .db alone is the library.
            QSqlQuery checkpoint(handle);
            checkpoint.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        }
    }
    if (!ok) {
        for (const char *suffix : {"", "-wal", "-shm"})
            QFile::remove(path + QLatin1String(suffix));
        return false;
    }
    qCInfo(lcBench) << "Library ready in" << timer.elapsed() / 1000 << "s," << QFileInfo(path).size()
                    << "bytes";
    return true;
}

std::uint64_t LibraryGenerator::hash(std::uint64_t stream, std::uint64_t index) const
{
    return BenchCorpus::mix(BenchCorpus::mix(m_options.seed ^ (stream * 0xC2B2AE3D27D4EB4Full)) + index);
}

QString LibraryGenerator::uuidFrom(std::uint64_t high, std::uint64_t low) const
{
    QByteArray bytes(16, Qt::Uninitialized);
    for (int i = 0; i < 8; ++i) {
        bytes[i] = char(high >> (56 - 8 * i));
        bytes[8 + i] = char(low >> (56 - 8 * i));
    }
    bytes[6] = char((bytes[6] & 0x0F) | 0x40); // version 4
    bytes[8] = char((bytes[8] & 0x3F) | 0x80); // RFC 4122 variant
    return QUuid::fromRfc4122(bytes).toString(QUuid::WithoutBraces);
}

QString LibraryGenerator::noteId(int index) const
{
    const std::uint64_t high = hash(NoteIdStream, std::uint64_t(index));
    return uuidFrom(high, BenchCorpus::mix(high));
}

QString LibraryGenerator::notebookId(int index) const
{
    const std::uint64_t high = hash(NotebookIdStream, std::uint64_t(index));
    return uuidFrom(high, BenchCorpus::mix(high));
}

int LibraryGenerator::notebookIndexOf(int noteIndex) const
{
    const std::uint64_t roll = hash(NotebookPickStream, std::uint64_t(noteIndex));
    if (roll % 100 < 5)
        return -1;
    double total = 0;
    for (int i = 0; i < m_options.notebookCount; ++i)
        total += notebookWeight(i);
    double point = double(roll >> 11) * (1.0 / 9007199254740992.0) * total;
    for (int i = 0; i < m_options.notebookCount; ++i) {
        point -= notebookWeight(i);
        if (point < 0)
            return i;
    }
    return m_options.notebookCount - 1;
}

bool LibraryGenerator::isTrashed(int noteIndex) const
{
    return hash(TrashStream, std::uint64_t(noteIndex)) % 100 < 2;
}

int LibraryGenerator::bodyBytes(int noteIndex) const
{
    // Log-uniform: short notes are the common case, long ones still turn up.
    const double unit = double(hash(SizeStream, std::uint64_t(noteIndex)) >> 11) * (1.0 / 9007199254740992.0);
    const double ratio = double(m_options.maxBodyBytes) / double(m_options.minBodyBytes);
    return int(double(m_options.minBodyBytes) * std::pow(ratio, unit));
}

std::uint64_t LibraryGenerator::bodySeed(int noteIndex) const
{
    return hash(BodyStream, std::uint64_t(noteIndex));
}

int LibraryGenerator::rareTermNoteCount() const
{
    int count = 0;
    for (int i = 0; i < m_options.noteCount; ++i) {
        if (!isTrashed(i) && BenchCorpus::containsRareTerm(bodySeed(i)))
            ++count;
    }
    return count;
}
