#include "database.h"
#include "note.h"
#include "noterepository.h"
#include "notetextindex.h"
#include "paths.h"
#include "storagefixture.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTest>
#include <QThread>

#include <memory>

using OmbrelTest::idsOf;
using OmbrelTest::sorted;
using OmbrelTest::utc;

namespace {

// Set in a child process that fills the index of the library at this path slowly, so the
// parent can kill it part-way.
const char ChildEnv[] = "OMBREL_TEXT_INDEX_CHILD";

Note noteWithBody(const QString &id, const QString &body, const char *updatedAt = "2024-01-01T00:00:00.000Z")
{
    Note note;
    note.id = id;
    note.body = body;
    note.createdAt = note.updatedAt = note.modifiedAt = utc(updatedAt);
    return note;
}

QString line(const QString &text)
{
    return OmbrelTest::bodyOf(text);
}

// What a user sees in a note, as lower-case words.
QSet<QString> wordsOf(const QString &body)
{
    static const QRegularExpression separators(QStringLiteral("[^\\w]+"));
    const QStringList words = NoteText::plainText(body).toLower().split(separators, Qt::SkipEmptyParts);
    return QSet<QString>(words.begin(), words.end());
}

bool integrityOk(QSqlDatabase db)
{
    QSqlQuery query(db);
    return query.exec(QStringLiteral("INSERT INTO notes_text_fts(notes_text_fts) VALUES ('integrity-check')"));
}

// Writes a library of count notes as a build that predates the text index left it.
bool writeOldLibrary(Database *database, int count)
{
    QSqlDatabase db = database->handle();
    QSqlQuery query(db);
    for (const char *sql : {"DROP TRIGGER notes_text_ai", "DROP TRIGGER notes_text_ad", "DROP TRIGGER notes_text_au",
                            "DROP TABLE notes_text_fts", "DROP TABLE notes_text_state"}) {
        if (!query.exec(QLatin1String(sql)))
            return false;
    }
    NoteRepository notes(database);
    db.transaction();
    for (int i = 0; i < count; ++i) {
        Note note = noteWithBody(QStringLiteral("n%1").arg(i), line(QStringLiteral("Entry %1 word%2 %3")
                                                                        .arg(i)
                                                                        .arg(i % 7)
                                                                        .arg(i % 3 ? QStringLiteral("common") : QString())));
        if (i % 10 == 9)
            note.deletedAt = utc("2024-02-01T00:00:00.000Z");
        if (!notes.insert(note))
            return false;
    }
    return db.commit();
}

QStringList expectedForWord(const QList<Note> &live, const QString &word)
{
    QStringList ids;
    for (const Note &note : live) {
        if (wordsOf(note.body).contains(word))
            ids.append(note.id);
    }
    return sorted(ids);
}

int runChild(const QString &path)
{
    Database database;
    if (!database.open(path))
        return 2;
    // Publishes progress after each committed batch; the parent kills at any point.
    for (;;) {
        const double done = NoteTextIndex::buildStep(database.handle(), 7);
        if (done < 0)
            return 3;
        printf("batch\n");
        fflush(stdout);
        if (done >= 1)
            return 0;
        QThread::msleep(2);
    }
}

} // namespace

// The index of what notes say: only written text matches, and it stays in step with
// every write.
class TestNoteTextIndex : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void matchesOnlyWrittenText_data();
    void matchesOnlyWrittenText();
    void staysInStepWithEveryWritePath_data();
    void staysInStepWithEveryWritePath();
    void libraryFromOlderBuildIsFilled();
    void fillSurvivesAKill();
    void fillRunsFromTheEventLoop();

private:
    void insertAll(const QList<Note> &notes);
    void verifyInStep(const QStringList &words);

    std::unique_ptr<OmbrelTest::MigratedDatabase> m_store;
    std::unique_ptr<NoteRepository> m_notes;
};

void TestNoteTextIndex::initTestCase()
{
    OmbrelTest::initTestEnvironment();
}

void TestNoteTextIndex::init()
{
    m_store = std::make_unique<OmbrelTest::MigratedDatabase>();
    QVERIFY2(m_store->isReady(), qPrintable(m_store->failure()));
    m_notes = std::make_unique<NoteRepository>(&m_store->database);
    QVERIFY(m_notes->textIndexComplete());
}

void TestNoteTextIndex::cleanup()
{
    m_notes.reset();
    m_store.reset();
}

void TestNoteTextIndex::insertAll(const QList<Note> &notes)
{
    for (const Note &note : notes)
        QVERIFY2(m_notes->insert(note), qPrintable(note.id));
}

