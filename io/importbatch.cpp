#include "importbatch.h"

#include "bulkload.h"
#include "database.h"
#include "iolog.h"
#include "notebookrepository.h"
#include "noterepository.h"
#include "paths.h"

#include <QFile>
#include <QSignalBlocker>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace {

QString journalPath()
{
    return dataDirectory() + QLatin1String("/import-journal");
}

QVariant pragmaValue(QSqlDatabase db, const char *name)
{
    QSqlQuery query(db);
    if (query.exec(QStringLiteral("PRAGMA %1").arg(QLatin1String(name))) && query.next())
        return query.value(0);
    return {};
}

void setPragma(QSqlDatabase db, const char *name, const QVariant &value)
{
    if (!value.isValid())
        return;
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("PRAGMA %1 = %2").arg(QLatin1String(name)).arg(value.toLongLong())))
        qCWarning(lcIo) << "ImportBatch: cannot set" << name << query.lastError().text();
}

} // namespace

ImportBatch::ImportBatch(const IoRepositories &repositories, int notesPerTransaction)
    : m_repos(repositories)
    , m_notesPerTransaction(qMax(1, notesPerTransaction))
{
    recoverInterrupted(m_repos.attachments);
    // For the length of the batch: a page cache that holds a transaction's index pages (the
    // default spills them to the log mid-transaction); statement journals in memory (a
    // statement of many notes otherwise writes the index pages it changes to a temporary
    // file, more bytes than the notes); and no flush of the log at each commit. In WAL mode
    // NORMAL still survives a killed process; only a power cut can lose the last commits,
    // and never corrupts the library.
    const QSqlDatabase db = m_repos.database->handle();
    m_savedCacheSize = pragmaValue(db, "cache_size");
    m_savedSynchronous = pragmaValue(db, "synchronous");
    m_savedTempStore = pragmaValue(db, "temp_store");
    setPragma(db, "cache_size", -64 * 1024);
    if (m_savedSynchronous.toInt() > 1)
        setPragma(db, "synchronous", 1);
    setPragma(db, "temp_store", 2);
}

ImportBatch::~ImportBatch()
{
    if (m_inTransaction)
        rollback();
    const QSqlDatabase db = m_repos.database->handle();
    setPragma(db, "cache_size", m_savedCacheSize);
    setPragma(db, "synchronous", m_savedSynchronous);
    setPragma(db, "temp_store", m_savedTempStore);
}

void ImportBatch::recoverInterrupted(AttachmentRepository *attachments)
{
    QFile journal(journalPath());
    if (!journal.exists())
        return;
    if (journal.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> lines = journal.readAll().split('\n');
        for (const QByteArray &line : lines) {
            const QString id = QString::fromLatin1(line.trimmed());
            if (!AttachmentRepository::isValidId(id) || attachments->findById(id))
                continue;
            if (QFile::remove(attachmentFilePath(id)))
                qCInfo(lcIo) << "Removed attachment file left by an interrupted import:" << id;
        }
        journal.close();
    }
    journal.remove();
}

bool ImportBatch::ensureTransaction()
{
    if (m_inTransaction)
        return true;
    if (m_bulkIndexing)
        m_bulk = std::make_unique<BulkLoad>(m_repos.database->handle());
    if (!m_repos.database->handle().transaction()) {
        m_bulk.reset();
        qCWarning(lcIo) << "ImportBatch: cannot begin a transaction:" << m_repos.database->handle().lastError().text();
        return false;
    }
    m_inTransaction = true;
    if (m_bulk) {
        if (!m_bulk->begin()) {
            qCWarning(lcIo) << "ImportBatch: bulk indexing unavailable";
            rollback();
            return false;
        }
    }
    return true;
}

