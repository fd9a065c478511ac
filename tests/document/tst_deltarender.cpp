#include "deltarender.h"
#include "testsupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

namespace {

QJsonArray ops(const char *json)
{
    return QJsonDocument::fromJson(QByteArray(json)).array();
}

QString htmlDocument(const QString &lines)
{
    return QStringLiteral("<html><body>\n") + lines + QStringLiteral("</body></html>");
}

QString html(const char *lines)
{
    return htmlDocument(QString::fromUtf8(lines));
}

const char TableOpen[] =
    "<table border=\"1\" cellpadding=\"6\" cellspacing=\"0\" style=\"border-collapse:collapse\">\n";

QString htmlTable(const QString &rows)
{
    return QString::fromLatin1(TableOpen) + rows + QStringLiteral("</table>\n");
}

QString table(const char *rows)
{
    return htmlTable(QString::fromUtf8(rows));
}

} // namespace

class TestDeltaRender : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void rendersCorpus_data();
    void rendersCorpus();
    void rendersWholeDocumentAsMarkdown();
    void renderDeltaDispatchesAndPassesMalformedThrough_data();
    void renderDeltaDispatchesAndPassesMalformedThrough();
    void linksCannotBreakOutOrRunScript_data();
    void linksCannotBreakOutOrRunScript();
    void rendersTables_data();
    void rendersTables();
};

void TestDeltaRender::initTestCase()
{
    OmbrelTest::initTestEnvironment();
}

