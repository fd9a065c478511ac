#include "deltarender.h"
#include "deltarender_p.h"
#include "tablejson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

using namespace DeltaRender;

namespace {

class HtmlWriter final : public LineVisitor
{
public:
    QString out;

    void line(const QList<Segment> &segments, const LineStyle &style) override
    {
        QLatin1String close;
        if (style.header > 0) {
            out.append(QLatin1String("<h"));
            out.append(QLatin1Char(char('0' + style.header)));
            out.append(QLatin1Char('>'));
        } else if (style.blockquote) {
            out.append(QLatin1String("<blockquote>"));
            close = QLatin1String("</blockquote>\n");
        } else if (style.codeBlock) {
            out.append(QLatin1String("<pre><code>"));
            close = QLatin1String("</code></pre>\n");
        } else {
            out.append(QLatin1String("<p>"));
            close = QLatin1String("</p>\n");
        }
        for (const Segment &segment : segments)
            appendHtmlInline(out, segment.text, segment.style);
        if (style.header > 0) {
            out.append(QLatin1String("</h"));
            out.append(QLatin1Char(char('0' + style.header)));
            out.append(QLatin1String(">\n"));
        } else {
            out.append(close);
        }
    }

    void blockEmbed(const QString &key, const QJsonValue &value) override
    {
        if (key == QLatin1String("divider"))
            out.append(QLatin1String("<hr>\n"));
        else
            out.append(tableToHtml(value.toString()));
    }
};

QString cellHtml(const QJsonValue &cell)
{
    if (cell.isString())
        return htmlEscaped(cell.toString());
    QString content;
    const QJsonArray operations = tableCellOperations(cell);
    for (const QJsonValue &value : operations) {
        const QJsonObject operation = value.toObject();
        const QString text = operation.value(QLatin1String("insert")).toString();
        if (text == QLatin1String("\n")) {
            content.append(QLatin1String("<br>"));
        } else if (!text.isEmpty()) {
            const QJsonObject attributes = operation.value(QLatin1String("attributes")).toObject();
            appendHtmlInline(content, text, inlineStyle(attributes), true);
        }
    }
    return content;
}

// The row count of a table whose rows hold no cell at all; 0 for anything else.
qsizetype rowsWithoutCells(const QString &tableJson)
{
    const QJsonDocument document = QJsonDocument::fromJson(tableJson.toUtf8());
    if (!document.isObject())
        return 0;
    const QJsonArray rows = document.object().value(QLatin1String("cells")).toArray();
    for (const QJsonValue &row : rows) {
        if (!row.toArray().isEmpty())
            return 0; // cells exist: the table was refused, not empty
    }
    return std::min<qsizetype>(rows.size(), MaxTableCells);
}

} // namespace

QString deltaToHtml(const QJsonArray &operations)
{
    HtmlWriter writer;
    writer.out = QStringLiteral("<html><body>\n");
    walkLines(operations, writer);
    writer.out.append(QLatin1String("</body></html>"));
    return writer.out;
}

QString tableToHtml(const QString &tableJson)
{
    const TableData table = parseTableJson(tableJson);
    const QString open = QStringLiteral(
        "<table border=\"1\" cellpadding=\"6\" cellspacing=\"0\" style=\"border-collapse:collapse\">\n");
    if (table.isEmpty()) {
        // Rows that hold no cells are still rows; only missing or empty "cells" is nothing.
        const qsizetype rows = rowsWithoutCells(tableJson);
        if (rows == 0)
            return QString();
        QString out = open;
        for (qsizetype row = 0; row < rows; ++row)
            out.append(QLatin1String("  <tr></tr>\n"));
        out.append(QLatin1String("</table>\n"));
        return out;
    }

    // Short rows arrive padded, so every row gets the full set of bordered cells.
    QString out = open;
    for (qsizetype row = 0; row < table.cells.size(); ++row) {
        const bool header = row == 0 && table.hasHeader;
        const QLatin1String open = header ? QLatin1String("<th>") : QLatin1String("<td>");
        const QLatin1String close = header ? QLatin1String("</th>") : QLatin1String("</td>");
        out.append(QLatin1String("  <tr>"));
        for (const QJsonValue &cell : table.cells.at(row)) {
            const QString content = cellHtml(cell);
            out.append(open);
            out.append(content.isEmpty() ? QStringLiteral("&nbsp;") : content);
            out.append(close);
        }
        out.append(QLatin1String("</tr>\n"));
    }
    out.append(QLatin1String("</table>\n"));
    return out;
}
