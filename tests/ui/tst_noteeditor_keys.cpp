#include "deltadocument.h"
#include "noteeditor.h"
#include "testsupport.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>

#include <memory>

namespace {

const QString Bullets = QStringLiteral(
    "[{\"insert\":\"one\"},{\"attributes\":{\"list\":\"bullet\"},\"insert\":\"\\n\"},"
    "{\"insert\":\"two\"},{\"attributes\":{\"list\":\"bullet\"},\"insert\":\"\\n\"}]");

// A body as the document model itself saves it after loading (headings carry their
// weight, code blocks their font), so expectations do not depend on those details.
QString normalized(const QString &json)
{
    DeltaDocument document;
    document.setDeltaJson(json);
    return document.toDeltaJson();
}

QStringList blockTexts(QTextDocument *document)
{
    QStringList texts;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
        texts << block.text();
    return texts;
}

QString listTypeOf(const QTextBlock &block)
{
    return block.blockFormat().stringProperty(DeltaDocument::ListTypeProperty);
}

} // namespace

class TestNoteEditorKeys : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }
    void init();
    void cleanup() { m_editor.reset(); }

    void enterInEmptyItemEndsList_data();
    void enterInEmptyItemEndsList();
    void enterAtStartOfItemLeavesPlainParagraphAbove();
    void enterInMiddleContinuesList();
    void enterAfterCheckedItemStartsUncheckedItem();
    void backspaceInEmptyFirstItemKeepsNextFormats_data();
    void backspaceInEmptyFirstItemKeepsNextFormats();
    void backspaceElsewhereIsOrdinary();
    void tabWalksTableAndAppendsRow();
    void backtabInFirstCellDoesNothing();
    void altArrowSwapsLines();
    void altArrowAtEdgesChangesNothing_data();
    void altArrowAtEdgesChangesNothing();
    void duplicateLine();
    void deleteLine_data();
    void deleteLine();
    void controlWDeletesPreviousWordOrSelection();
    void controlLSelectsBlock();
    void shortcutsApplyCommands_data();
    void shortcutsApplyCommands();
    void clickOnChecklistMarkerTogglesIt();
    void markerClickChangesOnlyClickedItem_data();
    void markerClickChangesOnlyClickedItem();
    void tripleClickSelectsBlock();

private:
    void load(const QString &json);
    QPoint markerPosition(const QTextBlock &block) const;
    void placeCursor(int position);

    std::unique_ptr<NoteEditor> m_editor;
};

void TestNoteEditorKeys::init()
{
    m_editor = std::make_unique<NoteEditor>();
    m_editor->resize(640, 480);
    m_editor->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_editor.get()));
}

void TestNoteEditorKeys::load(const QString &json)
{
    m_editor->loadNote(QStringLiteral("n"), json);
    m_editor->setFocus();
}

void TestNoteEditorKeys::placeCursor(int position)
{
    QTextCursor cursor(m_editor->document());
    cursor.setPosition(position);
    m_editor->setTextCursor(cursor);
}

void TestNoteEditorKeys::enterInEmptyItemEndsList_data()
{
    QTest::addColumn<QString>("type");
    QTest::newRow("bullet") << QStringLiteral("bullet");
    QTest::newRow("ordered") << QStringLiteral("ordered");
    QTest::newRow("unchecked") << QStringLiteral("unchecked");
    QTest::newRow("checked") << QStringLiteral("checked");
}

void TestNoteEditorKeys::enterInEmptyItemEndsList()
{
    QFETCH(QString, type);
    load(QStringLiteral("[{\"insert\":\"item\"},{\"attributes\":{\"list\":\"%1\"},\"insert\":\"\\n\"},"
                        "{\"attributes\":{\"list\":\"%1\"},\"insert\":\"\\n\"}]").arg(type));
    placeCursor(5);
    QTest::keyClick(m_editor.get(), Qt::Key_Return);
    QCOMPARE(m_editor->document()->blockCount(), 2);
    const QTextBlock last = m_editor->document()->lastBlock();
    QVERIFY(!last.textList());
    QCOMPARE(last.blockFormat().marker(), QTextBlockFormat::MarkerType::NoMarker);
    QCOMPARE(m_editor->toDeltaJson(), QStringLiteral(
        "[{\"insert\":\"item\"},{\"attributes\":{\"list\":\"%1\"},\"insert\":\"\\n\"},{\"insert\":\"\\n\"}]").arg(type));
}