void TestDeltaRender::rendersCorpus_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("plain");
    QTest::addColumn<QString>("markdown");
    QTest::addColumn<QString>("html");

    auto row = [](const char *name, const char *body, const char *plain, const char *markdown,
                  const char *htmlLines) {
        QTest::newRow(name) << QString::fromUtf8(body) << QString::fromUtf8(plain)
                            << QString::fromUtf8(markdown) << html(htmlLines);
    };

    row("empty-note", R"([{"insert":"\n"}])", "\n", "", "<p></p>\n");
    row("empty-array", "[]", "", "", "");
    row("no-final-newline", R"([{"insert":"abc"}])", "abc", "abc\n", "<p>abc</p>\n");
    row("bold", R"([{"insert":"a","attributes":{"bold":true}},{"insert":"\n"}])", "a\n", "**a**\n",
        "<p><strong>a</strong></p>\n");
    row("italic", R"([{"insert":"a","attributes":{"italic":true}},{"insert":"\n"}])", "a\n", "*a*\n",
        "<p><em>a</em></p>\n");
    row("underline", R"([{"insert":"a","attributes":{"underline":true}},{"insert":"\n"}])", "a\n",
        "a\n", "<p><u>a</u></p>\n");
    row("strike", R"([{"insert":"a","attributes":{"strike":true}},{"insert":"\n"}])", "a\n",
        "~~a~~\n", "<p><del>a</del></p>\n");
    row("inline-code", R"([{"insert":"a","attributes":{"code":true}},{"insert":"\n"}])", "a\n",
        "`a`\n", "<p><code>a</code></p>\n");
    row("link", R"([{"insert":"site","attributes":{"link":"https://x.org/?a=1&b=2"}},{"insert":"\n"}])",
        "site\n", "[site](https://x.org/?a=1&b=2)\n",
        "<p><a href=\"https://x.org/?a=1&amp;b=2\">site</a></p>\n");
    row("bold-inside-italic", R"([{"insert":"a","attributes":{"bold":true,"italic":true}},{"insert":"\n"}])",
        "a\n", "***a***\n", "<p><em><strong>a</strong></em></p>\n");
    row("every-inline-attribute",
        R"([{"insert":"t","attributes":{"bold":true,"italic":true,"underline":true,"strike":true,"code":true,"link":"u"}},{"insert":"\n"}])",
        "t\n", "[~~`***t***`~~](u)\n",
        "<p><a href=\"u\"><code><del><u><em><strong>t</strong></em></u></del></code></a></p>\n");
    row("flags-not-true-ignored",
        R"([{"insert":"a","attributes":{"bold":false,"italic":"yes","code":1}},{"insert":"\n"}])",
        "a\n", "a\n", "<p>a</p>\n");
    row("mixed-runs", R"([{"insert":"Say "},{"insert":"hi","attributes":{"bold":true}},{"insert":" now\n"}])",
        "Say hi now\n", "Say **hi** now\n", "<p>Say <strong>hi</strong> now</p>\n");
    row("bold-insert-of-two-lines", R"([{"insert":"one\ntwo\n","attributes":{"bold":true}}])",
        "one\ntwo\n", "**one**\n\n**two**\n", "<p><strong>one</strong></p>\n<p><strong>two</strong></p>\n");
    row("text-escaped-in-html", R"([{"insert":"<b>\"x\" & y</b>\n"}])", "<b>\"x\" & y</b>\n",
        "<b>\"x\" & y</b>\n", "<p>&lt;b&gt;&quot;x&quot; &amp; y&lt;/b&gt;</p>\n");
    row("header-1", R"([{"insert":"T"},{"insert":"\n","attributes":{"header":1}}])", "T\n", "# T\n", "<h1>T</h1>\n");
    row("header-2", R"([{"insert":"T"},{"insert":"\n","attributes":{"header":2}}])", "T\n", "## T\n", "<h2>T</h2>\n");
    row("header-3", R"([{"insert":"T"},{"insert":"\n","attributes":{"header":3}}])", "T\n", "### T\n", "<h3>T</h3>\n");
    row("header-4", R"([{"insert":"T"},{"insert":"\n","attributes":{"header":4}}])", "T\n", "#### T\n", "<h4>T</h4>\n");
    row("header-5", R"([{"insert":"T"},{"insert":"\n","attributes":{"header":5}}])", "T\n", "##### T\n", "<h5>T</h5>\n");
    row("header-6", R"([{"insert":"T"},{"insert":"\n","attributes":{"header":6}}])", "T\n", "###### T\n", "<h6>T</h6>\n");
    row("header-7-ignored", R"([{"insert":"T"},{"insert":"\n","attributes":{"header":7}}])", "T\n", "T\n", "<p>T</p>\n");
    row("header-fraction-ignored", R"([{"insert":"T"},{"insert":"\n","attributes":{"header":2.5}}])", "T\n", "T\n", "<p>T</p>\n");
    row("bold-in-heading-unmarked", R"([{"insert":"T","attributes":{"bold":true}},{"insert":"\n","attributes":{"header":2}}])",
        "T\n", "## T\n", "<h2><strong>T</strong></h2>\n");
    row("empty-heading-skipped", R"([{"insert":"\n","attributes":{"header":1}},{"insert":"Next\n"}])",
        "\nNext\n", "Next\n", "<h1></h1>\n<p>Next</p>\n");
    row("bullets-then-paragraph",
        R"([{"insert":"one"},{"insert":"\n","attributes":{"list":"bullet"}},{"insert":"two"},{"insert":"\n","attributes":{"list":"bullet"}},{"insert":"after\n"}])",
        "one\ntwo\nafter\n", "- one\n- two\n\nafter\n", "<p>one</p>\n<p>two</p>\n<p>after</p>\n");
    row("ordered-all-numbered-one",
        R"([{"insert":"a"},{"insert":"\n","attributes":{"list":"ordered"}},{"insert":"b"},{"insert":"\n","attributes":{"list":"ordered"}},{"insert":"c"},{"insert":"\n","attributes":{"list":"ordered"}}])",
        "a\nb\nc\n", "1. a\n1. b\n1. c\n", "<p>a</p>\n<p>b</p>\n<p>c</p>\n");
    row("checklist",
        R"([{"insert":"done"},{"insert":"\n","attributes":{"list":"checked"}},{"insert":"open"},{"insert":"\n","attributes":{"list":"unchecked"}}])",
        "done\nopen\n", "- [x] done\n- [ ] open\n", "<p>done</p>\n<p>open</p>\n");
    row("indent-not-rendered",
        R"([{"insert":"a"},{"insert":"\n","attributes":{"list":"bullet"}},{"insert":"b"},{"insert":"\n","attributes":{"indent":1,"list":"bullet"}}])",
        "a\nb\n", "- a\n- b\n", "<p>a</p>\n<p>b</p>\n");
    row("unknown-list-kind", R"([{"insert":"x"},{"insert":"\n","attributes":{"list":"dashed"}},{"insert":"y\n"}])",
        "x\ny\n", "x\n\ny\n", "<p>x</p>\n<p>y</p>\n");
    row("paragraph-then-list", R"([{"insert":"intro\n"},{"insert":"a"},{"insert":"\n","attributes":{"list":"bullet"}}])",
        "intro\na\n", "intro\n\n- a\n", "<p>intro</p>\n<p>a</p>\n");
    row("list-then-heading",
        R"([{"insert":"a"},{"insert":"\n","attributes":{"list":"bullet"}},{"insert":"H"},{"insert":"\n","attributes":{"header":1}}])",
        "a\nH\n", "- a\n\n# H\n", "<p>a</p>\n<h1>H</h1>\n");
    row("list-over-code-block",
        R"([{"insert":"a"},{"insert":"\n","attributes":{"list":"bullet","code-block":true}}])",
        "a\n", "- a\n", "<pre><code>a</code></pre>\n");
    row("code-block-with-language",
        R"json([{"insert":"if (a<b)"},{"insert":"\n","attributes":{"code-block":"cpp"}},{"insert":"  x++;"},{"insert":"\n","attributes":{"code-block":"cpp"}},{"insert":"done\n"}])json",
        "if (a<b)\n  x++;\ndone\n", "    if (a<b)\n      x++;\n\ndone\n",
        "<pre><code>if (a&lt;b)</code></pre>\n<pre><code>  x++;</code></pre>\n<p>done</p>\n");
    row("code-text-in-code-block-not-backticked",
        R"([{"insert":"x = 1","attributes":{"code":true}},{"insert":"\n","attributes":{"code-block":true}}])",
        "x = 1\n", "    x = 1\n", "<pre><code><code>x = 1</code></code></pre>\n");
    row("code-block-present-even-false", R"([{"insert":"c"},{"insert":"\n","attributes":{"code-block":false}}])",
        "c\n", "    c\n", "<pre><code>c</code></pre>\n");
    row("list-after-code",
        R"([{"insert":"c"},{"insert":"\n","attributes":{"code-block":true}},{"insert":"a"},{"insert":"\n","attributes":{"list":"bullet"}}])",
        "c\na\n", "    c\n\n- a\n", "<pre><code>c</code></pre>\n<p>a</p>\n");
    row("blockquote", R"([{"insert":"wise"},{"insert":"\n","attributes":{"blockquote":true}},{"insert":"plain\n"}])",
        "wise\nplain\n", "> wise\n\nplain\n", "<blockquote>wise</blockquote>\n<p>plain</p>\n");
    row("blockquote-not-true", R"([{"insert":"q"},{"insert":"\n","attributes":{"blockquote":"yes"}}])",
        "q\n", "q\n", "<p>q</p>\n");
    row("alignment-not-rendered", R"([{"insert":"mid"},{"insert":"\n","attributes":{"align":"center"}}])",
        "mid\n", "mid\n", "<p>mid</p>\n");
    row("divider-after-list",
        R"([{"insert":"a"},{"insert":"\n","attributes":{"list":"bullet"}},{"insert":{"divider":"hr"}},{"insert":"\n"},{"insert":"after\n"}])",
        "a\n\nafter\n", "- a\n\n---\n\nafter\n", "<p>a</p>\n<hr>\n<p></p>\n<p>after</p>\n");
    row("divider-inside-line", R"([{"insert":"before"},{"insert":{"divider":"hr"}},{"insert":"after\n"}])",
        "beforeafter\n", "before\n\n---\n\nafter\n", "<p>before</p>\n<hr>\n<p>after</p>\n");
    row("attachment-renders-nothing",
        R"([{"insert":"see "},{"insert":{"ombrel-notes-attachment":"ombrel-notes://attachment/abc"}},{"insert":"\n"}])",
        "see \n", "see\n", "<p>see </p>\n");
    row("image-renders-nothing", R"([{"insert":{"image":"https://x/y.png"}},{"insert":"\n"}])",
        "\n", "", "<p></p>\n");
    row("unknown-and-empty-embeds", R"([{"insert":"a"},{"insert":{}},{"insert":{"video":"v"}},{"insert":"b\n"}])",
        "ab\n", "ab\n", "<p>ab</p>\n");
    row("table-with-header",
        R"([{"insert":{"table":"{\"cells\":[[\"A\",\"B\"],[\"1\",\"2\"]],\"hasHeader\":true}"}},{"insert":"\n"}])",
        "\n", "| A | B |\n| --- | --- |\n| 1 | 2 |\n",
        "<table border=\"1\" cellpadding=\"6\" cellspacing=\"0\" style=\"border-collapse:collapse\">\n"
        "  <tr><th>A</th><th>B</th></tr>\n  <tr><td>1</td><td>2</td></tr>\n</table>\n<p></p>\n");
    row("table-without-header",
        R"([{"insert":{"table":"{\"cells\":[[\"A\",\"B\"],[\"1\",\"2\"]],\"hasHeader\":false}"}},{"insert":"\n"}])",
        "\n", "| A | B |\n| --- | --- |\n| 1 | 2 |\n",
        "<table border=\"1\" cellpadding=\"6\" cellspacing=\"0\" style=\"border-collapse:collapse\">\n"
        "  <tr><td>A</td><td>B</td></tr>\n  <tr><td>1</td><td>2</td></tr>\n</table>\n<p></p>\n");
    row("table-after-list",
        R"([{"insert":"a"},{"insert":"\n","attributes":{"list":"bullet"}},{"insert":{"table":"{\"cells\":[[\"x|y\"]]}"}},{"insert":"\n"}])",
        "a\n\n", "- a\n\n| x\\|y |\n| --- |\n",
        "<p>a</p>\n<table border=\"1\" cellpadding=\"6\" cellspacing=\"0\" style=\"border-collapse:collapse\">\n"
        "  <tr><th>x|y</th></tr>\n</table>\n<p></p>\n");
    row("invalid-table-renders-nothing",
        R"([{"insert":"a"},{"insert":"\n","attributes":{"list":"bullet"}},{"insert":{"table":"{broken"}},{"insert":{"table":5}}])",
        "a\n", "- a\n", "<p>a</p>\n");
    // An unreadable table still takes its place in the Markdown line sequence.
    row("invalid-table-between-list-and-text",
        R"([{"insert":"a"},{"insert":"\n","attributes":{"list":"bullet"}},{"insert":{"table":"{broken"}},{"insert":"\n"},{"insert":"b\n"}])",
        "a\n\nb\n", "- a\n\n\nb\n", "<p>a</p>\n<p></p>\n<p>b</p>\n");
    row("invalid-table-after-paragraph",
        R"([{"insert":"p\n"},{"insert":{"table":"[]"}},{"insert":"q\n"}])",
        "p\nq\n", "p\n\n\nq\n", "<p>p</p>\n<p>q</p>\n");
    row("retain-delete-and-non-objects-ignored",
        R"([1,"s",null,[],{"retain":5},{"delete":2},{"insert":7},{"insert":"x\n"}])", "x\n", "x\n", "<p>x</p>\n");
}

void TestDeltaRender::rendersCorpus()
{
    QFETCH(QString, body);
    QFETCH(QString, plain);
    QFETCH(QString, markdown);
    QFETCH(QString, html);

    const QJsonArray operations = QJsonDocument::fromJson(body.toUtf8()).array();
    QCOMPARE(deltaToPlainText(operations), plain);
    QCOMPARE(deltaToMarkdown(operations), markdown);
    QCOMPARE(deltaToHtml(operations), html);
    QCOMPARE(renderDelta(body, RenderMarkdown), markdown);
    QCOMPARE(renderDelta(body, RenderHtml), html);
    QCOMPARE(renderDelta(body, RenderPlainText), plain);
}

void TestDeltaRender::rendersWholeDocumentAsMarkdown()
{
    const QJsonArray operations = ops(R"([
        {"insert":"Shopping"},{"insert":"\n","attributes":{"header":1}},
        {"insert":"Intro with "},{"insert":"bold","attributes":{"bold":true}},{"insert":" and "},
        {"insert":"site","attributes":{"link":"https://example.org"}},{"insert":".\n"},
        {"insert":"milk"},{"insert":"\n","attributes":{"list":"bullet"}},
        {"insert":"eggs"},{"insert":"\n","attributes":{"list":"bullet"}},
        {"insert":"call mum"},{"insert":"\n","attributes":{"list":"checked"}},
        {"insert":"pay rent"},{"insert":"\n","attributes":{"list":"unchecked"}},
        {"insert":"let x = 1;"},{"insert":"\n","attributes":{"code-block":"js"}},
        {"insert":"wise words"},{"insert":"\n","attributes":{"blockquote":true}},
        {"insert":{"divider":"hr"}},{"insert":"\n"},
        {"insert":{"table":"{\"cells\":[[\"A\",\"B\"],[\"1\",\"2\"]]}"}},{"insert":"\n"},
        {"insert":"The end"},{"insert":"\n","attributes":{"align":"right"}}
    ])");
    QVERIFY(!operations.isEmpty());
    QCOMPARE(deltaToMarkdown(operations),
             QStringLiteral("# Shopping\n\nIntro with **bold** and [site](https://example.org).\n\n"
                            "- milk\n- eggs\n- [x] call mum\n- [ ] pay rent\n\n    let x = 1;\n\n"
                            "> wise words\n\n---\n\n| A | B |\n| --- | --- |\n| 1 | 2 |\n\nThe end\n"));
}

