#include "database.h"
#include "noterepository.h"
#include "paths.h"
#include "preferencesrepository.h"
#include "samplenotes.h"
#include "testsupport.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QSqlQuery>
#include <QTest>
#include <QUuid>

#include <memory>

namespace {

// One start of the application: a database on the data directory's file and the
// two repositories the welcome notes need.
struct Session
{
    Session()
        : notes(&database)
        , preferences(&database)
    {
        opened = database.open(databasePath()) && database.migrate();
    }

    Database database;
    NoteRepository notes;
    PreferencesRepository preferences;
    bool opened = false;
};

void refuseNoteInserts(Database &database)
{
    QSqlQuery query(database.handle());
    QVERIFY(query.exec(QStringLiteral("CREATE TRIGGER refuse_notes BEFORE INSERT ON notes "
                                      "BEGIN SELECT RAISE(ABORT, 'refused'); END")));
}

QJsonArray parseArray(const QString &json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return {};
    return document.array();
}

QString lastInsert(const QJsonArray &ops)
{
    return ops.isEmpty() ? QString() : ops.last().toObject().value(QStringLiteral("insert")).toString();
}

const QStringList WelcomeTitlesNewestFirst = {
    QStringLiteral("Welcome to Ombrel Notes"),
    QStringLiteral("Getting Started"),
    QStringLiteral("Trip Packing List"),
};

} // namespace

class TestSampleNotes : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void welcomeNotesAreCreatedOnlyOnce();
    void welcomeNoteIsNewestAndSpacedByHundredMs();
    void welcomeNotesAreNewSampleRecords();
    void welcomeBodiesAreCompactDeltaDocuments_data();
    void welcomeBodiesAreCompactDeltaDocuments();
    void welcomeContentHasItsFormatting();
    void welcomeNotesAndSeenFlagAreAllOrNothing_data();
    void welcomeNotesAndSeenFlagAreAllOrNothing();
    void welcomeNotesSkippedWhenAlreadySeen();

    void sampleMarkdownToDelta_data();
    void sampleMarkdownToDelta();

    void sampleTableMatchesTitlesAndDays();
    void insertSampleNotesDatesWithinWindow();
    void insertSampleNotesTwiceStoresTwice();
    void insertSampleNotesCountsOnlyStoredNotes();

private:
    std::unique_ptr<OmbrelTest::ScopedDataDir> m_dataDir;
};

void TestSampleNotes::initTestCase()
{
    OmbrelTest::initTestEnvironment();
}

void TestSampleNotes::init()
{
    m_dataDir = std::make_unique<OmbrelTest::ScopedDataDir>();
    QVERIFY(m_dataDir->isValid());
}

void TestSampleNotes::cleanup()
{
    m_dataDir.reset();
}

void TestSampleNotes::welcomeNotesAreCreatedOnlyOnce()
{
    {
        Session first;
        QVERIFY(first.opened);
        QVERIFY(createWelcomeNotes(first.notes, first.preferences));
        QCOMPARE(first.notes.allNotes().size(), 3);
        QVERIFY(first.preferences.getBool(QStringLiteral("has_seen_welcome")));

        QVERIFY(createWelcomeNotes(first.notes, first.preferences));
        QCOMPARE(first.notes.allNotes().size(), 3);
    }
    Session second;
    QVERIFY(second.opened);
    QVERIFY(createWelcomeNotes(second.notes, second.preferences));
    QCOMPARE(second.notes.allNotes().size(), 3);
}

void TestSampleNotes::welcomeNoteIsNewestAndSpacedByHundredMs()
{
    Session session;
    QVERIFY(session.opened);
    QVERIFY(createWelcomeNotes(session.notes, session.preferences));

    const QList<Note> notes = session.notes.allNotes();
    QCOMPARE(notes.size(), 3);
    QStringList titles;
    for (const Note &note : notes)
        titles << note.title();
    QCOMPARE(titles, WelcomeTitlesNewestFirst);
    QCOMPARE(notes.at(1).updatedAt.msecsTo(notes.at(0).updatedAt), 100);
    QCOMPARE(notes.at(2).updatedAt.msecsTo(notes.at(1).updatedAt), 100);
}

