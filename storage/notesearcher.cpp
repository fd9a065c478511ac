#include "notesearcher.h"

#include "noterepository.h"
#include "storagelog.h"

#include <QMutex>
#include <QMutexLocker>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QUuid>

#include <sqlite3.h>

// Lives on the search thread; owns the read-only connection there, since a Qt SQL
// connection may only be used on the thread that opened it.
class NoteSearchWorker : public QObject
{
    Q_OBJECT

public:
    NoteSearchWorker(const QString &path, std::shared_ptr<std::atomic<quint64>> generation)
        : m_path(path)
        , m_connectionName(QStringLiteral("search-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
        , m_generation(std::move(generation))
    {
    }

    // Any thread: stops the statement running on the connection, if any.
    void interrupt()
    {
        QMutexLocker locker(&m_handleMutex);
        if (m_handle)
            sqlite3_interrupt(m_handle);
    }

    void run(quint64 generation, const QString &text)
    {
        if (generation != m_generation->load())
            return; // a newer search is already queued
        if (!open()) {
            Q_EMIT finished(generation, text, {}, false);
            return;
        }
        QList<qint64> rowids;
        bool ok = false;
        for (const bool literal : {false, true}) {
            m_query->bindValue(0, NoteRepository::matchText(text, literal));
            if (!m_query->exec()) {
                if (generation != m_generation->load())
                    return; // interrupted by a newer search
                continue; // not valid query syntax: the literal form, or nothing
            }
            ok = true;
            int read = 0;
            while (m_query->next()) {
                rowids.append(m_query->value(0).toLongLong());
                if ((++read & 1023) == 0 && generation != m_generation->load())
                    break;
            }
            m_query->finish();
            break;
        }
        if (generation == m_generation->load())
            Q_EMIT finished(generation, text, rowids, ok);
    }

    void close()
    {
        {
            QMutexLocker locker(&m_handleMutex);
            m_handle = nullptr;
        }
        m_query.reset();
        if (QSqlDatabase::contains(m_connectionName)) {
            QSqlDatabase::database(m_connectionName, false).close();
            QSqlDatabase::removeDatabase(m_connectionName);
        }
    }

Q_SIGNALS:
    void finished(quint64 generation, const QString &text, const QList<qint64> &rowids, bool ok);

private:
    bool open()
    {
        if (m_query)
            return true;
        {
            QSqlDatabase db = QSqlDatabase::contains(m_connectionName)
                                  ? QSqlDatabase::database(m_connectionName, false)
                                  : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
            db.setDatabaseName(m_path);
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
            if (!db.open()) {
                qCWarning(lcStorage) << "NoteSearcher: cannot open" << m_path << db.lastError().text();
                return false;
            }
            const QVariant handle = db.driver()->handle();
            if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0) {
                QMutexLocker locker(&m_handleMutex);
                m_handle = *static_cast<sqlite3 *const *>(handle.constData());
            }
            auto query = std::make_unique<QSqlQuery>(db);
            query->setForwardOnly(true);
            if (!query->prepare(QString::fromLatin1(NoteRepository::rankedRowidsSql()))) {
                qCWarning(lcStorage) << "NoteSearcher: cannot prepare:" << query->lastError().text();
                return false;
            }
            m_query = std::move(query);
        }
        return true;
    }

    QString m_path;
    QString m_connectionName;
    std::shared_ptr<std::atomic<quint64>> m_generation;
    std::unique_ptr<QSqlQuery> m_query;
    QMutex m_handleMutex;
    sqlite3 *m_handle = nullptr;
};

NoteSearcher::NoteSearcher(const QString &databasePath, QObject *parent)
    : QObject(parent)
    , m_generation(std::make_shared<std::atomic<quint64>>(0))
    , m_thread(new QThread(this))
    , m_worker(new NoteSearchWorker(databasePath, m_generation))
{
    m_thread->setObjectName(QStringLiteral("note-search"));
    m_worker->moveToThread(m_thread);
    connect(m_worker, &NoteSearchWorker::finished, this, &NoteSearcher::onWorkerResults);
    m_thread->start();
}

NoteSearcher::~NoteSearcher()
{
    cancel();
    QMetaObject::invokeMethod(m_worker, [worker = m_worker] { worker->close(); }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    delete m_worker;
}

quint64 NoteSearcher::search(const QString &text)
{
    const quint64 generation = ++*m_generation;
    m_worker->interrupt();
    QMetaObject::invokeMethod(m_worker, [worker = m_worker, generation, text] { worker->run(generation, text); },
                              Qt::QueuedConnection);
    return generation;
}

void NoteSearcher::cancel()
{
    ++*m_generation;
    m_worker->interrupt();
}

void NoteSearcher::onWorkerResults(quint64 generation, const QString &text, const QList<qint64> &rowids, bool ok)
{
    // The worker checked before sending; a search started since then still wins.
    if (generation == m_generation->load())
        Q_EMIT resultsReady(generation, text, rowids, ok);
}

#include "notesearcher.moc"
