#include "deltadocument.h"
#include "htmltodelta.h"
#include "markdowntodelta.h"
#include "noteeditor.h"
#include "testsupport.h"

#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextList>
#include <QTextTable>
#include <QTest>
#include <QTextDocument>

#include <array>
#include <memory>

namespace {

class PasteEditor : public NoteEditor
{
public:
    using NoteEditor::canInsertFromMimeData;
    using NoteEditor::insertFromMimeData;
};

QString convertedText(const QJsonArray &delta)
{
    DeltaDocument document;
    document.setDelta(delta);
    QString text = document.toPlainText();
    while (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text;
}

QString colourName(const QBrush &brush)
{
    return brush.style() == Qt::NoBrush ? QStringLiteral("-") : brush.color().name(QColor::HexArgb);
}

// Everything a reader sees of the document (and the structure a save writes), one line
// per block and per run, so that a difference names its place.
QStringList appearance(QTextDocument *document)
{
    QStringList lines;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        const QTextBlockFormat format = block.blockFormat();
        QString line = QStringLiteral("block \"%1\"").arg(block.text());
        if (QTextTable *table = QTextCursor(block).currentTable()) {
            const QTextTableCell cell = table->cellAt(block.position());
            line += QStringLiteral(" cell %1,%2 header %3").arg(cell.row()).arg(cell.column())
                        .arg(table->format().headerRowCount());
        }
        if (const QTextList *list = block.textList())
            line += QStringLiteral(" list %1 %2").arg(int(list->format().style())).arg(list->itemText(block));
        line += QStringLiteral(" marker %1 margins %2/%3/%4/%5 indent %6 lh %7:%8 align %9 bg %10")
                    .arg(int(format.marker()))
                    .arg(format.topMargin()).arg(format.bottomMargin()).arg(format.leftMargin())
                    .arg(format.rightMargin()).arg(format.indent()).arg(format.lineHeight())
                    .arg(format.lineHeightType()).arg(int(format.alignment()))
                    .arg(colourName(format.background()));
        for (const int property : {int(DeltaDocument::HeadingLevelProperty), int(DeltaDocument::ListTypeProperty),
                                   int(DeltaDocument::CodeBlockProperty), int(DeltaDocument::BlockquoteProperty)}) {
            line += QLatin1Char(' ') + format.property(property).toString();
        }
        lines << line;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat chars = fragment.charFormat();
            const QFont font = chars.font().resolve(document->defaultFont());
            lines << QStringLiteral("  run \"%1\" px %2 w %3 i %4 u %5 s %6 fixed %7 fg %8 bg %9 href %10 object %11")
                         .arg(fragment.text()).arg(font.pixelSize()).arg(font.weight())
                         .arg(font.italic()).arg(int(chars.underlineStyle())).arg(font.strikeOut())
                         .arg(chars.fontFixedPitch() || chars.fontFamilies().toStringList() == QStringList{QStringLiteral("monospace")})
                         .arg(colourName(chars.foreground())).arg(colourName(chars.background()))
                         .arg(chars.anchorHref()).arg(chars.objectType());
        }
    }
    return lines;
}

// A heading, a paragraph, a numbered list and a table, each a place to paste into.
const QString TargetBody = QStringLiteral(
    "[{\"insert\":\"Head line\"},{\"attributes\":{\"header\":2},\"insert\":\"\\n\"},"
    "{\"insert\":\"plain para\\n\"},"
    "{\"insert\":\"first item\"},{\"attributes\":{\"list\":\"ordered\"},\"insert\":\"\\n\"},"
    "{\"insert\":\"item text\"},{\"attributes\":{\"list\":\"ordered\"},\"insert\":\"\\n\"},"
    "{\"insert\":\"last item\"},{\"attributes\":{\"list\":\"ordered\"},\"insert\":\"\\n\"},"
    "{\"insert\":{\"table\":\"{\\\"cells\\\":[[\\\"h1\\\",\\\"h2\\\"],[\\\"cell text\\\",\\\"d\\\"]],\\\"hasHeader\\\":true}\"}},"
    "{\"insert\":\"\\n\"},{\"insert\":\"end\\n\"}]");

