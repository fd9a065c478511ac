#include "deltadocument.h"
#include "noteeditor.h"
#include "testsupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>
#include <QUrl>

#include <memory>

namespace {

// A body as the document model itself saves it after loading (headings carry their
// weight, code blocks their font), so expectations do not depend on those details.
QString normalized(const QString &json)
{
    DeltaDocument document;
    document.setDeltaJson(json);
    return document.toDeltaJson();
}

QJsonArray parse(const QString &json)
{
    return QJsonDocument::fromJson(json.toUtf8()).array();
}

// The attributes of the line-end operation that closes the given line (0-based).
QJsonObject lineAttributes(const QString &json, int line)
{
    int seen = 0;
    for (const QJsonValue &value : parse(json)) {
        const QJsonObject op = value.toObject();
        if (op.value(QLatin1String("insert")).toString() == QLatin1String("\n")) {
            if (seen++ == line)
                return op.value(QLatin1String("attributes")).toObject();
        }
    }
    return {};
}

// The text of every run carrying the link, concatenated.
QString linkedText(const QString &json, const QString &href)
{
    QString text;
    for (const QJsonValue &value : parse(json)) {
        const QJsonObject op = value.toObject();
        if (op.value(QLatin1String("attributes")).toObject().value(QLatin1String("link")).toString() == href)
            text += op.value(QLatin1String("insert")).toString();
    }
    return text;
}

QJsonObject firstTextAttributes(const QString &json, const QString &text)
{
    for (const QJsonValue &value : parse(json)) {
        const QJsonObject op = value.toObject();
        if (op.value(QLatin1String("insert")).toString() == text)
            return op.value(QLatin1String("attributes")).toObject();
    }
    return {};
}

void selectRange(NoteEditor &editor, int start, int end)
{
    QTextCursor cursor(editor.document());
    cursor.setPosition(start);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    editor.setTextCursor(cursor);
}

} // namespace

class TestNoteEditor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }
    void init();
    void cleanup() { m_editor.reset(); }

    void startsEmptyAndReadOnly();
    void burstOfTypingGivesOneNoteModifiedAfterIdle();
    void loadingEmitsNoModification();
    void reloadOfSameBodyKeepsCursorAndUndo();
    void reloadAfterEditWhileDirtyReplacesDocument();
    void forcedReloadResetsCursor();
    void clearNoteStopsPendingModification();
    void wordCountFollowsWhitespace_data();
    void wordCountFollowsWhitespace();
    void toggleOnSelectionFollowsFirstCharacter_data();
    void toggleOnSelectionFollowsFirstCharacter();
    void inlineCodeToggleRoundTrips();
    void headingResetsInlineFormatting();
    void normalTextClearsHeading();
    void blockToggleReplacesOtherBlockKinds();
    void listToggleOverSelectionAndBack();
    void alignmentIsSaved();
    void dividerIsSavedAsEmbed();
    void formatStateReportsCursorFormat();
    void tableInsertionWithHeader();
    void tableInsertionRefusedInsideTableOrEmpty();
    void insertLinkReplacesOrMergesSelection_data();
    void insertLinkReplacesOrMergesSelection();
    void blankLinkUrlChangesNothing();
    void typingAtLinkEdgeIsPlainInsideExtends_data();
    void typingAtLinkEdgeIsPlainInsideExtends();
    void typingAfterDialogLinkIsPlain();
    void openLinkAddsSchemeWhenMissing_data();
    void openLinkAddsSchemeWhenMissing();

private:
    void loadTyped(const QString &json = DeltaDocument::emptyNoteJson());

    std::unique_ptr<NoteEditor> m_editor;
    QList<QUrl> m_opened;
};

void TestNoteEditor::init()
{
    m_opened.clear();
    m_editor = std::make_unique<NoteEditor>();
    m_editor->resize(640, 480);
    m_editor->setUrlOpener([this](const QUrl &url) {
        m_opened.append(url);
        return true;
    });
    m_editor->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_editor.get()));
}

void TestNoteEditor::loadTyped(const QString &json)
{
    m_editor->loadNote(QStringLiteral("note-1"), json);
    m_editor->setFocus();
}