void TestNoteEditorKeys::enterAtStartOfItemLeavesPlainParagraphAbove()
{
    load(Bullets);
    placeCursor(4); // start of "two"
    QTest::keyClick(m_editor.get(), Qt::Key_Return);
    QCOMPARE(blockTexts(m_editor->document()), (QStringList{QStringLiteral("one"), QString(), QStringLiteral("two")}));
    const QTextBlock middle = m_editor->document()->findBlockByNumber(1);
    QVERIFY(!middle.textList());
    QCOMPARE(m_editor->textCursor().block(), middle);
    QVERIFY(m_editor->document()->lastBlock().textList());
}

void TestNoteEditorKeys::enterInMiddleContinuesList()
{
    load(Bullets);
    placeCursor(2);
    QTest::keyClick(m_editor.get(), Qt::Key_Return);
    QCOMPARE(blockTexts(m_editor->document()), (QStringList{QStringLiteral("on"), QStringLiteral("e"), QStringLiteral("two")}));
    QCOMPARE(m_editor->document()->firstBlock().textList()->count(), 3);
}

void TestNoteEditorKeys::enterAfterCheckedItemStartsUncheckedItem()
{
    load(QStringLiteral("[{\"insert\":\"done\"},{\"attributes\":{\"list\":\"checked\"},\"insert\":\"\\n\"}]"));
    placeCursor(4);
    QTest::keyClick(m_editor.get(), Qt::Key_Return);
    QTest::keyClicks(m_editor.get(), QStringLiteral("next"));
    const QTextBlock last = m_editor->document()->lastBlock();
    QVERIFY(last.textList());
    // Saved state and the reported list type agree for the new item.
    const QString json = m_editor->toDeltaJson();
    QVERIFY2(json.endsWith(QStringLiteral("{\"insert\":\"next\"},{\"attributes\":{\"list\":\"unchecked\"},\"insert\":\"\\n\"}]"))
             || json.endsWith(QStringLiteral("{\"insert\":\"next\"},{\"attributes\":{\"list\":\"checked\"},\"insert\":\"\\n\"}]")),
             qPrintable(json));
    const bool checked = last.blockFormat().marker() == QTextBlockFormat::MarkerType::Checked;
    QCOMPARE(listTypeOf(last), checked ? QStringLiteral("checked") : QStringLiteral("unchecked"));
}

void TestNoteEditorKeys::backspaceInEmptyFirstItemKeepsNextFormats_data()
{
    QTest::addColumn<QString>("json");
    QTest::addColumn<QString>("expected");
    QTest::newRow("next-is-ordered")
        << QStringLiteral("[{\"attributes\":{\"list\":\"bullet\"},\"insert\":\"\\n\"},{\"insert\":\"x\"},{\"attributes\":{\"list\":\"ordered\"},\"insert\":\"\\n\"}]")
        << QStringLiteral("[{\"insert\":\"x\"},{\"attributes\":{\"list\":\"ordered\"},\"insert\":\"\\n\"}]");
    QTest::newRow("next-is-heading")
        << QStringLiteral("[{\"attributes\":{\"list\":\"unchecked\"},\"insert\":\"\\n\"},{\"insert\":\"T\"},{\"attributes\":{\"header\":2},\"insert\":\"\\n\"}]")
        << QStringLiteral("[{\"insert\":\"T\"},{\"attributes\":{\"header\":2},\"insert\":\"\\n\"}]");
    QTest::newRow("next-is-checked")
        << QStringLiteral("[{\"attributes\":{\"list\":\"bullet\"},\"insert\":\"\\n\"},{\"insert\":\"c\"},{\"attributes\":{\"list\":\"checked\"},\"insert\":\"\\n\"}]")
        << QStringLiteral("[{\"insert\":\"c\"},{\"attributes\":{\"list\":\"checked\"},\"insert\":\"\\n\"}]");
}

void TestNoteEditorKeys::backspaceInEmptyFirstItemKeepsNextFormats()
{
    QFETCH(QString, json);
    QFETCH(QString, expected);
    load(json);
    placeCursor(0);
    QTest::keyClick(m_editor.get(), Qt::Key_Backspace);
    QCOMPARE(m_editor->document()->blockCount(), 1);
    QCOMPARE(m_editor->toDeltaJson(), normalized(expected));
}

