#include "archivefixtures.h"
#include "markdowntodelta.h"
#include "simplemarkdown.h"
#include "testsupport.h"

#include <QJsonDocument>
#include <QTest>

namespace {

QString compactJson(const QJsonArray &delta)
{
    return QString::fromUtf8(QJsonDocument(delta).toJson(QJsonDocument::Compact));
}

} // namespace

// The fast reader must give exactly what the full converter gives, or step aside.
class TestSimpleMarkdown : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }
    void matchesTheFullConverter_data();
    void matchesTheFullConverter();
    void generatedNotesTakeTheFastPath();
};

void TestSimpleMarkdown::matchesTheFullConverter_data()
{
    QTest::addColumn<QString>("markdown");
    QTest::addColumn<bool>("fast"); // whether the fast reader is expected to take it

    QTest::newRow("paragraphs") << "One two.\n\nThree, four.\n" << true;
    QTest::newRow("headings") << "# Title here\n\n## Sub\n\ntext\n" << true;
    QTest::newRow("heading-then-paragraph") << "# T\ntext\n" << false;
    QTest::newRow("inline-styles") << "a **bold** and *it* and ~~gone~~ and `co de`.\n" << true;
    QTest::newRow("link") << "see [the site](https://example.com/a/b) now\n" << true;
    QTest::newRow("attachment-images") << "![a](ombrel-notes://attachment/0123) and ![b c](ombrel-notes://attachment/4)\n" << true;
    QTest::newRow("image-without-text") << "x ![](ombrel-notes://attachment/4)\n" << false;
    QTest::newRow("web-image") << "![b](https://e.com/b.png)\n" << false;
    QTest::newRow("attachment-link") << "See [the shot](ombrel-notes://attachment/abc).\n" << true;
    QTest::newRow("bullets") << "- a\n- b **c**\n" << true;
    QTest::newRow("tasks") << "- [ ] open\n- [x] done\n" << true;
    QTest::newRow("ordered") << "1. x\n2. y\n" << true;
    QTest::newRow("list-then-paragraph") << "- a\n\nafter\n" << true;
    QTest::newRow("ordered-not-from-one") << "3. x\n4. y\n" << false;
    QTest::newRow("loose-list") << "- a\n\n- b\n" << false;
    QTest::newRow("soft-break") << "line one\nline two\n" << false;
    QTest::newRow("quote") << "> q\n" << false;
    QTest::newRow("code-fence") << "```\nx\n```\n" << false;
    QTest::newRow("table") << "|a|b|\n|-|-|\n|1|2|\n" << false;
    QTest::newRow("html") << "a <b>x</b>\n" << false;
    QTest::newRow("escape") << "a \\*b\\*\n" << false;
    QTest::newRow("autolink") << "go to https://example.com\n" << false;
    QTest::newRow("www") << "go to www.example.com\n" << false;
    QTest::newRow("entity") << "a &amp; b\n" << false;
    QTest::newRow("underscore") << "snake_case\n" << false;
    QTest::newRow("nested-list") << "- a\n  - b\n" << false;
    QTest::newRow("setext") << "Title\n=====\n" << false;
    QTest::newRow("unicode") << "Café ☕ naïve 日本語 text\n" << true;
    QTest::newRow("unbalanced-emphasis") << "a *b c\n" << false;
    QTest::newRow("intraword-emphasis") << "a**b**c\n" << false;
    QTest::newRow("double-space") << "a  b\n" << false;
    QTest::newRow("quotes") << "He said \"yes\" and 'no'\n" << true;
    QTest::newRow("quotes-in-styles") << "x **\"a\"** and [\"b\"](https://e.com/q) and `\"c\"`\n" << true;
    QTest::newRow("merged-runs") << "x **a** **b**, plain *c*.\n" << true;
    QTest::newRow("same-link-twice") << "[a](https://e.com/x)[b](https://e.com/x) end\n" << true;
    QTest::newRow("heading-levels") << "###### six\n\n# one \"b\"\n" << true;
    QTest::newRow("delete-character") << "a\u007fb\n" << true;
    QTest::newRow("emoji") << "smile \U0001F600 now\n" << false;
    for (int n = 0; n < 12; ++n)
        QTest::newRow(qPrintable(QStringLiteral("generated-%1").arg(n)))
            << QStringLiteral("# Title %1\n\n").arg(n) + ArchiveFixtures::joplinMarkdownBody(n, 1500) << true;
}

void TestSimpleMarkdown::matchesTheFullConverter()
{
    QFETCH(QString, markdown);
    QFETCH(bool, fast);
    const std::optional<QString> quick = simpleMarkdownToDeltaJson(markdown);
    if (quick)
        QCOMPARE(*quick, compactJson(markdownToDelta(markdown)));
    QCOMPARE(quick.has_value(), fast);
}

void TestSimpleMarkdown::generatedNotesTakeTheFastPath()
{
    int fast = 0;
    for (int n = 0; n < 200; ++n) {
        const QString markdown = ArchiveFixtures::joplinMarkdownBody(n, 800);
        if (const auto quick = simpleMarkdownToDeltaJson(markdown)) {
            ++fast;
            QCOMPARE(*quick, compactJson(markdownToDelta(markdown)));
        }
    }
    QCOMPARE(fast, 200);
}

QTEST_MAIN(TestSimpleMarkdown)
#include "tst_simplemarkdown.moc"