void TestNoteTextIndex::verifyInStep(const QStringList &words)
{
    const QList<Note> live = m_notes->allNotes();
    for (const QString &word : words) {
        QCOMPARE(sorted(m_notes->searchIds(word + QLatin1String(" "))), expectedForWord(live, word));
        QCOMPARE(sorted(idsOf(m_notes->search(word + QLatin1String(" ")))), expectedForWord(live, word));
    }
    QVERIFY(integrityOk(m_store->database.handle()));
}

void TestNoteTextIndex::matchesOnlyWrittenText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected"); // compared sorted

    const QStringList none;
    QTest::newRow("json-key-insert") << QStringLiteral("insert") << none;
    QTest::newRow("json-key-attributes") << QStringLiteral("attributes") << none;
    QTest::newRow("attribute-bold") << QStringLiteral("bold") << none;
    QTest::newRow("attribute-header") << QStringLiteral("header") << none;
    QTest::newRow("attribute-checked") << QStringLiteral("checked") << none;
    QTest::newRow("attribute-list-only-written") << QStringLiteral("list") << QStringList{"written-list"};
    QTest::newRow("attribute-true") << QStringLiteral("true") << none;
    QTest::newRow("link-target-host") << QStringLiteral("zanzibar") << none;
    QTest::newRow("link-target-scheme") << QStringLiteral("https") << none;
    QTest::newRow("attachment-id") << QStringLiteral("3f2a9c1e") << none;
    QTest::newRow("attachment-scheme") << QStringLiteral("ombrel") << none;
    QTest::newRow("embed-key") << QStringLiteral("attachment") << none;
    QTest::newRow("text-inside-link") << QStringLiteral("wiki") << QStringList{"link"};
    QTest::newRow("formatted-text") << QStringLiteral("strong") << QStringList{"bold"};
    QTest::newRow("word-split-by-formatting") << QStringLiteral("sunflower") << QStringList{"split"};
    QTest::newRow("prefix") << QStringLiteral("sho") << QStringList{"written-list"};
    QTest::newRow("prefix-on-last-word") << QStringLiteral("shopping satur") << QStringList{"written-list"};
    QTest::newRow("phrase") << QStringLiteral("\"ready steady\"") << QStringList{"quote"};
    QTest::newRow("phrase-wrong-order") << QStringLiteral("\"steady ready\"") << none;
    QTest::newRow("unbalanced-quote") << QStringLiteral("\"ready stea") << QStringList{"quote"};
    QTest::newRow("hyphenated") << QStringLiteral("e-mail") << QStringList{"mail"};
    QTest::newRow("non-ascii") << QStringLiteral("café") << QStringList{"mail"};
    QTest::newRow("non-ascii-without-accent") << QStringLiteral("cafe") << QStringList{"mail"};
    QTest::newRow("non-ascii-upper-case") << QStringLiteral("ZOË") << QStringList{"mail"};
    QTest::newRow("greek-prefix") << QStringLiteral("καλημ") << QStringList{"greek"};
    QTest::newRow("trashed-excluded") << QStringLiteral("milk") << QStringList{"checklist"};
    QTest::newRow("body-not-json") << QStringLiteral("legacy") << QStringList{"not-json"};
    QTest::newRow("sql-quote") << QStringLiteral("'; DROP TABLE notes; --") << none;
}

void TestNoteTextIndex::matchesOnlyWrittenText()
{
    QFETCH(QString, text);
    QFETCH(QStringList, expected);

    Note trashed = noteWithBody(QStringLiteral("trashed"), line(QStringLiteral("Oat milk")));
    trashed.deletedAt = utc("2024-01-06T00:00:00.000Z");
    insertAll({
        noteWithBody(QStringLiteral("plain"), line(QStringLiteral("Plain words here"))),
        noteWithBody(QStringLiteral("bold"),
                     QStringLiteral(R"([{"insert":"Strong","attributes":{"bold":true}},{"insert":" statement"},)"
                                    R"({"insert":"\n","attributes":{"header":1}}])")),
        noteWithBody(QStringLiteral("checklist"),
                     QStringLiteral(R"([{"insert":"Buy milk"},{"insert":"\n","attributes":{"list":"checked"}}])")),
        noteWithBody(QStringLiteral("written-list"), line(QStringLiteral("A shopping list for Saturday"))),
        noteWithBody(QStringLiteral("link"),
                     QStringLiteral(R"([{"insert":"our wiki","attributes":{"link":"https://zanzibar.example/"}},)"
                                    R"({"insert":"\n"}])")),
        noteWithBody(QStringLiteral("attachment"),
                     QStringLiteral(R"([{"insert":{"ombrel-notes-attachment":"ombrel-notes://attachment/)"
                                    R"(3f2a9c1e-aaaa-bbbb-cccc-000000000001"}},{"insert":"Receipt scan\n"}])")),
        noteWithBody(QStringLiteral("split"),
                     QStringLiteral(R"([{"insert":"sun"},{"insert":"flower","attributes":{"italic":true}},)"
                                    R"({"insert":"\n"}])")),
        noteWithBody(QStringLiteral("quote"), line(QStringLiteral("She said \"ready steady go\""))),
        noteWithBody(QStringLiteral("mail"), line(QStringLiteral("Send the e-mail to Zoë about the café"))),
        noteWithBody(QStringLiteral("greek"), line(QStringLiteral("Καλημέρα κόσμε"))),
        noteWithBody(QStringLiteral("not-json"), QStringLiteral("legacy text body {")),
        noteWithBody(QStringLiteral("odd-ops"), QStringLiteral(R"(["bare string", 42, {"insert":7}, {}])")),
        trashed,
    });

    QCOMPARE(sorted(m_notes->searchIds(text)), sorted(expected));
    QCOMPARE(sorted(idsOf(m_notes->search(text))), sorted(expected));
}

