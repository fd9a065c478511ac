// Styling helpers shared by loading and the editor's formatting commands.

#include "deltadocument.h"

#include "deltadocument_p.h"
#include "tablejson.h"

#include <QGuiApplication>
#include <QJsonDocument>
#include <QPalette>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>

#include <atomic>
#include <cmath>

namespace {

std::atomic<int> s_bodyPixelSize{16};

constexpr int MaxBulletListRun = 200;
constexpr int MaxOrderedListRun = 1000;

QPalette applicationPalette()
{
    return QGuiApplication::palette();
}

} // namespace

int DeltaDocument::bodyPixelSize()
{
    const int size = s_bodyPixelSize.load(std::memory_order_relaxed);
    return size < 1 ? 16 : size;
}

void DeltaDocument::setBodyPixelSize(int pixels)
{
    s_bodyPixelSize.store(pixels, std::memory_order_relaxed);
}

int DeltaDocument::bodyPixelSizeFromPoints(double points)
{
    if (!std::isfinite(points) || points <= 0 || points > 1000)
        return 16;
    return int(std::lround(points * 96.0 / 72.0));
}

bool DeltaDocument::isDarkPalette()
{
    return QColor(0x1E, 0x1E, 0x1E).lightness()
        >= applicationPalette().color(QPalette::Window).lightness();
}

QColor DeltaDocument::mutedColor()
{
    return isDarkPalette() ? QColor(0xC4, 0xC6, 0xCF) : QColor(0x44, 0x47, 0x4E);
}

// The light colour is the product's link blue; on a dark base it would fall far short of
// a readable contrast, so the dark palette gets a light blue of more than 7:1.
QColor DeltaDocument::linkColor()
{
    return isDarkPalette() ? QColor(0x8A, 0xB4, 0xF8) : QColor(0x15, 0x65, 0xC0);
}

DeltaDocument::HeadingStyle DeltaDocument::headingStyle(int level)
{
    switch (level) {
    case 1: return {28, 700, 130, 24, 12, false};
    case 2: return {22, 700, 130, 20, 10, false};
    case 3: return {18, 600, 140, 16, 8, false};
    case 4: return {16, 600, 140, 12, 6, false};
    case 5: return {14, 600, 140, 10, 4, false};
    case 6: return {13, 600, 140, 8, 4, true};
    default: return {bodyPixelSize(), 400, 150, 0, 8, false};
    }
}

void DeltaDocument::applyBlockSpacing(QTextBlockFormat &format)
{
    const int level = format.intProperty(HeadingLevelProperty);
    if (level >= 1 && level <= 6) {
        const HeadingStyle style = headingStyle(level);
        format.setTopMargin(style.topMargin);
        format.setBottomMargin(style.bottomMargin);
        format.setLineHeight(style.lineHeight, QTextBlockFormat::ProportionalHeight);
        format.setLeftMargin(0);
        format.setRightMargin(0);
        format.clearBackground();
    } else if (format.hasProperty(CodeBlockProperty)) {
        format.setTopMargin(8);
        format.setBottomMargin(8);
        format.setLineHeight(140, QTextBlockFormat::ProportionalHeight);
        format.setLeftMargin(12);
        format.setRightMargin(12);
        format.setBackground(isDarkPalette() ? QColor(0x2A, 0x2D, 0x31) : QColor(0xEC, 0xEE, 0xF1));
    } else {
        const bool quote = format.boolProperty(BlockquoteProperty);
        format.setTopMargin(0);
        format.setBottomMargin(8);
        format.setLineHeight(150, QTextBlockFormat::ProportionalHeight);
        format.setLeftMargin(quote ? 16 : 0);
        format.setRightMargin(0);
        format.clearBackground();
    }
}

QFont DeltaDocument::monospaceFont(int pixelSize)
{
    QFont font;
    font.setFamily(QStringLiteral("monospace"));
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setPixelSize(pixelSize > 0 ? pixelSize : 14);
    return font;
}

QTextCharFormat DeltaDocument::inlineCodeFormat()
{
    const bool dark = isDarkPalette();
    QTextCharFormat format;
    format.setFont(monospaceFont(14), QTextCharFormat::FontPropertiesSpecifiedOnly);
    format.setForeground(dark ? QColor(0xD6, 0xE3, 0xF7) : QColor(0x0E, 0x1B, 0x2C));
    format.setBackground(dark ? QColor(0x33, 0x44, 0x5C) : QColor(0xDC, 0xE6, 0xF4));
    return format;
}

QTextCharFormat DeltaDocument::bodyCharFormat()
{
    QTextCharFormat format;
    const QFont font = QGuiApplication::font();
    format.setFontFamilies(font.families().isEmpty() ? QStringList{font.family()} : font.families());
    format.setFontFixedPitch(false);
    format.setProperty(QTextFormat::FontPixelSize, bodyPixelSize());
    format.setFontWeight(QFont::Normal);
    return format;
}

