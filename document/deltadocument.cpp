#include "deltadocument.h"

#include "deltadocument_p.h"
#include "documentlog.h"
#include "tablejson.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>

#include <algorithm>

using namespace DeltaFormat;

namespace {

const QString HeaderKey = QStringLiteral("header");
const QString ListKey = QStringLiteral("list");
const QString CodeBlockKey = QStringLiteral("code-block");
const QString BlockquoteKey = QStringLiteral("blockquote");
const QString AlignKey = QStringLiteral("align");
const QString AttachmentKey = QStringLiteral("ombrel-notes-attachment");
const QString ImageKey = QStringLiteral("image");
const QString DividerKey = QStringLiteral("divider");
const QString TableKey = QStringLiteral("table");

bool isInlineOnlyKey(const QString &key)
{
    static const QStringList keys = {QStringLiteral("bold"), QStringLiteral("italic"),
                                     QStringLiteral("underline"), QStringLiteral("strike"),
                                     QStringLiteral("code"), QStringLiteral("link")};
    return keys.contains(key);
}

struct Segment {
    QString text;
    QString embedKey;
    QString embedValue;
    QJsonObject attributes; // inline attributes of a text segment
    bool isEmbed = false;
};

struct LineStyle {
    QTextBlockFormat block;
    QTextCharFormat base; // the block's character format; runs merge their attributes into it
    QString listType;
};

// The block and base character format of one line from its attributes.
LineStyle lineStyle(const QJsonObject &lineAttributes, const QList<Segment> &segments)
{
    LineStyle style;
    QTextBlockFormat &blockFormat = style.block;
    QJsonObject preserved;
    int headingLevel = 0;
    bool codeBlock = false;
    for (auto it = lineAttributes.constBegin(); it != lineAttributes.constEnd(); ++it) {
        const QString &key = it.key();
        const QJsonValue value = it.value();
        if (key == HeaderKey) {
            const int level = value.toInt();
            if (level >= 1 && level <= 6) {
                headingLevel = level;
                blockFormat.setProperty(DeltaDocument::HeadingLevelProperty, level);
            }
        } else if (key == ListKey) {
            // A non-string list value cannot be shown; keep it so it is not lost.
            if (value.isString())
                style.listType = value.toString();
            else
                preserved.insert(key, value);
        } else if (key == CodeBlockKey) {
            codeBlock = true;
            if (value.isString())
                blockFormat.setProperty(DeltaDocument::CodeBlockProperty, value.toString());
            else
                blockFormat.setProperty(DeltaDocument::CodeBlockProperty, true);
        } else if (key == BlockquoteKey) {
            blockFormat.setProperty(DeltaDocument::BlockquoteProperty, true);
        } else if (key == AlignKey) {
            const QString align = value.toString();
            if (align == QLatin1String("center"))
                blockFormat.setAlignment(Qt::AlignHCenter);
            else if (align == QLatin1String("right"))
                blockFormat.setAlignment(Qt::AlignRight);
            else if (align == QLatin1String("justify"))
                blockFormat.setAlignment(Qt::AlignJustify);
            else
                preserved.insert(key, value); // left shows as default; keep the stored value
        } else if (!isInlineOnlyKey(key)) {
            preserved.insert(key, value);
        }
    }
    if (!preserved.isEmpty())
        blockFormat.setProperty(DeltaDocument::PreservedLineAttributesProperty, compactJson(preserved));
    DeltaDocument::applyBlockSpacing(blockFormat);

    for (const Segment &segment : segments) {
        if (segment.isEmbed && (segment.embedKey == AttachmentKey || segment.embedKey == ImageKey)) {
            blockFormat.setLineHeight(0, QTextBlockFormat::SingleHeight);
            break;
        }
    }

    QTextCharFormat &base = style.base;
    if (headingLevel > 0) {
        const DeltaDocument::HeadingStyle heading = DeltaDocument::headingStyle(headingLevel);
        base = DeltaDocument::bodyCharFormat();
        base.setProperty(QTextFormat::FontPixelSize, heading.pixelSize);
        base.setFontWeight(heading.weight);
        if (heading.muted)
            base.setForeground(DeltaDocument::mutedColor());
    } else if (codeBlock) {
        base = DeltaDocument::codeBlockCharFormat();
    } else {
        base = DeltaDocument::bodyCharFormat();
    }

    return style;
}

QTextCharFormat withAttributes(const QTextCharFormat &base, const QJsonObject &attributes)
{
    QTextCharFormat format = base;
    format.merge(charFormatFromAttributes(attributes));
    return format;
}

// Runs of one operation share their attributes object; build its format once.
class InlineFormatCache
{
public:
    QTextCharFormat format(const QTextCharFormat &base, const QJsonObject &attributes)
    {
        if (!m_valid || attributes != m_attributes) {
            m_attributes = attributes;
            m_inline = charFormatFromAttributes(attributes);
            m_valid = true;
        }
        QTextCharFormat result = base;
        result.merge(m_inline);
        return result;
    }

private:
    QJsonObject m_attributes;
    QTextCharFormat m_inline;
    bool m_valid = false;
};

void insertSegments(QTextCursor &cursor, const QList<Segment> &segments, const QTextCharFormat &base,
                    InlineFormatCache *formats)
{
    for (const Segment &segment : segments) {
        if (segment.isEmbed) {
            QTextCharFormat format = base;
            if (!segment.embedKey.isEmpty()) {
                format.setProperty(DeltaDocument::EmbedKeyProperty, segment.embedKey);
                format.setProperty(DeltaDocument::EmbedValueProperty, segment.embedValue);
            }
            if (segment.embedKey == AttachmentKey
                || (segment.embedKey == ImageKey
                    && segment.embedValue.startsWith(DeltaDocument::attachmentPrefix()))) {
                format.setObjectType(DeltaDocument::AttachmentObject);
            } else if (segment.embedKey == DividerKey) {
                format.setObjectType(DeltaDocument::DividerObject);
            } else if (segment.embedKey == TableKey) {
                format.setObjectType(DeltaDocument::TableObject);
            }
            cursor.insertText(QString(QChar::ObjectReplacementCharacter), format);
        } else {
            const QString text = sanitizedText(segment.text);
            if (!text.isEmpty())
                cursor.insertText(text, formats ? formats->format(base, segment.attributes)
                                                : withAttributes(base, segment.attributes));
        }
    }
}

// Builds the rich-text document line by line from the operations; one instance per load.
class DeltaLoader
{
public:
    explicit DeltaLoader(QTextDocument *document) : m_cursor(document) {}