int positionIn(QTextDocument *document, const QString &blockText, const QString &where)
{
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        if (block.text() != blockText)
            continue;
        if (where == QLatin1String("start"))
            return block.position();
        if (where == QLatin1String("middle"))
            return block.position() + 2;
        return block.position() + block.length() - 1;
    }
    return -1;
}

} // namespace

class TestNoteEditorPaste : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }
    void init();
    void cleanup() { m_editor.reset(); }

    void pastedTextPicksConverter_data();
    void pastedTextPicksConverter();
    void markdownMimeWinsOverHtml();
    void htmlMimeIsConverted();
    void canInsertMarkdownMime();
    void pasteThatConvertsToNothingInsertsNothing_data();
    void pasteThatConvertsToNothingInsertsNothing();
    void pastedBodiesSurviveRoundTrip_data();
    void pastedBodiesSurviveRoundTrip();
    void pasteShowsWhatReloadShows_data();
    void pasteShowsWhatReloadShows();
    void pastedHeadingIsStoredAsHeading();
    void pasteAtStartOfHeadingKeepsHeading();
    void pasteIsOneUndoStep();

private:
    std::unique_ptr<PasteEditor> m_editor;
};

void TestNoteEditorPaste::init()
{
    m_editor = std::make_unique<PasteEditor>();
    m_editor->loadNote(QStringLiteral("n"), DeltaDocument::emptyNoteJson());
}

// kind: "plain", "markdown" or "html"; the row also checks the detectors directly.
void TestNoteEditorPaste::pastedTextPicksConverter_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("kind");
    QTest::newRow("atx-heading") << QStringLiteral("# Heading") << QStringLiteral("markdown");
    QTest::newRow("comparison") << QStringLiteral("3 < 5") << QStringLiteral("plain");
    QTest::newRow("hyphen-between-words") << QStringLiteral("well - known") << QStringLiteral("plain");
    QTest::newRow("list-indented-four") << QStringLiteral("    - item") << QStringLiteral("plain");
    QTest::newRow("list-indented-three") << QStringLiteral("   - item") << QStringLiteral("markdown");
    QTest::newRow("div-start") << QStringLiteral("<div>hello</div>") << QStringLiteral("html");
    QTest::newRow("doctype") << QStringLiteral("  <!DOCTYPE html><title>x</title>") << QStringLiteral("html");
    QTest::newRow("uppercase-tag") << QStringLiteral("<P>para</P>") << QStringLiteral("html");
    QTest::newRow("unknown-tag") << QStringLiteral("<foo>bar</foo>") << QStringLiteral("plain");
    QTest::newRow("tag-not-first") << QStringLiteral("text <b>bold</b>") << QStringLiteral("plain");
    QTest::newRow("bare-less-than") << QStringLiteral("<- arrow") << QStringLiteral("plain");
    QTest::newRow("ordered-item") << QStringLiteral("1. first") << QStringLiteral("markdown");
    QTest::newRow("number-without-blank") << QStringLiteral("1.5 litres") << QStringLiteral("plain");
    QTest::newRow("quote") << QStringLiteral("> quoted") << QStringLiteral("markdown");
    QTest::newRow("fence") << QStringLiteral("```\ncode\n```") << QStringLiteral("markdown");
    QTest::newRow("table-row") << QStringLiteral("| a | b |") << QStringLiteral("markdown");
    QTest::newRow("link") << QStringLiteral("see [site](https://x.org) now") << QStringLiteral("markdown");
    QTest::newRow("empty-link-text") << QStringLiteral("see [](https://x.org)") << QStringLiteral("plain");
    QTest::newRow("setext-rule") << QStringLiteral("Title\n===") << QStringLiteral("markdown");
    QTest::newRow("two-dashes") << QStringLiteral("a\n--") << QStringLiteral("plain");
    QTest::newRow("heading-on-later-line") << QStringLiteral("intro\n## Part") << QStringLiteral("markdown");
    QTest::newRow("hash-without-blank") << QStringLiteral("#hashtag") << QStringLiteral("plain");
    QTest::newRow("seven-hashes") << QStringLiteral("####### x") << QStringLiteral("plain");
    QTest::newRow("plain-sentence") << QStringLiteral("Just a sentence.") << QStringLiteral("plain");
    QTest::newRow("unbalanced-brackets") << QStringLiteral("[[[[[[[[(((((((") << QStringLiteral("plain");
}

