#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

class QThread;
class NoteSearchWorker;

// Ranks full-text matches on a read-only connection of its own, on a thread of its own,
// so that a search over a large library never blocks the window. Only rowids travel
// back: the caller maps them to the rows it already holds. A newer search cancels an
// older one, interrupting it inside SQLite if it is running; only the newest search's
// results are ever reported.
class NoteSearcher : public QObject
{
    Q_OBJECT

public:
    explicit NoteSearcher(const QString &databasePath, QObject *parent = nullptr);
    ~NoteSearcher() override;

    // Starts a search and returns its generation; resultsReady carries it back.
    quint64 search(const QString &text);
    // Drops any running or queued search.
    void cancel();
    quint64 latestGeneration() const { return m_generation->load(); }

Q_SIGNALS:
    // ok is false when the query could not run at all (no index, no connection).
    void resultsReady(quint64 generation, const QString &text, const QList<qint64> &rowids, bool ok);

private:
    void onWorkerResults(quint64 generation, const QString &text, const QList<qint64> &rowids, bool ok);

    std::shared_ptr<std::atomic<quint64>> m_generation;
    QThread *m_thread = nullptr;
    NoteSearchWorker *m_worker = nullptr;
};