QTextCharFormat DeltaDocument::codeBlockCharFormat()
{
    QTextCharFormat format;
    format.setFont(monospaceFont(14), QTextCharFormat::FontPropertiesSpecifiedOnly);
    format.setFontWeight(QFont::Normal);
    format.setForeground(mutedColor());
    return format;
}

QTextTableFormat DeltaDocument::tableFormat(bool hasHeader)
{
    const QColor base = applicationPalette().color(QPalette::Base);
    QTextTableFormat format;
    format.setBorder(1);
    format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
    format.setBorderBrush(base.lightness() > 127 ? base.darker(150) : base.lighter(220));
    format.setBorderCollapse(true);
    format.setCellPadding(6);
    format.setCellSpacing(0);
    format.setHeaderRowCount(hasHeader ? 1 : 0);
    return format;
}

QTextCharFormat DeltaDocument::tableHeaderCharFormat()
{
    QTextCharFormat format = bodyCharFormat();
    format.setFontWeight(QFont::Bold);
    return format;
}

void DeltaDocument::applyListType(QTextCursor &cursor, const QString &listType)
{
    QTextBlock block = cursor.block();
    if (QTextList *list = block.textList())
        list->remove(block);
    QTextBlockFormat format = cursor.blockFormat();
    format.setMarker(QTextBlockFormat::MarkerType::NoMarker);
    format.setObjectIndex(-1);
    format.setIndent(0);
    format.clearProperty(ListTypeProperty);
    cursor.setBlockFormat(format);
    if (listType.isEmpty())
        return;

    const QTextListFormat::Style style = listType == QLatin1String("ordered")
        ? QTextListFormat::ListDecimal
        : QTextListFormat::ListDisc;
    // The rich-text engine touches every item of a list whenever one joins it, so one
    // endless list costs quadratic time. Long runs therefore continue in a fresh list of
    // the same style: invisible for bullets and checklists; numbering restarts only
    // past MaxOrderedListRun items.
    const int maxRun = style == QTextListFormat::ListDecimal ? MaxOrderedListRun : MaxBulletListRun;
    const QTextBlock previous = cursor.block().previous();
    QTextList *previousList = previous.isValid() ? previous.textList() : nullptr;
    if (previousList && previousList->format().style() == style && previousList->count() < maxRun) {
        previousList->add(cursor.block());
    } else {
        QTextListFormat listFormat;
        listFormat.setStyle(style);
        listFormat.setIndent(1);
        cursor.createList(listFormat);
    }

    format = cursor.blockFormat();
    if (listType == QLatin1String("checked"))
        format.setMarker(QTextBlockFormat::MarkerType::Checked);
    else if (listType == QLatin1String("unchecked"))
        format.setMarker(QTextBlockFormat::MarkerType::Unchecked);
    format.setProperty(ListTypeProperty, listType);
    cursor.setBlockFormat(format);
}

QTextTable *DeltaDocument::insertTable(QTextCursor &cursor, int rows, int columns,
                                       const QTextTableFormat &format)
{
    if (rows <= 0 || columns <= 0 || cursor.isNull())
        return nullptr;

    // Only the cursor's block and its neighbours can end up bordering the new table,
    // so only they need the marker that tells pre-existing blocks from created ones.
    QList<QTextBlock> marked;
    const QTextBlock current = cursor.block();
    for (const QTextBlock &block : {current.previous(), current, current.next()}) {
        if (!block.isValid())
            continue;
        QTextCursor blockCursor(block);
        QTextBlockFormat blockFormat = block.blockFormat();
        blockFormat.setProperty(PreexistingBlockProperty, true);
        blockCursor.setBlockFormat(blockFormat);
        marked.append(block);
    }

    QTextTable *table = cursor.insertTable(rows, columns, format);
    if (!table)
        return nullptr;

    QTextDocument *document = cursor.document();
    const QTextBlock before = document->findBlock(table->firstPosition()).previous();
    const QTextBlock after = document->findBlock(table->lastPosition() + 1);
    for (const QTextBlock &block : {before, after}) {
        if (!block.isValid() || block.blockFormat().hasProperty(PreexistingBlockProperty))
            continue;
        if (QTextCursor(block).currentTable())
            continue;
        QTextCursor blockCursor(block);
        QTextBlockFormat blockFormat = block.blockFormat();
        blockFormat.setProperty(TableSpacerProperty, true);
        blockCursor.setBlockFormat(blockFormat);
    }

    marked << before << after;
    for (const QTextBlock &block : std::as_const(marked)) {
        if (!block.isValid() || !block.blockFormat().hasProperty(PreexistingBlockProperty))
            continue;
        QTextCursor blockCursor(block);
        QTextBlockFormat blockFormat = block.blockFormat();
        blockFormat.clearProperty(PreexistingBlockProperty);
        blockCursor.setBlockFormat(blockFormat);
    }
    return table;
}