void TestDeltaRender::renderDeltaDispatchesAndPassesMalformedThrough_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("expected");

    const QString bold = QString::fromUtf8(R"([{"insert":"a","attributes":{"bold":true}},{"insert":"\n"}])");
    QTest::newRow("markdown-code-0") << bold << 0 << QStringLiteral("**a**\n");
    QTest::newRow("html-code-1") << bold << 1 << html("<p><strong>a</strong></p>\n");
    QTest::newRow("html-code-2-for-pdf") << bold << 2 << html("<p><strong>a</strong></p>\n");
    QTest::newRow("plain-code-3") << bold << 3 << QStringLiteral("a\n");
    QTest::newRow("plain-unknown-code") << bold << 42 << QStringLiteral("a\n");
    QTest::newRow("plain-negative-code") << bold << -1 << QStringLiteral("a\n");
    QTest::newRow("empty-body") << QString() << 1 << QString();
    QTest::newRow("plain-text-unchanged") << QStringLiteral("just <words> & text") << 1
                                          << QStringLiteral("just <words> & text");
    QTest::newRow("object-unchanged") << QString::fromUtf8(R"({"insert":"x"})") << 0
                                      << QString::fromUtf8(R"({"insert":"x"})");
    QTest::newRow("truncated-unchanged") << QString::fromUtf8(R"([{"insert":"x)") << 0
                                         << QString::fromUtf8(R"([{"insert":"x)");
    QTest::newRow("trailing-garbage-unchanged") << QString::fromUtf8(R"([{"insert":"x\n"}] x)") << 1
                                                << QString::fromUtf8(R"([{"insert":"x\n"}] x)");
    const QString deep = QString(5000, QLatin1Char('[')) + QString(5000, QLatin1Char(']'));
    QTest::newRow("deep-nesting-unchanged") << deep << 1 << deep;
}

