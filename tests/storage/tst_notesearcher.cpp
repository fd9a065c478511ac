#include "database.h"
#include "noterepository.h"
#include "notesearcher.h"
#include "paths.h"
#include "storagefixture.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using OmbrelTest::makeNote;

Q_DECLARE_METATYPE(QList<qint64>)

// Ranking on the search thread's own connection.
class TestNoteSearcher : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void ranksLikeTheRepository_data();
    void ranksLikeTheRepository();
    void newerSearchSupersedesOlder();
    void seesCommittedWrites();
    void missingDatabaseReportsFailure();

private:
    QList<QVariant> waitForResults(NoteSearcher &searcher, quint64 generation);

    std::unique_ptr<OmbrelTest::MigratedDatabase> m_store;
    std::unique_ptr<NoteRepository> m_notes;
};

void TestNoteSearcher::initTestCase()
{
    OmbrelTest::initTestEnvironment();
    qRegisterMetaType<QList<qint64>>();
}

void TestNoteSearcher::init()
{
    m_store = std::make_unique<OmbrelTest::MigratedDatabase>();
    QVERIFY2(m_store->isReady(), qPrintable(m_store->failure()));
    m_notes = std::make_unique<NoteRepository>(&m_store->database);
    const char *const texts[] = {"kiwi kiwi kiwi", "kiwi and melon", "melon", "e-mail about kiwis", "quote \"here"};
    int i = 0;
    for (const char *text : texts)
        QVERIFY(m_notes->insert(makeNote(QStringLiteral("n%1").arg(i++), QString::fromUtf8(text),
                                         "2024-01-01T00:00:00.000Z")));
}

void TestNoteSearcher::cleanup()
{
    m_notes.reset();
    m_store.reset();
}

QList<QVariant> TestNoteSearcher::waitForResults(NoteSearcher &searcher, quint64 generation)
{
    QSignalSpy spy(&searcher, &NoteSearcher::resultsReady);
    for (int i = 0; i < 100; ++i) {
        for (const QList<QVariant> &arguments : std::as_const(spy)) {
            if (arguments.at(0).toULongLong() == generation)
                return arguments;
        }
        spy.wait(100);
    }
    return {};
}

void TestNoteSearcher::ranksLikeTheRepository_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("ranked-word") << QStringLiteral("kiwi");
    QTest::newRow("prefix") << QStringLiteral("mel");
    QTest::newRow("hyphen-falls-back-to-literal") << QStringLiteral("e-mail");
    QTest::newRow("unbalanced-quote") << QStringLiteral("\"here");
    QTest::newRow("no-match") << QStringLiteral("xylophone");
    QTest::newRow("lone-operator") << QStringLiteral("AND");
}

void TestNoteSearcher::ranksLikeTheRepository()
{
    QFETCH(QString, text);
    NoteSearcher searcher(databasePath());
    const quint64 generation = searcher.search(text);
    const QList<QVariant> result = waitForResults(searcher, generation);
    QVERIFY(!result.isEmpty());
    QCOMPARE(result.at(1).toString(), text);
    QCOMPARE(result.at(2).value<QList<qint64>>(), m_notes->searchRowids(text));
    QVERIFY(result.at(3).toBool());
}

void TestNoteSearcher::newerSearchSupersedesOlder()
{
    NoteSearcher searcher(databasePath());
    QSignalSpy spy(&searcher, &NoteSearcher::resultsReady);
    searcher.search(QStringLiteral("kiwi"));
    searcher.search(QStringLiteral("melon"));
    const quint64 last = searcher.search(QStringLiteral("quote"));
    QVERIFY(!waitForResults(searcher, last).isEmpty());
    QTest::qWait(50);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first().at(1).toString(), QStringLiteral("quote"));

    searcher.search(QStringLiteral("kiwi"));
    searcher.cancel();
    QTest::qWait(200);
    QCOMPARE(spy.count(), 1);
}

void TestNoteSearcher::seesCommittedWrites()
{
    NoteSearcher searcher(databasePath());
    QCOMPARE(waitForResults(searcher, searcher.search(QStringLiteral("pangolin"))).at(2).value<QList<qint64>>(),
             QList<qint64>());
    QVERIFY(m_notes->insert(makeNote(QStringLiteral("new"), QStringLiteral("pangolin"), "2024-01-02T00:00:00.000Z")));
    const QList<qint64> found =
        waitForResults(searcher, searcher.search(QStringLiteral("pangolin"))).at(2).value<QList<qint64>>();
    QCOMPARE(found, m_notes->searchRowids(QStringLiteral("pangolin")));
    QCOMPARE(found.size(), 1);
}

void TestNoteSearcher::missingDatabaseReportsFailure()
{
    QTemporaryDir dir;
    NoteSearcher searcher(dir.filePath(QStringLiteral("absent.db")));
    const QList<QVariant> result = waitForResults(searcher, searcher.search(QStringLiteral("kiwi")));
    QVERIFY(!result.isEmpty());
    QVERIFY(result.at(2).value<QList<qint64>>().isEmpty());
    QVERIFY(!result.at(3).toBool());
}

QTEST_GUILESS_MAIN(TestNoteSearcher)
#include "tst_notesearcher.moc"
