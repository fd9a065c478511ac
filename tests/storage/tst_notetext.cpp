#include "note.h"
#include "testsupport.h"

#include <QTest>

// The values lists and windows derive from a stored body.
class TestNoteText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void derivedValues_data();
    void derivedValues();
    void emptyBodyIsOneLineFeed();
};

void TestNoteText::initTestCase()
{
    OmbrelTest::initTestEnvironment();
}

void TestNoteText::derivedValues_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("plainText");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("preview");
    QTest::addColumn<bool>("isEmpty");

    const QString a130(130, QLatin1Char('a'));
    const QString b120(120, QLatin1Char('b'));
    const QString c121(121, QLatin1Char('c'));

    QTest::newRow("empty-note") << QStringLiteral(R"([{"insert":"\n"}])") << QStringLiteral("\n")
                                << QString() << QString() << true;
    QTest::newRow("title-only") << QStringLiteral(R"([{"insert":"Groceries\n"}])") << QStringLiteral("Groceries\n")
                                << QStringLiteral("Groceries") << QString() << false;
    QTest::newRow("title-no-line-feed") << QStringLiteral(R"([{"insert":"abc"}])") << QStringLiteral("abc")
                                        << QStringLiteral("abc") << QString() << false;
    QTest::newRow("title-and-lines") << QStringLiteral(R"([{"insert":"Title\nline one\nline two\n"}])")
                                     << QStringLiteral("Title\nline one\nline two\n") << QStringLiteral("Title")
                                     << QStringLiteral("line one line two") << false;
    QTest::newRow("title-trimmed") << QStringLiteral(R"([{"insert":"  Title \t\n  body  \n"}])")
                                   << QStringLiteral("  Title \t\n  body  \n") << QStringLiteral("Title")
                                   << QStringLiteral("body") << false;
    QTest::newRow("inner-blank-line") << QStringLiteral(R"([{"insert":"T\na\n\nb\n"}])")
                                      << QStringLiteral("T\na\n\nb\n") << QStringLiteral("T")
                                      << QStringLiteral("a  b") << false;
    QTest::newRow("runs-with-attributes")
        << QStringLiteral(R"([{"insert":"Hel"},{"insert":"lo","attributes":{"bold":true}},{"insert":"\nworld\n"}])")
        << QStringLiteral("Hello\nworld\n") << QStringLiteral("Hello") << QStringLiteral("world") << false;
    QTest::newRow("embed-only")
        << QStringLiteral(R"([{"insert":{"image":"ombrel-notes://attachment/x"}},{"insert":"\n"}])")
        << QStringLiteral("\n") << QString() << QString() << false;
    QTest::newRow("embed-between-text")
        << QStringLiteral(R"([{"insert":"A"},{"insert":{"image":"x"}},{"insert":"B\nC\n"}])")
        << QStringLiteral("AB\nC\n") << QStringLiteral("AB") << QStringLiteral("C") << false;
    QTest::newRow("blanks-only") << QStringLiteral(R"([{"insert":"   \n\t\n  "},{"insert":" \n"}])")
                                 << QStringLiteral("   \n\t\n   \n") << QString() << QString() << true;
    QTest::newRow("number-insert") << QStringLiteral(R"([{"insert":5},{"insert":"\n"}])") << QStringLiteral("\n")
                                   << QString() << QString() << true;
    QTest::newRow("op-without-insert") << QStringLiteral(R"([{"retain":3},{"insert":"x\n"}])")
                                       << QStringLiteral("x\n") << QStringLiteral("x") << QString() << false;
    QTest::newRow("array-of-non-objects") << QStringLiteral(R"([1,"a",null])") << QString() << QString()
                                          << QString() << true;
    QTest::newRow("empty-array") << QStringLiteral("[]") << QString() << QString() << QString() << true;
    QTest::newRow("preview-cut-at-120")
        << QStringLiteral(R"([{"insert":"T\n%1\n"}])").arg(a130) << QStringLiteral("T\n%1\n").arg(a130)
        << QStringLiteral("T") << QString(120, QLatin1Char('a')) + QStringLiteral("...") << false;
    QTest::newRow("preview-exactly-120")
        << QStringLiteral(R"([{"insert":"T\n%1\n"}])").arg(b120) << QStringLiteral("T\n%1\n").arg(b120)
        << QStringLiteral("T") << b120 << false;
    QTest::newRow("preview-121")
        << QStringLiteral(R"([{"insert":"T\n%1\n"}])").arg(c121) << QStringLiteral("T\n%1\n").arg(c121)
        << QStringLiteral("T") << QString(120, QLatin1Char('c')) + QStringLiteral("...") << false;
    QTest::newRow("non-json") << QStringLiteral("plain first line\nsecond line")
                              << QStringLiteral("plain first line\nsecond line") << QStringLiteral("plain first line")
                              << QStringLiteral("second line") << false;
    QTest::newRow("non-json-blank") << QStringLiteral("  \n\t ") << QStringLiteral("  \n\t ") << QString()
                                    << QString() << true;
    QTest::newRow("empty-body") << QString() << QString() << QString() << QString() << true;
    QTest::newRow("json-object-not-array") << QStringLiteral(R"({"insert":"x"})") << QStringLiteral(R"({"insert":"x"})")
                                           << QStringLiteral(R"({"insert":"x"})") << QString() << false;
    QTest::newRow("truncated-json") << QStringLiteral(R"([{"insert":"Hel)") << QStringLiteral(R"([{"insert":"Hel)")
                                    << QStringLiteral(R"([{"insert":"Hel)") << QString() << false;
}

void TestNoteText::derivedValues()
{
    QFETCH(QString, body);
    QFETCH(QString, plainText);
    QFETCH(QString, title);
    QFETCH(QString, preview);
    QFETCH(bool, isEmpty);

    Note note;
    note.body = body;
    QCOMPARE(note.plainText(), plainText);
    QCOMPARE(note.title(), title);
    QCOMPARE(note.preview(), preview);
    QCOMPARE(note.isEmpty(), isEmpty);

    QCOMPARE(NoteText::plainText(body), plainText);
    QCOMPARE(NoteText::title(plainText), title);
    QCOMPARE(NoteText::preview(plainText), preview);
    QCOMPARE(NoteText::isEmptyBody(body), isEmpty);
}

void TestNoteText::emptyBodyIsOneLineFeed()
{
    QCOMPARE(Note::emptyBody(), QStringLiteral("[{\"insert\":\"\\n\"}]"));
    Note note;
    note.body = Note::emptyBody();
    QVERIFY(note.isEmpty());
}


QTEST_GUILESS_MAIN(TestNoteText)
#include "tst_notetext.moc"
