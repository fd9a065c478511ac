#include "bulkload.h"

#include "deltaplaintext.h"
#include "notetextindex.h"
#include "storagelog.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

#include <limits>

namespace {

// The body index's triggers and the row each one looks at.
// Page cache while loading, in KiB. A large transaction that outgrows the default
// cache spills dirty pages and writes them again each time an insert touches a leaf of
// one of the notes indexes: with it, every index of a 100,000-note library stays in memory.
constexpr int LoadCacheKiB = 128 * 1024;

constexpr std::pair<const char *, const char *> BodyTriggers[] = {
    {"notes_ai", "new"},
    {"notes_au", "old"},
    {"notes_ad", "old"},
};

} // namespace

BulkLoad::BulkLoad(QSqlDatabase db)
    : m_db(std::move(db))
{
    QSqlQuery query(m_db);
    if (query.exec(QStringLiteral("PRAGMA cache_size")) && query.next()) {
        const qint64 current = query.value(0).toLongLong();
        const qint64 currentKiB = current < 0 ? -current : current * 4;
        query.finish();
        if (currentKiB < LoadCacheKiB) {
            m_cacheSize = QString::number(current);
            exec(QStringLiteral("PRAGMA cache_size = -%1").arg(LoadCacheKiB));
        }
    }
    // Each insert inside the transaction keeps a statement journal of the index pages it
    // touches; in a temporary file that is hundreds of thousands of small writes.
    if (query.exec(QStringLiteral("PRAGMA temp_store")) && query.next() && query.value(0).toInt() != 2) {
        m_tempStore = query.value(0).toString();
        query.finish();
        exec(QStringLiteral("PRAGMA temp_store = MEMORY"));
    }
}

BulkLoad::~BulkLoad()
{
    restorePragmas();
}

void BulkLoad::restorePragmas()
{
    if (!m_cacheSize.isEmpty())
        exec(QStringLiteral("PRAGMA cache_size = %1").arg(m_cacheSize));
    if (!m_tempStore.isEmpty())
        exec(QStringLiteral("PRAGMA temp_store = %1").arg(m_tempStore));
    m_cacheSize.clear();
    m_tempStore.clear();
}

bool BulkLoad::exec(const QString &sql)
{
    QSqlQuery query(m_db);
    if (query.exec(sql))
        return true;
    qCWarning(lcStorage) << "BulkLoad:" << query.lastError().text() << "in" << sql.left(100);
    return false;
}

bool BulkLoad::begin()
{
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT coalesce(max(rowid), 0) FROM notes")) || !query.next())
        return false;
    m_mark = query.value(0).toLongLong();

    // Each trigger gains a condition on the mark. One already conditional, or shaped
    // otherwise than expected, is left alone and keeps indexing row by row.
    static const QRegularExpression plainBegin(QStringLiteral("\\bON\\s+notes\\s+BEGIN\\b"),
                                               QRegularExpression::CaseInsensitiveOption);
    QList<std::pair<QString, QString>> conditional;
    for (const auto &[name, row] : BodyTriggers) {
        query.prepare(QStringLiteral("SELECT sql FROM sqlite_master WHERE type = 'trigger' AND name = ?"));
        query.addBindValue(QLatin1String(name));
        if (!query.exec() || !query.next())
            continue;
        const QString original = query.value(0).toString();
        QString changed = original;
        changed.replace(plainBegin, QStringLiteral("ON notes WHEN %1.rowid <= %2 BEGIN").arg(QLatin1String(row)).arg(m_mark));
        if (changed == original || original.count(plainBegin) != 1)
            continue;
        conditional.append({QLatin1String(name), changed});
        m_bodyTriggers.append({QLatin1String(name), original});
    }
    query.finish();
    for (const auto &[name, sql] : std::as_const(conditional)) {
        if (!exec(QStringLiteral("DROP TRIGGER %1").arg(name)) || !exec(sql))
            return false;
    }

    // The text index's triggers already skip rows past its mark; lowering the mark to ours
    // does the rest. A partial index is left to its own fill, which covers the new rows.
    if (query.exec(QStringLiteral("SELECT built_to FROM notes_text_state")) && query.next()
        && query.value(0).toLongLong() == std::numeric_limits<qint64>::max()) {
        const qint64 previous = query.value(0).toLongLong();
        query.finish();
        if (!exec(QStringLiteral("UPDATE notes_text_state SET built_to = %1").arg(m_mark)))
            return false;
        m_textIndexMark = previous;
        m_fastPlainText = registerDeltaPlainTextFunction(m_db);
    }
    return true;
}

bool BulkLoad::finish()
{
    if (m_mark < 0)
        return true;
    const QString above = QString::number(m_mark);
    if (!m_bodyTriggers.isEmpty()) {
        if (!exec(QStringLiteral("INSERT INTO notes_fts(rowid, body) SELECT rowid, body FROM notes WHERE rowid > %1")
                      .arg(above)))
            return false;
        for (const auto &[name, sql] : std::as_const(m_bodyTriggers)) {
            if (!exec(QStringLiteral("DROP TRIGGER %1").arg(name)) || !exec(sql))
                return false;
        }
    }
    if (m_textIndexMark >= 0) {
        // The SQL rule answers wherever the fast reader has no answer.
        const QString sqlRule = NoteTextIndex::plainTextSql(QStringLiteral("body"));
        const QString text = m_fastPlainText ? QStringLiteral("coalesce(ombrel_plain_text(body), %1)").arg(sqlRule) : sqlRule;
        if (!exec(QStringLiteral("INSERT INTO %1(rowid, text) SELECT rowid, %2 FROM notes "
                                 "WHERE rowid > %3 AND deleted_at IS NULL")
                      .arg(QLatin1String(NoteTextIndex::TableName), text, above))
            || !exec(QStringLiteral("UPDATE notes_text_state SET built_to = %1").arg(m_textIndexMark)))
            return false;
    }
    m_mark = -1;
    return true;
}
