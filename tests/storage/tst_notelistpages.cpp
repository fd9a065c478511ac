#include "database.h"
#include "noterepository.h"
#include "storagefixture.h"

#include <QTest>

#include <algorithm>
#include <memory>

using OmbrelTest::idsOf;

// Pages of the note list, read one after another, must give exactly the full list:
// the window shows the first page at once and fills the rest later.
class TestNoteListPages : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }

    void init()
    {
        QCOMPARE(OmbrelTest::renew(m_store), QString());
        // 40 notes over two notebooks and none; runs of equal update times, which only the
        // id orders; two trashed.
        for (int i = 0; i < 40; ++i) {
            const QString notebookId = i % 3 == 0 ? QString() : (i % 3 == 1 ? QStringLiteral("nb1") : QStringLiteral("nb'2"));
            Note note = OmbrelTest::makeNote(QStringLiteral("n%1").arg((i * 7) % 40, 2, 10, QLatin1Char('0')),
                                             QStringLiteral("note %1").arg(i), "2024-05-01T09:30:00.000Z");
            note.notebookId = notebookId;
            note.updatedAt = note.updatedAt.addSecs(60 * (i / 4));
            QVERIFY(m_store->notes.insert(note));
        }
        QVERIFY(m_store->notes.moveToTrash(QStringLiteral("n07")));
        QVERIFY(m_store->notes.moveToTrash(QStringLiteral("n14")));
        // Written by another tool: no milliseconds. Text order still decides.
        QVERIFY(m_store->rawExec(QStringLiteral("UPDATE notes SET updated_at = '2024-05-01T09:30:30Z' WHERE id = 'n21'")));
    }

    void cleanup() { m_store.reset(); }

    void pagesJoinUpToTheFullList_data()
    {
        QTest::addColumn<QString>("notebookId"); // null: all notes
        QTest::addColumn<bool>("reversed");
        QTest::addColumn<int>("pageSize");
        QTest::newRow("all-newest-first-by-1") << QString() << false << 1;
        QTest::newRow("all-newest-first-by-3") << QString() << false << 3;
        QTest::newRow("all-oldest-first-by-4") << QString() << true << 4;
        QTest::newRow("all-one-page-exactly") << QString() << false << 38;
        QTest::newRow("all-page-larger-than-list") << QString() << false << 1000;
        QTest::newRow("notebook-by-2") << QStringLiteral("nb1") << false << 2;
        QTest::newRow("notebook-quote-in-id-oldest-first") << QStringLiteral("nb'2") << true << 5;
        QTest::newRow("no-notebook-by-3") << QStringLiteral("") << false << 3;
        QTest::newRow("unknown-notebook") << QStringLiteral("missing") << false << 3;
    }

    void pagesJoinUpToTheFullList()
    {
        QFETCH(QString, notebookId);
        QFETCH(bool, reversed);
        QFETCH(int, pageSize);
        QList<NoteListEntry> expected = notebookId.isNull() ? m_store->notes.listEntries()
                                                            : m_store->notes.listEntriesInNotebook(notebookId);
        if (reversed)
            std::reverse(expected.begin(), expected.end());

        QList<NoteListEntry> joined;
        NoteListCursor cursor;
        int pages = 0;
        for (;;) {
            const NoteListPage page = m_store->notes.listEntriesPage(notebookId, reversed, cursor, pageSize);
            QVERIFY(page.entries.size() <= pageSize);
            joined += page.entries;
            cursor = page.next;
            QVERIFY2(++pages <= 100, "the pages never end");
            if (page.complete)
                break;
        }
        QCOMPARE(idsOf(joined), idsOf(expected));
        for (qsizetype i = 0; i < joined.size(); ++i) {
            QCOMPARE(joined.at(i).rowid, expected.at(i).rowid);
            QCOMPARE(joined.at(i).updatedAt, expected.at(i).updatedAt);
        }
    }

    // The full list breaks ties by id too, or a page boundary inside a run of equal
    // times would skip or repeat notes.
    void fullListOrdersEqualTimesById()
    {
        const QList<NoteListEntry> all = m_store->notes.listEntries();
        for (qsizetype i = 1; i < all.size(); ++i) {
            if (all.at(i).updatedAt == all.at(i - 1).updatedAt)
                QVERIFY(all.at(i).id < all.at(i - 1).id);
        }
    }

    void pageAfterTheLastRowIsEmptyAndComplete()
    {
        const NoteListPage all = m_store->notes.listEntriesPage(QString(), false, {}, 1000);
        QVERIFY(all.complete);
        const NoteListPage after = m_store->notes.listEntriesPage(QString(), false, all.next, 10);
        QVERIFY(after.complete);
        QVERIFY(after.entries.isEmpty());
        QCOMPARE(after.next.id, all.next.id);
    }

    void nonPositiveLimitReadsNothing()
    {
        for (const int limit : {0, -5}) {
            const NoteListPage page = m_store->notes.listEntriesPage(QString(), false, {}, limit);
            QVERIFY(page.entries.isEmpty());
            QVERIFY(page.complete);
        }
    }

private:
    std::unique_ptr<OmbrelTest::NoteStore> m_store;
};

QTEST_GUILESS_MAIN(TestNoteListPages)
#include "tst_notelistpages.moc"