void TestNoteEditor::startsEmptyAndReadOnly()
{
    QVERIFY(m_editor->isReadOnly());
    QVERIFY(m_editor->isSaved());
    QVERIFY(m_editor->currentNoteId().isEmpty());
    QCOMPARE(m_editor->placeholderText(), QStringLiteral("Select a note or press Ctrl+N to create one"));
    loadTyped();
    QVERIFY(!m_editor->isReadOnly());
    QCOMPARE(m_editor->placeholderText(), QStringLiteral("Start typing..."));
}

void TestNoteEditor::burstOfTypingGivesOneNoteModifiedAfterIdle()
{
    loadTyped();
    QSignalSpy modified(m_editor.get(), &NoteEditor::noteModified);
    QSignalSpy saved(m_editor.get(), &NoteEditor::savedStateChanged);
    QSignalSpy words(m_editor.get(), &NoteEditor::wordCountChanged);

    QTest::keyClicks(m_editor.get(), QStringLiteral("hello"), Qt::NoModifier, 100);
    QTest::keyClick(m_editor.get(), Qt::Key_Space);
    QTest::keyClicks(m_editor.get(), QStringLiteral("world"));
    QVERIFY(!m_editor->isSaved());
    QCOMPARE(saved.first().first().toBool(), false);
    QCOMPARE(words.last().first().toInt(), 2);

    // Less than the idle interval after the last key nothing is reported...
    QTest::qWait(700);
    QCOMPARE(modified.count(), 0);
    // ...then exactly once.
    QTRY_COMPARE_WITH_TIMEOUT(modified.count(), 1, 2000);
    QTest::qWait(1200);
    QCOMPARE(modified.count(), 1);
    QVERIFY(m_editor->isSaved());
    QCOMPARE(saved.last().first().toBool(), true);
    QCOMPARE(firstTextAttributes(m_editor->toDeltaJson(), QStringLiteral("hello world")), QJsonObject());
    QVERIFY(m_editor->toDeltaJson().contains(QStringLiteral("hello world")));
}

void TestNoteEditor::loadingEmitsNoModification()
{
    QSignalSpy modified(m_editor.get(), &NoteEditor::noteModified);
    QSignalSpy saved(m_editor.get(), &NoteEditor::savedStateChanged);
    m_editor->loadNote(QStringLiteral("a"), QStringLiteral("[{\"insert\":\"one two\\n\"}]"));
    m_editor->loadNote(QStringLiteral("b"), QStringLiteral("not json at all"));
    m_editor->clearNote();
    QTest::qWait(1200);
    QCOMPARE(modified.count(), 0);
    for (const QList<QVariant> &arguments : std::as_const(saved))
        QCOMPARE(arguments.first().toBool(), true);
}

void TestNoteEditor::reloadOfSameBodyKeepsCursorAndUndo()
{
    loadTyped();
    QTest::keyClicks(m_editor.get(), QStringLiteral("abc def"));
    QSignalSpy modified(m_editor.get(), &NoteEditor::noteModified);
    QVERIFY(modified.wait(2000));
    const QString body = m_editor->toDeltaJson();
    QTextCursor cursor = m_editor->textCursor();
    cursor.setPosition(2);
    m_editor->setTextCursor(cursor);

    QSignalSpy saved(m_editor.get(), &NoteEditor::savedStateChanged);
    m_editor->loadNote(QStringLiteral("note-1"), body);
    QCOMPARE(m_editor->textCursor().position(), 2);
    QVERIFY(m_editor->document()->isUndoAvailable());
    QCOMPARE(saved.count(), 0);
}

void TestNoteEditor::reloadAfterEditWhileDirtyReplacesDocument()
{
    loadTyped();
    QTest::keyClicks(m_editor.get(), QStringLiteral("typed"));
    const QString body = m_editor->toDeltaJson();
    // Not saved yet: the owner's reload is not skipped.
    m_editor->loadNote(QStringLiteral("note-1"), body);
    QVERIFY(!m_editor->document()->isUndoAvailable());
    QCOMPARE(m_editor->textCursor().position(), 0);
    QVERIFY(m_editor->isSaved());
}

