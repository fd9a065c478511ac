// Keyboard: list and checklist editing, table navigation and the shortcuts.

#include "noteeditor.h"

#include "deltadocument.h"

#include <QKeyEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextList>
#include <QTextTable>

namespace {

bool isListBlock(const QTextBlock &block)
{
    return block.textList() || block.blockFormat().marker() != QTextBlockFormat::MarkerType::NoMarker;
}

bool isEmptyBlock(const QTextBlock &block)
{
    return block.length() <= 1;
}

// Keeps the stored list string in step with the marker Qt gives a new checklist item.
void syncChecklistType(QTextCursor &cursor)
{
    QTextBlockFormat format = cursor.blockFormat();
    QString type;
    switch (format.marker()) {
    case QTextBlockFormat::MarkerType::Checked: type = QStringLiteral("checked"); break;
    case QTextBlockFormat::MarkerType::Unchecked: type = QStringLiteral("unchecked"); break;
    default: return;
    }
    if (format.stringProperty(DeltaDocument::ListTypeProperty) == type)
        return;
    format.setProperty(DeltaDocument::ListTypeProperty, type);
    cursor.setBlockFormat(format);
}

QString hrefAt(const QTextBlock &block, int position)
{
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (fragment.contains(position)) {
            const QTextCharFormat format = fragment.charFormat();
            return format.isAnchor() ? format.anchorHref() : QString();
        }
    }
    return {};
}

} // namespace

void NoteEditor::keyPressEvent(QKeyEvent *event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const int key = event->key();
    bool handled = false;

    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && modifiers == Qt::NoModifier) {
        handled = handleListEnter();
    } else if (key == Qt::Key_Backspace && modifiers == Qt::NoModifier) {
        handled = handleListBackspace();
    } else if (key == Qt::Key_Tab && modifiers == Qt::NoModifier) {
        handled = handleTableTab(false);
    } else if (key == Qt::Key_Backtab) {
        handled = handleTableTab(true);
    } else if (modifiers == Qt::ControlModifier) {
        handled = handleControlKey(key);
    } else if (modifiers == (Qt::ControlModifier | Qt::ShiftModifier)) {
        handled = handleControlShiftKey(key);
    } else if (modifiers == Qt::AltModifier) {
        handled = handleAltKey(key);
    }

    if (handled) {
        event->accept();
        return;
    }
    if (!event->text().isEmpty() && event->text().front().isPrint())
        leaveLinkAtEdge();
    QTextEdit::keyPressEvent(event);

    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && !isReadOnly()) {
        QTextCursor cursor = textCursor();
        syncChecklistType(cursor);
    }
}

// Text typed at either edge of a link continues the text around it, as in every
// editor; only typing between two characters of the same link extends the link.
void NoteEditor::leaveLinkAtEdge()
{
    const QTextCursor cursor = textCursor();
    if (cursor.hasSelection() || !cursor.charFormat().isAnchor())
        return;
    const QTextBlock block = cursor.block();
    const int position = cursor.position();
    const bool atStart = position == block.position();
    const bool atEnd = position == block.position() + block.length() - 1;
    const QString before = atStart ? QString() : hrefAt(block, position - 1);
    const QString after = atEnd ? QString() : hrefAt(block, position);
    if (!before.isEmpty() && before == after)
        return;
    QTextCharFormat plain = cursor.charFormat();
    for (const int property : {int(QTextFormat::IsAnchor), int(QTextFormat::AnchorHref),
                               int(QTextFormat::AnchorName), int(QTextFormat::TextUnderlineStyle),
                               int(QTextFormat::FontUnderline), int(QTextFormat::ForegroundBrush)}) {
        plain.clearProperty(property);
    }
    const QTextCharFormat blockFormat = block.charFormat();
    if (blockFormat.hasProperty(QTextFormat::ForegroundBrush))
        plain.setForeground(blockFormat.foreground());
    setCurrentCharFormat(plain);
}