void TestDeltaRender::renderDeltaDispatchesAndPassesMalformedThrough()
{
    QFETCH(QString, body);
    QFETCH(int, format);
    QFETCH(QString, expected);
    QCOMPARE(renderDelta(body, format), expected);
}

void TestDeltaRender::linksCannotBreakOutOrRunScript_data()
{
    QTest::addColumn<QJsonValue>("link");
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("markdown");

    QTest::newRow("quote-breakout") << QJsonValue(QStringLiteral("x\" onclick=\"alert(1)"))
                                    << QStringLiteral("<a href=\"x&quot; onclick=&quot;alert(1)\">t</a>")
                                    << QStringLiteral("[t](x\"%20onclick=\"alert%281%29)");
    QTest::newRow("tag-breakout") << QJsonValue(QStringLiteral("\"><script>alert(1)</script>"))
                                  << QStringLiteral("<a href=\"&quot;&gt;&lt;script&gt;alert(1)&lt;/script&gt;\">t</a>")
                                  << QStringLiteral("[t](\"%3E%3Cscript%3Ealert%281%29%3C/script%3E)");
    QTest::newRow("javascript") << QJsonValue(QStringLiteral("javascript:alert(1)"))
                                << QStringLiteral("t") << QStringLiteral("t");
    QTest::newRow("javascript-disguised") << QJsonValue(QStringLiteral(" \tJaVa\nScRiPt:alert(1)"))
                                          << QStringLiteral("t") << QStringLiteral("t");
    QTest::newRow("vbscript") << QJsonValue(QStringLiteral("VBScript:x")) << QStringLiteral("t")
                              << QStringLiteral("t");
    QTest::newRow("data-url") << QJsonValue(QStringLiteral("data:text/html,<script>x</script>"))
                              << QStringLiteral("t") << QStringLiteral("t");
    QTest::newRow("javascript-lookalike-kept") << QJsonValue(QStringLiteral("https://x/javascript:1"))
                                               << QStringLiteral("<a href=\"https://x/javascript:1\">t</a>")
                                               << QStringLiteral("[t](https://x/javascript:1)");
    QTest::newRow("entities-stay-literal") << QJsonValue(QStringLiteral("&#106;avascript:x"))
                                           << QStringLiteral("<a href=\"&amp;#106;avascript:x\">t</a>")
                                           << QStringLiteral("[t](&#106;avascript:x)");
    QTest::newRow("spaces-and-line-break") << QJsonValue(QStringLiteral("notes/a b\n.md"))
                                           << QStringLiteral("<a href=\"notes/a b\n.md\">t</a>")
                                           << QStringLiteral("[t](notes/a%20b%0A.md)");
    QTest::newRow("non-string-reads-empty") << QJsonValue(5) << QStringLiteral("<a href=\"\">t</a>")
                                            << QStringLiteral("[t]()");
}

