#include "deltaplaintext.h"
#include "notetextindex.h"
#include "testsupport.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

// The fast plain-text reader must agree with the SQL rule wherever it answers, and hand
// everything doubtful back to it.
class TestDeltaPlainText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void agreesWithTheSqlRule_data();
    void agreesWithTheSqlRule();

private:
    QString sqlValue(const QString &expression, const QString &body);

    QString m_connection = QStringLiteral("deltaplaintext");
};

void TestDeltaPlainText::initTestCase()
{
    OmbrelTest::initTestEnvironment();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(QStringLiteral(":memory:"));
    QVERIFY(db.open());
    QVERIFY(registerDeltaPlainTextFunction(db));
    QSqlQuery query(db);
    QVERIFY(query.exec(QStringLiteral("CREATE TABLE t (body TEXT)")));
}

void TestDeltaPlainText::cleanupTestCase()
{
    QSqlDatabase::database(m_connection).close();
    QSqlDatabase::removeDatabase(m_connection);
}

QString TestDeltaPlainText::sqlValue(const QString &expression, const QString &body)
{
    QSqlQuery query(QSqlDatabase::database(m_connection));
    query.exec(QStringLiteral("DELETE FROM t"));
    query.prepare(QStringLiteral("INSERT INTO t (body) VALUES (?)"));
    query.addBindValue(body);
    if (!query.exec() || !query.exec(QStringLiteral("SELECT %1 FROM t").arg(expression)) || !query.next())
        return QStringLiteral("<error: %1>").arg(query.lastError().text());
    return query.value(0).isNull() ? QStringLiteral("<null>") : query.value(0).toString();
}

void TestDeltaPlainText::agreesWithTheSqlRule_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<bool>("fast"); // whether the fast reader must answer
    const auto row = [](const char *name, const char *body, bool fast) {
        QTest::newRow(name) << QString::fromUtf8(body) << fast;
    };
    row("plain-line", R"([{"insert":"Hello\n"}])", true);
    row("attributes", R"([{"insert":"Title"},{"attributes":{"header":1},"insert":"\n"},{"insert":"x","attributes":{"bold":true,"link":"http://a/b?c=[1]"}}])", true);
    row("escapes", R"([{"insert":"q\"uote\\ back\/slash\ttab\r\n\b\f"}])", true);
    row("unicode-escapes", R"([{"insert":"caf\u00e9 \u20AC \u0041"}])", true);
    row("surrogate-pair", R"([{"insert":"x\ud83d\ude00y"}])", true);
    row("raw-utf8", "[{\"insert\":\"Größe ✈ 😀\"}]", true);
    row("embed-between-texts", R"([{"insert":"a"},{"insert":{"image":"x.png"}},{"insert":"b\n"}])", true);
    row("non-object-elements", R"(["str", 1, null, true, false, [1, {"insert":"no"}], {"insert":"yes"}])", true);
    row("numbers", R"([{"insert":"a","attributes":{"indent":-1.5e3,"z":0,"y":2E+2,"w":0.25}}])", true);
    row("empty-array", R"([])", true);
    row("empty-object", R"([{}])", true);
    row("no-inserts", R"([{"retain":5},{"delete":2}])", true);
    row("insert-not-a-string", R"([{"insert":5},{"insert":null},{"insert":["x"]}])", true);
    row("whitespace-everywhere", " \n[ {\"insert\" : \"a\" } ,\r\n\t{\"insert\":\"b\"} ]  ", true);
    row("insert-key-later", R"([{"attributes":{"insert":"nested"},"insert":"top"}])", true);
    row("plain-text-body", "hello world", false);
    row("empty-body", "", false);
    row("object-body", R"({"insert":"x"})", false);
    row("string-body", R"("x")", false);
    row("truncated", R"([{"insert":"x")", false);
    row("trailing-garbage", R"([{"insert":"a"}] x)", false);
    row("trailing-comma", R"([{"insert":"a"},])", false);
    row("leading-zero", R"([{"insert":"a","n":01}])", false);
    row("duplicate-insert", R"([{"insert":"a","insert":"b"}])", false);
    row("escaped-key", R"([{"ins\u0065rt":"a"}])", false);
    row("raw-control-character", "[{\"insert\":\"a\x01b\"}]", false);
    row("nul-escape", R"([{"insert":"a\u0000b"}])", false);
    row("lone-high-surrogate", R"([{"insert":"\ud800x"}])", false);
    row("lone-low-surrogate", R"([{"insert":"\udc00"}])", false);
    row("bad-escape", R"([{"insert":"\x41"}])", false);
    row("single-quotes", R"([{'insert':'a'}])", false);
    QTest::newRow("deep-nesting") << QStringLiteral("[{\"insert\":\"a\",\"x\":") + QString(100, u'[')
            + QString(100, u']') + QStringLiteral("}]")
                                  << false;
}

void TestDeltaPlainText::agreesWithTheSqlRule()
{
    QFETCH(QString, body);
    QFETCH(bool, fast);
    const QByteArray utf8 = body.toUtf8();
    const std::optional<QByteArray> plain = deltaPlainTextUtf8(utf8.constData(), utf8.size());
    QCOMPARE(plain.has_value(), fast);
    const QString rule = NoteTextIndex::plainTextSql(QStringLiteral("body"));
    const QString expected = sqlValue(rule, body);
    QVERIFY2(!expected.startsWith(QLatin1String("<error")), qPrintable(expected));
    if (plain)
        QCOMPARE(QString::fromUtf8(*plain), expected);
    // As the bulk fill uses it.
    QCOMPARE(sqlValue(QStringLiteral("coalesce(ombrel_plain_text(body), %1)").arg(rule), body), expected);
}

QTEST_GUILESS_MAIN(TestDeltaPlainText)
#include "tst_deltaplaintext.moc"
