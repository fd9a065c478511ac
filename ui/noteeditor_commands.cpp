// Formatting commands behind the menus, the toolbar and the shortcuts.

#include "noteeditor.h"

#include "deltadocument.h"
#include "tablesizedialog.h"

#include <QGuiApplication>
#include <QPalette>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextTable>

namespace {

QTextCharFormat linkFormat(const QString &url)
{
    QTextCharFormat format;
    format.setAnchor(true);
    format.setAnchorHref(url);
    format.setUnderlineStyle(QTextCharFormat::SingleUnderline);
    format.setForeground(DeltaDocument::linkColor());
    return format;
}

QTextCharFormat headingCharFormat(int level)
{
    const DeltaDocument::HeadingStyle style = DeltaDocument::headingStyle(level);
    QTextCharFormat format = DeltaDocument::bodyCharFormat();
    format.setProperty(QTextFormat::FontPixelSize, style.pixelSize);
    format.setFontWeight(style.weight);
    if (style.muted)
        format.setForeground(DeltaDocument::mutedColor());
    return format;
}

// The character format a block of this kind starts from: heading, code block or body.
QTextCharFormat baseCharFormat(const QTextBlockFormat &block)
{
    const int level = block.intProperty(DeltaDocument::HeadingLevelProperty);
    if (level >= 1 && level <= 6)
        return headingCharFormat(level);
    if (block.hasProperty(DeltaDocument::CodeBlockProperty))
        return DeltaDocument::codeBlockCharFormat();
    return DeltaDocument::bodyCharFormat();
}

} // namespace

QTextCharFormat NoteEditor::referenceCharFormat() const
{
    const QTextCursor cursor = textCursor();
    if (!cursor.hasSelection())
        return cursor.charFormat();
    // A cursor's format is the one of the character before it.
    QTextCursor probe(document());
    probe.setPosition(cursor.selectionStart() + 1);
    return probe.charFormat();
}

void NoteEditor::mergeToggleFormat(const QTextCharFormat &format)
{
    QTextCursor cursor = textCursor();
    if (cursor.hasSelection())
        cursor.mergeCharFormat(format);
    else
        mergeCurrentCharFormat(format);
    updateFormatState();
}

void NoteEditor::toggleBold()
{
    const QTextCharFormat current = referenceCharFormat();
    const int weight = current.hasProperty(QTextFormat::FontWeight) ? current.fontWeight() : QFont::Normal;
    QTextCharFormat format;
    format.setFontWeight(weight >= QFont::Bold ? QFont::Normal : QFont::Bold);
    mergeToggleFormat(format);
}

void NoteEditor::toggleItalic()
{
    QTextCharFormat format;
    format.setFontItalic(!referenceCharFormat().fontItalic());
    mergeToggleFormat(format);
}

void NoteEditor::toggleUnderline()
{
    QTextCharFormat format;
    format.setUnderlineStyle(referenceCharFormat().fontUnderline() ? QTextCharFormat::NoUnderline
                                                                   : QTextCharFormat::SingleUnderline);
    mergeToggleFormat(format);
}

void NoteEditor::toggleStrikethrough()
{
    QTextCharFormat format;
    format.setFontStrikeOut(!referenceCharFormat().fontStrikeOut());
    mergeToggleFormat(format);
}

void NoteEditor::toggleInlineCode()
{
    if (!referenceCharFormat().fontFixedPitch()) {
        mergeToggleFormat(DeltaDocument::inlineCodeFormat());
        return;
    }
    QTextCharFormat format = DeltaDocument::bodyCharFormat();
    format.setBackground(Qt::transparent);
    // Merging cannot remove a property: clear the foreground over the range itself.
    QTextCursor cursor = textCursor();
    if (cursor.hasSelection()) {
        cursor.beginEditBlock();
        cursor.mergeCharFormat(format);
        const int start = cursor.selectionStart();
        const int end = cursor.selectionEnd();
        struct Run {
            int from;
            int to;
            QTextCharFormat format;
        };
        QList<Run> runs; // collected first: a format change invalidates fragment iterators
        for (QTextBlock block = document()->findBlock(start); block.isValid() && block.position() < end;
             block = block.next()) {
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextFragment fragment = it.fragment();
                const int from = qMax(start, fragment.position());
                const int to = qMin(end, fragment.position() + fragment.length());
                if (from < to)
                    runs.append({from, to, fragment.charFormat()});
            }
        }
        for (Run &run : runs) {
            run.format.clearForeground();
            QTextCursor range(document());
            range.setPosition(run.from);
            range.setPosition(run.to, QTextCursor::KeepAnchor);
            range.setCharFormat(run.format);
        }
        cursor.endEditBlock();
    } else {
        QTextCharFormat typed = currentCharFormat();
        typed.merge(format);
        typed.clearForeground();
        setCurrentCharFormat(typed);
    }
    updateFormatState();
}

