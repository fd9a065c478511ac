#include "database.h"
#include "noterepository.h"
#include "storagefixture.h"

#include <QTest>

#include <memory>

using OmbrelTest::bodyOf;
using OmbrelTest::idsOf;
using OmbrelTest::makeNote;
using OmbrelTest::sorted;
using OmbrelTest::utc;

// Full-text search over note bodies.
class TestNoteSearch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void search_data();
    void search();
    void searchOfBlanksListsLiveNotesNewestFirst_data();
    void searchOfBlanksListsLiveNotesNewestFirst();
    void searchRanksMoreOccurrencesFirst();
    void searchFollowsEditsTrashAndRestore();

private:
    void insertAll(const QList<Note> &notes);

    std::unique_ptr<OmbrelTest::MigratedDatabase> m_store;
    std::unique_ptr<NoteRepository> m_notes;
};

void TestNoteSearch::initTestCase()
{
    OmbrelTest::initTestEnvironment();
}

void TestNoteSearch::init()
{
    m_store = std::make_unique<OmbrelTest::MigratedDatabase>();
    QVERIFY2(m_store->isReady(), qPrintable(m_store->failure()));
    m_notes = std::make_unique<NoteRepository>(&m_store->database);
}

void TestNoteSearch::cleanup()
{
    m_notes.reset();
    m_store.reset();
}

void TestNoteSearch::insertAll(const QList<Note> &notes)
{
    for (const Note &note : notes)
        QVERIFY2(m_notes->insert(note), qPrintable(note.id));
}

void TestNoteSearch::search_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected"); // compared sorted

    const QStringList meeting{QStringLiteral("meeting")};
    const QStringList grocery{QStringLiteral("grocery")};
    const QStringList email{QStringLiteral("email")};

    QTest::newRow("prefix-match") << QStringLiteral("meet") << meeting;
    QTest::newRow("whole-word") << QStringLiteral("zebra") << meeting;
    QTest::newRow("case-insensitive") << QStringLiteral("GROCERY") << grocery;
    QTest::newRow("two-words") << QStringLiteral("grocery apple") << grocery;
    QTest::newRow("words-in-any-note-order") << QStringLiteral("zebra meeting") << meeting;
    QTest::newRow("quoted-phrase") << QStringLiteral("\"project zebra\"") << meeting;
    QTest::newRow("no-match") << QStringLiteral("xylophone") << QStringList();
    QTest::newRow("one-word-missing") << QStringLiteral("grocery xylophone") << QStringList();
    QTest::newRow("only-in-trash") << QStringLiteral("trash") << QStringList();
    QTest::newRow("shared-word-trashed-excluded") << QStringLiteral("meeting") << meeting;
    QTest::newRow("unbalanced-quote") << QStringLiteral("\"meeting no") << meeting;
    QTest::newRow("lone-quote") << QStringLiteral("\"") << QStringList();
    QTest::newRow("hyphenated-word") << QStringLiteral("e-mail") << email;
    QTest::newRow("plus-signs") << QStringLiteral("c++") << email;
    QTest::newRow("trailing-blank") << QStringLiteral("zebra ") << meeting;
    QTest::newRow("leading-blanks") << QStringLiteral("  zebra") << meeting;
    QTest::newRow("lone-and") << QStringLiteral("AND") << QStringList();
    QTest::newRow("lone-or") << QStringLiteral("OR") << QStringList();
    // Taken literally, "not" is the prefix of "notes".
    QTest::newRow("lone-not") << QStringLiteral("NOT") << meeting;
    QTest::newRow("open-parenthesis") << QStringLiteral("(") << QStringList();
    QTest::newRow("sql-quote") << QStringLiteral("'; DROP TABLE notes; --") << QStringList();
}