    void run(const QJsonArray &operations);

private:
    void appendText(const QString &text, const QJsonObject &attributes);
    void appendEmbed(const QJsonObject &embed);
    void flushLine(const QJsonObject &lineAttributes);
    const Segment *loneTable() const;
    bool buildTable(const QString &json);

    QTextCursor m_cursor;
    QList<Segment> m_pending;
    bool m_firstLine = true;
    InlineFormatCache m_formats;
};

void DeltaLoader::run(const QJsonArray &operations)
{
    m_cursor.beginEditBlock();
    for (const QJsonValue &value : operations) {
        if (!value.isObject())
            continue;
        const QJsonObject operation = value.toObject();
        const QJsonValue insert = operation.value(InsertKey);
        const QJsonObject attributes = operation.value(AttributesKey).toObject();
        if (insert.isObject()) {
            appendEmbed(insert.toObject());
            continue;
        }
        if (!insert.isString())
            continue; // retain, delete, or an insert of another type: nothing to build
        const QString text = insert.toString();
        qsizetype start = 0;
        while (start <= text.size()) {
            const qsizetype newline = text.indexOf(QLatin1Char('\n'), start);
            if (newline < 0) {
                if (start < text.size())
                    appendText(text.mid(start), attributes);
                break;
            }
            if (newline > start)
                appendText(text.mid(start, newline - start), attributes);
            flushLine(attributes);
            start = newline + 1;
        }
    }
    if (!m_pending.isEmpty())
        flushLine(QJsonObject());
    m_cursor.endEditBlock();
}

void DeltaLoader::appendText(const QString &text, const QJsonObject &attributes)
{
    Segment segment;
    segment.text = text;
    segment.attributes = attributes;
    m_pending.append(segment);
}

void DeltaLoader::appendEmbed(const QJsonObject &embed)
{
    Segment segment;
    segment.isEmbed = true;
    if (!embed.isEmpty()) {
        segment.embedKey = firstKey(embed);
        const QJsonValue value = embed.value(segment.embedKey);
        segment.embedValue = value.isString() ? value.toString() : QString();
        if (segment.embedKey == AttachmentKey
            && !segment.embedValue.startsWith(DeltaDocument::attachmentPrefix())) {
            segment.embedValue.prepend(DeltaDocument::attachmentPrefix());
        }
    }
    m_pending.append(segment);
}

void DeltaLoader::flushLine(const QJsonObject &lineAttributes)
{
    if (const Segment *table = loneTable(); table && buildTable(table->embedValue)) {
        // The paragraph after the table already exists and takes the next line.
        m_firstLine = true;
        m_pending.clear();
        return;
    }

    const LineStyle style = lineStyle(lineAttributes, m_pending);
    const QTextBlockFormat &blockFormat = style.block;
    const QTextCharFormat &base = style.base;
    const QString &listType = style.listType;

    if (m_firstLine) {
        m_cursor.setBlockFormat(blockFormat);
        m_cursor.setBlockCharFormat(base);
    } else {
        m_cursor.insertBlock(blockFormat, base);
    }
    m_firstLine = false;

    if (!listType.isEmpty())
        DeltaDocument::applyListType(m_cursor, listType);

    insertSegments(m_cursor, m_pending, base, &m_formats);
    m_pending.clear();
}

// The table embed of a line that holds nothing else that would be saved. Pieces that
// never survive a save (unknown embeds, bare object characters) do not count, or the
// next load would see the table alone and build it differently.
const Segment *DeltaLoader::loneTable() const
{
    const Segment *table = nullptr;
    for (const Segment &segment : m_pending) {
        if (segment.isEmbed) {
            const bool kept = segment.embedKey == AttachmentKey || segment.embedKey == DividerKey
                || segment.embedKey == TableKey
                || (segment.embedKey == ImageKey
                    && segment.embedValue.startsWith(DeltaDocument::attachmentPrefix()));
            if (!kept)
                continue;
            if (table || segment.embedKey != TableKey)
                return nullptr;
            table = &segment;
        } else if (!sanitizedText(segment.text).remove(QChar::ObjectReplacementCharacter).isEmpty()) {
            return nullptr;
        }
    }
    return table;
}

bool DeltaLoader::buildTable(const QString &json)
{
    const TableData data = parseTableJson(json);
    if (data.isEmpty())
        return false; // kept as an inline object so the stored table text survives
    // An unused block at the cursor (the document's first, or the one after a previous
    // table) stays in front of the new table: it is a spacer too, or every load-save
    // round trip of a body starting with a table would add an empty line above it.
    const bool unusedBlock = m_firstLine && m_cursor.block().length() <= 1;
    QTextTable *table = DeltaDocument::insertTable(m_cursor, data.rowCount(), data.columnCount(),
                                                   DeltaDocument::tableFormat(data.hasHeader));
    if (!table)
        return false;
    if (unusedBlock) {
        const QTextBlock before = m_cursor.document()->findBlock(table->firstPosition()).previous();
        if (before.isValid() && before.length() <= 1 && !QTextCursor(before).currentTable()) {
            QTextCursor beforeCursor(before);
            QTextBlockFormat format = before.blockFormat();
            format.setProperty(DeltaDocument::TableSpacerProperty, true);
            beforeCursor.setBlockFormat(format);
        }
    }
    fillTable(m_cursor, table, data);
    m_cursor.setPosition(table->lastPosition() + 1);
    return true;
}


// Inserts pasted Delta at a cursor so that the document shows exactly what a save and
// reload of it would show: lines keep their own block formats, runs take the base
// format of the block they land in, and lists are joined by the same adjacency rule
// as when loading.
class DeltaPaster
{
public:
    explicit DeltaPaster(QTextCursor &cursor) : m_cursor(cursor) {}

