#include "htmltodelta.h"

#include "deltadocument.h"
#include "deltadocument_p.h"
#include "htmltags_p.h"
#include "htmlsafedocument.h"

#include <QHash>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>

#include <array>

using namespace DeltaFormat;

namespace {

QJsonArray emptyNote()
{
    return QJsonArray{QJsonObject{{InsertKey, QStringLiteral("\n")}}};
}

QString listTypeForStyle(QTextListFormat::Style style)
{
    switch (style) {
    case QTextListFormat::ListDisc:
    case QTextListFormat::ListCircle:
    case QTextListFormat::ListSquare:
        return QStringLiteral("bullet");
    case QTextListFormat::ListDecimal:
    case QTextListFormat::ListLowerAlpha:
    case QTextListFormat::ListUpperAlpha:
    case QTextListFormat::ListLowerRoman:
    case QTextListFormat::ListUpperRoman:
        return QStringLiteral("ordered");
    default:
        return QString();
    }
}

// <pre> in HTML, fenced or indented code in Markdown.
bool isCodeBlock(const QTextBlockFormat &format)
{
    return format.nonBreakableLines() || format.hasProperty(QTextFormat::BlockCodeFence)
        || format.hasProperty(QTextFormat::BlockCodeLanguage);
}

// Qt's HTML reader marks only the first paragraph of a <blockquote> with its level; the
// others keep the quote's default margins of 40 pixels on both sides.
bool isBlockquote(const QTextBlock &block)
{
    const QTextBlockFormat format = block.blockFormat();
    if (format.intProperty(QTextFormat::BlockQuoteLevel) > 0)
        return true;
    return !block.textList() && qFuzzyCompare(format.leftMargin(), 40.0)
        && qFuzzyCompare(format.rightMargin(), 40.0);
}

void appendBlock(QJsonArray &out, const QTextBlock &block)
{
    for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (!fragment.isValid())
            continue;
        const QTextCharFormat format = fragment.charFormat();
        if (!format.isImageFormat()) {
            appendText(out, fragment.text(), inlineAttributes(format, InlineRules::Html, nullptr));
            continue;
        }
        const QString source = format.toImageFormat().name();
        if (source.isEmpty())
            continue;
        const QString key = source.startsWith(DeltaDocument::attachmentPrefix())
            ? QStringLiteral("ombrel-notes-attachment")
            : QStringLiteral("image");
        const QJsonObject embed{{InsertKey, QJsonObject{{key, source}}}};
        // Equal neighbouring images share one fragment: one embed per object character.
        const qsizetype count = fragment.text().count(QChar::ObjectReplacementCharacter);
        for (qsizetype i = 0; i < count; ++i)
            out.append(embed);
    }

    const QTextBlockFormat format = block.blockFormat();
    QJsonObject attributes;
    const int level = format.headingLevel();
    if (level >= 1 && level <= 6)
        attributes.insert(QLatin1String("header"), level);
    if (format.marker() == QTextBlockFormat::MarkerType::Checked) {
        attributes.insert(QLatin1String("list"), QStringLiteral("checked"));
    } else if (format.marker() == QTextBlockFormat::MarkerType::Unchecked) {
        attributes.insert(QLatin1String("list"), QStringLiteral("unchecked"));
    } else if (const QTextList *list = block.textList()) {
        const QString type = listTypeForStyle(list->format().style());
        if (!type.isEmpty())
            attributes.insert(QLatin1String("list"), type);
    }
    if (isCodeBlock(format)) {
        const QString language = format.stringProperty(QTextFormat::BlockCodeLanguage);
        attributes.insert(QLatin1String("code-block"),
                          language.isEmpty() ? QJsonValue(true) : QJsonValue(language));
    } else if (isBlockquote(block)) {
        attributes.insert(QLatin1String("blockquote"), true);
    }
    QJsonObject lineEnd{{InsertKey, QStringLiteral("\n")}};
    if (!attributes.isEmpty())
        lineEnd.insert(AttributesKey, attributes);
    out.append(lineEnd);
}

bool isNameChar(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
        || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-') || c == QLatin1Char(':');
}

