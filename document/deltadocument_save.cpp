// Saving: the rich-text document back to Delta operations.

#include "deltadocument.h"

#include "deltadocument_p.h"

#include <QJsonDocument>
#include <QSet>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>

using namespace DeltaFormat;

namespace {

const QChar ObjectCharacter = QChar::ObjectReplacementCharacter;

const QJsonObject &lineEnd()
{
    static const QJsonObject object{{InsertKey, QStringLiteral("\n")}};
    return object;
}

bool isSavedObject(int objectType)
{
    return objectType == DeltaDocument::AttachmentObject
        || objectType == DeltaDocument::DividerObject || objectType == DeltaDocument::TableObject;
}

void mergePreserved(QJsonObject &attributes, const QTextFormat &format, int property,
                    PreservedCache *cache)
{
    if (!format.hasProperty(property))
        return;
    const QString text = format.stringProperty(property);
    if (text.isEmpty())
        return;
    QJsonObject preserved;
    auto cached = cache ? cache->constFind(text) : PreservedCache::const_iterator();
    if (cache && cached != cache->constEnd()) {
        preserved = *cached;
    } else {
        preserved = QJsonDocument::fromJson(text.toUtf8()).object();
        if (cache)
            cache->insert(text, preserved);
    }
    for (auto it = preserved.constBegin(); it != preserved.constEnd(); ++it) {
        if (!attributes.contains(it.key()))
            attributes.insert(it.key(), it.value());
    }
}

// Appends one fragment: each embed character of a saved object type becomes its embed,
// any other text (typed next to an object it may share the object's format) a text insert.
void appendFragment(QJsonArray &out, const QTextFragment &fragment, PreservedCache *cache)
{
    const QTextCharFormat format = fragment.charFormat();
    const QString text = fragment.text();
    if (!isSavedObject(format.objectType())) {
        if (text.size() == 1 && text.at(0) == ObjectCharacter)
            return;
        appendText(out, text, inlineAttributes(format, InlineRules::Document, cache));
        return;
    }
    QJsonObject embed;
    embed.insert(format.stringProperty(DeltaDocument::EmbedKeyProperty),
                 format.stringProperty(DeltaDocument::EmbedValueProperty));
    const QJsonObject embedInsert{{InsertKey, embed}};
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text.at(i) != ObjectCharacter)
            continue;
        if (i > start) {
            appendText(out, text.mid(start, i - start),
                       inlineAttributes(format, InlineRules::Document, cache));
        }
        if (i < text.size())
            out.append(embedInsert);
        start = i + 1;
    }
}

} // namespace