bool ImportBatch::journalFile(const QString &id)
{
    QFile journal(journalPath());
    if (!journal.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    const QByteArray line = id.toLatin1() + '\n';
    const bool ok = journal.write(line) == line.size();
    journal.close();
    if (ok)
        m_filesInTransaction.append(id);
    return ok;
}

bool ImportBatch::addNotebook(const Notebook &notebook, bool replace)
{
    if (!ensureTransaction())
        return false;
    const QSignalBlocker blocker(m_repos.notebooks);
    if (!(replace ? m_repos.notebooks->update(notebook) : m_repos.notebooks->insert(notebook)))
        return false;
    ++m_notebooksInTransaction;
    maybeCommit();
    return true;
}

bool ImportBatch::addNote(const Note &note, const QList<PendingAttachment> &attachments, bool replace)
{
    if (!ensureTransaction()) {
        ++m_failedNotes;
        return false;
    }
    if (!replace) {
        m_pendingNotes.append({note, attachments});
        ++m_notesInTransaction;
        // Written a statement's worth at a time, so that the caller gets back to its event
        // loop between statements however large the transaction.
        if (m_pendingNotes.size() >= PendingNotesPerWrite)
            writePendingNotes();
        maybeCommit();
        return true;
    }
    {
        const QSignalBlocker noteBlocker(m_repos.notes);
        if (!m_repos.notes->update(note)) {
            ++m_failedNotes;
            return false;
        }
    }
    ++m_notesInTransaction;
    storeAttachments(attachments);
    startFileWrites();
    maybeCommit();
    return true;
}

void ImportBatch::storeAttachments(const QList<PendingAttachment> &attachments)
{
    const QSignalBlocker attachmentBlocker(m_repos.attachments);
    for (const PendingAttachment &pending : attachments) {
        if (!journalFile(pending.record.id))
            continue;
        if (!m_repos.attachments->insert(pending.record))
            continue;
        m_queuedFiles.append({pending.record.id, pending.bytes});
        ++m_attachmentsInTransaction;
    }
}

// Files are written (and flushed to disk) beside the database work of the notes that
// follow; the journal already names them, and the commit waits for them.
void ImportBatch::startFileWrites()
{
    if (m_queuedFiles.isEmpty())
        return;
    m_fileWrites.push_back(std::async(std::launch::async, [files = std::move(m_queuedFiles), repository = m_repos.attachments] {
        QStringList failed;
        for (const QueuedFile &file : files) {
            if (!repository->saveFile(file.id, file.bytes))
                failed.append(file.id);
        }
        return failed;
    }));
    m_queuedFiles.clear();
}

// A row whose file could not be written goes again, inside the transaction.
void ImportBatch::finishFileWrites()
{
    startFileWrites();
    const QSignalBlocker attachmentBlocker(m_repos.attachments);
    for (std::future<QStringList> &writes : m_fileWrites) {
        for (const QString &id : writes.get()) {
            if (m_repos.attachments->deleteById(id))
                --m_attachmentsInTransaction;
        }
    }
    m_fileWrites.clear();
}

// Attachment rows need their note's row first, so they follow the notes.
void ImportBatch::writePendingNotes()
{
    if (m_pendingNotes.isEmpty())
        return;
    QList<Note> notes;
    notes.reserve(m_pendingNotes.size());
    for (const PendingNote &pending : std::as_const(m_pendingNotes))
        notes.append(pending.note);
    const QSignalBlocker noteBlocker(m_repos.notes);
    const int written = m_repos.notes->insertMany(notes);
    for (qsizetype i = 0; i < m_pendingNotes.size(); ++i) {
        const PendingNote &pending = m_pendingNotes.at(i);
        // After a failed statement, note by note, so that one bad note costs only itself.
        if (i >= written && !m_repos.notes->insert(pending.note)) {
            --m_notesInTransaction;
            ++m_failedNotes;
            continue;
        }
        storeAttachments(pending.attachments);
    }
    m_pendingNotes.clear();
    startFileWrites();
}

bool ImportBatch::addLooseFile(const QString &id, const QByteArray &bytes, bool *skipped)
{
    *skipped = false;
    const QString path = attachmentFilePath(id);
    if (path.isEmpty())
        return false;
    if (QFile::exists(path)) {
        *skipped = true;
        return true;
    }
    if (!ensureTransaction() || !journalFile(id))
        return false;
    const QSignalBlocker blocker(m_repos.attachments);
    if (!m_repos.attachments->saveFile(id, bytes))
        return false;
    ++m_looseFilesInTransaction;
    maybeCommit();
    return true;
}

bool ImportBatch::addAttachmentRow(const Attachment &attachment)
{
    if (!ensureTransaction())
        return false;
    writePendingNotes(); // the row needs its note's row
    const QSignalBlocker blocker(m_repos.attachments);
    if (!m_repos.attachments->insert(attachment))
        return false;
    ++m_attachmentsInTransaction;
    return true;
}

void ImportBatch::maybeCommit()
{
    if (m_notesInTransaction + m_notebooksInTransaction + m_looseFilesInTransaction >= m_notesPerTransaction)
        commit();
}

bool ImportBatch::finish()
{
    return !m_inTransaction || commit();
}

bool ImportBatch::commit()
{
    writePendingNotes();
    finishFileWrites();
    const auto indexing = [this](qint64 done, qint64 total) {
        if (m_indexingProgress)
            m_indexingProgress(int(done), int(total));
    };
    const bool indexed = !m_bulk || m_bulk->finish(indexing);
    if (!indexed || !m_repos.database->handle().commit()) {
        qCWarning(lcIo) << "ImportBatch: commit failed:" << m_repos.database->handle().lastError().text();
        rollback();
        return false;
    }
    m_inTransaction = false;
    m_bulk.reset();
    QFile::remove(journalPath());
    m_filesInTransaction.clear();
    m_committedNotes += m_notesInTransaction;
    m_committedAttachments += m_attachmentsInTransaction;
    m_committedNotebooks += m_notebooksInTransaction;
    m_committedFiles += m_looseFilesInTransaction;
    const bool notes = m_notesInTransaction > 0;
    const bool notebooks = m_notebooksInTransaction > 0;
    const bool attachments = m_attachmentsInTransaction > 0;
    m_notesInTransaction = m_attachmentsInTransaction = m_notebooksInTransaction = m_looseFilesInTransaction = 0;
    // Listeners hear once per transaction, not once per row.
    if (notebooks)
        Q_EMIT m_repos.notebooks->notebooksChanged();
    if (notes)
        Q_EMIT m_repos.notes->notesChanged();
    if (attachments)
        Q_EMIT m_repos.attachments->attachmentsChanged();
    return true;
}

void ImportBatch::rollback()
{
    m_pendingNotes.clear();
    m_queuedFiles.clear();
    for (std::future<QStringList> &writes : m_fileWrites)
        writes.wait(); // before their files are removed
    m_fileWrites.clear();
    m_repos.database->handle().rollback();
    m_bulk.reset();
    m_inTransaction = false;
    for (const QString &id : std::as_const(m_filesInTransaction))
        QFile::remove(attachmentFilePath(id));
    m_filesInTransaction.clear();
    QFile::remove(journalPath());
    m_failedNotes += m_notesInTransaction;
    m_notesInTransaction = m_attachmentsInTransaction = m_notebooksInTransaction = m_looseFilesInTransaction = 0;
}
