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
    QTextCharFormat textFormat(const QTextCharFormat &base, const QJsonObject &attributes);

    QTextCursor m_cursor;
    QList<Segment> m_pending;
    bool m_firstLine = true;
    // Runs of one operation share their attributes object; build its format once.
    QJsonObject m_lastAttributes;
    QTextCharFormat m_lastInline;
    bool m_hasLastInline = false;
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

QTextCharFormat DeltaLoader::textFormat(const QTextCharFormat &base, const QJsonObject &attributes)
{
    if (!m_hasLastInline || attributes != m_lastAttributes) {
        m_lastAttributes = attributes;
        m_lastInline = charFormatFromAttributes(attributes);
        m_hasLastInline = true;
    }
    QTextCharFormat format = base;
    format.merge(m_lastInline);
    return format;
}

void DeltaLoader::flushLine(const QJsonObject &lineAttributes)
{
    if (const Segment *table = loneTable(); table && buildTable(table->embedValue)) {
        // The paragraph after the table already exists and takes the next line.
        m_firstLine = true;
        m_pending.clear();
        return;
    }

    QTextBlockFormat blockFormat;
    QJsonObject preserved;
    QString listType;
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
                listType = value.toString();
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

    for (const Segment &segment : std::as_const(m_pending)) {
        if (segment.isEmbed && (segment.embedKey == AttachmentKey || segment.embedKey == ImageKey)) {
            blockFormat.setLineHeight(0, QTextBlockFormat::SingleHeight);
            break;
        }
    }

    QTextCharFormat base;
    if (headingLevel > 0) {
        const DeltaDocument::HeadingStyle style = DeltaDocument::headingStyle(headingLevel);
        base = DeltaDocument::bodyCharFormat();
        base.setProperty(QTextFormat::FontPixelSize, style.pixelSize);
        base.setFontWeight(style.weight);
        if (style.muted)
            base.setForeground(DeltaDocument::mutedColor());
    } else if (codeBlock) {
        base = DeltaDocument::codeBlockCharFormat();
    } else {
        base = DeltaDocument::bodyCharFormat();
    }

    if (m_firstLine) {
        m_cursor.setBlockFormat(blockFormat);
        m_cursor.setBlockCharFormat(base);
    } else {
        m_cursor.insertBlock(blockFormat, base);
    }
    m_firstLine = false;

    if (!listType.isEmpty())
        DeltaDocument::applyListType(m_cursor, listType);

    for (const Segment &segment : std::as_const(m_pending)) {
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
            m_cursor.insertText(QString(QChar::ObjectReplacementCharacter), format);
        } else {
            const QString text = sanitizedText(segment.text);
            if (!text.isEmpty())
                m_cursor.insertText(text, textFormat(base, segment.attributes));
        }
    }
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
