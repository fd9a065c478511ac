#include "taskcache.h"

#include "documentlog.h"
#include "note.h"
#include "noterepository.h"

#include <QElapsedTimer>
#include <QSemaphore>
#include <QThread>
#include <QThreadPool>

#include <vector>

namespace {

// Bodies handed to one worker; enough that the hand-over costs little beside them.
constexpr int BatchSize = 1000;

struct Body
{
    QString id;
    QDateTime updatedAt;
    QString body;
};

} // namespace

TaskCache::TaskCache(NoteRepository *notes)
    : m_notes(notes)
{
}

TaskCache::~TaskCache() = default;

// Extraction costs several times what reading the bodies does, so while this thread
// reads (the connection belongs to it), workers extract. At most a few batches wait at a
// time: a library's bodies never sit in memory all at once.
void TaskCache::reload()
{
    m_entries.clear();
    m_taskCount = 0;
    m_loaded = true;
    if (!m_notes)
        return;
    QElapsedTimer timer;
    timer.start();
    m_seenSerial = m_notes->changeSerial();

    // The extractor's patterns compile on first use; that happens here, not in a race.
    static const bool warmedUp = !extractTasks(QString(), QStringLiteral(
        "[{\"insert\":\"- [x] a\\n- [ ] b\\nTODO: c\\n\"}]"), QDateTime()).isEmpty();
    Q_UNUSED(warmedUp);

    QThreadPool pool;
    pool.setMaxThreadCount(qMax(1, QThread::idealThreadCount()));
    QSemaphore freeSlots(2 * pool.maxThreadCount());
    std::vector<std::unique_ptr<std::vector<std::shared_ptr<NoteTasks>>>> results;
    std::vector<Body> batch;
    batch.reserve(BatchSize);
    const auto dispatch = [&] {
        if (batch.empty())
            return;
        freeSlots.acquire();
        results.push_back(std::make_unique<std::vector<std::shared_ptr<NoteTasks>>>());
        auto *out = results.back().get();
        pool.start([bodies = std::move(batch), out, &freeSlots]() mutable {
            for (Body &body : bodies) {
                if (std::shared_ptr<NoteTasks> entry = extract(body.id, body.updatedAt, body.body))
                    out->push_back(std::move(entry));
                body.body.clear();
            }
            freeSlots.release();
        });
        batch = std::vector<Body>();
        batch.reserve(BatchSize);
    };
    m_notes->visitLiveBodies([&](const QString &id, const QDateTime &updatedAt, const QString &body) {
        batch.push_back({id, updatedAt, body});
        if (batch.size() >= BatchSize)
            dispatch();
    });
    dispatch();
    pool.waitForDone();

    for (const auto &out : results) {
        for (std::shared_ptr<NoteTasks> &entry : *out) {
            m_taskCount += entry->tasks.size();
            const QString id = entry->noteId;
            m_entries.insert(id, std::move(entry));
        }
    }
    qCDebug(lcDocument) << "Task cache loaded:" << m_taskCount << "tasks in" << m_entries.size() << "notes,"
                        << timer.elapsed() << "ms";
}

std::optional<QSet<QString>> TaskCache::takeChanges()
{
    if (!m_notes)
        return QSet<QString>();
    const NoteChanges changes = m_notes->changesSince(m_seenSerial);
    m_seenSerial = m_notes->changeSerial();
    if (!changes.complete)
        return std::nullopt;
    return changes.ids;
}

void TaskCache::refreshNote(const QString &noteId)
{
    const std::optional<Note> note = m_notes ? m_notes->findById(noteId) : std::nullopt;
    if (!note || note->deletedAt) {
        forget(noteId);
        return;
    }
    store(note->id, note->updatedAt, note->body);
}

std::shared_ptr<TaskCache::NoteTasks> TaskCache::extract(const QString &noteId, const QDateTime &updatedAt,
                                                         const QString &body)
{
    QList<Task> tasks = extractTasks(noteId, body, updatedAt);
    if (tasks.isEmpty())
        return nullptr;
    auto entry = std::make_shared<NoteTasks>();
    entry->noteId = noteId;
    entry->updatedMs = updatedAt.toMSecsSinceEpoch();
    entry->lowered.reserve(tasks.size());
    for (Task &task : tasks) {
        // Half a million ids would hold tens of megabytes nothing here reads.
        task.id = QString();
        QString lowered = task.text.toLower();
        // Most texts have a capital at most; equal texts share one buffer.
        entry->lowered.append(lowered == task.text ? task.text : lowered);
    }
    entry->tasks = std::move(tasks);
    return entry;
}

void TaskCache::store(const QString &noteId, const QDateTime &updatedAt, const QString &body)
{
    std::shared_ptr<NoteTasks> entry = extract(noteId, updatedAt, body);
    forget(noteId);
    if (!entry)
        return;
    m_taskCount += entry->tasks.size();
    m_entries.insert(noteId, std::move(entry));
}

void TaskCache::forget(const QString &noteId)
{
    const auto it = m_entries.constFind(noteId);
    if (it == m_entries.cend())
        return;
    m_taskCount -= (*it)->tasks.size();
    m_entries.erase(it);
}

const TaskCache::NoteTasks *TaskCache::find(const QString &noteId) const
{
    const auto it = m_entries.constFind(noteId);
    return it == m_entries.cend() ? nullptr : it->get();
}

QString TaskCache::titleOf(const NoteTasks &entry) const
{
    if (!entry.title) {
        const std::optional<QString> body = m_notes ? m_notes->bodyOf(entry.noteId) : std::nullopt;
        entry.title = body ? NoteText::title(NoteText::plainText(*body)) : QString();
    }
    return *entry.title;
}