void TestSampleNotes::welcomeNotesAreNewSampleRecords()
{
    Session session;
    QVERIFY(session.opened);
    const QDateTime before = QDateTime::currentDateTimeUtc();
    QVERIFY(createWelcomeNotes(session.notes, session.preferences));
    const QDateTime after = QDateTime::currentDateTimeUtc();

    QSet<QString> ids;
    for (const Note &note : session.notes.allNotes()) {
        QCOMPARE(note.id.size(), 36);
        QVERIFY(!QUuid::fromString(note.id).isNull());
        ids.insert(note.id);
        QVERIFY(note.notebookId.isEmpty());
        QCOMPARE(note.version, 1);
        QCOMPARE(note.syncStatus, SyncStatus::Pending);
        QVERIFY(note.isSample);
        QVERIFY(!note.deletedAt.has_value());
        QCOMPARE(note.createdAt, note.updatedAt);
        QCOMPARE(note.modifiedAt, note.updatedAt);
        QVERIFY(note.createdAt >= before);
        QVERIFY(note.createdAt <= after.addMSecs(200));
    }
    QCOMPARE(ids.size(), 3);
}

void TestSampleNotes::welcomeBodiesAreCompactDeltaDocuments_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("title");
    QTest::newRow("trip-packing-list") << 0 << QStringLiteral("Trip Packing List");
    QTest::newRow("getting-started") << 1 << QStringLiteral("Getting Started");
    QTest::newRow("welcome") << 2 << QStringLiteral("Welcome to Ombrel Notes");
}

void TestSampleNotes::welcomeBodiesAreCompactDeltaDocuments()
{
    QFETCH(int, index);
    QFETCH(QString, title);

    const QStringList bodies = welcomeNoteBodies();
    QCOMPARE(bodies.size(), 3);
    const QString body = bodies.at(index);
    const QJsonArray ops = parseArray(body);
    QVERIFY(!ops.isEmpty());
    QCOMPARE(body, QString::fromUtf8(QJsonDocument(ops).toJson(QJsonDocument::Compact)));
    QVERIFY(lastInsert(ops).endsWith(QLatin1Char('\n')));

    // Line ends stand alone so checklist lines can be ticked off in place.
    for (const QJsonValue &value : ops) {
        const QJsonValue insert = value.toObject().value(QStringLiteral("insert"));
        QVERIFY(insert.isString());
        const QString text = insert.toString();
        QVERIFY2(!text.contains(QLatin1Char('\n')) || text == QLatin1String("\n"), qPrintable(text));
    }

    QCOMPARE(ops.at(0).toObject().value(QStringLiteral("insert")).toString(), title);
    const QJsonObject firstLineEnd = ops.at(1).toObject();
    QCOMPARE(firstLineEnd.value(QStringLiteral("insert")).toString(), QStringLiteral("\n"));
    QCOMPARE(firstLineEnd.value(QStringLiteral("attributes")).toObject(),
             QJsonObject({{QStringLiteral("header"), 1}}));
    QCOMPARE(NoteText::title(NoteText::plainText(body)), title);
}

void TestSampleNotes::welcomeContentHasItsFormatting()
{
    const QStringList bodies = welcomeNoteBodies();
    QCOMPARE(bodies.size(), 3);

    auto count = [](const QString &body, const QString &key, const QJsonValue &value) {
        int found = 0;
        for (const QJsonValue &op : parseArray(body)) {
            if (op.toObject().value(QStringLiteral("attributes")).toObject().value(key) == value)
                ++found;
        }
        return found;
    };
    const QString list = QStringLiteral("list");
    const QString bold = QStringLiteral("bold");
    const QString italic = QStringLiteral("italic");

    QVERIFY(count(bodies.at(0), list, QStringLiteral("checked")) > 0);
    QVERIFY(count(bodies.at(0), list, QStringLiteral("unchecked")) > 0);
    QVERIFY(count(bodies.at(0), bold, true) > 1);
    QVERIFY(count(bodies.at(1), bold, true) > 0);
    QVERIFY(count(bodies.at(1), italic, true) > 0);
    QVERIFY(count(bodies.at(2), bold, true) > 0);
}

void TestSampleNotes::welcomeNotesAndSeenFlagAreAllOrNothing_data()
{
    QTest::addColumn<QString>("refusingTrigger");
    QTest::addColumn<int>("refusedInserts");
    QTest::newRow("note-insert-refused")
        << QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON notes BEGIN SELECT RAISE(ABORT, 'refused'); END")
        << 1;
    // The last write of all, as when the process dies just before it.
    QTest::newRow("seen-flag-refused")
        << QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON preferences BEGIN SELECT RAISE(ABORT, 'refused'); END")
        << 0;
}