    void run(const QJsonArray &operations);

private:
    struct Line {
        QList<Segment> segments;
        QJsonObject attributes;
    };

    static QList<Line> splitLines(const QJsonArray &operations);
    void flattenForCell(QList<Line> &lines) const;
    QTextCharFormat cellBase() const;
    void insertInline(const Line &line);
    void insertOwnLine(const Line &line);
    bool insertTable(const QString &json);
    void markSpacerBefore(QTextTable *table);
    void closeAfterTable();
    void prepareOwnBlock();
    void relist(QTextBlock block, int lastPasted);

    QTextCursor &m_cursor;
    QTextTable *m_cell = nullptr;
    QTextBlock m_post;      // the text after the paste point, moved to a block of its own
    bool m_blockFree = false; // the cursor's block is empty and may take a line's format
};

QList<DeltaPaster::Line> DeltaPaster::splitLines(const QJsonArray &operations)
{
    QList<Line> lines;
    Line current;
    bool open = false;
    for (const QJsonValue &value : operations) {
        if (!value.isObject())
            continue;
        const QJsonObject operation = value.toObject();
        const QJsonValue insert = operation.value(InsertKey);
        const QJsonObject attributes = operation.value(AttributesKey).toObject();
        if (insert.isObject()) {
            const QJsonObject embed = insert.toObject();
            Segment segment;
            segment.isEmbed = true;
            segment.embedKey = firstKey(embed);
            const QJsonValue embedValue = embed.value(segment.embedKey);
            segment.embedValue = embedValue.isString() ? embedValue.toString() : QString();
            if (segment.embedKey == AttachmentKey
                && !segment.embedValue.startsWith(DeltaDocument::attachmentPrefix())) {
                segment.embedValue.prepend(DeltaDocument::attachmentPrefix());
            }
            // What a save drops is not shown either.
            const bool kept = segment.embedKey == AttachmentKey || segment.embedKey == DividerKey
                || segment.embedKey == TableKey
                || (segment.embedKey == ImageKey
                    && segment.embedValue.startsWith(DeltaDocument::attachmentPrefix()));
            if (kept) {
                current.segments.append(segment);
                open = true;
            }
            continue;
        }
        if (!insert.isString())
            continue;
        const QString text = insert.toString();
        qsizetype start = 0;
        while (start <= text.size()) {
            const qsizetype newline = text.indexOf(QLatin1Char('\n'), start);
            const qsizetype end = newline < 0 ? text.size() : newline;
            if (end > start) {
                Segment segment;
                segment.text = text.mid(start, end - start);
                segment.attributes = attributes;
                current.segments.append(segment);
                open = true;
            }
            if (newline < 0)
                break;
            current.attributes = attributes;
            lines.append(current);
            current = Line();
            open = false;
            start = newline + 1;
        }
    }
    if (open)
        lines.append(current);
    return lines;
}

// Table cells keep only paragraphs of text: block formats, embeds and nested tables
// would be dropped by the next save, so they are not pasted there either.
void DeltaPaster::flattenForCell(QList<Line> &lines) const
{
    QList<Line> flat;
    for (const Line &line : std::as_const(lines)) {
        Line text;
        for (const Segment &segment : line.segments) {
            if (!segment.isEmbed) {
                text.segments.append(segment);
                continue;
            }
            if (segment.embedKey != TableKey)
                continue;
            const TableData table = parseTableJson(segment.embedValue);
            for (const QList<QJsonValue> &row : table.cells) {
                Line rowLine;
                QStringList cells;
                for (const QJsonValue &cell : row)
                    cells.append(tableCellPlainText(cell).replace(QLatin1Char('\n'), QLatin1Char(' ')));
                Segment segment;
                segment.text = cells.join(QLatin1Char('\t'));
                rowLine.segments.append(segment);
                flat.append(rowLine);
            }
        }
        if (!text.segments.isEmpty() || line.segments.isEmpty())
            flat.append(text);
    }
    lines = flat;
}

QTextCharFormat DeltaPaster::cellBase() const
{
    const QTextTableCell cell = m_cell->cellAt(m_cursor);
    const bool header = m_cell->format().headerRowCount() > 0 && cell.row() == 0;
    return header ? DeltaDocument::tableHeaderCharFormat() : DeltaDocument::bodyCharFormat();
}

// The base format of the cursor's block, as loading would have built it.
QTextCharFormat baseOfBlock(const QTextBlock &block)
{
    const QTextBlockFormat format = block.blockFormat();
    QJsonObject attributes;
    if (format.hasProperty(DeltaDocument::HeadingLevelProperty))
        attributes.insert(HeaderKey, format.intProperty(DeltaDocument::HeadingLevelProperty));
    if (format.hasProperty(DeltaDocument::CodeBlockProperty))
        attributes.insert(CodeBlockKey, true);
    return lineStyle(attributes, {}).base;
}

void DeltaPaster::insertInline(const Line &line)
{
    const QTextCharFormat base = m_cell ? cellBase() : baseOfBlock(m_cursor.block());
    insertSegments(m_cursor, line.segments, base, nullptr);
    // A line holding an attachment is laid out without proportional spacing, as loaded.
    const bool attachment = std::any_of(line.segments.cbegin(), line.segments.cend(), [](const Segment &s) {
        return s.isEmbed && (s.embedKey == AttachmentKey || s.embedKey == ImageKey);
    });
    if (attachment && !m_cell) {
        QTextBlockFormat format = m_cursor.blockFormat();
        format.setLineHeight(0, QTextBlockFormat::SingleHeight);
        m_cursor.setBlockFormat(format);
    }
}

// Leaves the cursor in an empty block of its own, placed after what is already pasted
// and before the text that followed the paste point.
void DeltaPaster::prepareOwnBlock()
{
    if (m_blockFree && m_cursor.block().length() <= 1)
        return;
    if (m_post.isValid() && m_cursor.block() == m_post) {
        // After a table the cursor stands at the start of the moved text: open a new
        // block in front of it that keeps nothing of its format.
        const QTextBlockFormat postFormat = m_post.blockFormat();
        const QTextCharFormat postChars = m_post.charFormat();
        m_cursor.insertBlock(postFormat, postChars);
        m_post = m_cursor.block();
        m_cursor.movePosition(QTextCursor::PreviousBlock);
    } else {
        m_cursor.movePosition(QTextCursor::EndOfBlock);
        m_cursor.insertBlock(QTextBlockFormat(), DeltaDocument::bodyCharFormat());
    }
    m_blockFree = true;
}

void DeltaPaster::insertOwnLine(const Line &line)
{
    prepareOwnBlock();
    const LineStyle style = lineStyle(line.attributes, line.segments);
    QTextBlockFormat format = style.block;
    m_cursor.setBlockFormat(format);
    m_cursor.setBlockCharFormat(style.base);
    if (m_cursor.block().textList() || !style.listType.isEmpty()
        || m_cursor.blockFormat().marker() != QTextBlockFormat::MarkerType::NoMarker) {
        DeltaDocument::applyListType(m_cursor, style.listType);
    }
    insertSegments(m_cursor, line.segments, style.base, nullptr);
    m_blockFree = false;
}

bool DeltaPaster::insertTable(const QString &json)
{
    const TableData data = parseTableJson(json);
    if (data.isEmpty())
        return false;
    // Never into the moved text: a table goes in front of it.
    if (m_post.isValid() && m_cursor.block() == m_post)
        prepareOwnBlock();
    const bool unusedBlock = m_blockFree && m_cursor.block().length() <= 1;
    QTextTable *table = DeltaDocument::insertTable(m_cursor, data.rowCount(), data.columnCount(),
                                                   DeltaDocument::tableFormat(data.hasHeader));
    if (!table)
        return false;
    if (unusedBlock)
        markSpacerBefore(table);
    fillTable(m_cursor, table, data);
    m_cursor.setPosition(table->lastPosition() + 1);
    // As when loading, the paragraph after the table takes the next line.
    m_blockFree = m_cursor.block() != m_post && m_cursor.block().length() <= 1;
    return true;
}

// The empty block left in front of a table inserted into it is a spacer, as when loading.
void DeltaPaster::markSpacerBefore(QTextTable *table)
{
    const QTextBlock before = m_cursor.document()->findBlock(table->firstPosition()).previous();
    if (before.isValid() && before.length() <= 1 && !QTextCursor(before).currentTable()) {
        QTextCursor beforeCursor(before);
        QTextBlockFormat format = before.blockFormat();
        format.setProperty(DeltaDocument::TableSpacerProperty, true);
        beforeCursor.setBlockFormat(format);
    }
}

// A paste that ends with a table leaves the paragraph after it free; loading would put
// the following line there, so the following line moves into it.
void DeltaPaster::closeAfterTable()
{
    if (!m_blockFree || m_cursor.block().length() > 1)
        return;
    const QTextBlock previous = m_cursor.block().previous();
    const QTextBlock next = m_cursor.block().next();
    if (!previous.isValid() || !QTextCursor(previous).currentTable() || !next.isValid()
        || QTextCursor(next).currentTable()) {
        return;
    }
    const QTextBlockFormat format = next.blockFormat();
    const QTextCharFormat chars = next.charFormat();
    m_cursor.deleteChar();
    m_cursor.setBlockFormat(format);
    m_cursor.setBlockCharFormat(chars);
    if (m_post.isValid())
        m_post = m_cursor.block();
}

// Lists follow adjacency when loaded; the blocks around a paste are regrouped the same
// way, or an ordered list would number differently before and after a reload. The walk
// ends with the list run that follows the pasted lines.
void DeltaPaster::relist(QTextBlock block, int lastPasted)
{
    QTextCursor cursor(m_cursor.document());
    for (; block.isValid(); block = block.next()) {
        const QString type = block.blockFormat().stringProperty(DeltaDocument::ListTypeProperty);
        const bool inList = block.textList() || !type.isEmpty();
        if (!inList) {
            if (block.blockNumber() > lastPasted)
                break;
            continue;
        }
        cursor.setPosition(block.position());
        if (cursor.currentTable())
            continue;
        DeltaDocument::applyListType(cursor, type);
    }
}

void DeltaPaster::run(const QJsonArray &operations)
{
    QList<Line> lines = splitLines(operations);
    m_cell = m_cursor.currentTable();
    if (m_cell)
        flattenForCell(lines);
    if (lines.isEmpty())
        return;

    const QTextBlock target = m_cursor.block();
    const bool targetEmpty = target.length() <= 1;
    const auto isTableLine = [](const Line &line) {
        return line.segments.size() == 1 && line.segments.first().isEmbed
            && line.segments.first().embedKey == TableKey;
    };

    if (lines.size() == 1 && !isTableLine(lines.first())) {
        if (targetEmpty && !m_cell && !lines.first().attributes.isEmpty()) {
            m_blockFree = true;
            insertOwnLine(lines.first());
            relist(m_cursor.block(), m_cursor.block().blockNumber());
        } else {
            insertInline(lines.first());
        }
        return;
    }

    if (m_cell) {
        const QTextCharFormat base = cellBase();
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (i > 0)
                m_cursor.insertBlock(m_cursor.blockFormat(), base);
            insertSegments(m_cursor, lines.at(i).segments, base, nullptr);
        }
        return;
    }