void TestNoteEditorPaste::pastedTextPicksConverter()
{
    QFETCH(QString, text);
    QFETCH(QString, kind);
    QCOMPARE(NoteEditor::looksLikeHtml(text), kind == QLatin1String("html"));
    if (kind != QLatin1String("html"))
        QCOMPARE(NoteEditor::looksLikeMarkdown(text), kind == QLatin1String("markdown"));

    QMimeData data;
    data.setText(text);
    m_editor->insertFromMimeData(&data);
    if (kind == QLatin1String("plain"))
        QCOMPARE(m_editor->toPlainText(), text);
    else if (kind == QLatin1String("html"))
        QCOMPARE(m_editor->toPlainText(), convertedText(htmlToDelta(text)));
    else
        QCOMPARE(m_editor->toPlainText(), convertedText(markdownToDelta(text)));
}

void TestNoteEditorPaste::markdownMimeWinsOverHtml()
{
    QMimeData data;
    data.setHtml(QStringLiteral("<p>from html</p>"));
    data.setText(QStringLiteral("plain"));
    data.setData(QStringLiteral("text/markdown"), QByteArrayLiteral("## From *markdown*"));
    m_editor->insertFromMimeData(&data);
    QCOMPARE(m_editor->toPlainText(), QStringLiteral("From markdown"));
    QVERIFY(m_editor->toDeltaJson().contains(QStringLiteral("\"header\":2")));
    QVERIFY(m_editor->toDeltaJson().contains(QStringLiteral("\"italic\":true")));
}

void TestNoteEditorPaste::htmlMimeIsConverted()
{
    QMimeData data;
    data.setHtml(QStringLiteral("<ul><li>one</li><li><b>two</b></li></ul><script>alert(1)</script>"));
    data.setText(QStringLiteral("# not used"));
    m_editor->insertFromMimeData(&data);
    QCOMPARE(m_editor->toPlainText(), QStringLiteral("one\ntwo"));
    const QString json = m_editor->toDeltaJson();
    QVERIFY(json.contains(QStringLiteral("\"list\":\"bullet\"")));
    QVERIFY(!json.contains(QStringLiteral("alert")));
}

void TestNoteEditorPaste::canInsertMarkdownMime()
{
    QMimeData data;
    data.setData(QStringLiteral("text/markdown"), QByteArrayLiteral("x"));
    QVERIFY(m_editor->canInsertFromMimeData(&data));
    QMimeData none;
    none.setData(QStringLiteral("application/octet-stream"), QByteArrayLiteral("x"));
    QVERIFY(!m_editor->canInsertFromMimeData(&none));
}

void TestNoteEditorPaste::pasteThatConvertsToNothingInsertsNothing_data()
{
    QTest::addColumn<QString>("mime");
    QTest::addColumn<QByteArray>("payload");
    QTest::newRow("blank-markdown") << QStringLiteral("text/markdown") << QByteArrayLiteral("   \n ");
    QTest::newRow("script-only-html") << QStringLiteral("text/html") << QByteArrayLiteral("<script>x()</script>");
    QTest::newRow("empty-html") << QStringLiteral("text/html") << QByteArray();
}

void TestNoteEditorPaste::pasteThatConvertsToNothingInsertsNothing()
{
    QFETCH(QString, mime);
    QFETCH(QByteArray, payload);
    m_editor->loadNote(QStringLiteral("n"), QStringLiteral("[{\"insert\":\"keep\\n\"}]"));
    QMimeData data;
    data.setData(mime, payload);
    m_editor->insertFromMimeData(&data);
    QVERIFY(m_editor->toPlainText().startsWith(QStringLiteral("keep")));
    QVERIFY(m_editor->document()->blockCount() <= 2);
}