void TestNoteEditor::forcedReloadResetsCursor()
{
    const QString body = QStringLiteral("[{\"insert\":\"some text\\n\"}]");
    m_editor->loadNote(QStringLiteral("n"), body);
    QTextCursor cursor = m_editor->textCursor();
    cursor.setPosition(4);
    m_editor->setTextCursor(cursor);
    m_editor->loadNote(QStringLiteral("n"), body, true);
    QCOMPARE(m_editor->textCursor().position(), 0);
}

void TestNoteEditor::clearNoteStopsPendingModification()
{
    loadTyped();
    QTest::keyClicks(m_editor.get(), QStringLiteral("x"));
    QSignalSpy modified(m_editor.get(), &NoteEditor::noteModified);
    QSignalSpy words(m_editor.get(), &NoteEditor::wordCountChanged);
    m_editor->clearNote();
    QCOMPARE(words.last().first().toInt(), 0);
    QTest::qWait(1300);
    QCOMPARE(modified.count(), 0);
    QVERIFY(m_editor->isReadOnly());
    QVERIFY(m_editor->currentNoteId().isEmpty());
}

void TestNoteEditor::wordCountFollowsWhitespace_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("count");
    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("only-blanks") << QStringLiteral("   \t ") << 0;
    QTest::newRow("one-word") << QStringLiteral("word") << 1;
    QTest::newRow("surrounding-blanks") << QStringLiteral("  two  words  ") << 2;
    QTest::newRow("lines-and-tabs") << QStringLiteral("a\tb\nc") << 3;
    QTest::newRow("no-break-space") << QStringLiteral("a\u00A0b") << 2;
    QTest::newRow("punctuation-is-part") << QStringLiteral("one, two - three") << 4;
}

void TestNoteEditor::wordCountFollowsWhitespace()
{
    QFETCH(QString, text);
    QFETCH(int, count);
    QJsonArray ops{QJsonObject{{QStringLiteral("insert"), text + QLatin1Char('\n')}}};
    m_editor->loadNote(QStringLiteral("n"), QString::fromUtf8(QJsonDocument(ops).toJson(QJsonDocument::Compact)));
    QCOMPARE(m_editor->wordCount(), count);
}

void TestNoteEditor::toggleOnSelectionFollowsFirstCharacter_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("command");
    QTest::newRow("bold") << QStringLiteral("bold") << 0;
    QTest::newRow("italic") << QStringLiteral("italic") << 1;
    QTest::newRow("underline") << QStringLiteral("underline") << 2;
    QTest::newRow("strike") << QStringLiteral("strike") << 3;
    QTest::newRow("code") << QStringLiteral("code") << 4;
}

void TestNoteEditor::toggleOnSelectionFollowsFirstCharacter()
{
    QFETCH(QString, key);
    QFETCH(int, command);
    // "ab" formatted, "cd" plain: the first selected character decides: all plain.
    const QString body = QStringLiteral("[{\"attributes\":{\"%1\":true},\"insert\":\"ab\"},{\"insert\":\"cd\\n\"}]").arg(key);
    m_editor->loadNote(QStringLiteral("n"), body);
    const auto run = [this, command] {
        switch (command) {
        case 0: m_editor->toggleBold(); break;
        case 1: m_editor->toggleItalic(); break;
        case 2: m_editor->toggleUnderline(); break;
        case 3: m_editor->toggleStrikethrough(); break;
        default: m_editor->toggleInlineCode(); break;
        }
    };
    selectRange(*m_editor, 0, 4);
    run();
    QCOMPARE(m_editor->toDeltaJson(), QStringLiteral("[{\"insert\":\"abcd\"},{\"insert\":\"\\n\"}]"));
    // Plain first character: the whole selection becomes formatted.
    selectRange(*m_editor, 1, 4);
    run();
    QCOMPARE(firstTextAttributes(m_editor->toDeltaJson(), QStringLiteral("bcd")),
             (QJsonObject{{key, true}}));
}