    const QTextBlock first = target.previous().isValid() ? target.previous() : target;
    const bool atStart = m_cursor.position() == target.position();
    if (!m_cursor.atBlockEnd()) {
        m_cursor.insertBlock(target.blockFormat(), target.charFormat());
        m_post = m_cursor.block();
        m_cursor.movePosition(QTextCursor::PreviousBlock);
        m_cursor.movePosition(QTextCursor::EndOfBlock);
    }
    m_blockFree = atStart || targetEmpty;

    for (qsizetype i = 0; i < lines.size(); ++i) {
        const Line &line = lines.at(i);
        if (isTableLine(line) && insertTable(line.segments.first().embedValue))
            continue;
        if (i == 0 && !m_blockFree)
            insertInline(line);
        else
            insertOwnLine(line);
    }
    closeAfterTable();
    const int end = m_cursor.position();
    relist(first, m_cursor.block().blockNumber());
    m_cursor.setPosition(end);
}

} // namespace

DeltaDocument::DeltaDocument(QObject *parent)
    : QObject(parent)
    , m_document(new QTextDocument(this))
{
    QFont font = m_document->defaultFont();
    font.setPixelSize(bodyPixelSize());
    m_document->setDefaultFont(font);
    m_document->setDocumentMargin(16);
    connect(m_document, &QTextDocument::contentsChanged, this, &DeltaDocument::contentsChanged);
}

