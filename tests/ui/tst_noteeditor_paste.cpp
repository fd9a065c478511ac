#include "deltadocument.h"
#include "htmltodelta.h"
#include "markdowntodelta.h"
#include "noteeditor.h"
#include "testsupport.h"

#include <QMimeData>
#include <QTest>
#include <QTextDocument>

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

QTEST_MAIN(TestNoteEditorPaste)
#include "tst_noteeditor_paste.moc"