namespace DeltaFormat {

QJsonObject inlineAttributes(const QTextCharFormat &format, InlineRules rules, PreservedCache *cache)
{
    QJsonObject attributes;
    if (format.hasProperty(QTextFormat::FontWeight) && format.fontWeight() >= QFont::Bold)
        attributes.insert(QLatin1String("bold"), true);
    if (format.fontItalic())
        attributes.insert(QLatin1String("italic"), true);
    const QString href = format.isAnchor() ? format.anchorHref() : QString();
    if (format.fontUnderline() && href.isEmpty())
        attributes.insert(QLatin1String("underline"), true);
    if (format.fontStrikeOut())
        attributes.insert(QLatin1String("strike"), true);
    bool code = format.fontFixedPitch();
    if (!code && format.hasProperty(QTextFormat::FontFamilies))
        code = format.fontFamilies().toStringList().contains(QLatin1String("monospace"));
    if (code)
        attributes.insert(QLatin1String("code"), true);
    if (!href.isEmpty())
        attributes.insert(QLatin1String("link"), href);
    if (rules == InlineRules::Document)
        mergePreserved(attributes, format, DeltaDocument::PreservedInlineAttributesProperty, cache);
    return attributes;
}

QJsonObject lineAttributes(const QTextBlock &block, PreservedCache *cache)
{
    const QTextBlockFormat format = block.blockFormat();
    QJsonObject attributes;
    const int level = format.intProperty(DeltaDocument::HeadingLevelProperty);
    if (level >= 1 && level <= 6)
        attributes.insert(QLatin1String("header"), level);

    QString list;
    switch (format.marker()) {
    case QTextBlockFormat::MarkerType::Checked: list = QStringLiteral("checked"); break;
    case QTextBlockFormat::MarkerType::Unchecked: list = QStringLiteral("unchecked"); break;
    default: list = format.stringProperty(DeltaDocument::ListTypeProperty); break;
    }
    if (list.isEmpty()) {
        // A list the rich-text engine made on its own (no stored type) still saves as one.
        if (const QTextList *textList = block.textList()) {
            list = textList->format().style() == QTextListFormat::ListDecimal
                ? QStringLiteral("ordered")
                : QStringLiteral("bullet");
        }
    }
    if (!list.isEmpty())
        attributes.insert(QLatin1String("list"), list);

    if (format.hasProperty(DeltaDocument::CodeBlockProperty)) {
        const QVariant value = format.property(DeltaDocument::CodeBlockProperty);
        const QString language = value.typeId() == QMetaType::QString ? value.toString() : QString();
        if (language.isEmpty())
            attributes.insert(QLatin1String("code-block"), true);
        else
            attributes.insert(QLatin1String("code-block"), language);
    }
    if (format.boolProperty(DeltaDocument::BlockquoteProperty))
        attributes.insert(QLatin1String("blockquote"), true);

    switch (format.alignment() & Qt::AlignHorizontal_Mask & ~Qt::AlignAbsolute) {
    case Qt::AlignHCenter: attributes.insert(QLatin1String("align"), QStringLiteral("center")); break;
    case Qt::AlignRight: attributes.insert(QLatin1String("align"), QStringLiteral("right")); break;
    case Qt::AlignJustify: attributes.insert(QLatin1String("align"), QStringLiteral("justify")); break;
    default: break;
    }
    mergePreserved(attributes, format, DeltaDocument::PreservedLineAttributesProperty, cache);
    return attributes;
}

void appendText(QJsonArray &out, const QString &text, const QJsonObject &attributes)
{
    QString clean = text;
    clean.remove(ObjectCharacter);
    if (clean.isEmpty())
        return;
    // Runs split only by a dropped object character (or by formatting that Delta does
    // not carry) merge into one insert, as they would after the next load.
    if (!out.isEmpty()) {
        const QJsonObject previous = out.last().toObject();
        const QJsonValue previousInsert = previous.value(InsertKey);
        if (previousInsert.isString() && previousInsert.toString() != QLatin1String("\n")
            && previous.value(AttributesKey).toObject() == attributes) {
            QJsonObject merged = previous;
            merged.insert(InsertKey, previousInsert.toString() + clean);
            out.replace(out.size() - 1, merged);
            return;
        }
    }
    QJsonObject operation{{InsertKey, clean}};
    if (!attributes.isEmpty())
        operation.insert(AttributesKey, attributes);
    out.append(operation);
}

QString tableToJson(QTextTable *table, bool hasHeader, InlineRules rules, PreservedCache *cache)
{
    QJsonArray rows;
    for (int row = 0; row < table->rows(); ++row) {
        QJsonArray cells;
        for (int column = 0; column < table->columns(); ++column) {
            QJsonArray cellOperations;
            const QTextTableCell cell = table->cellAt(row, column);
            // A merged cell is written once, at its top-left position.
            if (cell.isValid() && cell.row() == row && cell.column() == column) {
                bool firstBlock = true;
                for (QTextFrame::iterator it = cell.begin(); !it.atEnd(); ++it) {
                    const QTextBlock block = it.currentBlock();
                    if (!block.isValid())
                        continue;
                    if (!firstBlock)
                        cellOperations.append(lineEnd());
                    firstBlock = false;
                    for (QTextBlock::iterator fragmentIt = block.begin(); !fragmentIt.atEnd();
                         ++fragmentIt) {
                        const QTextFragment fragment = fragmentIt.fragment();
                        if (fragment.isValid()) {
                            appendText(cellOperations, fragment.text(),
                                       inlineAttributes(fragment.charFormat(), rules, cache));
                        }
                    }
                }
            }
            cells.append(cellOperations);
        }
        rows.append(cells);
    }
    QJsonObject object;
    object.insert(QLatin1String("cells"), rows);
    object.insert(QLatin1String("hasHeader"), hasHeader);
    return compactJson(object);
}

} // namespace DeltaFormat

QJsonArray DeltaDocument::toDelta() const
{
    struct Entry {
        QTextBlock block;
        QTextTable *table = nullptr;
    };

    QList<QTextTable *> tables;
    const QList<QTextFrame *> frames = m_document->rootFrame()->childFrames();
    for (QTextFrame *frame : frames) {
        if (auto *table = qobject_cast<QTextTable *>(frame))
            tables.append(table);
    }

    QList<Entry> entries;
    entries.reserve(m_document->blockCount());
    qsizetype tableIndex = 0;
    for (QTextBlock block = m_document->begin(); block.isValid(); block = block.next()) {
        const int position = block.position();
        while (tableIndex < tables.size() && tables.at(tableIndex)->lastPosition() < position)
            ++tableIndex;
        QTextTable *table = nullptr;
        if (tableIndex < tables.size() && position >= tables.at(tableIndex)->firstPosition())
            table = tables.at(tableIndex);
        entries.append({block, table});
    }

    const auto isSpacer = [](const QTextBlock &block) {
        if (!block.blockFormat().boolProperty(TableSpacerProperty))
            return false;
        const QString text = block.text();
        return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c == ObjectCharacter; });
    };

    QJsonArray out;
    PreservedCache cache;
    QSet<QTextTable *> emitted;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const Entry &entry = entries.at(i);
        if (entry.table) {
            if (emitted.contains(entry.table))
                continue;
            emitted.insert(entry.table);
            const QString json = tableToJson(entry.table, entry.table->format().headerRowCount() > 0,
                                             InlineRules::Document, &cache);
            out.append(QJsonObject{{InsertKey, QJsonObject{{QStringLiteral("table"), json}}}});
            out.append(lineEnd());
            continue;
        }
        const bool besideTable = (i > 0 && entries.at(i - 1).table)
            || (i + 1 < entries.size() && entries.at(i + 1).table);
        if (besideTable && isSpacer(entry.block))
            continue;

        for (QTextBlock::iterator it = entry.block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.isValid())
                appendFragment(out, fragment, &cache);
        }
        const QJsonObject attributes = lineAttributes(entry.block, &cache);
        if (attributes.isEmpty()) {
            out.append(lineEnd());
        } else {
            QJsonObject operation = lineEnd();
            operation.insert(AttributesKey, attributes);
            out.append(operation);
        }
    }
    return out;
}

QString DeltaDocument::toDeltaJson() const
{
    return compactJson(toDelta());
}