DeltaDocument::~DeltaDocument() = default;

void DeltaDocument::setDelta(const QJsonArray &operations)
{
    m_operations = operations;
    buildDocument(operations);
}

void DeltaDocument::setDeltaJson(const QString &json)
{
    if (json.isEmpty()) {
        m_operations = QJsonArray();
        buildDocument(QJsonArray());
        return;
    }
    QJsonParseError error;
    const QJsonDocument parsed = QJsonDocument::fromJson(json.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !parsed.isArray()) {
        if (error.error != QJsonParseError::NoError)
            qCDebug(lcDocument) << "Body is not JSON, loading it as plain text:" << error.errorString();
        loadPlainText(json);
        return;
    }
    setDelta(parsed.array());
}

void DeltaDocument::loadPlainText(const QString &text)
{
    QString normalized = text;
    normalized.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    normalized.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    setDelta(QJsonArray{QJsonObject{{InsertKey, normalized}}});
}

void DeltaDocument::buildDocument(const QJsonArray &operations)
{
    const bool wasBlocked = m_document->blockSignals(true);
    const bool undoEnabled = m_document->isUndoRedoEnabled();
    // Disabling the undo stack also empties it: a load is never undoable.
    m_document->setUndoRedoEnabled(false);
    m_document->clear();
    if (!operations.isEmpty()) {
        DeltaLoader loader(m_document);
        loader.run(operations);
    }
    m_document->setUndoRedoEnabled(undoEnabled);
    m_document->blockSignals(wasBlocked);
}

QString DeltaDocument::toPlainText() const
{
    return m_document->toPlainText();
}

void DeltaDocument::insertDelta(QTextCursor &cursor, const QJsonArray &operations)
{
    cursor.beginEditBlock();
    if (cursor.hasSelection())
        cursor.removeSelectedText();
    DeltaPaster paster(cursor);
    paster.run(operations);
    cursor.endEditBlock();
}

const QString &DeltaDocument::attachmentPrefix()
{
    static const QString prefix = QStringLiteral("ombrel-notes://attachment/");
    return prefix;
}

const QString &DeltaDocument::emptyNoteJson()
{
    static const QString json = QStringLiteral("[{\"insert\":\"\\n\"}]");
    return json;
}