void TestNoteEditorPaste::pastedBodiesSurviveRoundTrip_data()
{
    QTest::addColumn<QString>("mime");
    QTest::addColumn<QString>("payload");
    QTest::newRow("markdown-mixed") << QStringLiteral("text/markdown") << QStringLiteral(
        "# Title\n\nSome **bold** and `code` and [a link](https://x.org).\n\n- one\n- two\n\n1. first\n2. second\n\n"
        "- [ ] open task\n- [x] done task\n\n> quote\n\n```\nfenced\n```\n\n| a | b |\n|---|---|\n| 1 | 2 |\n");
    QTest::newRow("html-mixed") << QStringLiteral("text/html") << QStringLiteral(
        "<h2>Head</h2><p>Text <i>it</i> <s>gone</s> <u>under</u></p><ol><li>a</li><li>b</li></ol>"
        "<table><tr><th>h</th></tr><tr><td>c</td></tr></table><img src=\"https://x.org/i.png\">");
    QTest::newRow("html-nested-deep") << QStringLiteral("text/html")
        << QString(QStringLiteral("<div>")).repeated(300) + QStringLiteral("deep") + QString(QStringLiteral("</div>")).repeated(300);
    QTest::newRow("markdown-nested-lists") << QStringLiteral("text/markdown") << QStringLiteral("- a\n  - b\n    - c\n");
}

void TestNoteEditorPaste::pastedBodiesSurviveRoundTrip()
{
    QFETCH(QString, mime);
    QFETCH(QString, payload);
    // Type, paste, format, save, reload and compare.
    QTest::keyClicks(m_editor.get(), QStringLiteral("typed "));
    QMimeData data;
    data.setData(mime, payload.toUtf8());
    m_editor->insertFromMimeData(&data);
    m_editor->selectAll();
    m_editor->toggleItalic();
    const QString saved = m_editor->toDeltaJson();
    m_editor->loadNote(QStringLiteral("other"), saved);
    QCOMPARE(m_editor->toDeltaJson(), saved);
    QVERIFY(m_editor->toPlainText().startsWith(QStringLiteral("typed ")));
}

void TestNoteEditorPaste::pasteShowsWhatReloadShows_data()
{
    QTest::addColumn<QString>("mime");
    QTest::addColumn<QString>("payload");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("where");

    const QList<std::array<QString, 3>> payloads = {
        {QStringLiteral("html-heading"), QStringLiteral("text/html"), QStringLiteral("<h2>Plans</h2><p>text</p>")},
        {QStringLiteral("html-lone-heading"), QStringLiteral("text/html"), QStringLiteral("<h1>Only</h1>")},
        {QStringLiteral("html-inline"), QStringLiteral("text/html"),
         QStringLiteral("<b>bold <i>both <a href=\"https://x.org\">link</a></i></b> <code>c</code>")},
        {QStringLiteral("html-lists"), QStringLiteral("text/html"),
         QStringLiteral("<ul><li>b1</li><li>b2</li></ul><ol><li>o1</li></ol><ul><li class=\"checked\">done</li></ul>")},
        {QStringLiteral("html-table"), QStringLiteral("text/html"),
         QStringLiteral("<p>before</p><table><tr><th>H</th><th>I</th></tr><tr><td><b>x</b></td><td>y</td></tr></table><p>after</p>")},
        {QStringLiteral("html-lone-table"), QStringLiteral("text/html"),
         QStringLiteral("<table><tr><td>t</td></tr></table>")},
        {QStringLiteral("html-images"), QStringLiteral("text/html"),
         QStringLiteral("<p>pic <img src=\"ombrel-notes://attachment/a1\"> and <img src=\"https://x.org/i.png\"></p>")},
        {QStringLiteral("html-quote-code"), QStringLiteral("text/html"),
         QStringLiteral("<blockquote>q</blockquote><pre>code 1\ncode 2</pre>")},
        {QStringLiteral("md-heading"), QStringLiteral("text/markdown"), QStringLiteral("# Title\n\nbody **b**\n")},
        {QStringLiteral("md-lists"), QStringLiteral("text/markdown"),
         QStringLiteral("- [x] done\n- [ ] open\n\n1. one\n2. two\n")},
        {QStringLiteral("md-table"), QStringLiteral("text/markdown"), QStringLiteral("| a | b |\n|---|---|\n| 1 | *2* |\n")},
        {QStringLiteral("md-link-line"), QStringLiteral("text/markdown"), QStringLiteral("see [x](https://x.org) ~~s~~\n")},
        {QStringLiteral("md-code"), QStringLiteral("text/markdown"), QStringLiteral("```\nfenced\n```\n")},
    };
    const QStringList targets = {QStringLiteral("Head line"), QStringLiteral("plain para"),
                                 QStringLiteral("item text"), QStringLiteral("cell text")};
    const QStringList places = {QStringLiteral("start"), QStringLiteral("middle"), QStringLiteral("end")};
    for (const auto &payload : payloads) {
        for (const QString &target : targets) {
            for (const QString &where : places) {
                const QString name = QStringLiteral("%1 %2 %3").arg(payload[0], target, where);
                QTest::newRow(qPrintable(name)) << payload[1] << payload[2] << target << where;
            }
        }
    }
}

