#include "deltarender.h"
#include "deltarender_p.h"
#include "tablejson.h"

#include <QJsonArray>
#include <QJsonObject>

using namespace DeltaRender;

namespace {

enum class LineKind { Paragraph, Heading, List, Code, Quote };

// Appends the markers, text and link of one run, innermost marker first in `markers`.
void appendMarkdownRun(QString &out, QStringView text, const InlineStyle &style,
                       const QList<QLatin1String> &markers)
{
    const bool link = style.hasLink && !isScriptLink(style.link);
    if (link)
        out.append(QLatin1Char('['));
    for (qsizetype i = markers.size() - 1; i >= 0; --i)
        out.append(markers.at(i));
    out.append(text);
    for (const QLatin1String &marker : markers)
        out.append(marker);
    if (link) {
        out.append(QLatin1String("]("));
        out.append(markdownLinkTarget(style.link));
        out.append(QLatin1Char(')'));
    }
}

class MarkdownWriter final : public LineVisitor
{
public:
    QString out;
    LineKind previous = LineKind::Paragraph;

    void blankLine()
    {
        if (out.isEmpty() || out.endsWith(QLatin1String("\n\n")))
            return;
        out.append(out.endsWith(QLatin1Char('\n')) ? QLatin1String("\n") : QLatin1String("\n\n"));
    }

    void blankLineAfterListOrCode()
    {
        if (previous == LineKind::List || previous == LineKind::Code)
            blankLine();
    }

    void line(const QList<Segment> &segments, const LineStyle &style) override
    {
        QString content;
        QList<QLatin1String> markers;
        // Code-block text is stored with "code" (its font is fixed-pitch); inside the
        // indented block the backticks would show literally.
        const bool codeLine = style.codeBlock && style.list.isEmpty() && style.header == 0;
        for (const Segment &segment : segments) {
            markers.clear();
            if (segment.style.bold && style.header == 0)
                markers.append(QLatin1String("**"));
            if (segment.style.italic)
                markers.append(QLatin1String("*"));
            if (segment.style.code && !codeLine)
                markers.append(QLatin1String("`"));
            if (segment.style.strike)
                markers.append(QLatin1String("~~"));
            appendMarkdownRun(content, segment.text, segment.style, markers);
        }

        QString text;
        LineKind kind = LineKind::Paragraph;
        const bool blank = QStringView(content).trimmed().isEmpty();
        if (style.header > 0) {
            if (blank)
                return;
            text = QString(style.header, QLatin1Char('#')) + QLatin1Char(' ') + content;
            kind = LineKind::Heading;
        } else if (style.list.isEmpty()) {
            if (style.codeBlock) {
                text = QLatin1String("    ") + content;
                kind = LineKind::Code;
            } else if (style.blockquote) {
                text = QLatin1String("> ") + content;
                kind = LineKind::Quote;
            } else if (blank) {
                blankLine();
                previous = LineKind::Paragraph;
                return;
            } else {
                text = content;
            }
        } else {
            kind = LineKind::List;
            if (style.list == QLatin1String("bullet"))
                text = QLatin1String("- ") + content;
            else if (style.list == QLatin1String("ordered"))
                text = QLatin1String("1. ") + content;
            else if (style.list == QLatin1String("checked"))
                text = QLatin1String("- [x] ") + content;
            else if (style.list == QLatin1String("unchecked"))
                text = QLatin1String("- [ ] ") + content;
            else
                text = content;
        }

        const bool tight = kind == LineKind::List || kind == LineKind::Code;
        if ((previous == LineKind::List || previous == LineKind::Code) && previous != kind)
            blankLine();
        if (tight && previous != LineKind::List && previous != LineKind::Code)
            blankLine();
        out.append(text);
        out.append(tight ? QLatin1String("\n") : QLatin1String("\n\n"));
        previous = kind;
    }

    void blockEmbed(const QString &key, const QJsonValue &value) override
    {
        if (key == QLatin1String("divider")) {
            blankLineAfterListOrCode();
            out.append(QLatin1String("---\n\n"));
            return;
        }
        // An unreadable table writes no grid but still ends its line, like a readable one.
        blankLineAfterListOrCode();
        out.append(tableToMarkdown(value.toString()));
        out.append(QLatin1Char('\n'));
    }
};

// "|" would end the cell and a line break the row.
void appendCellText(QString &out, QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('|')) {
            out.append(QLatin1String("\\|"));
        } else if (c == QLatin1Char('\r')) {
            out.append(QLatin1Char(' '));
            if (i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
                ++i;
        } else if (c == QLatin1Char('\n')) {
            out.append(QLatin1Char(' '));
        } else {
            out.append(c);
        }
    }
}

QString cellMarkdown(const QJsonValue &cell, bool headerRow)
{
    QString content;
    if (cell.isString()) {
        appendCellText(content, cell.toString());
        return content;
    }
    QList<QLatin1String> markers;
    QString escaped;
    bool paragraphBreak = false;
    const QJsonArray operations = tableCellOperations(cell);
    for (const QJsonValue &value : operations) {
        const QJsonObject operation = value.toObject();
        const QString text = operation.value(QLatin1String("insert")).toString();
        if (text == QLatin1String("\n")) {
            // Paragraphs of a cell share one table line: keep their words apart.
            paragraphBreak = true;
            continue;
        }
        if (text.isEmpty())
            continue;
        if (paragraphBreak && !content.isEmpty())
            content.append(QLatin1Char(' '));
        paragraphBreak = false;
        const InlineStyle style = inlineStyle(operation.value(QLatin1String("attributes")).toObject());
        markers.clear();
        if (style.code)
            markers.append(QLatin1String("`"));
        if (style.bold && !headerRow)
            markers.append(QLatin1String("**"));
        if (style.italic)
            markers.append(QLatin1String("*"));
        if (style.strike)
            markers.append(QLatin1String("~~"));
        escaped.clear();
        appendCellText(escaped, text);
        appendMarkdownRun(content, escaped, style, markers);
    }
    return content;
}

} // namespace

QString deltaToMarkdown(const QJsonArray &operations)
{
    MarkdownWriter writer;
    walkLines(operations, writer);
    QString &out = writer.out;
    qsizetype end = out.size();
    while (end > 0 && (out.at(end - 1) == QLatin1Char('\n') || out.at(end - 1) == QLatin1Char(' ')))
        --end;
    out.truncate(end);
    if (!out.isEmpty())
        out.append(QLatin1Char('\n'));
    return out;
}

QString tableToMarkdown(const QString &tableJson)
{
    const TableData table = parseTableJson(tableJson);
    if (table.isEmpty())
        return QString();
    const int columns = table.columnCount();
    QString out;
    for (qsizetype row = 0; row < table.cells.size(); ++row) {
        const bool headerRow = row == 0 && table.hasHeader;
        const QList<QJsonValue> &cells = table.cells.at(row);
        out.append(QLatin1Char('|'));
        for (int column = 0; column < columns; ++column) {
            out.append(QLatin1Char(' '));
            if (column < cells.size())
                out.append(cellMarkdown(cells.at(column), headerRow));
            out.append(QLatin1String(" |"));
        }
        out.append(QLatin1Char('\n'));
        if (row == 0) {
            out.append(QLatin1Char('|'));
            for (int column = 0; column < columns; ++column)
                out.append(QLatin1String(" --- |"));
            out.append(QLatin1Char('\n'));
        }
    }
    return out;
}
