#include "bulkload.h"

#include "deltaplaintext.h"
#include "notetextindex.h"
#include "storagelog.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <iterator>
#include <limits>

namespace {

// Page cache while loading, in KiB. A large transaction that outgrows the default
// cache spills dirty pages and writes them again each time an insert touches a leaf of
// one of the notes indexes: with it, every index of a 100,000-note library stays in memory.
constexpr int LoadCacheKiB = 128 * 1024;

// Rows indexed per statement of the bulk fill: a second or so of work each.
constexpr qint64 FillSlice = 5000;

// Pending index data an index holds in memory during the fill before it writes a segment.
// At the default of 1 MB a slice would leave dozens of small segments to merge.
constexpr qint64 FillHashBytes = 64 * 1024 * 1024;
constexpr qint64 DefaultHashBytes = 1024 * 1024;

constexpr const char *TextInsertTrigger = "notes_text_ai";

// The body index's triggers and the row each one looks at.
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

QString BulkLoad::triggerSql(const char *name)
{
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("SELECT sql FROM sqlite_master WHERE type = 'trigger' AND name = ?"));
    query.addBindValue(QLatin1String(name));
    return query.exec() && query.next() ? query.value(0).toString() : QString();
}

bool BulkLoad::replaceTrigger(const char *name, const QString &original, const QString &replacement)
{
    if (!exec(QStringLiteral("DROP TRIGGER %1").arg(QLatin1String(name))))
        return false;
    m_triggers.append({QLatin1String(name), original});
    return replacement.isEmpty() || exec(replacement);
}

bool BulkLoad::begin()
{
    {
        QSqlQuery query(m_db);
        if (!query.exec(QStringLiteral("SELECT coalesce(max(rowid), 0) FROM notes")) || !query.next())
            return false;
        m_mark = query.value(0).toLongLong();
    }

    // Every new row lies past the mark (rows are not deleted during a load), so the insert
    // triggers go for the duration: even one that does nothing costs each insert a
    // savepoint in the index. Update and delete triggers keep acting on the rows below the
    // mark. All or nothing: an index half in bulk would be corrupted by the other half.
    static const QRegularExpression plainBegin(QStringLiteral("\\bON\\s+notes\\s+BEGIN\\b"),
                                               QRegularExpression::CaseInsensitiveOption);
    QList<std::pair<const char *, QString>> body;
    for (const auto &[name, row] : BodyTriggers) {
        const QString original = triggerSql(name);
        if (original.count(plainBegin) != 1)
            break;
        body.append({name, original});
    }
    if (body.size() == int(std::size(BodyTriggers))) {
        for (int i = 0; i < body.size(); ++i) {
            const auto &[name, original] = body.at(i);
            QString conditional;
            if (i > 0) {
                conditional = original;
                conditional.replace(plainBegin, QStringLiteral("ON notes WHEN %1.rowid <= %2 BEGIN")
                                                    .arg(QLatin1String(BodyTriggers[i].second))
                                                    .arg(m_mark));
            }
            if (!replaceTrigger(name, original, conditional))
                return false;
        }
        m_bodyIndex = true;
    }

    // The text index's triggers already skip rows past its mark; lowering the mark to ours
    // does the rest. A partial index is left to its own fill, which covers the new rows.
    QSqlQuery query(m_db);
    if (query.exec(QStringLiteral("SELECT built_to FROM notes_text_state")) && query.next()
        && query.value(0).toLongLong() == std::numeric_limits<qint64>::max()) {
        const qint64 previous = query.value(0).toLongLong();
        query.finish();
        if (!exec(QStringLiteral("UPDATE notes_text_state SET built_to = %1").arg(m_mark)))
            return false;
        m_textIndexMark = previous;
        m_fastPlainText = registerDeltaPlainTextFunction(m_db);
        const QString insertTrigger = triggerSql(TextInsertTrigger);
        if (!insertTrigger.isEmpty() && !replaceTrigger(TextInsertTrigger, insertTrigger, QString()))
            return false;
    }
    return true;
}

bool BulkLoad::finish(const Progress &progress)
{
    if (m_mark < 0)
        return true;
    qint64 last = m_mark;
    {
        QSqlQuery query(m_db);
        if (!query.exec(QStringLiteral("SELECT coalesce(max(rowid), 0) FROM notes")) || !query.next())
            return false;
        last = query.value(0).toLongLong();
    }
    const bool body = m_bodyIndex;
    const bool text = m_textIndexMark >= 0;
    // The SQL rule answers wherever the fast reader has no answer.
    const QString sqlRule = NoteTextIndex::plainTextSql(QStringLiteral("body"));
    const QString plainText = m_fastPlainText ? QStringLiteral("coalesce(ombrel_plain_text(body), %1)").arg(sqlRule) : sqlRule;
    QList<std::pair<QString, qint64>> hashSizes; // index, its own setting
    const auto setHashSize = [&](const QString &index, qint64 bytes) {
        return exec(QStringLiteral("INSERT INTO %1(%1, rank) VALUES ('hashsize', %2)").arg(index).arg(bytes));
    };
    for (const QString &index : {body ? QStringLiteral("notes_fts") : QString(),
                                 text ? QLatin1String(NoteTextIndex::TableName) : QString()}) {
        if (index.isEmpty())
            continue;
        QSqlQuery query(m_db);
        const qint64 own = query.exec(QStringLiteral("SELECT v FROM %1_config WHERE k = 'hashsize'").arg(index))
                && query.next()
            ? query.value(0).toLongLong()
            : DefaultHashBytes;
        query.finish();
        if (!setHashSize(index, FillHashBytes))
            return false;
        hashSizes.append({index, own});
    }
    // In slices, so that a caller on the GUI thread can keep its window painting.
    for (qint64 from = m_mark; (body || text) && from < last; from += FillSlice) {
        const qint64 to = std::min(last, from + FillSlice);
        if (body
            && !exec(QStringLiteral("INSERT INTO notes_fts(rowid, body) SELECT rowid, body FROM notes "
                                    "WHERE rowid > %1 AND rowid <= %2")
                         .arg(from)
                         .arg(to)))
            return false;
        if (text
            && !exec(QStringLiteral("INSERT INTO %1(rowid, text) SELECT rowid, %2 FROM notes "
                                    "WHERE rowid > %3 AND rowid <= %4 AND deleted_at IS NULL")
                         .arg(QLatin1String(NoteTextIndex::TableName), plainText)
                         .arg(from)
                         .arg(to)))
            return false;
        if (progress)
            progress(to - m_mark, last - m_mark);
    }
    for (const auto &[index, bytes] : std::as_const(hashSizes)) {
        if (!setHashSize(index, bytes))
            return false;
    }
    for (const auto &[name, sql] : std::as_const(m_triggers)) {
        if (!exec(QStringLiteral("DROP TRIGGER IF EXISTS %1").arg(name)) || !exec(sql))
            return false;
    }
    if (text && !exec(QStringLiteral("UPDATE notes_text_state SET built_to = %1").arg(m_textIndexMark)))
        return false;
    m_mark = -1;
    return true;
}
