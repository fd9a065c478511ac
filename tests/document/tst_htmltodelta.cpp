#include "htmltodelta.h"
#include "tablejson.h"
#include "testsupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QUrl>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <sys/types.h>
#endif

namespace {

QString compact(const QJsonArray &array)
{
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

QList<QUrl> s_requested;

} // namespace

class TstHtmlToDelta : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init() { s_requested.clear(); }

    void convertsStructure_data();
    void convertsStructure();
    void chromeElementsAreRemoved_data();
    void chromeElementsAreRemoved();
    void tablesBecomeTableEmbeds();
    void resourcesAreNeverLoaded_data();
    void resourcesAreNeverLoaded();
    void nestingIsLimited_data();
    void nestingIsLimited();
    void hostileMarkupConverts_data();
    void hostileMarkupConverts();
};

// moc's preprocessor trips over raw string literals in macro arguments.
#ifndef Q_MOC_RUN

void TstHtmlToDelta::initTestCase()
{
    OmbrelTest::initTestEnvironment();
    // Anything the importer asked for would land here.
    QTextDocument::setDefaultResourceProvider([](const QUrl &url) {
        s_requested.append(url);
        return QVariant();
    });
}

void TstHtmlToDelta::cleanupTestCase()
{
    QTextDocument::setDefaultResourceProvider(nullptr);
}

void TstHtmlToDelta::convertsStructure_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("delta");

    QTest::newRow("empty") << "" << R"([{"insert":"\n"}])";
    QTest::newRow("whitespace") << " \n\t " << R"([{"insert":"\n"}])";
    QTest::newRow("paragraphs") << "<p>a</p><p>b</p>" << R"([{"insert":"a"},{"insert":"\n"},{"insert":"b"},{"insert":"\n"}])";
    QTest::newRow("inline-formats")
        << R"(<p><b>b</b><i>i</i><u>u</u><s>s</s><code>c</code></p>)"
        << R"([{"attributes":{"bold":true},"insert":"b"},{"attributes":{"italic":true},"insert":"i"},{"attributes":{"underline":true},"insert":"u"},)"
           R"({"attributes":{"strike":true},"insert":"s"},{"attributes":{"code":true},"insert":"c"},{"insert":"\n"}])";
    QTest::newRow("link-not-underline")
        << R"(<p><a href="https://example.com/a?b=1&amp;c=2">site</a></p>)"
        << R"([{"attributes":{"link":"https://example.com/a?b=1&c=2"},"insert":"site"},{"insert":"\n"}])";
    QTest::newRow("headings")
        << "<h2>Two</h2><h4>Four</h4>"
        << R"([{"attributes":{"bold":true},"insert":"Two"},{"attributes":{"header":2},"insert":"\n"},{"attributes":{"bold":true},"insert":"Four"},{"attributes":{"header":4},"insert":"\n"}])";
    QTest::newRow("nested-lists")
        << "<ul><li>a<ul><li>b</li></ul></li><li>c</li></ul><ol type=\"a\"><li>x</li></ol>"
        << R"([{"insert":"a"},{"attributes":{"list":"bullet"},"insert":"\n"},{"insert":"b"},{"attributes":{"list":"bullet"},"insert":"\n"},)"
           R"({"insert":"c"},{"attributes":{"list":"bullet"},"insert":"\n"},{"insert":"x"},{"attributes":{"list":"ordered"},"insert":"\n"}])";
    QTest::newRow("images")
        << R"(<p><img src="ombrel-notes://attachment/abc"><img src="https://example.com/x.png"><img src=""></p>)"
        << R"([{"insert":{"ombrel-notes-attachment":"ombrel-notes://attachment/abc"}},{"insert":{"image":"https://example.com/x.png"}},{"insert":"\n"}])";
    QTest::newRow("same-image-twice")
        << R"(<p><img src="ombrel-notes://attachment/a"><img src="ombrel-notes://attachment/a"></p>)"
        << R"([{"insert":{"ombrel-notes-attachment":"ombrel-notes://attachment/a"}},{"insert":{"ombrel-notes-attachment":"ombrel-notes://attachment/a"}},{"insert":"\n"}])";
    QTest::newRow("quote-taken-alignment-not")
        << R"(<blockquote>q</blockquote><p align="center">c</p>)"
        << R"([{"insert":"q"},{"attributes":{"blockquote":true},"insert":"\n"},{"insert":"c"},{"insert":"\n"}])";
    QTest::newRow("quote-of-paragraphs")
        << R"(<blockquote><p>q1</p><p>q2</p></blockquote><p>after</p>)"
        << R"([{"insert":"q1"},{"attributes":{"blockquote":true},"insert":"\n"},{"insert":"q2"},{"attributes":{"blockquote":true},"insert":"\n"},{"insert":"after"},{"insert":"\n"}])";
    QTest::newRow("checklist-classes")
        << R"(<ul><li class="checked">done</li><li class="unchecked">todo</li><li>plain</li></ul>)"
        << R"([{"insert":"done"},{"attributes":{"list":"checked"},"insert":"\n"},{"insert":"todo"},{"attributes":{"list":"unchecked"},"insert":"\n"},{"insert":"plain"},{"attributes":{"list":"bullet"},"insert":"\n"}])";
    QTest::newRow("checklist-inputs")
        << R"(<ul class="task-list"><li class="task-list-item"><input type="checkbox" disabled checked>done</li>)"
           R"(<li><p><INPUT TYPE='checkbox'>todo</p></li><li><input type="text">field</li></ul>)"
        << R"([{"insert":"done"},{"attributes":{"list":"checked"},"insert":"\n"},{"insert":"todo"},{"attributes":{"list":"unchecked"},"insert":"\n"},{"insert":"field"},{"attributes":{"list":"bullet"},"insert":"\n"}])";
    QTest::newRow("pre-lines-are-code-block")
        << "<pre><code>a = 1\nb = 2</code></pre><p>after</p>"
        << R"([{"attributes":{"code":true},"insert":"a = 1"},{"attributes":{"code-block":true},"insert":"\n"},{"attributes":{"code":true},"insert":"b = 2"},{"attributes":{"code-block":true},"insert":"\n"},{"insert":"after"},{"insert":"\n"}])";
    QTest::newRow("only-chrome") << "<script>x()</script><style>p{}</style>" << R"([{"insert":"\n"}])";
}

