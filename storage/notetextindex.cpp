#include "notetextindex.h"

#include "storagelog.h"

#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <limits>

namespace {

constexpr qint64 Complete = std::numeric_limits<qint64>::max();

// Time one fill transaction may take on the GUI thread before the next turn.
constexpr qint64 BatchBudgetMs = 12;
constexpr int FirstBatch = 100;
constexpr int MaxBatch = 5000;

const QString builtTo = QStringLiteral("(SELECT built_to FROM notes_text_state)");

bool exec(QSqlQuery &query, const QString &sql)
{
    if (query.exec(sql))
        return true;
    qCWarning(lcStorage) << "NoteTextIndex:" << query.lastError().text() << "in" << sql.left(80);
    return false;
}

QStringList creationStatements()
{
    const QString table = QLatin1String(NoteTextIndex::TableName);
    const QString oldText = NoteTextIndex::plainTextSql(QStringLiteral("old.body"));
    const QString newText = NoteTextIndex::plainTextSql(QStringLiteral("new.body"));
    return {
        QStringLiteral("CREATE VIRTUAL TABLE IF NOT EXISTS %1 USING fts5(text, content='')").arg(table),
        QStringLiteral("CREATE TABLE IF NOT EXISTS notes_text_state (built_to INTEGER NOT NULL)"),
        QStringLiteral("CREATE TRIGGER IF NOT EXISTS notes_text_ai AFTER INSERT ON notes "
                       "WHEN new.deleted_at IS NULL AND new.rowid <= %3 BEGIN "
                       "INSERT INTO %1(rowid, text) VALUES (new.rowid, %2); END")
            .arg(table, newText, builtTo),
        QStringLiteral("CREATE TRIGGER IF NOT EXISTS notes_text_ad AFTER DELETE ON notes "
                       "WHEN old.deleted_at IS NULL AND old.rowid <= %3 BEGIN "
                       "INSERT INTO %1(%1, rowid, text) VALUES ('delete', old.rowid, %2); END")
            .arg(table, oldText, builtTo),
        // Sync bookkeeping, moves and renames leave the text alone: only a new body or a
        // trip to or from the trash touches the index.
        QStringLiteral("CREATE TRIGGER IF NOT EXISTS notes_text_au AFTER UPDATE OF body, deleted_at ON notes "
                       "WHEN (old.body IS NOT new.body OR (old.deleted_at IS NULL) IS NOT (new.deleted_at IS NULL)) "
                       "AND old.rowid <= %4 BEGIN "
                       "INSERT INTO %1(%1, rowid, text) SELECT 'delete', old.rowid, %2 WHERE old.deleted_at IS NULL; "
                       "INSERT INTO %1(rowid, text) SELECT new.rowid, %3 WHERE new.deleted_at IS NULL; END")
            .arg(table, oldText, newText, builtTo),
    };
}

bool hasState(QSqlDatabase db, qint64 *mark)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT built_to FROM notes_text_state LIMIT 1")) || !query.next())
        return false;
    *mark = query.value(0).toLongLong();
    return true;
}

} // namespace

NoteTextIndex::NoteTextIndex(const QString &connectionName, QObject *parent)
    : QObject(parent)
    , m_connectionName(connectionName)
{
    m_batchTimer.setSingleShot(true);
    m_batchTimer.setInterval(0);
    connect(&m_batchTimer, &QTimer::timeout, this, &NoteTextIndex::buildBatch);
    m_complete = isComplete(QSqlDatabase::database(m_connectionName, false));
}

// The plain-text rule of a note: the concatenated string inserts of a Delta array, or
// the body itself when it is not a JSON array. Non-object ops and embeds add nothing;
// CASE keeps json_type from ever seeing a bare string, which it would reject.
QString NoteTextIndex::plainTextSql(const QString &body)
{
    return QStringLiteral(
               "(CASE WHEN json_valid(%1) AND json_type(%1) = 'array' THEN coalesce((SELECT group_concat("
               "CASE WHEN e.type = 'object' AND json_type(e.value, '$.insert') = 'text' "
               "THEN json_extract(e.value, '$.insert') END, '') FROM json_each(%1) AS e), '') "
               "ELSE %1 END)")
        .arg(body);
}