void TestNoteEditor::inlineCodeToggleRoundTrips()
{
    loadTyped();
    m_editor->toggleInlineCode();
    QTest::keyClicks(m_editor.get(), QStringLiteral("code"));
    m_editor->toggleInlineCode();
    QTest::keyClicks(m_editor.get(), QStringLiteral(" text"));
    const QString json = m_editor->toDeltaJson();
    QCOMPARE(firstTextAttributes(json, QStringLiteral("code")), (QJsonObject{{QStringLiteral("code"), true}}));
    QCOMPARE(firstTextAttributes(json, QStringLiteral(" text")), QJsonObject());
    // The plain run must not keep the code colours.
    QTextCursor probe(m_editor->document());
    probe.setPosition(7);
    QVERIFY(!probe.charFormat().hasProperty(QTextFormat::ForegroundBrush));
}

void TestNoteEditor::headingResetsInlineFormatting()
{
    m_editor->loadNote(QStringLiteral("n"), QStringLiteral(
        "[{\"insert\":\"plain \"},{\"attributes\":{\"bold\":true,\"italic\":true},\"insert\":\"loud\"},{\"insert\":\"\\n\"}]"));
    m_editor->setHeading(2);
    QCOMPARE(m_editor->toDeltaJson(),
             normalized(QStringLiteral("[{\"insert\":\"plain loud\"},{\"attributes\":{\"header\":2},\"insert\":\"\\n\"}]")));
    QTextCursor probe(m_editor->document());
    probe.setPosition(8);
    QCOMPARE(probe.charFormat().property(QTextFormat::FontPixelSize).toInt(), 22);
}

void TestNoteEditor::normalTextClearsHeading()
{
    m_editor->loadNote(QStringLiteral("n"), QStringLiteral("[{\"insert\":\"Title\"},{\"attributes\":{\"header\":1},\"insert\":\"\\n\"}]"));
    m_editor->setHeading(0);
    QCOMPARE(m_editor->toDeltaJson(), QStringLiteral("[{\"insert\":\"Title\"},{\"insert\":\"\\n\"}]"));
    QTextCursor probe(m_editor->document());
    probe.setPosition(2);
    QCOMPARE(probe.charFormat().property(QTextFormat::FontPixelSize).toInt(), DeltaDocument::bodyPixelSize());
}

void TestNoteEditor::blockToggleReplacesOtherBlockKinds()
{
    m_editor->loadNote(QStringLiteral("n"), QStringLiteral(
        "[{\"insert\":\"a\"},{\"attributes\":{\"list\":\"bullet\"},\"insert\":\"\\n\"},"
        "{\"insert\":\"b\"},{\"attributes\":{\"header\":3},\"insert\":\"\\n\"}]"));
    selectRange(*m_editor, 0, 3);
    m_editor->toggleCodeBlock();
    QCOMPARE(lineAttributes(m_editor->toDeltaJson(), 0), (QJsonObject{{QStringLiteral("code-block"), true}}));
    QCOMPARE(lineAttributes(m_editor->toDeltaJson(), 1), (QJsonObject{{QStringLiteral("code-block"), true}}));
    QVERIFY(!m_editor->document()->firstBlock().textList());
    m_editor->toggleCodeBlock();
    QCOMPARE(m_editor->toDeltaJson(), QStringLiteral("[{\"insert\":\"a\"},{\"insert\":\"\\n\"},{\"insert\":\"b\"},{\"insert\":\"\\n\"}]"));
    m_editor->toggleBlockquote();
    QCOMPARE(lineAttributes(m_editor->toDeltaJson(), 1), (QJsonObject{{QStringLiteral("blockquote"), true}}));
}

void TestNoteEditor::listToggleOverSelectionAndBack()
{
    m_editor->loadNote(QStringLiteral("n"), QStringLiteral("[{\"insert\":\"a\\nb\\nc\\n\"}]"));
    selectRange(*m_editor, 0, 5);
    m_editor->toggleNumberedList();
    for (int line = 0; line < 3; ++line)
        QCOMPARE(lineAttributes(m_editor->toDeltaJson(), line), (QJsonObject{{QStringLiteral("list"), QStringLiteral("ordered")}}));
    QCOMPARE(m_editor->document()->lastBlock().textList()->count(), 3);
    m_editor->toggleCheckboxList();
    QCOMPARE(lineAttributes(m_editor->toDeltaJson(), 2), (QJsonObject{{QStringLiteral("list"), QStringLiteral("unchecked")}}));
    m_editor->toggleCheckboxList();
    QCOMPARE(m_editor->toDeltaJson(), QStringLiteral("[{\"insert\":\"a\"},{\"insert\":\"\\n\"},{\"insert\":\"b\"},{\"insert\":\"\\n\"},{\"insert\":\"c\"},{\"insert\":\"\\n\"}]"));
}

