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

namespace {

QString journalPath()
{
    return dataDirectory() + QLatin1String("/import-journal");
}

} // namespace

ImportBatch::ImportBatch(const IoRepositories &repositories, int notesPerTransaction)
    : m_repos(repositories)
    , m_notesPerTransaction(qMax(1, notesPerTransaction))
{
    recoverInterrupted(m_repos.attachments);
}

ImportBatch::~ImportBatch()
{
    if (m_inTransaction)
        rollback();
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
    {
        const QSignalBlocker noteBlocker(m_repos.notes);
        const QSignalBlocker attachmentBlocker(m_repos.attachments);
        if (!(replace ? m_repos.notes->update(note) : m_repos.notes->insert(note))) {
            ++m_failedNotes;
            return false;
        }
        ++m_notesInTransaction;
        for (const PendingAttachment &pending : attachments) {
            if (!journalFile(pending.record.id))
                continue;
            if (!m_repos.attachments->insert(pending.record))
                continue;
            if (!m_repos.attachments->saveFile(pending.record.id, pending.bytes)) {
                m_repos.attachments->deleteById(pending.record.id);
                continue;
            }
            ++m_attachmentsInTransaction;
        }
    }
    maybeCommit();
    return true;
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