void TstHtmlToDelta::convertsStructure()
{
    QFETCH(QString, html);
    QFETCH(QString, delta);
    QCOMPARE(compact(htmlToDelta(html)), delta);
}

void TstHtmlToDelta::chromeElementsAreRemoved_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("stripped");

    QTest::newRow("script") << "a<script type=\"x\">evil()</script>b" << "ab";
    QTest::newRow("upper-case") << "a<SCRIPT>evil()</Script>b" << "ab";
    QTest::newRow("multi-line") << "a<style>\np {}\n</style>b" << "ab";
    QTest::newRow("each-kind")
        << "<nav>n</nav><header>h</header><footer>f</footer><aside>s</aside><iframe src=x></iframe><noscript>o</noscript>k"
        << "k";
    QTest::newRow("first-closing-ends") << "<nav>1</nav>keep<nav>2</nav>" << "keep";
    QTest::newRow("prefix-names-match") << "<navbar>x</nav>y" << "y";
    QTest::newRow("unclosed-kept") << "a<script>b" << "a<script>b";
    QTest::newRow("unclosed-then-closed-other") << "<script>a<style>b</style>c" << "<script>ac";
    QTest::newRow("opening-without-bracket") << "<script" << "<script";
    QTest::newRow("no-tags") << "plain" << "plain";
    QTest::newRow("head-is-not-header") << "<head><title>t</title></head>" << "<head><title>t</title></head>";
}

void TstHtmlToDelta::chromeElementsAreRemoved()
{
    QFETCH(QString, html);
    QFETCH(QString, stripped);
    QCOMPARE(stripHtmlChromeElements(html), stripped);
}

void TstHtmlToDelta::tablesBecomeTableEmbeds()
{
    const QJsonArray delta = htmlToDelta(
        "<p>before</p><table><tr><td>a</td><td><b>b</b></td></tr><tr><td>c</td></tr></table><p>after</p>");
    QString tableJson;
    int lineEndsAfterTable = 0;
    for (const QJsonValue &value : delta) {
        const QJsonValue insert = value.toObject().value(QStringLiteral("insert"));
        if (insert.isObject())
            tableJson = insert.toObject().value(QStringLiteral("table")).toString();
        else if (!tableJson.isEmpty() && insert.toString() == QLatin1String("\n"))
            ++lineEndsAfterTable;
    }
    const TableData table = parseTableJson(tableJson);
    QCOMPARE(table.rowCount(), 2);
    QCOMPARE(table.columnCount(), 2);
    QVERIFY(table.hasHeader); // any table with rows
    QCOMPARE(tableCellPlainText(table.cells[0][1]), QStringLiteral("b"));
    QCOMPARE(tableCellOperations(table.cells[0][1]).at(0).toObject().value(QStringLiteral("attributes")).toObject(),
             QJsonObject({{QStringLiteral("bold"), true}}));
    QCOMPARE(tableCellPlainText(table.cells[1][1]), QString());
    QVERIFY(lineEndsAfterTable >= 2);
    QCOMPARE(delta.last().toObject().value(QStringLiteral("insert")).toString(), QStringLiteral("\n"));
}