void TestNoteEditor::alignmentIsSaved()
{
    m_editor->loadNote(QStringLiteral("n"), QStringLiteral("[{\"insert\":\"x\\n\"}]"));
    m_editor->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QCOMPARE(lineAttributes(m_editor->toDeltaJson(), 0), (QJsonObject{{QStringLiteral("align"), QStringLiteral("right")}}));
    m_editor->setAlignment(Qt::AlignLeft);
    QCOMPARE(lineAttributes(m_editor->toDeltaJson(), 0), QJsonObject());
}

void TestNoteEditor::dividerIsSavedAsEmbed()
{
    m_editor->loadNote(QStringLiteral("n"), QStringLiteral("[{\"insert\":\"above\\n\"}]"));
    m_editor->insertDivider();
    QTest::keyClicks(m_editor.get(), QStringLiteral("below"));
    QCOMPARE(m_editor->toDeltaJson(), QStringLiteral(
        "[{\"insert\":\"above\"},{\"insert\":\"\\n\"},{\"insert\":{\"divider\":\"hr\"}},{\"insert\":\"\\n\"},"
        "{\"insert\":\"below\"},{\"insert\":\"\\n\"}]"));
}

void TestNoteEditor::formatStateReportsCursorFormat()
{
    m_editor->loadNote(QStringLiteral("n"), QStringLiteral(
        "[{\"attributes\":{\"bold\":true,\"link\":\"https://x.org\"},\"insert\":\"ab\"},"
        "{\"attributes\":{\"list\":\"checked\",\"align\":\"center\"},\"insert\":\"\\n\"}]"));
    QSignalSpy state(m_editor.get(), &NoteEditor::formatStateChanged);
    QSignalSpy cursorFormat(m_editor.get(), &NoteEditor::cursorFormatChanged);
    selectRange(*m_editor, 0, 2);
    QVERIFY(state.count() >= 1);
    const QList<QVariant> last = state.last();
    QCOMPARE(last.at(0).toBool(), true);   // bold
    QCOMPARE(last.at(2).toBool(), false);  // a link's underline is not "underline"
    QCOMPARE(last.at(6).toString(), QStringLiteral("checked"));
    QCOMPARE(last.at(9).toBool(), false);
    QCOMPARE(last.at(10).value<Qt::Alignment>(), Qt::Alignment(Qt::AlignHCenter));
    QCOMPARE(cursorFormat.count(), state.count());
}

void TestNoteEditor::tableInsertionWithHeader()
{
    m_editor->loadNote(QStringLiteral("n"), QStringLiteral("[{\"insert\":\"before\\n\"}]"));
    QTextCursor cursor(m_editor->document());
    cursor.setPosition(3);
    m_editor->setTextCursor(cursor);
    m_editor->insertTable(2, 3, true);
    QTextTable *table = m_editor->textCursor().currentTable();
    QVERIFY(table);
    QCOMPARE(table->cellAt(m_editor->textCursor()).row(), 0);
    QCOMPARE(table->rows(), 2);
    QCOMPARE(table->columns(), 3);
    QCOMPARE(table->format().headerRowCount(), 1);
    QTest::keyClicks(m_editor.get(), QStringLiteral("H"));
    const QJsonArray saved = parse(m_editor->toDeltaJson());
    // The text block stays and an empty paragraph separates it from the table, which is
    // saved as one embed with its line end; the spacer the engine added is dropped.
    QCOMPARE(saved.size(), 5);
    QCOMPARE(saved.at(0).toObject().value(QLatin1String("insert")).toString(), QStringLiteral("before"));
    const QString tableJson = saved.at(3).toObject().value(QLatin1String("insert")).toObject()
                                  .value(QLatin1String("table")).toString();
    const QJsonObject tableObject = QJsonDocument::fromJson(tableJson.toUtf8()).object();
    QCOMPARE(tableObject.value(QLatin1String("hasHeader")).toBool(), true);
    QCOMPARE(tableObject.value(QLatin1String("cells")).toArray().size(), 2);
    // Reload keeps exactly one table.
    const QString json = m_editor->toDeltaJson();
    m_editor->loadNote(QStringLiteral("n"), json, true);
    QCOMPARE(m_editor->toDeltaJson(), json);
}

