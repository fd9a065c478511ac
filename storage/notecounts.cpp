#include "notecounts.h"

#include "storagelog.h"

#include <QSqlError>
#include <QSqlQuery>

namespace NoteCounts {

namespace {

// A note counts while deleted_at is NULL; notebook_id is never NULL in this schema, but a
// row from another tool must not make a NULL key.
const char *const objects[] = {
    "CREATE TABLE note_counts (notebook_id TEXT PRIMARY KEY, live INTEGER NOT NULL) WITHOUT ROWID",
    "CREATE TRIGGER note_counts_ai AFTER INSERT ON notes WHEN new.deleted_at IS NULL BEGIN "
    "INSERT INTO note_counts (notebook_id, live) VALUES (ifnull(new.notebook_id, ''), 1) "
    "ON CONFLICT(notebook_id) DO UPDATE SET live = live + 1; END",
    "CREATE TRIGGER note_counts_ad AFTER DELETE ON notes WHEN old.deleted_at IS NULL BEGIN "
    "UPDATE note_counts SET live = live - 1 WHERE notebook_id = ifnull(old.notebook_id, ''); END",
    "CREATE TRIGGER note_counts_au AFTER UPDATE OF notebook_id, deleted_at ON notes "
    "WHEN (old.deleted_at IS NULL) != (new.deleted_at IS NULL) "
    "OR ifnull(old.notebook_id, '') != ifnull(new.notebook_id, '') BEGIN "
    "UPDATE note_counts SET live = live - 1 WHERE old.deleted_at IS NULL AND notebook_id = ifnull(old.notebook_id, ''); "
    "INSERT INTO note_counts (notebook_id, live) SELECT ifnull(new.notebook_id, ''), 1 WHERE new.deleted_at IS NULL "
    "ON CONFLICT(notebook_id) DO UPDATE SET live = live + 1; END",
};

const char fill[] = "INSERT INTO note_counts (notebook_id, live) "
                    "SELECT ifnull(notebook_id, ''), COUNT(*) FROM notes WHERE deleted_at IS NULL GROUP BY 1";

bool complete(QSqlDatabase db)
{
    QSqlQuery query(db);
    return query.exec(QStringLiteral(
               "SELECT COUNT(*) FROM sqlite_master WHERE name IN "
               "('note_counts', 'note_counts_ai', 'note_counts_ad', 'note_counts_au')"))
        && query.next() && query.value(0).toInt() == 4;
}

} // namespace

bool ensure(QSqlDatabase db)
{
    if (complete(db))
        return true;
    // Some of it missing (an older build, a tool that dropped a trigger): the counts are
    // only right if table and triggers start together, so all of it is made again.
    if (!db.transaction())
        return false;
    QSqlQuery query(db);
    bool ok = query.exec(QStringLiteral("DROP TABLE IF EXISTS note_counts"));
    for (const char *name : {"note_counts_ai", "note_counts_ad", "note_counts_au"})
        ok = ok && query.exec(QStringLiteral("DROP TRIGGER IF EXISTS %1").arg(QLatin1String(name)));
    for (const char *sql : objects)
        ok = ok && query.exec(QLatin1String(sql));
    ok = ok && query.exec(QLatin1String(fill));
    if (!ok) {
        qCWarning(lcStorage) << "NoteCounts::ensure failed:" << query.lastError().text();
        query.finish();
        db.rollback();
        return false;
    }
    query.finish();
    if (!db.commit()) {
        qCWarning(lcStorage) << "NoteCounts::ensure failed:" << db.lastError().text();
        db.rollback();
        return false;
    }
    return true;
}

std::optional<QHash<QString, int>> read(QSqlDatabase db)
{
    if (!complete(db))
        return std::nullopt;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT notebook_id, live FROM note_counts WHERE live > 0")))
        return std::nullopt;
    QHash<QString, int> counts;
    while (query.next())
        counts.insert(query.value(0).toString(), query.value(1).toInt());
    return counts;
}

} // namespace NoteCounts