void TestSampleNotes::welcomeNotesAndSeenFlagAreAllOrNothing()
{
    QFETCH(QString, refusingTrigger);
    QFETCH(int, refusedInserts);
    Session session;
    QVERIFY(session.opened);
    QSqlQuery query(session.database.handle());
    QVERIFY(query.exec(refusingTrigger));

    for (int i = 0; i < refusedInserts; ++i)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("NoteRepository::insert failed")));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("welcome notes could not be written")));
    QVERIFY(!createWelcomeNotes(session.notes, session.preferences));
    QVERIFY(!session.preferences.getBool(QStringLiteral("has_seen_welcome")));
    QVERIFY(session.notes.allNotes().isEmpty());

    // The next start writes them, once.
    QVERIFY(query.exec(QStringLiteral("DROP TRIGGER refuse")));
    QVERIFY(createWelcomeNotes(session.notes, session.preferences));
    QVERIFY(createWelcomeNotes(session.notes, session.preferences));
    QCOMPARE(session.notes.allNotes().size(), 3);
    QVERIFY(session.preferences.getBool(QStringLiteral("has_seen_welcome")));
}

void TestSampleNotes::welcomeNotesSkippedWhenAlreadySeen()
{
    Session session;
    QVERIFY(session.opened);
    QVERIFY(session.preferences.setBool(QStringLiteral("has_seen_welcome"), true));
    QVERIFY(createWelcomeNotes(session.notes, session.preferences));
    QVERIFY(session.notes.allNotes().isEmpty());
}