namespace DeltaFormat {

QString compactJson(const QJsonObject &object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QString compactJson(const QJsonArray &array)
{
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

QString firstKey(const QJsonObject &object)
{
    return object.isEmpty() ? QString() : object.constBegin().key();
}

QString sanitizedText(const QString &text)
{
    const auto needsWork = [](QChar c) {
        return c == QLatin1Char('\r') || c == QChar::ParagraphSeparator || c.unicode() == 0xFDD0
            || c.unicode() == 0xFDD1;
    };
    if (std::none_of(text.cbegin(), text.cend(), needsWork))
        return text;
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r')) {
            if (i + 1 < text.size())
                result.append(QChar::LineSeparator);
        } else if (c == QChar::ParagraphSeparator) {
            result.append(QChar::LineSeparator);
        } else if (c.unicode() != 0xFDD0 && c.unicode() != 0xFDD1) {
            result.append(c);
        }
    }
    return result;
}

QTextCharFormat charFormatFromAttributes(const QJsonObject &attributes)
{
    QTextCharFormat format;
    if (attributes.isEmpty())
        return format;
    QJsonObject preserved;
    if (attributes.value(QLatin1String("code")) == QJsonValue(true))
        format = DeltaDocument::inlineCodeFormat();
    for (auto it = attributes.constBegin(); it != attributes.constEnd(); ++it) {
        const QString &key = it.key();
        const QJsonValue value = it.value();
        const bool on = value.isBool() && value.toBool();
        if (key == QLatin1String("bold")) {
            if (on)
                format.setFontWeight(QFont::Bold);
            else
                preserved.insert(key, value);
        } else if (key == QLatin1String("italic")) {
            if (on)
                format.setFontItalic(true);
            else
                preserved.insert(key, value);
        } else if (key == QLatin1String("underline")) {
            if (on)
                format.setFontUnderline(true);
            else
                preserved.insert(key, value);
        } else if (key == QLatin1String("strike")) {
            if (on)
                format.setFontStrikeOut(true);
            else
                preserved.insert(key, value);
        } else if (key == QLatin1String("code")) {
            if (!on)
                preserved.insert(key, value);
        } else if (key == QLatin1String("link")) {
            // An empty or non-string link cannot be shown; keep it rather than lose it.
            if (value.isString() && !value.toString().isEmpty()) {
                format.setAnchor(true);
                format.setAnchorHref(value.toString());
                format.setFontUnderline(true);
                format.setForeground(DeltaDocument::linkColor());
            } else {
                preserved.insert(key, value);
            }
        } else if (key != QLatin1String("header") && key != QLatin1String("list")
                   && key != QLatin1String("code-block") && key != QLatin1String("blockquote")) {
            preserved.insert(key, value);
        }
    }
    if (!preserved.isEmpty())
        format.setProperty(DeltaDocument::PreservedInlineAttributesProperty, compactJson(preserved));
    return format;
}

void fillTable(QTextCursor &cursor, QTextTable *table, const TableData &data)
{
    const QTextCharFormat body = DeltaDocument::bodyCharFormat();
    const QTextCharFormat header = DeltaDocument::tableHeaderCharFormat();
    const QColor headerBackground =
        QGuiApplication::palette().color(QPalette::Active, QPalette::AlternateBase);
    for (int row = 0; row < data.rowCount(); ++row) {
        const bool isHeader = data.hasHeader && row == 0;
        const QTextCharFormat &base = isHeader ? header : body;
        for (int column = 0; column < data.columnCount(); ++column) {
            QTextTableCell cell = table->cellAt(row, column);
            if (!cell.isValid())
                continue;
            cursor.setPosition(cell.firstPosition());
            cursor.setBlockCharFormat(base);
            if (isHeader) {
                // The cell format lives on the same character as the block's character
                // format: extend it rather than replace it.
                QTextTableCellFormat cellFormat = cell.format().toTableCellFormat();
                cellFormat.setBackground(headerBackground);
                cell.setFormat(cellFormat);
            }
            const QJsonValue value = data.cells.at(row).value(column);
            const QJsonArray operations = tableCellOperations(value);
            for (const QJsonValue &operation : operations) {
                const QJsonObject object = operation.toObject();
                const QString text = object.value(InsertKey).toString();
                QTextCharFormat format = base;
                format.merge(charFormatFromAttributes(object.value(AttributesKey).toObject()));
                qsizetype start = 0;
                while (start <= text.size()) {
                    const qsizetype newline = text.indexOf(QLatin1Char('\n'), start);
                    const qsizetype end = newline < 0 ? text.size() : newline;
                    if (end > start) {
                        const QString piece = sanitizedText(text.mid(start, end - start));
                        if (!piece.isEmpty())
                            cursor.insertText(piece, format);
                    }
                    if (newline < 0)
                        break;
                    cursor.insertBlock(cursor.blockFormat(), base);
                    start = newline + 1;
                }
            }
        }
    }
}

} // namespace DeltaFormat