bool NoteEditor::handleListEnter()
{
    if (isReadOnly())
        return false;
    QTextCursor cursor = textCursor();
    const QTextBlock block = cursor.block();
    if (cursor.hasSelection() || !isListBlock(block))
        return false;

    if (isEmptyBlock(block)) {
        cursor.beginEditBlock();
        DeltaDocument::applyListType(cursor, QString());
        cursor.endEditBlock();
        updateFormatState();
        return true;
    }
    if (!cursor.atBlockStart())
        return false;

    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QTextEdit::keyPressEvent(&enter);
    cursor = textCursor();
    const QTextBlock above = cursor.block().previous();
    if (above.isValid() && isEmptyBlock(above)) {
        QTextCursor aboveCursor(above);
        DeltaDocument::applyListType(aboveCursor, QString());
        setTextCursor(QTextCursor(above));
    }
    updateFormatState();
    return true;
}

bool NoteEditor::handleListBackspace()
{
    if (isReadOnly())
        return false;
    QTextCursor cursor = textCursor();
    const QTextBlock block = cursor.block();
    if (cursor.hasSelection() || !cursor.atBlockStart() || !isListBlock(block) || !isEmptyBlock(block)
        || block.previous().isValid() || !block.next().isValid()) {
        return false;
    }
    const QTextBlock next = block.next();
    if (QTextCursor(next).currentTable())
        return false; // merging into a table cell would break the table
    const QTextBlockFormat nextFormat = next.blockFormat();
    const QTextCharFormat nextCharFormat = next.charFormat();
    const QString nextType = nextFormat.stringProperty(DeltaDocument::ListTypeProperty);

    cursor.beginEditBlock();
    cursor.deleteChar();
    cursor.setBlockFormat(nextFormat);
    cursor.setBlockCharFormat(nextCharFormat);
    if (!nextType.isEmpty()) {
        DeltaDocument::applyListType(cursor, nextType);
    } else {
        DeltaDocument::applyListType(cursor, QString());
        cursor.setBlockFormat(nextFormat);
        cursor.setBlockCharFormat(nextCharFormat);
    }
    cursor.endEditBlock();
    cursor.setPosition(cursor.block().position());
    setTextCursor(cursor);
    updateFormatState();
    return true;
}

bool NoteEditor::handleTableTab(bool backwards)
{
    QTextCursor cursor = textCursor();
    QTextTable *table = cursor.currentTable();
    if (!table)
        return false;
    const QTextTableCell cell = table->cellAt(cursor);
    int row = cell.row();
    int column = cell.column();
    if (backwards) {
        if (column > 0) {
            --column;
        } else if (row > 0) {
            --row;
            column = table->columns() - 1;
        } else {
            return true;
        }
    } else if (column + 1 < table->columns()) {
        ++column;
    } else if (row + 1 < table->rows()) {
        ++row;
        column = 0;
    } else {
        if (isReadOnly())
            return true;
        table->appendRows(1);
        ++row;
        column = 0;
    }
    setTextCursor(table->cellAt(row, column).firstCursorPosition());
    return true;
}