void NoteEditor::forEachSelectedBlock(const std::function<void(QTextCursor &)> &apply)
{
    const QTextCursor selection = textCursor();
    const QTextBlock first = document()->findBlock(selection.selectionStart());
    const QTextBlock last = document()->findBlock(selection.selectionEnd());
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    for (QTextBlock block = first; block.isValid(); block = block.next()) {
        cursor.setPosition(block.position());
        apply(cursor);
        if (block == last)
            break;
    }
    cursor.endEditBlock();
}

void NoteEditor::applyBaseCharFormat(QTextCursor &cursor, const QTextBlock &block)
{
    const QTextCharFormat format = baseCharFormat(block.blockFormat());
    cursor.setPosition(block.position());
    cursor.setBlockCharFormat(format);
    // Attachment and divider characters keep their object formats. Collect the ranges
    // first: changing a format invalidates the block's fragment iterator.
    QList<QPair<int, int>> textRanges;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (fragment.charFormat().objectType() == QTextFormat::NoObject)
            textRanges.append({fragment.position(), fragment.position() + fragment.length()});
    }
    for (const auto &[from, to] : std::as_const(textRanges)) {
        QTextCursor range(cursor.document());
        range.setPosition(from);
        range.setPosition(to, QTextCursor::KeepAnchor);
        range.setCharFormat(format);
    }
    cursor.setPosition(block.position());
}

void NoteEditor::setHeading(int level)
{
    if (level < 0 || level > 6)
        return;
    forEachSelectedBlock([level](QTextCursor &cursor) {
        QTextBlockFormat format = cursor.blockFormat();
        if (level == 0) {
            format.clearProperty(DeltaDocument::HeadingLevelProperty);
        } else {
            format.clearProperty(DeltaDocument::CodeBlockProperty);
            format.clearProperty(DeltaDocument::BlockquoteProperty);
            format.setProperty(DeltaDocument::HeadingLevelProperty, level);
        }
        DeltaDocument::applyBlockSpacing(format);
        cursor.setBlockFormat(format);
        applyBaseCharFormat(cursor, cursor.block());
    });
    updateFormatState();
}

void NoteEditor::toggleBlockProperty(int property, const QVariant &value)
{
    const QTextBlock first = document()->findBlock(textCursor().selectionStart());
    const bool remove = first.blockFormat().property(property) == value;
    forEachSelectedBlock([property, value, remove](QTextCursor &cursor) {
        QTextBlockFormat format = cursor.blockFormat();
        if (remove) {
            format.clearProperty(property);
        } else {
            if (cursor.block().textList())
                DeltaDocument::applyListType(cursor, QString());
            format = cursor.blockFormat();
            format.clearProperty(DeltaDocument::HeadingLevelProperty);
            format.clearProperty(DeltaDocument::ListTypeProperty);
            format.clearProperty(DeltaDocument::CodeBlockProperty);
            format.clearProperty(DeltaDocument::BlockquoteProperty);
            format.setProperty(property, value);
        }
        DeltaDocument::applyBlockSpacing(format);
        cursor.setBlockFormat(format);
        applyBaseCharFormat(cursor, cursor.block());
    });
    updateFormatState();
}

void NoteEditor::toggleCodeBlock()
{
    toggleBlockProperty(DeltaDocument::CodeBlockProperty, true);
}

void NoteEditor::toggleBlockquote()
{
    toggleBlockProperty(DeltaDocument::BlockquoteProperty, true);
}

void NoteEditor::toggleList(const QString &listType)
{
    const QTextBlock first = document()->findBlock(textCursor().selectionStart());
    const bool remove = first.blockFormat().stringProperty(DeltaDocument::ListTypeProperty) == listType;
    forEachSelectedBlock([&listType, remove](QTextCursor &cursor) {
        DeltaDocument::applyListType(cursor, remove ? QString() : listType);
    });
    updateFormatState();
}

void NoteEditor::toggleBulletList()
{
    toggleList(QStringLiteral("bullet"));
}

void NoteEditor::toggleNumberedList()
{
    toggleList(QStringLiteral("ordered"));
}

void NoteEditor::toggleCheckboxList()
{
    toggleList(QStringLiteral("unchecked"));
}

