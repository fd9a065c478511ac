#pragma once

#include <QObject>
#include <QSqlDatabase>
#include <QTimer>

// The full-text index over what notes say: their plain text (the strings they insert),
// live notes only. notes_fts indexes the stored JSON, so its words include keys and
// attribute values ("insert", "bold", "list", link targets) that the user never wrote.
//
// The index is contentless; triggers on notes keep it in step in the same transaction as
// every write, whoever makes it, deriving the text in SQL so that any SQLite connection
// can write notes. A library that predates the index is filled in rowid order in small
// transactions; notes_text_state.built_to is how far, so a killed build resumes. Triggers
// act only on rows at or below that mark, which keeps the index exactly "live rows up to
// built_to" while the fill runs.
class NoteTextIndex : public QObject
{
    Q_OBJECT

public:
    static constexpr const char *TableName = "notes_text_fts";

    explicit NoteTextIndex(const QString &connectionName, QObject *parent = nullptr);

    // Creates the table, its state and triggers when missing; false when that failed.
    static bool ensure(QSqlDatabase db);
    static bool isComplete(QSqlDatabase db);
    // Indexes up to maxNotes more notes in one transaction. Returns the fraction done
    // (1 when complete), or a negative value on failure.
    static double buildStep(QSqlDatabase db, int maxNotes);
    static bool buildAll(QSqlDatabase db);

    // The SQL expression of a note's plain text, over a body column or value.
    static QString plainTextSql(const QString &body);

    bool isComplete() const { return m_complete; }
    // Fills a missing or partial index from the event loop, a batch per turn.
    void startBuild();

Q_SIGNALS:
    void buildProgress(int percent);
    void buildFinished(bool ok);

private:
    void buildBatch();

    QString m_connectionName;
    QTimer m_batchTimer;
    int m_batch = 0;
    bool m_complete = false;
};
