#pragma once

#include "taskextractor.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class NoteRepository;

// The tasks of every live note, kept per note and brought up to date from the note
// repository's change journal: after a write only the notes it touched are read and
// extracted again. Only notes that hold tasks have an entry.
class TaskCache
{
public:
    struct NoteTasks
    {
        QString noteId;
        qint64 updatedMs = 0; // the note's updatedAt, for cheap ordering
        QList<Task> tasks; // without their ids, which the list never shows
        QStringList lowered; // per task, the text lower-cased (filter and alphabetical order)
        // The note's title, read on first display: most notes never show one.
        mutable std::optional<QString> title;
    };

    explicit TaskCache(NoteRepository *notes);
    ~TaskCache();
    TaskCache(const TaskCache &) = delete;
    TaskCache &operator=(const TaskCache &) = delete;

    bool isLoaded() const { return m_loaded; }
    // Reads and extracts every live body.
    void reload();

    // The notes changed since the last reload or take; nullopt when the journal no longer
    // reaches back that far and everything must be reloaded.
    std::optional<QSet<QString>> takeChanges();
    // Reads the note again: its entry is replaced, or removed when it holds no tasks, is
    // trashed or is gone. Pointers to the old entry are invalid afterwards.
    void refreshNote(const QString &noteId);

    const NoteTasks *find(const QString &noteId) const;
    const QHash<QString, std::shared_ptr<const NoteTasks>> &entries() const { return m_entries; }
    qsizetype taskCount() const { return m_taskCount; }
    QString titleOf(const NoteTasks &entry) const;

private:
    // Runs on worker threads during a reload: touches nothing of the cache.
    static std::shared_ptr<NoteTasks> extract(const QString &noteId, const QDateTime &updatedAt, const QString &body);
    void store(const QString &noteId, const QDateTime &updatedAt, const QString &body);
    void forget(const QString &noteId);

    NoteRepository *m_notes = nullptr;
    QHash<QString, std::shared_ptr<const NoteTasks>> m_entries;
    qsizetype m_taskCount = 0;
    quint64 m_seenSerial = 0;
    bool m_loaded = false;
};