void TestNoteSearch::search()
{
    QFETCH(QString, text);
    QFETCH(QStringList, expected);

    Note trashed = makeNote(QStringLiteral("trashed"), QStringLiteral("Meeting in trash zebra"), "2024-01-05T00:00:00.000Z");
    trashed.deletedAt = utc("2024-01-06T00:00:00.000Z");
    insertAll({makeNote(QStringLiteral("meeting"), QStringLiteral("Meeting notes for project zebra"),
                        "2024-01-04T00:00:00.000Z"),
               makeNote(QStringLiteral("grocery"), QStringLiteral("Grocery list: apples, bananas"),
                        "2024-01-03T00:00:00.000Z"),
               trashed,
               makeNote(QStringLiteral("email"), QStringLiteral("e-mail to Bob about c++ code"),
                        "2024-01-02T00:00:00.000Z")});

    QCOMPARE(sorted(idsOf(m_notes->search(text))), sorted(expected));
    QCOMPARE(m_notes->allNotes().size(), 3);
}

void TestNoteSearch::searchOfBlanksListsLiveNotesNewestFirst_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("spaces") << QStringLiteral("   ");
    QTest::newRow("tab-and-line-feed") << QStringLiteral("\t\n");
}

void TestNoteSearch::searchOfBlanksListsLiveNotesNewestFirst()
{
    QFETCH(QString, text);
    Note trashed = makeNote(QStringLiteral("trashed"), QStringLiteral("t"), "2024-01-09T00:00:00.000Z");
    trashed.deletedAt = utc("2024-01-10T00:00:00.000Z");
    insertAll({makeNote(QStringLiteral("old"), QStringLiteral("a"), "2024-01-01T00:00:00.000Z"),
               makeNote(QStringLiteral("new"), QStringLiteral("b"), "2024-01-03T00:00:00.000Z"), trashed,
               makeNote(QStringLiteral("mid"), QStringLiteral("c"), "2024-01-02T00:00:00.000Z")});

    QCOMPARE(idsOf(m_notes->search(text)), (QStringList{QStringLiteral("new"), QStringLiteral("mid"), QStringLiteral("old")}));
}

void TestNoteSearch::searchRanksMoreOccurrencesFirst()
{
    // The weaker match is inserted first and edited last, so neither table order
    // nor recency can produce the expected order.
    insertAll({makeNote(QStringLiteral("once"),
                        QStringLiteral("kiwi and a long list of other words here to pad the body out further"),
                        "2024-01-05T00:00:00.000Z"),
               makeNote(QStringLiteral("unrelated"), QStringLiteral("melon"), "2024-01-04T00:00:00.000Z"),
               makeNote(QStringLiteral("often"), QStringLiteral("kiwi kiwi kiwi kiwi"), "2024-01-01T00:00:00.000Z")});

    QCOMPARE(idsOf(m_notes->search(QStringLiteral("kiwi"))),
             (QStringList{QStringLiteral("often"), QStringLiteral("once")}));
    QCOMPARE(idsOf(m_notes->search(QStringLiteral("ki"))),
             (QStringList{QStringLiteral("often"), QStringLiteral("once")}));
}

void TestNoteSearch::searchFollowsEditsTrashAndRestore()
{
    Note note = makeNote(QStringLiteral("n"), QStringLiteral("aardvark"), "2024-01-01T00:00:00.000Z");
    QVERIFY(m_notes->insert(note));
    QCOMPARE(m_notes->search(QStringLiteral("aardvark")).size(), 1);

    note.body = bodyOf(QStringLiteral("pangolin"));
    QVERIFY(m_notes->update(note));
    QVERIFY(m_notes->search(QStringLiteral("aardvark")).isEmpty());
    QCOMPARE(idsOf(m_notes->search(QStringLiteral("pango"))), QStringList{QStringLiteral("n")});

    QVERIFY(m_notes->moveToTrash(QStringLiteral("n")));
    QVERIFY(m_notes->search(QStringLiteral("pangolin")).isEmpty());
    QVERIFY(m_notes->restore(QStringLiteral("n")));
    QCOMPARE(idsOf(m_notes->search(QStringLiteral("pangolin"))), QStringList{QStringLiteral("n")});
}

QTEST_GUILESS_MAIN(TestNoteSearch)
#include "tst_notesearch.moc"