void TestNoteEditor::tableInsertionRefusedInsideTableOrEmpty()
{
    m_editor->loadNote(QStringLiteral("n"), DeltaDocument::emptyNoteJson());
    m_editor->insertTable(0, 3, false);
    m_editor->insertTable(3, 0, false);
    QCOMPARE(m_editor->toDeltaJson(), DeltaDocument::emptyNoteJson());
    m_editor->insertTable(1, 1, false);
    const QString once = m_editor->toDeltaJson();
    m_editor->insertTable(2, 2, false);
    QCOMPARE(m_editor->toDeltaJson(), once);
}

void TestNoteEditor::insertLinkReplacesOrMergesSelection_data()
{
    QTest::addColumn<QString>("returnedText");
    QTest::addColumn<QString>("expected");
    QTest::newRow("same-text-merges")
        << QStringLiteral("word") << QStringLiteral("[{\"insert\":\"a \"},{\"attributes\":{\"link\":\"https://ex.org\"},\"insert\":\"word\"},{\"insert\":\" b\"},{\"insert\":\"\\n\"}]");
    QTest::newRow("new-text-replaces")
        << QStringLiteral("other") << QStringLiteral("[{\"insert\":\"a \"},{\"attributes\":{\"link\":\"https://ex.org\"},\"insert\":\"other\"},{\"insert\":\" b\"},{\"insert\":\"\\n\"}]");
    QTest::newRow("empty-text-uses-url")
        << QString() << QStringLiteral("[{\"insert\":\"a \"},{\"attributes\":{\"link\":\"https://ex.org\"},\"insert\":\"https://ex.org\"},{\"insert\":\" b\"},{\"insert\":\"\\n\"}]");
}

void TestNoteEditor::insertLinkReplacesOrMergesSelection()
{
    QFETCH(QString, returnedText);
    QFETCH(QString, expected);
    m_editor->loadNote(QStringLiteral("n"), QStringLiteral("[{\"insert\":\"a word b\\n\"}]"));
    QString askedText;
    m_editor->setLinkPrompt([&](const QString &title, const QString &text, const QString &url) {
        askedText = text;
        if (title != QLatin1String("Insert Link") || url != QLatin1String("https://"))
            return std::optional<NoteEditor::LinkInput>();
        return std::optional<NoteEditor::LinkInput>(NoteEditor::LinkInput{returnedText, QStringLiteral("https://ex.org")});
    });
    selectRange(*m_editor, 2, 6);
    m_editor->insertLink();
    QCOMPARE(askedText, QStringLiteral("word"));
    QCOMPARE(m_editor->toDeltaJson(), expected);
}

void TestNoteEditor::blankLinkUrlChangesNothing()
{
    m_editor->loadNote(QStringLiteral("n"), QStringLiteral("[{\"insert\":\"a word b\\n\"}]"));
    m_editor->setLinkPrompt([](const QString &, const QString &, const QString &) {
        return std::optional<NoteEditor::LinkInput>();
    });
    const QString before = m_editor->toDeltaJson();
    selectRange(*m_editor, 2, 6);
    m_editor->insertLink();
    QCOMPARE(m_editor->toDeltaJson(), before);
}

