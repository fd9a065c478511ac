#pragma once

#include "attachmentrepository.h"
#include "iorepositories.h"
#include "note.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <future>
#include <memory>
#include <vector>

class BulkLoad;

// An attachment waiting to be stored with its note.
struct PendingAttachment
{
    Attachment record;
    QByteArray bytes;
};

// Stores imported records in transactions of whole notes with their attachment rows.
// Attachment files are written (atomically) before the commit and listed in a journal
// beside them, so a rolled-back or killed batch leaves no file without its row: the
// next import or start removes what the journal names and the database does not know.
class ImportBatch
{
public:
    explicit ImportBatch(const IoRepositories &repositories, int notesPerTransaction = 1000);
    ~ImportBatch();
    ImportBatch(const ImportBatch &) = delete;
    ImportBatch &operator=(const ImportBatch &) = delete;

    // Indexes each transaction's new notes in bulk at its commit instead of row by row:
    // worth it for large transactions.
    void setBulkIndexing(bool enabled) { m_bulkIndexing = enabled; }
    // Told how the bulk indexing at a commit advances: (notes indexed, notes to index).
    void setIndexingProgress(const std::function<void(int, int)> &progress) { m_indexingProgress = progress; }

    // Each returns whether the row was written; it counts once its transaction commits.
    bool addNotebook(const Notebook &notebook, bool replace = false);
    // Stores the note and, when that succeeds, each attachment row and file. New notes are
    // written several to a statement, and files beside that work, all before their
    // transaction commits: false only when no transaction could be opened or (replace)
    // the update failed.
    bool addNote(const Note &note, const QList<PendingAttachment> &attachments = {}, bool replace = false);
    // Writes an attachment file that has no row of its own (a restored backup's files),
    // unless a file of that name exists. False when it could not be written.
    bool addLooseFile(const QString &id, const QByteArray &bytes, bool *skipped);
    // Stores a row for an attachment file already in place (restored or existing).
    bool addAttachmentRow(const Attachment &attachment);
    bool finish();

    // Counted only once their transaction has committed.
    int notesStored() const { return m_committedNotes; }
    int attachmentsStored() const { return m_committedAttachments; }
    int notebooksStored() const { return m_committedNotebooks; }
    int filesStored() const { return m_committedFiles; }
    int failedNotes() const { return m_failedNotes; }

    // Removes attachment files that an interrupted batch left without rows.
    static void recoverInterrupted(AttachmentRepository *attachments);

    // Notes are written several to a statement; lookups of notes added since the last write
    // need them written first.
    void writePendingNotes();

private:
    bool ensureTransaction();
    bool commit();
    void maybeCommit();
    void rollback();
    bool journalFile(const QString &id);
    void storeAttachments(const QList<PendingAttachment> &attachments);
    void startFileWrites();
    void finishFileWrites();

    static constexpr qsizetype PendingNotesPerWrite = 64;

    struct PendingNote
    {
        Note note;
        QList<PendingAttachment> attachments;
    };

    IoRepositories m_repos;
    QVariant m_savedCacheSize;
    QVariant m_savedSynchronous;
    QVariant m_savedTempStore;
    int m_notesPerTransaction;
    bool m_bulkIndexing = false;
    std::unique_ptr<BulkLoad> m_bulk;
    std::function<void(int, int)> m_indexingProgress;
    bool m_inTransaction = false;
    QStringList m_filesInTransaction;
    QList<PendingNote> m_pendingNotes;
    struct QueuedFile
    {
        QString id;
        QByteArray bytes;
    };
    QList<QueuedFile> m_queuedFiles;
    std::vector<std::future<QStringList>> m_fileWrites;
    int m_notesInTransaction = 0;
    int m_attachmentsInTransaction = 0;
    int m_notebooksInTransaction = 0;
    int m_looseFilesInTransaction = 0;
    int m_committedNotes = 0;
    int m_committedAttachments = 0;
    int m_committedNotebooks = 0;
    int m_committedFiles = 0;
    int m_failedNotes = 0;
};