// Elements whose end tag may be left out: opening one closes an open one of the same
// kinds, as far back as the given scope elements.
void closeImplied(QStringList &stack, const QString &name)
{
    QStringList closes;
    QStringList scopes;
    if (name == QLatin1String("li")) {
        closes = {QStringLiteral("li")};
        scopes = {QStringLiteral("ul"), QStringLiteral("ol")};
    } else if (name == QLatin1String("td") || name == QLatin1String("th")) {
        closes = {QStringLiteral("td"), QStringLiteral("th")};
        scopes = {QStringLiteral("tr"), QStringLiteral("table")};
    } else if (name == QLatin1String("tr")) {
        closes = {QStringLiteral("tr")};
        scopes = {QStringLiteral("table")};
    } else if (name == QLatin1String("dt") || name == QLatin1String("dd")) {
        closes = {QStringLiteral("dt"), QStringLiteral("dd")};
        scopes = {QStringLiteral("dl")};
    } else if (name == QLatin1String("p") || name == QLatin1String("option")) {
        if (!stack.isEmpty() && stack.last() == name)
            stack.removeLast();
        return;
    } else {
        return;
    }
    for (qsizetype i = stack.size() - 1; i >= 0; --i) {
        if (scopes.contains(stack.at(i)))
            return;
        if (closes.contains(stack.at(i))) {
            stack.resize(i);
            return;
        }
    }
}

} // namespace

QString limitHtmlNesting(const QString &html, int maxDepth)
{
    QStringList stack;
    QHash<QString, int> dropped;
    QString result;
    qsizetype copied = 0;
    qsizetype position = 0;
    const auto dropRange = [&](qsizetype from, qsizetype to) {
        result += QStringView(html).mid(copied, from - copied);
        copied = to;
    };
    while (true) {
        const qsizetype open = html.indexOf(QLatin1Char('<'), position);
        if (open < 0 || open + 1 >= html.size())
            break;
        position = open + 1;
        if (html.mid(open, 4) == QLatin1String("<!--")) {
            const qsizetype end = html.indexOf(QLatin1String("-->"), open + 4);
            if (end < 0)
                break;
            position = end + 3;
            continue;
        }
        const bool closing = html.at(open + 1) == QLatin1Char('/');
        const qsizetype nameStart = open + (closing ? 2 : 1);
        qsizetype nameEnd = nameStart;
        while (nameEnd < html.size() && isNameChar(html.at(nameEnd)))
            ++nameEnd;
        if (nameEnd == nameStart)
            continue; // "<!doctype", "<?xml", "< " and the like
        const qsizetype end = HtmlTags::tagEnd(html, open);
        if (end < 0)
            break;
        position = end + 1;
        const QString name = html.mid(nameStart, nameEnd - nameStart).toLower();
        if (closing) {
            const qsizetype index = stack.lastIndexOf(name);
            if (index >= 0) {
                stack.resize(index);
            } else if (dropped.value(name) > 0) {
                --dropped[name];
                dropRange(open, end + 1);
            }
            continue;
        }
        if (html.at(end - 1) == QLatin1Char('/') || HtmlTags::isVoidElement(name))
            continue;
        closeImplied(stack, name);
        if (stack.size() >= maxDepth) {
            ++dropped[name];
            dropRange(open, end + 1);
            continue;
        }
        stack.append(name);
    }
    if (copied == 0)
        return html;
    result += QStringView(html).mid(copied);
    return result;
}