void TestNoteTextIndex::staysInStepWithEveryWritePath_data()
{
    QTest::addColumn<QString>("operation");
    for (const char *name : {"insert", "insert-trashed", "update-body", "update-metadata-only", "update-while-trashed",
                             "trash", "restore", "purge-live", "purge-trashed", "move", "mark-synced",
                             "mark-all-pending", "transaction-rolled-back", "raw-sql-writer", "rowid-reused"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestNoteTextIndex::staysInStepWithEveryWritePath()
{
    QFETCH(QString, operation);
    const QStringList words{QStringLiteral("alpha"), QStringLiteral("beta"), QStringLiteral("gamma"),
                            QStringLiteral("insert"), QStringLiteral("list")};
    Note a = noteWithBody(QStringLiteral("a"), line(QStringLiteral("alpha beta")));
    Note b = noteWithBody(QStringLiteral("b"), QStringLiteral(R"([{"insert":"beta"},{"insert":"\n","attributes":{"list":"bullet"}}])"));
    Note t = noteWithBody(QStringLiteral("t"), line(QStringLiteral("gamma alpha")));
    t.deletedAt = utc("2024-01-02T00:00:00.000Z");
    insertAll({a, b, t});
    verifyInStep(words);

    QSqlDatabase db = m_store->database.handle();
    if (operation == QLatin1String("insert")) {
        QVERIFY(m_notes->insert(noteWithBody(QStringLiteral("c"), line(QStringLiteral("gamma list")))));
    } else if (operation == QLatin1String("insert-trashed")) {
        Note c = noteWithBody(QStringLiteral("c"), line(QStringLiteral("gamma")));
        c.deletedAt = utc("2024-01-03T00:00:00.000Z");
        QVERIFY(m_notes->insert(c));
    } else if (operation == QLatin1String("update-body")) {
        a.body = line(QStringLiteral("gamma only"));
        QVERIFY(m_notes->update(a));
    } else if (operation == QLatin1String("update-metadata-only")) {
        a.version = 7;
        a.syncStatus = SyncStatus::Synced;
        QVERIFY(m_notes->update(a));
    } else if (operation == QLatin1String("update-while-trashed")) {
        t.body = line(QStringLiteral("beta"));
        QVERIFY(m_notes->update(t));
        QVERIFY(m_notes->restore(QStringLiteral("t")));
    } else if (operation == QLatin1String("trash")) {
        QVERIFY(m_notes->moveToTrash(QStringLiteral("a")));
    } else if (operation == QLatin1String("restore")) {
        QVERIFY(m_notes->restore(QStringLiteral("t")));
    } else if (operation == QLatin1String("purge-live")) {
        QVERIFY(m_notes->deletePermanently(QStringLiteral("a")));
    } else if (operation == QLatin1String("purge-trashed")) {
        QVERIFY(m_notes->deletePermanently(QStringLiteral("t")));
    } else if (operation == QLatin1String("move")) {
        QVERIFY(m_notes->moveToNotebook(QStringLiteral("a"), QStringLiteral("nb")));
    } else if (operation == QLatin1String("mark-synced")) {
        QVERIFY(m_notes->markSynced(QStringLiteral("a"), 4));
    } else if (operation == QLatin1String("mark-all-pending")) {
        QVERIFY(m_notes->markSynced(QStringLiteral("b"), 2));
        QCOMPARE(m_notes->markAllPending(), 1);
    } else if (operation == QLatin1String("transaction-rolled-back")) {
        QVERIFY(db.transaction());
        a.body = line(QStringLiteral("gamma"));
        QVERIFY(m_notes->update(a));
        QVERIFY(m_notes->moveToTrash(QStringLiteral("b")));
        QVERIFY(db.rollback());
    } else if (operation == QLatin1String("raw-sql-writer")) {
        // Another tool writing the file: the index follows without this code.
        QVERIFY(m_store->rawExec(QStringLiteral("UPDATE notes SET body = ? WHERE id = 'b'"),
                                 {line(QStringLiteral("alpha gamma"))}));
        QVERIFY(m_store->rawExec(QStringLiteral("DELETE FROM notes WHERE id = 'a'")));
    } else if (operation == QLatin1String("rowid-reused")) {
        QVERIFY(m_notes->deletePermanently(QStringLiteral("t")));
        QVERIFY(m_notes->insert(noteWithBody(QStringLiteral("c"), line(QStringLiteral("gamma")))));
    }
    verifyInStep(words);
}

void TestNoteTextIndex::libraryFromOlderBuildIsFilled()
{
    QVERIFY(writeOldLibrary(&m_store->database, 300));
    m_notes.reset();

    // The next start finds the index missing.
    QVERIFY(m_store->database.migrate());
    m_notes = std::make_unique<NoteRepository>(&m_store->database);
    QVERIFY(!m_notes->textIndexComplete());
    // Meanwhile search still answers, from the body index.
    QCOMPARE(m_notes->searchIds(QStringLiteral("word3")).size(), expectedForWord(m_notes->allNotes(), QStringLiteral("word3")).size());

    // Writes during the fill: below, inside and beyond the part already filled.
    QVERIFY(NoteTextIndex::buildStep(m_store->database.handle(), 100) > 0);
    Note early = *m_notes->findById(QStringLiteral("n5"));
    early.body = line(QStringLiteral("rewritten alpha"));
    QVERIFY(m_notes->update(early));
    QVERIFY(m_notes->moveToTrash(QStringLiteral("n250")));
    QVERIFY(m_notes->insert(noteWithBody(QStringLiteral("late"), line(QStringLiteral("alpha common")))));
    QVERIFY(m_notes->deletePermanently(QStringLiteral("n4")));

    QVERIFY(NoteTextIndex::buildAll(m_store->database.handle()));
    QVERIFY(m_notes->textIndexComplete());
    verifyInStep({QStringLiteral("common"), QStringLiteral("word3"), QStringLiteral("alpha"), QStringLiteral("entry")});
}

void TestNoteTextIndex::fillSurvivesAKill()
{
    QVERIFY(writeOldLibrary(&m_store->database, 2000));
    QVERIFY(m_store->database.migrate());
    m_notes.reset();
    const QString path = databasePath();

    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(ChildEnv), path);
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForStarted());
    QByteArray output;
    while (output.count("batch") < 20 && child.state() == QProcess::Running) {
        child.waitForReadyRead(5000);
        output += child.readAllStandardOutput();
    }
    QVERIFY2(child.state() == QProcess::Running, "the fill finished before it could be killed");
    child.kill();
    QVERIFY(child.waitForFinished(5000));

    m_notes = std::make_unique<NoteRepository>(&m_store->database);
    QVERIFY(!m_notes->textIndexComplete());
    QVERIFY(NoteTextIndex::buildAll(m_store->database.handle()));
    verifyInStep({QStringLiteral("common"), QStringLiteral("word6"), QStringLiteral("entry")});
}

void TestNoteTextIndex::fillRunsFromTheEventLoop()
{
    QVERIFY(writeOldLibrary(&m_store->database, 500));
    QVERIFY(m_store->database.migrate());
    NoteTextIndex index(m_store->database.connectionName());
    QVERIFY(!index.isComplete());
    QSignalSpy finished(&index, &NoteTextIndex::buildFinished);
    QSignalSpy progress(&index, &NoteTextIndex::buildProgress);
    index.startBuild();
    QVERIFY(finished.wait(20000));
    QCOMPARE(finished.first().first().toBool(), true);
    QVERIFY(index.isComplete());
    QCOMPARE(progress.last().first().toInt(), 100);
    m_notes = std::make_unique<NoteRepository>(&m_store->database);
    verifyInStep({QStringLiteral("common"), QStringLiteral("word1")});
}

int main(int argc, char **argv)
{
    const QByteArray childPath = qgetenv(ChildEnv);
    if (!childPath.isEmpty()) {
        QCoreApplication app(argc, argv);
        return runChild(QString::fromLocal8Bit(childPath));
    }
    QCoreApplication app(argc, argv);
    TestNoteTextIndex test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_notetextindex.moc"