bool NoteTextIndex::ensure(QSqlDatabase db)
{
    qint64 mark = 0;
    {
        QSqlQuery query(db);
        if (query.exec(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name IN "
                                      "('notes_text_fts', 'notes_text_state', 'notes_text_ai', "
                                      "'notes_text_ad', 'notes_text_au')"))
            && query.next() && query.value(0).toInt() == 5 && hasState(db, &mark))
            return true;
    }

    if (!db.transaction())
        return false;
    bool ok = true;
    {
        QSqlQuery query(db);
        for (const QString &statement : creationStatements()) {
            if (!(ok = exec(query, statement)))
                break;
        }
        if (ok && !hasState(db, &mark)) {
            // Without a mark nothing says what the index holds: start it over. An empty
            // library is complete at once.
            ok = exec(query, QStringLiteral("INSERT INTO %1(%1) VALUES ('delete-all')")
                                 .arg(QLatin1String(TableName)))
                && exec(query, QStringLiteral("INSERT INTO notes_text_state (built_to) SELECT CASE WHEN "
                                              "EXISTS (SELECT 1 FROM notes) THEN 0 ELSE %1 END")
                                   .arg(Complete));
        }
    }
    if (!ok || !db.commit()) {
        db.rollback();
        return false;
    }
    return true;
}

bool NoteTextIndex::isComplete(QSqlDatabase db)
{
    qint64 mark = 0;
    return hasState(db, &mark) && mark == Complete;
}

double NoteTextIndex::buildStep(QSqlDatabase db, int maxNotes)
{
    qint64 mark = 0;
    if (!hasState(db, &mark))
        return -1;
    if (mark == Complete)
        return 1;
    if (!db.transaction())
        return -1;

    QSqlQuery query(db);
    query.setForwardOnly(true);
    qint64 last = Complete;
    qint64 maxRowid = 0;
    bool ok = query.prepare(QStringLiteral("SELECT rowid FROM notes WHERE rowid > ? ORDER BY rowid LIMIT 1 OFFSET ?"));
    query.addBindValue(mark);
    query.addBindValue(std::max(maxNotes, 1) - 1);
    ok = ok && query.exec();
    if (ok && query.next())
        last = query.value(0).toLongLong();
    ok = ok && exec(query, QStringLiteral("SELECT max(rowid) FROM notes"));
    if (ok && query.next())
        maxRowid = query.value(0).toLongLong();
    if (ok) {
        ok = query.prepare(QStringLiteral("INSERT INTO %1(rowid, text) SELECT rowid, %2 FROM notes "
                                          "WHERE rowid > ? AND rowid <= ? AND deleted_at IS NULL")
                               .arg(QLatin1String(TableName), plainTextSql(QStringLiteral("body"))));
        query.addBindValue(mark);
        query.addBindValue(last);
        ok = ok && query.exec();
    }
    if (ok) {
        ok = query.prepare(QStringLiteral("UPDATE notes_text_state SET built_to = ?"));
        query.addBindValue(last);
        ok = ok && query.exec();
    }
    if (!ok)
        qCWarning(lcStorage) << "NoteTextIndex: fill failed:" << query.lastError().text();
    query.finish();
    if (!ok || !db.commit()) {
        db.rollback();
        return -1;
    }
    if (last == Complete || maxRowid <= 0)
        return 1;
    return std::min(0.999, double(last) / double(maxRowid));
}

bool NoteTextIndex::buildAll(QSqlDatabase db)
{
    double done = 0;
    while (done >= 0 && done < 1)
        done = buildStep(db, MaxBatch);
    return done >= 1;
}

void NoteTextIndex::startBuild()
{
    if (m_complete) {
        Q_EMIT buildFinished(true);
        return;
    }
    m_batch = FirstBatch;
    m_batchTimer.start();
}

void NoteTextIndex::buildBatch()
{
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    QElapsedTimer clock;
    clock.start();
    const double done = buildStep(db, m_batch);
    if (done < 0) {
        qCWarning(lcStorage) << "NoteTextIndex: building the text index failed; search uses the body index";
        Q_EMIT buildFinished(false);
        return;
    }
    if (done >= 1) {
        m_complete = true;
        qCInfo(lcStorage) << "NoteTextIndex: text index complete";
        Q_EMIT buildProgress(100);
        Q_EMIT buildFinished(true);
        return;
    }
    // Aim each turn at the budget, so the window keeps painting between them.
    const qint64 spent = std::max<qint64>(1, clock.elapsed());
    m_batch = std::clamp(int(m_batch * BatchBudgetMs / spent), 10, MaxBatch);
    Q_EMIT buildProgress(int(done * 100));
    m_batchTimer.start();
}