QString stripHtmlChromeElements(const QString &html)
{
    static const std::array<QLatin1String, 8> names = {
        QLatin1String("script"), QLatin1String("style"),  QLatin1String("nav"),
        QLatin1String("header"), QLatin1String("footer"), QLatin1String("aside"),
        QLatin1String("iframe"), QLatin1String("noscript")};
    // A name whose closing tag was not found after some position has none after any
    // later position either: never search for it again, which keeps this linear.
    std::array<bool, names.size()> exhausted{};
    const QStringView view(html);
    QString result;
    qsizetype copyFrom = 0;
    qsizetype position = 0;
    qsizetype nextGreater = -1;
    while (true) {
        const qsizetype open = html.indexOf(QLatin1Char('<'), position);
        if (open < 0)
            break;
        position = open + 1;
        int which = -1;
        for (int k = 0; k < int(names.size()); ++k) {
            if (!exhausted[k]
                && view.mid(open + 1, names[k].size()).compare(names[k], Qt::CaseInsensitive) == 0) {
                which = k;
                break;
            }
        }
        if (which < 0)
            continue;
        const qsizetype nameEnd = open + 1 + names[which].size();
        if (nextGreater < nameEnd)
            nextGreater = html.indexOf(QLatin1Char('>'), nameEnd);
        if (nextGreater < 0)
            break; // no tag can be closed any more
        const QString closing = QLatin1String("</") + names[which] + QLatin1Char('>');
        const qsizetype close = html.indexOf(closing, nextGreater + 1, Qt::CaseInsensitive);
        if (close < 0) {
            exhausted[which] = true;
            continue;
        }
        result += view.mid(copyFrom, open - copyFrom);
        copyFrom = position = close + closing.size();
    }
    if (copyFrom == 0)
        return html;
    result += view.mid(copyFrom);
    return result;
}

// Task lists written by web pages and Markdown tools, <li><input type="checkbox" checked>,
// become the list item classes that Qt's reader turns into checklist markers.
QString checkboxItemsAsClasses(const QString &html)
{
    if (!html.contains(QLatin1String("checkbox"), Qt::CaseInsensitive))
        return html;
    static const QRegularExpression item(
        QStringLiteral("<li\\b[^>]*>(\\s*<p\\b[^>]*>)?\\s*<input\\b([^>]*)>"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression checkbox(QStringLiteral("type\\s*=\\s*[\"']?checkbox"),
                                             QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression checked(QStringLiteral("(^|\\s)checked\\b"),
                                            QRegularExpression::CaseInsensitiveOption);
    QString result;
    qsizetype copied = 0;
    QRegularExpressionMatchIterator it = item.globalMatch(html);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        const QString inputAttributes = match.captured(2);
        if (!checkbox.match(inputAttributes).hasMatch())
            continue;
        result += QStringView(html).mid(copied, match.capturedStart() - copied);
        result += checked.match(inputAttributes).hasMatch() ? QLatin1String("<li class=\"checked\">")
                                                            : QLatin1String("<li class=\"unchecked\">");
        result += match.captured(1);
        copied = match.capturedEnd();
    }
    if (copied == 0)
        return html;
    result += QStringView(html).mid(copied);
    return result;
}

QJsonArray htmlToDelta(const QString &html)
{
    if (html.trimmed().isEmpty())
        return emptyNote();

    HtmlSafeDocument document;
    document.setUndoRedoEnabled(false);
    document.setHtml(limitHtmlNesting(checkboxItemsAsClasses(stripHtmlChromeElements(html)), MaxHtmlDepth));
    return richTextToDelta(document);
}

QJsonArray richTextToDelta(const QTextDocument &document)
{

    QList<QTextTable *> tables;
    const QList<QTextFrame *> frames = document.rootFrame()->childFrames();
    for (QTextFrame *frame : frames) {
        if (auto *table = qobject_cast<QTextTable *>(frame))
            tables.append(table);
    }

    QJsonArray out;
    QSet<QTextTable *> emitted;
    qsizetype tableIndex = 0;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const int position = block.position();
        while (tableIndex < tables.size() && tables.at(tableIndex)->lastPosition() < position)
            ++tableIndex;
        if (tableIndex < tables.size() && position >= tables.at(tableIndex)->firstPosition()) {
            QTextTable *table = tables.at(tableIndex);
            if (emitted.contains(table))
                continue;
            emitted.insert(table);
            const QString json = tableToJson(table, table->rows() > 0, InlineRules::Html, nullptr);
            out.append(QJsonObject{{InsertKey, QJsonObject{{QStringLiteral("table"), json}}}});
            out.append(QJsonObject{{InsertKey, QStringLiteral("\n")}});
            continue;
        }
        appendBlock(out, block);
    }
    return out.isEmpty() ? emptyNote() : out;
}
