#include "taskcache.h"

#include "documentlog.h"
#include "note.h"
#include "noterepository.h"

#include <QElapsedTimer>

TaskCache::TaskCache(NoteRepository *notes)
    : m_notes(notes)
{
}

TaskCache::~TaskCache() = default;

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
    m_notes->visitLiveBodies([this](const QString &id, const QDateTime &updatedAt, const QString &body) {
        store(id, updatedAt, body);
    });
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

void TaskCache::store(const QString &noteId, const QDateTime &updatedAt, const QString &body)
{
    QList<Task> tasks = extractTasks(noteId, body, updatedAt);
    if (tasks.isEmpty()) {
        forget(noteId);
        return;
    }
    auto entry = std::make_shared<NoteTasks>();
    entry->noteId = noteId;
    entry->updatedMs = updatedAt.toMSecsSinceEpoch();
    entry->lowered.reserve(tasks.size());
    for (const Task &task : std::as_const(tasks)) {
        QString lowered = task.text.toLower();
        // Most texts have a capital at most; equal texts share one buffer.
        entry->lowered.append(lowered == task.text ? task.text : lowered);
    }
    entry->tasks = std::move(tasks);
    forget(noteId);
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
