#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QString>

#include <utility>

// Lets one transaction add many notes without indexing each row as it lands. begin()
// takes the highest rowid of notes as a mark; from then on the full-text triggers act only
// on rows at or below it, and finish() indexes the rows above it in one statement per
// index. Both run inside the caller's transaction: a rollback (or a kill) takes the
// trigger changes back with the rows, and a commit after finish() leaves every index
// matching the table. Rows past the mark may be updated during the load (the bulk fill
// reads their final state), but not deleted.
class BulkLoad
{
public:
    // Construct and destroy outside the transaction: they set and reset the connection's
    // settings for a large load, which SQLite does not change within one.
    explicit BulkLoad(QSqlDatabase db);
    ~BulkLoad();
    BulkLoad(const BulkLoad &) = delete;
    BulkLoad &operator=(const BulkLoad &) = delete;

    // Call inside a transaction; false means it must be rolled back.
    bool begin();
    // Call before the commit; false means the transaction must be rolled back.
    bool finish();

private:
    bool exec(const QString &sql);
    void restorePragmas();

    QSqlDatabase m_db;
    qint64 m_mark = -1;
    QList<std::pair<QString, QString>> m_bodyTriggers; // name, original statement
    qint64 m_textIndexMark = -1;
    bool m_fastPlainText = false;
    // The connection's own settings while the load's are in force.
    QString m_cacheSize;
    QString m_tempStore;                       // built_to before the load, when complete
};