void TestSampleNotes::sampleMarkdownToDelta_data()
{
    QTest::addColumn<QString>("markdown");
    QTest::addColumn<QString>("expected");

    auto row = [](const char *name, const QString &markdown, const char *expected) {
        QTest::newRow(name) << markdown << QString::fromUtf8(expected);
    };

    row("empty-text-is-empty-note", QString(), R"([{"insert":"\n"}])");
    row("plain-line", QStringLiteral("Hello"), R"([{"insert":"Hello"},{"insert":"\n"}])");
    row("final-line-feed-dropped", QStringLiteral("Hello\n"), R"([{"insert":"Hello"},{"insert":"\n"}])");
    row("empty-line-is-plain-line-end", QStringLiteral("a\n\nb"),
        R"([{"insert":"a"},{"insert":"\n"},{"insert":"\n"},{"insert":"b"},{"insert":"\n"}])");
    row("only-line-feeds", QStringLiteral("\n\n"), R"([{"insert":"\n"},{"insert":"\n"}])");

    row("header-1", QStringLiteral("# Title"), R"([{"insert":"Title"},{"insert":"\n","attributes":{"header":1}}])");
    row("header-2", QStringLiteral("## Title"), R"([{"insert":"Title"},{"insert":"\n","attributes":{"header":2}}])");
    row("header-3", QStringLiteral("### Title"), R"([{"insert":"Title"},{"insert":"\n","attributes":{"header":3}}])");
    row("header-3-marker-only", QStringLiteral("### "), R"([{"insert":"\n","attributes":{"header":3}}])");
    row("header-4-is-plain", QStringLiteral("#### Deep"), R"([{"insert":"#### Deep"},{"insert":"\n"}])");
    row("hash-without-space-is-plain", QStringLiteral("#tag"), R"([{"insert":"#tag"},{"insert":"\n"}])");
    row("header-wins-over-list", QStringLiteral("# - not a list"),
        R"([{"insert":"- not a list"},{"insert":"\n","attributes":{"header":1}}])");
    row("header-with-bold", QStringLiteral("## **Big** news"),
        R"([{"insert":"Big","attributes":{"bold":true}},{"insert":" news"},{"insert":"\n","attributes":{"header":2}}])");

    row("unchecked", QStringLiteral("- [ ] Milk"), R"([{"insert":"Milk"},{"insert":"\n","attributes":{"list":"unchecked"}}])");
    row("checked-lower-x", QStringLiteral("- [x] Eggs"), R"([{"insert":"Eggs"},{"insert":"\n","attributes":{"list":"checked"}}])");
    row("checked-capital-x", QStringLiteral("- [X] Bread"), R"([{"insert":"Bread"},{"insert":"\n","attributes":{"list":"checked"}}])");
    row("checkbox-without-space-is-bullet", QStringLiteral("- [x]"),
        R"([{"insert":"[x]"},{"insert":"\n","attributes":{"list":"bullet"}}])");
    row("other-box-letter-is-bullet", QStringLiteral("- [y] Maybe"),
        R"([{"insert":"[y] Maybe"},{"insert":"\n","attributes":{"list":"bullet"}}])");

    row("bullet-dash", QStringLiteral("- Item"), R"([{"insert":"Item"},{"insert":"\n","attributes":{"list":"bullet"}}])");
    row("bullet-star", QStringLiteral("* Item"), R"([{"insert":"Item"},{"insert":"\n","attributes":{"list":"bullet"}}])");
    row("star-bullet-then-italic", QStringLiteral("* *soft* item"),
        R"([{"insert":"soft","attributes":{"italic":true}},{"insert":" item"},{"insert":"\n","attributes":{"list":"bullet"}}])");
    row("indented-dash-is-plain", QStringLiteral("  - item"), R"([{"insert":"  - item"},{"insert":"\n"}])");
    row("bullet-wins-over-ordered", QStringLiteral("- 1. item"),
        R"([{"insert":"1. item"},{"insert":"\n","attributes":{"list":"bullet"}}])");

    row("blockquote", QStringLiteral("> Quote"), R"([{"insert":"Quote"},{"insert":"\n","attributes":{"blockquote":true}}])");
    row("blockquote-needs-space", QStringLiteral(">Quote"), R"([{"insert":">Quote"},{"insert":"\n"}])");

    row("ordered", QStringLiteral("1. First"), R"([{"insert":"First"},{"insert":"\n","attributes":{"list":"ordered"}}])");
    row("ordered-leading-and-many-spaces", QStringLiteral("   12.    Word"),
        R"([{"insert":"Word"},{"insert":"\n","attributes":{"list":"ordered"}}])");
    row("ordered-tab-after-period", QStringLiteral("3.\tTabbed"),
        R"([{"insert":"Tabbed"},{"insert":"\n","attributes":{"list":"ordered"}}])");
    row("ordered-needs-space", QStringLiteral("1.First"), R"([{"insert":"1.First"},{"insert":"\n"}])");
    row("ordered-empty-item", QStringLiteral("1. "), R"([{"insert":"\n","attributes":{"list":"ordered"}}])");
    row("ordered-with-bold", QStringLiteral("2. **Bold** step"),
        R"([{"insert":"Bold","attributes":{"bold":true}},{"insert":" step"},{"insert":"\n","attributes":{"list":"ordered"}}])");

    row("bold-word-then-rest", QStringLiteral("**word** rest"),
        R"([{"insert":"word","attributes":{"bold":true}},{"insert":" rest"},{"insert":"\n"}])");
    row("unmatched-bold-runs-to-end", QStringLiteral("plain **bold to end"),
        R"([{"insert":"plain "},{"insert":"bold to end","attributes":{"bold":true}},{"insert":"\n"}])");
    row("italic", QStringLiteral("an *italic* word"),
        R"([{"insert":"an "},{"insert":"italic","attributes":{"italic":true}},{"insert":" word"},{"insert":"\n"}])");
    row("bold-and-italic", QStringLiteral("***both***"),
        R"([{"insert":"both","attributes":{"bold":true,"italic":true}},{"insert":"\n"}])");
    row("flags-reset-each-line", QStringLiteral("**open\nnext"),
        R"([{"insert":"open","attributes":{"bold":true}},{"insert":"\n"},{"insert":"next"},{"insert":"\n"}])");
    row("only-markers", QString(100001, QLatin1Char('*')), R"([{"insert":"\n"}])");
    row("non-latin-text", QStringLiteral("- Café ☕ 日本"),
        R"([{"insert":"Café ☕ 日本"},{"insert":"\n","attributes":{"list":"bullet"}}])");
    row("quotes-and-backslashes-escaped", QStringLiteral("say \"hi\" \\ {}"),
        R"([{"insert":"say \"hi\" \\ {}"},{"insert":"\n"}])");
}

void TestSampleNotes::sampleMarkdownToDelta()
{
    QFETCH(QString, markdown);
    QFETCH(QString, expected);

    const QString actual = ::sampleMarkdownToDelta(markdown);
    const QJsonArray actualOps = parseArray(actual);
    const QJsonArray expectedOps = parseArray(expected);
    QVERIFY2(!expectedOps.isEmpty(), "expected value is not a JSON array");
    QCOMPARE(actualOps, expectedOps);
    QCOMPARE(actual, QString::fromUtf8(QJsonDocument(actualOps).toJson(QJsonDocument::Compact)));
}

