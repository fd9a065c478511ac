#include "bulkload.h"
#include "noterepository.h"
#include "notetextindex.h"
#include "storagefixture.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

#include <memory>

using OmbrelTest::sorted;
using OmbrelTest::utc;

namespace {

Note noteSaying(const QString &id, const QString &text, bool trashed = false)
{
    Note note = OmbrelTest::makeNote(id, text, "2024-01-01T00:00:00.000Z");
    if (trashed)
        note.deletedAt = utc("2024-02-01T00:00:00.000Z");
    return note;
}

QStringList idsMatching(QSqlDatabase db, const char *table, const QString &word)
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT n.id FROM notes n JOIN %1 f ON n.rowid = f.rowid WHERE %1 MATCH ?")
                      .arg(QLatin1String(table)));
    query.addBindValue(word);
    QStringList ids;
    if (!query.exec())
        return {query.lastError().text()};
    while (query.next())
        ids.append(query.value(0).toString());
    return sorted(ids);
}

QString schemaOfTriggers(QSqlDatabase db)
{
    QSqlQuery query(db);
    query.exec(QStringLiteral("SELECT group_concat(sql, ';') FROM (SELECT sql FROM sqlite_master "
                              "WHERE type = 'trigger' ORDER BY name)"));
    return query.next() ? query.value(0).toString() : QString();
}

} // namespace

// Notes added under a bulk load end up in both full-text indexes exactly as if each had
// been indexed on its own, whatever the library held before and whatever happened to the
// rows during the load.
class TestBulkLoad : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }
    void init() { QCOMPARE(OmbrelTest::renew(m_store), QString()); }
    void cleanup() { m_store.reset(); }

    void indexesMatchAfterCommit_data();
    void indexesMatchAfterCommit();
    void rollbackLeavesSchemaAndIndexes();

private:
    QSqlDatabase db() const { return m_store->database.handle(); }
    // Checks each note's own word in both indexes against what the table says.
    void verifyIndexes(int notes);

    std::unique_ptr<OmbrelTest::NoteStore> m_store;
};

void TestBulkLoad::verifyIndexes(int notes)
{
    for (int i = 0; i < notes; ++i) {
        const QString id = QStringLiteral("n%1").arg(i);
        const std::optional<Note> note = m_store->notes.findById(id);
        QVERIFY(note);
        const QString word = note->plainText().section(QLatin1Char(' '), 0, 0).trimmed();
        QCOMPARE(idsMatching(db(), "notes_fts", word), QStringList{id});
        QCOMPARE(idsMatching(db(), NoteTextIndex::TableName, word), note->deletedAt ? QStringList() : QStringList{id});
    }
    // Keys of the stored JSON are in the body index only.
    QCOMPARE(idsMatching(db(), NoteTextIndex::TableName, QStringLiteral("insert")), QStringList());
    QSqlQuery query(db());
    QVERIFY2(query.exec(QStringLiteral("INSERT INTO notes_fts(notes_fts) VALUES ('integrity-check')")),
             qPrintable(query.lastError().text()));
    QVERIFY2(query.exec(QStringLiteral("INSERT INTO notes_text_fts(notes_text_fts) VALUES ('integrity-check')")),
             qPrintable(query.lastError().text()));
}

void TestBulkLoad::indexesMatchAfterCommit_data()
{
    QTest::addColumn<int>("existing");
    QTest::addColumn<bool>("partialTextIndex");
    QTest::addColumn<bool>("changeRowsDuringLoad");
    QTest::addColumn<int>("added");
    QTest::newRow("empty-library") << 0 << false << false << 30;
    QTest::newRow("library-with-notes") << 10 << false << false << 30;
    QTest::newRow("rows-changed-during-load") << 10 << false << true << 30;
    QTest::newRow("text-index-still-filling") << 10 << true << true << 30;
    QTest::newRow("more-rows-than-one-fill-statement") << 10 << false << true << 4321;
}