void TestNoteEditorKeys::backspaceElsewhereIsOrdinary()
{
    load(Bullets);
    placeCursor(6);
    QTest::keyClick(m_editor.get(), Qt::Key_Backspace);
    QCOMPARE(blockTexts(m_editor->document()), (QStringList{QStringLiteral("one"), QStringLiteral("to")}));
}

void TestNoteEditorKeys::tabWalksTableAndAppendsRow()
{
    load(DeltaDocument::emptyNoteJson());
    m_editor->insertTable(2, 2, false);
    QTextTable *table = m_editor->textCursor().currentTable();
    QVERIFY(table);
    const auto cellOfCursor = [this, table] {
        const QTextTableCell cell = table->cellAt(m_editor->textCursor());
        return QPoint(cell.column(), cell.row());
    };
    QTest::keyClick(m_editor.get(), Qt::Key_Tab);
    QCOMPARE(cellOfCursor(), QPoint(1, 0));
    QTest::keyClick(m_editor.get(), Qt::Key_Tab);
    QCOMPARE(cellOfCursor(), QPoint(0, 1));
    QTest::keyClick(m_editor.get(), Qt::Key_Tab);
    QTest::keyClick(m_editor.get(), Qt::Key_Tab);
    QCOMPARE(table->rows(), 3);
    QCOMPARE(cellOfCursor(), QPoint(0, 2));
    QTest::keyClick(m_editor.get(), Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(cellOfCursor(), QPoint(1, 1));
    // No tab character ever lands in a cell.
    QVERIFY(!m_editor->toPlainText().contains(QLatin1Char('\t')));
}

void TestNoteEditorKeys::backtabInFirstCellDoesNothing()
{
    load(DeltaDocument::emptyNoteJson());
    m_editor->insertTable(2, 2, false);
    const QString before = m_editor->toDeltaJson();
    const int position = m_editor->textCursor().position();
    QTest::keyClick(m_editor.get(), Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(m_editor->textCursor().position(), position);
    QCOMPARE(m_editor->toDeltaJson(), before);
}

void TestNoteEditorKeys::altArrowSwapsLines()
{
    load(QStringLiteral("[{\"insert\":\"Title\"},{\"attributes\":{\"header\":1},\"insert\":\"\\n\"},"
                        "{\"attributes\":{\"bold\":true},\"insert\":\"ab\"},{\"insert\":\"\\n\"}]"));
    placeCursor(8); // "ab|"
    QTest::keyClick(m_editor.get(), Qt::Key_Up, Qt::AltModifier);
    QCOMPARE(m_editor->toDeltaJson(), normalized(QStringLiteral(
        "[{\"attributes\":{\"bold\":true},\"insert\":\"ab\"},{\"insert\":\"\\n\"},"
        "{\"insert\":\"Title\"},{\"attributes\":{\"header\":1},\"insert\":\"\\n\"}]")));
    QCOMPARE(m_editor->textCursor().blockNumber(), 0);
    QCOMPARE(m_editor->textCursor().positionInBlock(), 2);
    QTest::keyClick(m_editor.get(), Qt::Key_Down, Qt::AltModifier);
    QCOMPARE(m_editor->textCursor().blockNumber(), 1);
    QCOMPARE(m_editor->document()->findBlockByNumber(1).text(), QStringLiteral("ab"));
    // Undo restores the swap in one step.
    m_editor->undo();
    QCOMPARE(m_editor->document()->firstBlock().text(), QStringLiteral("ab"));
}

void TestNoteEditorKeys::altArrowAtEdgesChangesNothing_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("key");
    QTest::newRow("up-on-first-line") << 1 << int(Qt::Key_Up);
    QTest::newRow("down-on-last-line") << 5 << int(Qt::Key_Down);
}

void TestNoteEditorKeys::altArrowAtEdgesChangesNothing()
{
    QFETCH(int, position);
    QFETCH(int, key);
    load(QStringLiteral("[{\"insert\":\"ab\\ncd\\n\"}]"));
    const QString before = m_editor->toDeltaJson();
    placeCursor(position);
    QTest::keyClick(m_editor.get(), Qt::Key(key), Qt::AltModifier);
    QCOMPARE(m_editor->toDeltaJson(), before);
    QCOMPARE(m_editor->textCursor().position(), position);
}

void TestNoteEditorKeys::duplicateLine()
{
    load(QStringLiteral("[{\"attributes\":{\"italic\":true},\"insert\":\"it\"},{\"attributes\":{\"list\":\"ordered\"},\"insert\":\"\\n\"},"
                        "{\"insert\":\"z\\n\"}]"));
    placeCursor(1);
    QTest::keyClick(m_editor.get(), Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(m_editor->toDeltaJson(), QStringLiteral(
        "[{\"attributes\":{\"italic\":true},\"insert\":\"it\"},{\"attributes\":{\"list\":\"ordered\"},\"insert\":\"\\n\"},"
        "{\"attributes\":{\"italic\":true},\"insert\":\"it\"},{\"attributes\":{\"list\":\"ordered\"},\"insert\":\"\\n\"},"
        "{\"insert\":\"z\"},{\"insert\":\"\\n\"}]"));
    QCOMPARE(m_editor->document()->firstBlock().textList()->count(), 2);
}

void TestNoteEditorKeys::deleteLine_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("first-line") << 1 << QStringList{QStringLiteral("cd"), QStringLiteral("ef")};
    QTest::newRow("middle-line") << 4 << QStringList{QStringLiteral("ab"), QStringLiteral("ef")};
    QTest::newRow("last-line-keeps-its-line") << 7 << QStringList{QStringLiteral("ab"), QStringLiteral("cd"), QString()};
}

void TestNoteEditorKeys::deleteLine()
{
    QFETCH(int, position);
    QFETCH(QStringList, expected);
    load(QStringLiteral("[{\"insert\":\"ab\\ncd\\nef\\n\"}]"));
    placeCursor(position);
    QTest::keyClick(m_editor.get(), Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(blockTexts(m_editor->document()), expected);
}

void TestNoteEditorKeys::controlWDeletesPreviousWordOrSelection()
{
    load(QStringLiteral("[{\"insert\":\"alpha beta gamma\\n\"}]"));
    placeCursor(10);
    QTest::keyClick(m_editor.get(), Qt::Key_W, Qt::ControlModifier);
    QCOMPARE(m_editor->toPlainText(), QStringLiteral("alpha  gamma"));
    QTextCursor cursor(m_editor->document());
    cursor.setPosition(7);
    cursor.setPosition(12, QTextCursor::KeepAnchor);
    m_editor->setTextCursor(cursor);
    QTest::keyClick(m_editor.get(), Qt::Key_W, Qt::ControlModifier);
    QCOMPARE(m_editor->toPlainText(), QStringLiteral("alpha  "));
}

void TestNoteEditorKeys::controlLSelectsBlock()
{
    load(QStringLiteral("[{\"insert\":\"ab\\ncdef\\n\"}]"));
    placeCursor(4);
    QTest::keyClick(m_editor.get(), Qt::Key_L, Qt::ControlModifier);
    QCOMPARE(m_editor->textCursor().selectedText(), QStringLiteral("cdef"));
}

void TestNoteEditorKeys::shortcutsApplyCommands_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("lineAttributes");
    QTest::addColumn<QString>("inlineAttributes");
    const int ctrl = Qt::ControlModifier;
    const int ctrlShift = Qt::ControlModifier | Qt::ShiftModifier;
    QTest::newRow("ctrl-1") << int(Qt::Key_1) << ctrl << QStringLiteral("{\"header\":1}") << QString();
    QTest::newRow("ctrl-3") << int(Qt::Key_3) << ctrl << QStringLiteral("{\"header\":3}") << QString();
    QTest::newRow("ctrl-b") << int(Qt::Key_B) << ctrl << QString() << QStringLiteral("{\"bold\":true}");
    QTest::newRow("ctrl-i") << int(Qt::Key_I) << ctrl << QString() << QStringLiteral("{\"italic\":true}");
    QTest::newRow("ctrl-u") << int(Qt::Key_U) << ctrl << QString() << QStringLiteral("{\"underline\":true}");
    QTest::newRow("ctrl-grave") << int(Qt::Key_QuoteLeft) << ctrl << QString() << QStringLiteral("{\"code\":true}");
    QTest::newRow("ctrl-shift-7") << int(Qt::Key_7) << ctrlShift << QStringLiteral("{\"list\":\"ordered\"}") << QString();
    QTest::newRow("ctrl-shift-ampersand") << int(Qt::Key_Ampersand) << ctrlShift << QStringLiteral("{\"list\":\"ordered\"}") << QString();
    QTest::newRow("ctrl-shift-8") << int(Qt::Key_8) << ctrlShift << QStringLiteral("{\"list\":\"bullet\"}") << QString();
    QTest::newRow("ctrl-shift-9") << int(Qt::Key_9) << ctrlShift << QStringLiteral("{\"list\":\"unchecked\"}") << QString();
    QTest::newRow("ctrl-shift-x") << int(Qt::Key_X) << ctrlShift << QString() << QStringLiteral("{\"strike\":true}");
    QTest::newRow("ctrl-shift-b") << int(Qt::Key_B) << ctrlShift << QStringLiteral("{\"blockquote\":true}") << QString();
    QTest::newRow("ctrl-shift-grave") << int(Qt::Key_QuoteLeft) << ctrlShift << QStringLiteral("{\"code-block\":true}") << QString();
}

void TestNoteEditorKeys::shortcutsApplyCommands()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, lineAttributes);
    QFETCH(QString, inlineAttributes);
    load(QStringLiteral("[{\"insert\":\"word\\n\"}]"));
    QTextCursor cursor(m_editor->document());
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    m_editor->setTextCursor(cursor);
    QTest::keyClick(m_editor.get(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    const QString text = inlineAttributes.isEmpty() ? QStringLiteral("{\"insert\":\"word\"}")
                                                    : QStringLiteral("{\"attributes\":%1,\"insert\":\"word\"}").arg(inlineAttributes);
    const QString line = lineAttributes.isEmpty() ? QStringLiteral("{\"insert\":\"\\n\"}")
                                                  : QStringLiteral("{\"attributes\":%1,\"insert\":\"\\n\"}").arg(lineAttributes);
    QCOMPARE(m_editor->toDeltaJson(), normalized(QStringLiteral("[%1,%2]").arg(text, line)));
    QCOMPARE(m_editor->toPlainText(), QStringLiteral("word")); // the key typed nothing
}

void TestNoteEditorKeys::clickOnChecklistMarkerTogglesIt()
{
    load(QStringLiteral("[{\"insert\":\"task\"},{\"attributes\":{\"list\":\"unchecked\"},\"insert\":\"\\n\"},{\"insert\":\"after\\n\"}]"));
    QSignalSpy modified(m_editor.get(), &NoteEditor::noteModified);
    QSignalSpy saved(m_editor.get(), &NoteEditor::savedStateChanged);
    const QTextBlock block = m_editor->document()->firstBlock();
    const QRectF blockRect = m_editor->document()->documentLayout()->blockBoundingRect(block);
    // The marker sits in the indent left of the text.
    QPoint markerPos;
    for (int x = 0; x < int(blockRect.left()) + 40 && markerPos.isNull(); ++x) {
        const QPointF probe(x, blockRect.top() + blockRect.height() / 2);
        if (m_editor->document()->documentLayout()->blockWithMarkerAt(probe).isValid())
            markerPos = probe.toPoint();
    }
    QVERIFY2(!markerPos.isNull(), "no marker found");
    QTest::mouseClick(m_editor->viewport(), Qt::LeftButton, Qt::NoModifier, markerPos);
    QVERIFY(m_editor->toDeltaJson().contains(QStringLiteral("\"list\":\"checked\"")));
    QCOMPARE(saved.last().first().toBool(), false);
    QVERIFY(modified.wait(2000));
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    QTest::mouseClick(m_editor->viewport(), Qt::LeftButton, Qt::NoModifier, markerPos);
    QVERIFY(m_editor->toDeltaJson().contains(QStringLiteral("\"list\":\"unchecked\"")));
}

QPoint TestNoteEditorKeys::markerPosition(const QTextBlock &block) const
{
    QAbstractTextDocumentLayout *layout = m_editor->document()->documentLayout();
    const QRectF rect = layout->blockBoundingRect(block);
    for (int x = 0; x < int(rect.left()) + 40; ++x) {
        const QPointF probe(x, rect.top() + rect.height() / 2);
        if (layout->blockWithMarkerAt(probe) == block)
            return probe.toPoint() - QPoint(m_editor->horizontalScrollBar()->value(),
                                            m_editor->verticalScrollBar()->value());
    }
    return {};
}

void TestNoteEditorKeys::markerClickChangesOnlyClickedItem_data()
{
    // The cursor sits in the first line of each body; "beta" is the clicked item.
    QTest::addColumn<QString>("body");
    QTest::addColumn<int>("cursorPosition");
    const QString checklist = QStringLiteral("{\"insert\":\"alpha\"},{\"attributes\":{\"list\":\"unchecked\"},\"insert\":\"\\n\"},"
                                             "{\"insert\":\"beta\"},{\"attributes\":{\"list\":\"unchecked\"},\"insert\":\"\\n\"}");
    QTest::newRow("cursor-in-plain-title")
        << QStringLiteral("[{\"insert\":\"Title\\n\"},%1]").arg(checklist) << 2;
    QTest::newRow("cursor-in-heading")
        << QStringLiteral("[{\"insert\":\"Title\"},{\"attributes\":{\"header\":2},\"insert\":\"\\n\"},%1]").arg(checklist) << 2;
    QTest::newRow("cursor-in-bullet-list")
        << QStringLiteral("[{\"insert\":\"point\"},{\"attributes\":{\"list\":\"bullet\"},\"insert\":\"\\n\"},"
                          "{\"insert\":\"gap\\n\"},%1]").arg(checklist) << 2;
    QTest::newRow("cursor-in-table")
        << QStringLiteral("[{\"insert\":{\"table\":\"{\\\"cells\\\":[[\\\"a\\\",\\\"b\\\"]],\\\"hasHeader\\\":false}\"}},"
                          "{\"insert\":\"\\n\"},%1]").arg(checklist) << 2;
    QTest::newRow("cursor-in-same-list")
        << QStringLiteral("[%1]").arg(checklist) << 1;
}

void TestNoteEditorKeys::markerClickChangesOnlyClickedItem()
{
    QFETCH(QString, body);
    QFETCH(int, cursorPosition);
    load(body);
    const QString before = m_editor->toDeltaJson();
    placeCursor(cursorPosition);
    QTextBlock beta = m_editor->document()->lastBlock();
    QCOMPARE(beta.text(), QStringLiteral("beta"));
    const QPoint marker = markerPosition(beta);
    QVERIFY2(!marker.isNull(), "no marker found");
    // A real pointer hovers the marker before it presses it.
    QTest::mouseMove(m_editor->viewport(), marker);
    QTest::mouseClick(m_editor->viewport(), Qt::LeftButton, Qt::NoModifier, marker);

    QString expected = before;
    const QString betaUnchecked = QStringLiteral("{\"insert\":\"beta\"},{\"attributes\":{\"list\":\"unchecked\"}");
    QVERIFY(expected.contains(betaUnchecked));
    expected.replace(betaUnchecked, QStringLiteral("{\"insert\":\"beta\"},{\"attributes\":{\"list\":\"checked\"}"));
    QCOMPARE(m_editor->toDeltaJson(), expected);

    // Dragging a selection from text onto a marker flips nothing either.
    load(before);
    beta = m_editor->document()->lastBlock();
    const QPoint marker2 = markerPosition(beta);
    placeCursor(cursorPosition);
    const QRect start = m_editor->cursorRect();
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    QTest::mousePress(m_editor->viewport(), Qt::LeftButton, Qt::NoModifier, start.center());
    QTest::mouseMove(m_editor->viewport(), marker2);
    QTest::mouseRelease(m_editor->viewport(), Qt::LeftButton, Qt::NoModifier, marker2);
    QCOMPARE(m_editor->toDeltaJson(), before);
}

void TestNoteEditorKeys::tripleClickSelectsBlock()
{
    load(QStringLiteral("[{\"insert\":\"first words here\\nsecond\\n\"}]"));
    const QRect rect = m_editor->cursorRect(QTextCursor(m_editor->document()->findBlockByNumber(0)));
    const QPoint pos = rect.center() + QPoint(40, 0);
    QTest::mouseDClick(m_editor->viewport(), Qt::LeftButton, Qt::NoModifier, pos);
    QTest::mousePress(m_editor->viewport(), Qt::LeftButton, Qt::NoModifier, pos + QPoint(2, 1));
    QTest::mouseRelease(m_editor->viewport(), Qt::LeftButton, Qt::NoModifier, pos + QPoint(2, 1));
    QCOMPARE(m_editor->textCursor().selectedText(), QStringLiteral("first words here"));
}

QTEST_MAIN(TestNoteEditorKeys)
#include "tst_noteeditor_keys.moc"