void TstHtmlToDelta::resourcesAreNeverLoaded_data()
{
    QTest::addColumn<QString>("htmlTemplate"); // %1: a local directory URL
    QTest::addColumn<bool>("textKept");

    QTest::newRow("img-local-file") << R"(<p>x<img src="%1/secret.css"></p>)" << true;
    QTest::newRow("img-relative") << R"(<p>x<img src="secret.css" width="10"></p>)" << true;
    QTest::newRow("img-fifo") << R"(<p>x<img src="%1/fifo"></p>)" << true;
    QTest::newRow("img-dev-zero") << R"(<p>x<img src="/dev/zero"><img src="file:///dev/zero"></p>)" << true;
    QTest::newRow("img-passwd") << R"(<p>x<img src="file:///etc/passwd"></p>)" << true;
    QTest::newRow("img-network") << R"(<p>x<img src="http://192.0.2.1/x.png"></p>)" << true;
    QTest::newRow("stylesheet-link") << R"(<html><head><link rel="stylesheet" href="%1/secret.css"></head><body><p>x</p></body></html>)" << true;
    QTest::newRow("stylesheet-fifo") << R"(<html><head><link rel="stylesheet" type="text/css" href="%1/fifo"></head><body><p>x</p></body></html>)" << true;
    QTest::newRow("unclosed-style-import") << R"(<style>@import url("%1/secret.css"); <p>x</p>)" << false;
    QTest::newRow("background-image") << R"(<body background="%1/fifo"><table background="%1/fifo"><tr><td>x</td></tr></table></body>)" << true;
}

void TstHtmlToDelta::resourcesAreNeverLoaded()
{
    QFETCH(QString, htmlTemplate);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile css(dir.filePath(QStringLiteral("secret.css")));
    QVERIFY(css.open(QIODevice::WriteOnly));
    css.write("p { font-weight: bold; } /* SECRET-CONTENT */");
    css.close();
#ifdef Q_OS_UNIX
    // Reading a FIFO without a writer blocks forever: a load would hang this test.
    QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("fifo"))).constData(), 0600), 0);
#endif
    QFETCH(bool, textKept);
    const QString html = QString(htmlTemplate).replace(QLatin1String("%1"), QUrl::fromLocalFile(dir.path()).toString());

    const QString delta = compact(htmlToDelta(html));
    QVERIFY(!delta.contains(QLatin1String("SECRET")));
    QVERIFY2(!delta.contains(QLatin1String("\"bold\"")), qPrintable(delta)); // the stylesheet was not applied
    QCOMPARE(delta.contains(QLatin1Char('x')), textKept);
    QVERIFY2(s_requested.isEmpty(), qPrintable(s_requested.value(0).toString()));
}

void TstHtmlToDelta::nestingIsLimited_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("limited"); // at depth 2

    QTest::newRow("shallow-unchanged") << "<div><p>a</p></div><p>b</p>" << "<div><p>a</p></div><p>b</p>";
    QTest::newRow("deep-dropped-with-closers") << "<div><div><div>a</div></div></div>b" << "<div><div>a</div></div>b";
    QTest::newRow("unclosed-items-are-siblings") << "<ul><li>a<li>b<li>c<li>d</ul>" << "<ul><li>a<li>b<li>c<li>d</ul>";
    QTest::newRow("unclosed-cells-are-siblings") << "<table><tr><td>a<td>b<tr><td>c</table>" << "<table><tr>ab<tr>c</table>";
    QTest::newRow("void-and-self-closed-not-counted") << "<p><br><img src=x><span/><b>t</b></p>" << "<p><br><img src=x><span/><b>t</b></p>";
    QTest::newRow("quoted-angle-in-attribute") << "<div title=\"a>b\"><div><i>x</i></div></div>" << "<div title=\"a>b\"><div>x</div></div>";
    QTest::newRow("comments-skipped") << "<!-- <div><div><div> --><b>x</b>" << "<!-- <div><div><div> --><b>x</b>";
    QTest::newRow("truncated-tag") << "<div><div><div" << "<div><div><div";
}

void TstHtmlToDelta::nestingIsLimited()
{
    QFETCH(QString, html);
    QFETCH(QString, limited);
    QCOMPARE(limitHtmlNesting(html, 2), limited);
}

void TstHtmlToDelta::hostileMarkupConverts_data()
{
    QTest::addColumn<QString>("html");

    QTest::newRow("many-unclosed-scripts") << QStringLiteral("<script>").repeated(50000);
    QTest::newRow("many-script-prefixes") << QStringLiteral("<script<nav<style").repeated(30000) + QStringLiteral(">");
    QTest::newRow("deep-divs") << QStringLiteral("<div>").repeated(100000) + QStringLiteral("x");
    QTest::newRow("deep-spans") << QStringLiteral("<span><b>").repeated(50000) + QStringLiteral("x");
    QTest::newRow("deep-lists") << QStringLiteral("<ul><li>").repeated(3000) + QStringLiteral("x");
    QTest::newRow("nested-tables") << QStringLiteral("<table><tr><td>").repeated(200) + QStringLiteral("x");
    QTest::newRow("broken-tags") << QStringLiteral("<<<>>><p <b></i></table><td>&#xffffff;&bogus;");
    QTest::newRow("wide-table") << QStringLiteral("<table><tr>") + QStringLiteral("<td>c</td>").repeated(3000) + QStringLiteral("</tr></table>");
}

void TstHtmlToDelta::hostileMarkupConverts()
{
    QFETCH(QString, html);
    const QJsonArray delta = htmlToDelta(html);
    QVERIFY(!delta.isEmpty());
    QCOMPARE(delta.last().toObject().value(QStringLiteral("insert")).toString(), QStringLiteral("\n"));
}

#endif // Q_MOC_RUN

QTEST_MAIN(TstHtmlToDelta)
#include "tst_htmltodelta.moc"