void TestNoteEditorPaste::pasteShowsWhatReloadShows()
{
    QFETCH(QString, mime);
    QFETCH(QString, payload);
    QFETCH(QString, target);
    QFETCH(QString, where);
    m_editor->loadNote(QStringLiteral("n"), TargetBody);
    const int position = positionIn(m_editor->document(), target, where);
    QVERIFY(position >= 0);
    QTextCursor cursor(m_editor->document());
    cursor.setPosition(position);
    m_editor->setTextCursor(cursor);

    QMimeData data;
    data.setData(mime, payload.toUtf8());
    m_editor->insertFromMimeData(&data);
    const QStringList shown = appearance(m_editor->document());
    const QString saved = m_editor->toDeltaJson();

    DeltaDocument reloaded;
    reloaded.setDeltaJson(saved);
    QCOMPARE(appearance(reloaded.document()), shown);
    QCOMPARE(reloaded.toDeltaJson(), saved);
    // The text around the paste point is all still there.
    const QString text = m_editor->toPlainText();
    for (const QString &kept : {QStringLiteral("ad line"), QStringLiteral("ain para"), QStringLiteral("first item"),
                                QStringLiteral("last item"), QStringLiteral("h1"), QStringLiteral("end")}) {
        QVERIFY2(text.contains(kept), qPrintable(kept));
    }
}

void TestNoteEditorPaste::pastedHeadingIsStoredAsHeading()
{
    m_editor->loadNote(QStringLiteral("n"), DeltaDocument::emptyNoteJson());
    QMimeData data;
    data.setHtml(QStringLiteral("<h2>Plans</h2><p>text</p>"));
    m_editor->insertFromMimeData(&data);
    QCOMPARE(m_editor->toDeltaJson(), QStringLiteral(
        "[{\"attributes\":{\"bold\":true},\"insert\":\"Plans\"},{\"attributes\":{\"header\":2},\"insert\":\"\\n\"},"
        "{\"insert\":\"text\"},{\"insert\":\"\\n\"}]"));
}

void TestNoteEditorPaste::pasteAtStartOfHeadingKeepsHeading()
{
    m_editor->loadNote(QStringLiteral("n"), QStringLiteral(
        "[{\"insert\":\"Head\"},{\"attributes\":{\"header\":1},\"insert\":\"\\n\"}]"));
    QMimeData data;
    data.setData(QStringLiteral("text/markdown"), QByteArrayLiteral("one\n\ntwo\n"));
    m_editor->insertFromMimeData(&data);
    const QString saved = m_editor->toDeltaJson();
    QVERIFY2(saved.endsWith(QStringLiteral("{\"attributes\":{\"bold\":true},\"insert\":\"Head\"},{\"attributes\":{\"header\":1},\"insert\":\"\\n\"}]")),
             qPrintable(saved));
    QVERIFY2(saved.startsWith(QStringLiteral("[{\"insert\":\"one\"},{\"insert\":\"\\n\"},{\"insert\":\"two\"}")),
             qPrintable(saved));
    // The cursor waits after the pasted text.
    QCOMPARE(m_editor->textCursor().block().text(), QStringLiteral("two"));
}

void TestNoteEditorPaste::pasteIsOneUndoStep()
{
    m_editor->loadNote(QStringLiteral("n"), QStringLiteral("[{\"insert\":\"keep me\\n\"}]"));
    const QString before = m_editor->toDeltaJson();
    QTextCursor cursor(m_editor->document());
    cursor.setPosition(4);
    m_editor->setTextCursor(cursor);
    QMimeData data;
    data.setHtml(QStringLiteral("<h1>A</h1><ul><li>b</li></ul><table><tr><td>c</td></tr></table>"));
    m_editor->insertFromMimeData(&data);
    QVERIFY(m_editor->toDeltaJson() != before);
    m_editor->undo();
    QCOMPARE(m_editor->toDeltaJson(), before);
}

QTEST_MAIN(TestNoteEditorPaste)
#include "tst_noteeditor_paste.moc"