void NoteEditor::setAlignment(Qt::Alignment alignment)
{
    const Qt::Alignment horizontal = alignment & Qt::AlignHorizontal_Mask;
    forEachSelectedBlock([horizontal](QTextCursor &cursor) {
        QTextBlockFormat format = cursor.blockFormat();
        format.setAlignment(horizontal);
        cursor.setBlockFormat(format);
    });
    updateFormatState();
}

void NoteEditor::insertDivider()
{
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::EndOfBlock);
    cursor.insertBlock();
    QTextCharFormat divider;
    divider.setObjectType(DeltaDocument::DividerObject);
    divider.setProperty(DeltaDocument::EmbedKeyProperty, QStringLiteral("divider"));
    divider.setProperty(DeltaDocument::EmbedValueProperty, QStringLiteral("hr"));
    cursor.insertText(QString(QChar::ObjectReplacementCharacter), divider);
    cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
    cursor.endEditBlock();
    setTextCursor(cursor);
    updateFormatState();
}

NoteEditor::TableSize NoteEditor::askTableSize(QWidget *parent)
{
    TableSizeDialog dialog(parent);
    TableSize size;
    size.accepted = dialog.exec() == QDialog::Accepted;
    size.rows = dialog.rows();
    size.columns = dialog.columns();
    size.header = dialog.hasHeader();
    return size;
}

void NoteEditor::insertTable(int rows, int columns, bool header)
{
    QTextCursor cursor = textCursor();
    if (rows <= 0 || columns <= 0 || cursor.currentTable())
        return;
    cursor.beginEditBlock();
    if (cursor.block().length() > 1) {
        cursor.movePosition(QTextCursor::EndOfBlock);
        cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
    }
    QTextTable *table = DeltaDocument::insertTable(cursor, rows, columns, DeltaDocument::tableFormat(header));
    if (table && header) {
        const QColor background = QGuiApplication::palette().color(QPalette::Active, QPalette::AlternateBase);
        for (int column = 0; column < columns; ++column) {
            QTextTableCell cell = table->cellAt(0, column);
            QTextTableCellFormat cellFormat = cell.format().toTableCellFormat();
            cellFormat.setBackground(background);
            cell.setFormat(cellFormat);
            QTextCursor cellCursor = cell.firstCursorPosition();
            QTextCharFormat bold;
            bold.setFontWeight(QFont::Bold);
            cellCursor.mergeBlockCharFormat(bold);
        }
    }
    cursor.endEditBlock();
    if (table)
        setTextCursor(table->cellAt(0, 0).firstCursorPosition());
    setFocus();
    updateFormatState();
}

void NoteEditor::insertLink()
{
    QTextCursor cursor = textCursor();
    QString selected = cursor.selectedText();
    selected.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    if (!m_linkPrompt)
        return;
    const std::optional<LinkInput> input = m_linkPrompt(tr("Insert Link"), selected, QStringLiteral("https://"));
    if (!input)
        return;
    cursor = textCursor();
    if (cursor.hasSelection() && input->text == selected) {
        cursor.mergeCharFormat(linkFormat(input->url));
    } else {
        cursor.insertText(input->text.isEmpty() ? input->url : input->text, linkFormat(input->url));
        setTextCursor(cursor);
        leaveLinkAtEdge();
    }
    updateFormatState();
}

void NoteEditor::editLink(const LinkRange &link)
{
    if (!link.isValid() || !m_linkPrompt)
        return;
    QTextCursor range(document());
    range.setPosition(link.start);
    range.setPosition(link.end, QTextCursor::KeepAnchor);
    const QString text = range.selectedText();
    const std::optional<LinkInput> input = m_linkPrompt(tr("Edit Link"), text, link.href);
    if (!input || (input->text == text && input->url == link.href))
        return;
    if (input->text == text) {
        range.mergeCharFormat(linkFormat(input->url));
    } else {
        QTextCharFormat format = range.charFormat();
        format.merge(linkFormat(input->url));
        range.insertText(input->text.isEmpty() ? input->url : input->text, format);
    }
    updateFormatState();
}

void NoteEditor::removeLink(const LinkRange &link)
{
    if (!link.isValid())
        return;
    QTextCursor range(document());
    range.setPosition(link.start);
    range.setPosition(link.end, QTextCursor::KeepAnchor);
    QTextCharFormat format;
    format.setAnchor(false);
    format.setAnchorHref(QString());
    format.setUnderlineStyle(QTextCharFormat::NoUnderline);
    format.setForeground(palette().color(QPalette::Text));
    range.mergeCharFormat(format);
    updateFormatState();
}