bool NoteEditor::handleControlKey(int key)
{
    switch (key) {
    case Qt::Key_L: {
        QTextCursor cursor = textCursor();
        cursor.movePosition(QTextCursor::StartOfBlock);
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        setTextCursor(cursor);
        return true;
    }
    default:
        break;
    }
    if (isReadOnly())
        return false;
    switch (key) {
    case Qt::Key_0: setHeading(0); return true;
    case Qt::Key_1: setHeading(1); return true;
    case Qt::Key_2: setHeading(2); return true;
    case Qt::Key_3: setHeading(3); return true;
    case Qt::Key_B: toggleBold(); return true;
    case Qt::Key_I: toggleItalic(); return true;
    case Qt::Key_U: toggleUnderline(); return true;
    case Qt::Key_QuoteLeft: toggleInlineCode(); return true;
    case Qt::Key_W: {
        QTextCursor cursor = textCursor();
        if (!cursor.hasSelection())
            cursor.movePosition(QTextCursor::PreviousWord, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        setTextCursor(cursor);
        return true;
    }
    default:
        return false;
    }
}

bool NoteEditor::handleControlShiftKey(int key)
{
    if (isReadOnly())
        return false;
    // With Shift held a layout may report the shifted symbol instead of the digit.
    switch (key) {
    case Qt::Key_7:
    case Qt::Key_Ampersand: toggleList(QStringLiteral("ordered")); return true;
    case Qt::Key_8:
    case Qt::Key_Asterisk: toggleList(QStringLiteral("bullet")); return true;
    case Qt::Key_9:
    case Qt::Key_ParenLeft: toggleList(QStringLiteral("unchecked")); return true;
    case Qt::Key_X: toggleStrikethrough(); return true;
    case Qt::Key_B: toggleBlockquote(); return true;
    case Qt::Key_QuoteLeft:
    case Qt::Key_AsciiTilde: toggleCodeBlock(); return true;
    case Qt::Key_D: duplicateBlock(); return true;
    case Qt::Key_K: deleteBlock(); return true;
    default: return false;
    }
}

bool NoteEditor::handleAltKey(int key)
{
    if (key != Qt::Key_Up && key != Qt::Key_Down)
        return false;
    if (!isReadOnly())
        moveBlock(key == Qt::Key_Up);
    return true;
}

void NoteEditor::duplicateBlock()
{
    QTextCursor cursor = textCursor();
    const QTextBlock block = cursor.block();
    QTextCursor source(block);
    source.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    const QTextDocumentFragment fragment = source.selection();

    cursor.beginEditBlock();
    cursor.setPosition(block.position());
    cursor.movePosition(QTextCursor::EndOfBlock);
    cursor.insertBlock(block.blockFormat(), block.charFormat());
    cursor.insertFragment(fragment);
    cursor.endEditBlock();
    updateFormatState();
}

void NoteEditor::deleteBlock()
{
    QTextCursor cursor = textCursor();
    const QTextBlock block = cursor.block();
    const QTextBlock next = block.next();
    cursor.setPosition(block.position());
    // Never pull the separator in front of a table: the table would lose its frame.
    if (next.isValid() && !QTextCursor(next).currentTable()
        && QTextCursor(block).currentTable() == QTextCursor(next).currentTable()) {
        cursor.setPosition(next.position(), QTextCursor::KeepAnchor);
    } else {
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    }
    cursor.removeSelectedText();
    setTextCursor(cursor);
    updateFormatState();
}

void NoteEditor::moveBlock(bool up)
{
    QTextCursor cursor = textCursor();
    const QTextBlock current = cursor.block();
    const QTextBlock other = up ? current.previous() : current.next();
    if (!other.isValid())
        return;
    // Moving a line into or out of a table cell would tear the table apart.
    QTextTable *currentTable = QTextCursor(current).currentTable();
    QTextTable *otherTable = QTextCursor(other).currentTable();
    if (currentTable || otherTable)
        return;

    const int offset = cursor.position() - current.position();
    const auto contentOf = [](const QTextBlock &block) {
        QTextCursor range(block);
        range.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        return range.selection();
    };
    const QTextDocumentFragment currentText = contentOf(current);
    const QTextDocumentFragment otherText = contentOf(other);
    const QTextBlockFormat currentFormat = current.blockFormat();
    const QTextBlockFormat otherFormat = other.blockFormat();
    const QTextCharFormat currentChar = current.charFormat();
    const QTextCharFormat otherChar = other.charFormat();

    const auto replace = [this](int blockNumber, const QTextDocumentFragment &text,
                                const QTextBlockFormat &format, const QTextCharFormat &charFormat) {
        const QTextBlock block = document()->findBlockByNumber(blockNumber);
        QTextCursor range(block);
        range.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        range.removeSelectedText();
        range.insertFragment(text);
        range.setBlockFormat(format);
        range.setBlockCharFormat(charFormat);
    };

    const int currentNumber = current.blockNumber();
    const int otherNumber = other.blockNumber();
    cursor.beginEditBlock();
    // Later block first, so the earlier block's number stays valid.
    if (up) {
        replace(currentNumber, otherText, otherFormat, otherChar);
        replace(otherNumber, currentText, currentFormat, currentChar);
    } else {
        replace(otherNumber, currentText, currentFormat, currentChar);
        replace(currentNumber, otherText, otherFormat, otherChar);
    }
    cursor.endEditBlock();

    const QTextBlock moved = document()->findBlockByNumber(otherNumber);
    QTextCursor placed(moved);
    placed.setPosition(moved.position() + qBound(0, offset, qMax(0, moved.length() - 1)));
    setTextCursor(placed);
    updateFormatState();
}