void TestSampleNotes::sampleTableMatchesTitlesAndDays()
{
    const QList<SampleNoteEntry> entries = sampleNoteEntries();
    const QList<QPair<int, QString>> table = {
        {0, QStringLiteral("Things to Remember")},
        {1, QStringLiteral("Weekly Team Sync - Project Atlas")},
        {2, QStringLiteral("Weekly Journal - Friday Check-In")},
        {8, QStringLiteral("Clipped Article - New Noise-Canceling Headphones Reviewed")},
        {14, QStringLiteral("Gadget Notes - Portable E-Ink Tablet")},
        {21, QStringLiteral("Dinner Recipe - Sheet Pan Lemon Chicken")},
        {28, QStringLiteral("Book Draft - Chapter 4: The Cost of Convenience")},
    };
    QCOMPARE(entries.size(), table.size());
    for (qsizetype i = 0; i < entries.size(); ++i) {
        QCOMPARE(entries.at(i).daysAgo, table.at(i).first);
        QVERIFY(entries.at(i).markdown.startsWith(QStringLiteral("## ") + table.at(i).second + QLatin1Char('\n')));
    }
}

void TestSampleNotes::insertSampleNotesDatesWithinWindow()
{
    Session session;
    QVERIFY(session.opened);
    const QDateTime before = QDateTime::currentDateTimeUtc();
    QCOMPARE(insertSampleNotes(session.notes), 7);
    const QDateTime after = QDateTime::currentDateTimeUtc();

    QHash<QString, SampleNoteEntry> byTitle;
    for (const SampleNoteEntry &entry : sampleNoteEntries())
        byTitle.insert(NoteText::title(NoteText::plainText(::sampleMarkdownToDelta(entry.markdown))), entry);

    const QList<Note> notes = session.notes.allNotes();
    QCOMPARE(notes.size(), 7);
    for (const Note &note : notes) {
        QVERIFY2(byTitle.contains(note.title()), qPrintable(note.title()));
        const SampleNoteEntry entry = byTitle.value(note.title());
        QCOMPARE(note.body, ::sampleMarkdownToDelta(entry.markdown));
        QVERIFY(note.isSample);
        QVERIFY(note.notebookId.isEmpty());
        QCOMPARE(note.version, 1);
        QCOMPARE(note.syncStatus, SyncStatus::Pending);
        QCOMPARE(note.updatedAt, note.createdAt);
        QCOMPARE(note.modifiedAt, note.createdAt);

        const QDateTime earliest = before.addDays(-entry.daysAgo).addSecs(-11 * 3600);
        const QDateTime latest = after.addDays(-entry.daysAgo);
        QVERIFY2(note.createdAt >= earliest && note.createdAt <= latest,
                 qPrintable(note.title() + QLatin1Char(' ') + note.createdAt.toString(Qt::ISODateWithMs)));
    }
}

void TestSampleNotes::insertSampleNotesTwiceStoresTwice()
{
    Session session;
    QVERIFY(session.opened);
    QVERIFY(createWelcomeNotes(session.notes, session.preferences));
    const QList<Note> welcome = session.notes.allNotes();

    QCOMPARE(insertSampleNotes(session.notes), 7);
    QCOMPARE(insertSampleNotes(session.notes), 7);
    QCOMPARE(session.notes.allNotes().size(), 3 + 14);

    for (const Note &note : welcome) {
        const std::optional<Note> stored = session.notes.findById(note.id);
        QVERIFY(stored.has_value());
        QCOMPARE(stored->body, note.body);
        QCOMPARE(stored->updatedAt, note.updatedAt);
    }
}

void TestSampleNotes::insertSampleNotesCountsOnlyStoredNotes()
{
    Session session;
    QVERIFY(session.opened);
    refuseNoteInserts(session.database);

    for (int i = 0; i < 7; ++i)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("NoteRepository::insert failed")));
    QCOMPARE(insertSampleNotes(session.notes), 0);
    QVERIFY(session.notes.allNotes().isEmpty());
}

QTEST_GUILESS_MAIN(TestSampleNotes)

#include "tst_samplenotes.moc"