void TestBulkLoad::indexesMatchAfterCommit()
{
    QFETCH(int, existing);
    QFETCH(bool, partialTextIndex);
    QFETCH(bool, changeRowsDuringLoad);
    QFETCH(int, added);
    for (int i = 0; i < existing; ++i)
        QVERIFY(m_store->notes.insert(noteSaying(QStringLiteral("n%1").arg(i), QStringLiteral("old%1 words").arg(i), i % 4 == 3)));
    if (partialTextIndex)
        QVERIFY(m_store->rawExec(QStringLiteral("UPDATE notes_text_state SET built_to = 4")));
    const QString triggersBefore = schemaOfTriggers(db());

    BulkLoad load(db());
    QVERIFY(db().transaction());
    QVERIFY(load.begin());
    for (int i = existing; i < existing + added; ++i)
        QVERIFY(m_store->notes.insert(noteSaying(QStringLiteral("n%1").arg(i), QStringLiteral("new%1 words").arg(i), i % 5 == 4)));
    if (changeRowsDuringLoad) {
        Note old = *m_store->notes.findById(QStringLiteral("n1"));
        old.body = OmbrelTest::bodyOf(QStringLiteral("changedold words"));
        QVERIFY(m_store->notes.update(old));
        QVERIFY(m_store->notes.moveToTrash(QStringLiteral("n2")));
        QVERIFY(m_store->notes.restore(QStringLiteral("n3")));
        Note fresh = *m_store->notes.findById(QStringLiteral("n12"));
        fresh.body = OmbrelTest::bodyOf(QStringLiteral("changednew words"));
        QVERIFY(m_store->notes.update(fresh));
        QVERIFY(m_store->notes.moveToTrash(QStringLiteral("n13")));
        QVERIFY(m_store->notes.restore(QStringLiteral("n14")));
    }
    QList<std::pair<qint64, qint64>> steps;
    QVERIFY(load.finish([&](qint64 done, qint64 total) { steps.append({done, total}); }));
    QVERIFY(db().commit());
    if (!partialTextIndex) {
        QVERIFY(!steps.isEmpty());
        QCOMPARE(steps.last(), std::make_pair(qint64(added), qint64(added)));
    }

    QCOMPARE(schemaOfTriggers(db()), triggersBefore);
    if (partialTextIndex) {
        QVERIFY(!NoteTextIndex::isComplete(db()));
        QVERIFY(NoteTextIndex::buildAll(db()));
    }
    QVERIFY(NoteTextIndex::isComplete(db()));
    verifyIndexes(existing + added);
    // Writes after the load are indexed row by row again.
    QVERIFY(m_store->notes.insert(noteSaying(QStringLiteral("later"), QStringLiteral("laterword"))));
    QCOMPARE(idsMatching(db(), "notes_fts", QStringLiteral("laterword")), QStringList{QStringLiteral("later")});
    QCOMPARE(idsMatching(db(), NoteTextIndex::TableName, QStringLiteral("laterword")), QStringList{QStringLiteral("later")});
}

void TestBulkLoad::rollbackLeavesSchemaAndIndexes()
{
    QVERIFY(m_store->notes.insert(noteSaying(QStringLiteral("n0"), QStringLiteral("kept"))));
    const QString triggersBefore = schemaOfTriggers(db());
    {
        BulkLoad load(db());
        QVERIFY(db().transaction());
        QVERIFY(load.begin());
        QVERIFY(schemaOfTriggers(db()) != triggersBefore);
        QVERIFY(m_store->notes.insert(noteSaying(QStringLiteral("n1"), QStringLiteral("dropped"))));
        QVERIFY(db().rollback());
    }
    QCOMPARE(schemaOfTriggers(db()), triggersBefore);
    QVERIFY(NoteTextIndex::isComplete(db()));
    QVERIFY(m_store->notes.insert(noteSaying(QStringLiteral("n1"), QStringLiteral("again"))));
    verifyIndexes(2);
}

QTEST_GUILESS_MAIN(TestBulkLoad)
#include "tst_bulkload.moc"
