#include "database.h"
#include "noterepository.h"
#include "storagefixture.h"

#include <QSqlQuery>
#include <QTest>

using OmbrelTest::bodyOf;
using OmbrelTest::idsOf;

namespace {

Note makeNote(const QString &id, const QString &text, const QString &notebookId, qint64 minutesAgo)
{
    Note note;
    note.id = id;
    note.notebookId = notebookId;
    note.body = bodyOf(text);
    note.createdAt = QDateTime::currentDateTimeUtc().addSecs(-60 * minutesAgo);
    note.updatedAt = note.modifiedAt = note.createdAt;
    return note;
}

} // namespace

// The body-free queries of the note list must agree with the full-row queries.
class TestNoteListQueries : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }

    void init()
    {
        QCOMPARE(OmbrelTest::renew(m_store), QString());
        QVERIFY(m_store->notes.insert(makeNote(QStringLiteral("a"), QStringLiteral("apple pie"), QString(), 50)));
        QVERIFY(m_store->notes.insert(makeNote(QStringLiteral("b"), QStringLiteral("banana apple"), QStringLiteral("nb1"), 40)));
        QVERIFY(m_store->notes.insert(makeNote(QStringLiteral("c"), QStringLiteral("cherry"), QStringLiteral("nb1"), 30)));
        QVERIFY(m_store->notes.insert(makeNote(QStringLiteral("d"), QStringLiteral("apple apple apple"), QString(), 20)));
        QVERIFY(m_store->notes.moveToTrash(QStringLiteral("c")));
    }

    void cleanup() { m_store.reset(); }

    void entriesMatchFullRowQueries()
    {
        QCOMPARE(idsOf(m_store->notes.listEntries()), idsOf(m_store->notes.allNotes()));
        QCOMPARE(idsOf(m_store->notes.listEntriesInNotebook(QStringLiteral("nb1"))),
                 idsOf(m_store->notes.notesInNotebook(QStringLiteral("nb1"))));
        QCOMPARE(idsOf(m_store->notes.listEntriesInNotebook(QString())), idsOf(m_store->notes.notesInNotebook(QString())));
        for (const QString &text : {QStringLiteral("apple"), QStringLiteral("app"), QStringLiteral("  "),
                                    QStringLiteral("e-mail"), QStringLiteral("\"unbalanced"), QStringLiteral("zzz")})
            QCOMPARE(m_store->notes.searchIds(text), idsOf(m_store->notes.search(text)));
    }

    void entryCarriesListColumns()
    {
        Note shared = makeNote(QStringLiteral("e"), QStringLiteral("x"), QStringLiteral("nb2"), 1);
        shared.isShared = true;
        shared.ownerId = QStringLiteral("owner");
        shared.version = 7;
        shared.syncStatus = SyncStatus::Conflict;
        QVERIFY(m_store->notes.insert(shared));
        const auto entry = m_store->notes.listEntry(QStringLiteral("e"));
        QVERIFY(entry);
        QCOMPARE(entry->notebookId, QStringLiteral("nb2"));
        QCOMPARE(entry->version, 7);
        QCOMPARE(entry->syncStatus, SyncStatus::Conflict);
        QVERIFY(entry->isShared);
        QCOMPARE(entry->ownerId, QStringLiteral("owner"));
        QCOMPARE(entry->updatedAt, shared.updatedAt.toUTC());
        QVERIFY(!entry->isTrashed);
        QVERIFY(m_store->notes.listEntry(QStringLiteral("c"))->isTrashed);
        QVERIFY(!m_store->notes.listEntry(QStringLiteral("missing")));
        QCOMPARE(m_store->notes.bodyOf(QStringLiteral("e")), std::optional<QString>(shared.body));
        QVERIFY(!m_store->notes.bodyOf(QStringLiteral("missing")));
    }

    void journalNamesTheNotesEachChangeTouched()
    {
        const quint64 start = m_store->notes.changeSerial();
        QVERIFY(m_store->notes.changesSince(start).complete);
        QVERIFY(m_store->notes.changesSince(start).ids.isEmpty());

        Note note = *m_store->notes.findById(QStringLiteral("a"));
        note.body = QStringLiteral("[{\"insert\":\"changed\\n\"}]");
        QVERIFY(m_store->notes.update(note));
        QVERIFY(m_store->notes.moveToNotebook(QStringLiteral("b"), QStringLiteral("nb2")));
        const quint64 middle = m_store->notes.changeSerial();
        QVERIFY(m_store->notes.restore(QStringLiteral("c")));
        QVERIFY(m_store->notes.markSynced(QStringLiteral("d"), 3));
        QVERIFY(m_store->notes.deletePermanently(QStringLiteral("a")));

        const NoteChanges all = m_store->notes.changesSince(start);
        QVERIFY(all.complete);
        QCOMPARE(all.ids, (QSet<QString>{"a", "b", "c", "d"}));
        QCOMPARE(m_store->notes.changesSince(middle).ids, (QSet<QString>{"a", "c", "d"}));
        QVERIFY(m_store->notes.changesSince(m_store->notes.changeSerial()).ids.isEmpty());
    }

    void failedWritesAreNotJournalled()
    {
        const quint64 start = m_store->notes.changeSerial();
        QVERIFY(!m_store->notes.insert(makeNote(QStringLiteral("a"), QStringLiteral("duplicate id"), QString(), 1)));
        QCOMPARE(m_store->notes.changeSerial(), start);
    }

    void wholesaleChangesAndOverflowAskForAFullReload()
    {
        const quint64 beforeBulk = m_store->notes.changeSerial();
        QVERIFY(m_store->notes.markSynced(QStringLiteral("a"), 2));
        QVERIFY(m_store->notes.markAllPending() > 0);
        QVERIFY(!m_store->notes.changesSince(beforeBulk).complete);
        QVERIFY(m_store->notes.changesSince(m_store->notes.changeSerial()).complete);

        const quint64 beforeFlood = m_store->notes.changeSerial();
        Note note = *m_store->notes.findById(QStringLiteral("b"));
        // One transaction only to keep the test fast; the journal sees 5,000 updates.
        QVERIFY(m_store->database.handle().transaction());
        for (int i = 0; i < 5000; ++i) {
            note.version = i;
            QVERIFY(m_store->notes.update(note));
        }
        QVERIFY(m_store->database.handle().commit());
        QVERIFY(!m_store->notes.changesSince(beforeFlood).complete);
        const NoteChanges recent = m_store->notes.changesSince(m_store->notes.changeSerial() - 10);
        QVERIFY(recent.complete);
        QCOMPARE(recent.ids, QSet<QString>{QStringLiteral("b")});
    }

    void listQueriesUseCoveringIndexes()
    {
        QSqlQuery query(m_store->database.handle());
        for (const char *sql : {"SELECT id, notebook_id, updated_at, version, sync_status, is_shared, owner_id, deleted_at "
                                "FROM notes WHERE deleted_at IS NULL ORDER BY updated_at DESC",
                                "SELECT id, notebook_id, updated_at, version, sync_status, is_shared, owner_id, deleted_at "
                                "FROM notes WHERE notebook_id='x' AND deleted_at IS NULL ORDER BY updated_at DESC"}) {
            QVERIFY(query.exec(QStringLiteral("EXPLAIN QUERY PLAN ") + QLatin1String(sql)));
            QString plan;
            while (query.next())
                plan += query.value(3).toString() + QLatin1Char(' ');
            QVERIFY2(plan.contains(QStringLiteral("COVERING INDEX")) && !plan.contains(QStringLiteral("TEMP B-TREE")),
                     qPrintable(plan));
        }
    }

private:
    std::unique_ptr<OmbrelTest::NoteStore> m_store;
};

QTEST_GUILESS_MAIN(TestNoteListQueries)
#include "tst_notelistqueries.moc"