void TestNoteEditor::typingAtLinkEdgeIsPlainInsideExtends_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("expectedLinked");
    QTest::addColumn<QString>("expectedText");
    const QString link = QStringLiteral("{\"attributes\":{\"link\":\"https://ex.org\"},\"insert\":\"site\"}");
    QTest::newRow("end-of-line")
        << QStringLiteral("[{\"insert\":\"see \"},%1,{\"insert\":\"\\n\"}]").arg(link) << 8
        << QStringLiteral("site") << QStringLiteral("see sitexy");
    QTest::newRow("end-before-text")
        << QStringLiteral("[{\"insert\":\"a \"},%1,{\"insert\":\" b\\n\"}]").arg(link) << 6
        << QStringLiteral("site") << QStringLiteral("a sitexy b");
    QTest::newRow("start-of-line")
        << QStringLiteral("[%1,{\"insert\":\" b\\n\"}]").arg(link) << 0
        << QStringLiteral("site") << QStringLiteral("xysite b");
    QTest::newRow("start-after-text")
        << QStringLiteral("[{\"insert\":\"a \"},%1,{\"insert\":\"\\n\"}]").arg(link) << 2
        << QStringLiteral("site") << QStringLiteral("a xysite");
    QTest::newRow("inside")
        << QStringLiteral("[{\"insert\":\"a \"},%1,{\"insert\":\"\\n\"}]").arg(link) << 4
        << QStringLiteral("sixyte") << QStringLiteral("a sixyte");
    QTest::newRow("end-before-other-link")
        << QStringLiteral("[%1,{\"attributes\":{\"link\":\"https://other.org\"},\"insert\":\"next\"},{\"insert\":\"\\n\"}]").arg(link) << 4
        << QStringLiteral("site") << QStringLiteral("sitexynext");
}

void TestNoteEditor::typingAtLinkEdgeIsPlainInsideExtends()
{
    QFETCH(QString, body);
    QFETCH(int, position);
    QFETCH(QString, expectedLinked);
    QFETCH(QString, expectedText);
    loadTyped(body);
    QTextCursor cursor(m_editor->document());
    cursor.setPosition(position);
    m_editor->setTextCursor(cursor);
    QTest::keyClicks(m_editor.get(), QStringLiteral("xy"));
    const QString json = m_editor->toDeltaJson();
    QCOMPARE(linkedText(json, QStringLiteral("https://ex.org")), expectedLinked);
    QCOMPARE(m_editor->toPlainText(), expectedText);
    // What is typed outside the link is not underlined or coloured like one either.
    if (!expectedLinked.contains(QLatin1String("xy")))
        QCOMPARE(firstTextAttributes(json, QStringLiteral("xy")), QJsonObject());
}

void TestNoteEditor::typingAfterDialogLinkIsPlain()
{
    loadTyped(QStringLiteral("[{\"insert\":\"go \\n\"}]"));
    QTextCursor cursor(m_editor->document());
    cursor.setPosition(3);
    m_editor->setTextCursor(cursor);
    m_editor->setLinkPrompt([](const QString &, const QString &, const QString &) {
        return std::optional<NoteEditor::LinkInput>(NoteEditor::LinkInput{QStringLiteral("here"), QStringLiteral("https://ex.org")});
    });
    m_editor->insertLink();
    QTest::keyClicks(m_editor.get(), QStringLiteral(" now"));
    const QString json = m_editor->toDeltaJson();
    QCOMPARE(linkedText(json, QStringLiteral("https://ex.org")), QStringLiteral("here"));
    QCOMPARE(firstTextAttributes(json, QStringLiteral(" now")), QJsonObject());
}

void TestNoteEditor::openLinkAddsSchemeWhenMissing_data()
{
    QTest::addColumn<QString>("href");
    QTest::addColumn<QString>("opened");
    QTest::newRow("bare-host") << QStringLiteral("example.org/a") << QStringLiteral("https://example.org/a");
    QTest::newRow("with-scheme") << QStringLiteral("http://example.org") << QStringLiteral("http://example.org");
    QTest::newRow("mailto") << QStringLiteral("mailto:a@b.org") << QStringLiteral("mailto:a@b.org");
    QTest::newRow("empty") << QString() << QString();
}

void TestNoteEditor::openLinkAddsSchemeWhenMissing()
{
    QFETCH(QString, href);
    QFETCH(QString, opened);
    m_editor->openLink(href);
    if (opened.isEmpty()) {
        QVERIFY(m_opened.isEmpty());
        return;
    }
    QCOMPARE(m_opened.size(), 1);
    QCOMPARE(m_opened.first().toString(), opened);
}

QTEST_MAIN(TestNoteEditor)
#include "tst_noteeditor.moc"