void TestDeltaRender::linksCannotBreakOutOrRunScript()
{
    QFETCH(QJsonValue, link);
    QFETCH(QString, html);
    QFETCH(QString, markdown);

    const QJsonArray operations{
        QJsonObject{{QStringLiteral("insert"), QStringLiteral("t")},
                    {QStringLiteral("attributes"), QJsonObject{{QStringLiteral("link"), link}}}},
        QJsonObject{{QStringLiteral("insert"), QStringLiteral("\n")}}};
    QCOMPARE(deltaToHtml(operations), htmlDocument(QStringLiteral("<p>") + html + QStringLiteral("</p>\n")));
    QCOMPARE(deltaToMarkdown(operations), markdown + QLatin1Char('\n'));

    const QString cell = QString::fromUtf8(QJsonDocument(QJsonObject{
        {QStringLiteral("cells"), QJsonArray{QJsonArray{QJsonArray{operations.first()}}}}})
                                               .toJson(QJsonDocument::Compact));
    QCOMPARE(tableToHtml(cell), htmlTable(QStringLiteral("  <tr><th>") + html + QStringLiteral("</th></tr>\n")));
}

void TestDeltaRender::rendersTables_data()
{
    QTest::addColumn<QString>("json");
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("markdown");

    QTest::newRow("invalid-json") << QStringLiteral("{\"cells\":[[") << QString() << QString();
    QTest::newRow("not-an-object") << QStringLiteral("[[\"a\"]]") << QString() << QString();
    QTest::newRow("empty-string") << QString() << QString() << QString();
    QTest::newRow("cells-missing") << QStringLiteral("{\"hasHeader\":true}") << QString() << QString();
    QTest::newRow("cells-empty") << QStringLiteral("{\"cells\":[]}") << QString() << QString();
    // Rows without cells are still rows: an HTML table of empty rows, no Markdown grid.
    QTest::newRow("one-row-without-cells") << QStringLiteral("{\"cells\":[[]]}")
                                           << table("  <tr></tr>\n") << QString();
    QTest::newRow("rows-without-cells") << QStringLiteral("{\"cells\":[[],[]],\"hasHeader\":false}")
                                        << table("  <tr></tr>\n  <tr></tr>\n") << QString();
    QTest::newRow("rows-not-arrays") << QStringLiteral("{\"cells\":[5,\"x\"]}")
                                     << table("  <tr></tr>\n  <tr></tr>\n") << QString();
    QTest::newRow("header-by-default") << QStringLiteral("{\"cells\":[[\"H\"],[\"v\"]]}")
                                       << table("  <tr><th>H</th></tr>\n  <tr><td>v</td></tr>\n")
                                       << QStringLiteral("| H |\n| --- |\n| v |\n");
    QTest::newRow("short-rows-padded") << QStringLiteral("{\"cells\":[[\"a\",\"b\"],[\"c\"]],\"hasHeader\":false}")
                                       << table("  <tr><td>a</td><td>b</td></tr>\n  <tr><td>c</td><td>&nbsp;</td></tr>\n")
                                       << QStringLiteral("| a | b |\n| --- | --- |\n| c |  |\n");
    QTest::newRow("escaping") << QStringLiteral("{\"cells\":[[\"<x>&\\\"|\"]],\"hasHeader\":false}")
                              << table("  <tr><td>&lt;x&gt;&amp;&quot;|</td></tr>\n")
                              << QStringLiteral("| <x>&\"\\| |\n| --- |\n");
    QTest::newRow("string-cell-line-breaks") << QStringLiteral("{\"cells\":[[\"a\\nb\\r\\nc\"]],\"hasHeader\":false}")
                                             << table("  <tr><td>a\nb\r\nc</td></tr>\n")
                                             << QStringLiteral("| a b c |\n| --- |\n");
    QTest::newRow("other-cell-values-empty") << QStringLiteral("{\"cells\":[[5,null,{\"a\":1}]],\"hasHeader\":false}")
                                             << table("  <tr><td>&nbsp;</td><td>&nbsp;</td><td>&nbsp;</td></tr>\n")
                                             << QStringLiteral("|  |  |  |\n| --- | --- | --- |\n");
    QTest::newRow("array-cells-formatted")
        << QString::fromUtf8(R"({"cells":[[[{"insert":"B","attributes":{"bold":true}},{"insert":"\n"},{"insert":"i","attributes":{"italic":true}}]],)"
                          R"([[{"insert":"B","attributes":{"bold":true}},{"insert":"x\ny|"}]]]})")
        << table("  <tr><th><strong>B</strong><br><em>i</em></th></tr>\n  <tr><td><strong>B</strong>x<br>y|</td></tr>\n")
        << QStringLiteral("| B *i* |\n| --- |\n| **B**x y\\| |\n");
    QTest::newRow("array-cell-marker-order")
        << QString::fromUtf8(R"({"cells":[["h"],[[{"insert":"x","attributes":{"code":true,"bold":true,"italic":true,"strike":true,"link":"http://a/b|c"}}]]]})")
        << table("  <tr><th>h</th></tr>\n  <tr><td><a href=\"http://a/b|c\"><code><del><em><strong>x</strong></em></del></code></a></td></tr>\n")
        << QStringLiteral("| h |\n| --- |\n| [~~***`x`***~~](http://a/b%7Cc) |\n");
    QTest::newRow("array-cell-skips-non-text")
        << QString::fromUtf8(R"({"cells":[[[1,{"insert":{"image":"x"}},{"retain":3},{"insert":""},{"insert":"ok"}]]],"hasHeader":false})")
        << table("  <tr><td>ok</td></tr>\n") << QStringLiteral("| ok |\n| --- |\n");
}

void TestDeltaRender::rendersTables()
{
    QFETCH(QString, json);
    QFETCH(QString, html);
    QFETCH(QString, markdown);
    QCOMPARE(tableToHtml(json), html);
    QCOMPARE(tableToMarkdown(json), markdown);
}

QTEST_GUILESS_MAIN(TestDeltaRender)
#include "tst_deltarender.moc"
