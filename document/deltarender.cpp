#include "deltarender.h"
#include "deltarender_p.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace DeltaRender {

static bool isTrue(const QJsonObject &attributes, QLatin1String key)
{
    const QJsonValue value = attributes.value(key);
    return value.isBool() && value.toBool();
}

InlineStyle inlineStyle(const QJsonObject &attributes)
{
    InlineStyle style;
    if (attributes.isEmpty())
        return style;
    style.bold = isTrue(attributes, QLatin1String("bold"));
    style.italic = isTrue(attributes, QLatin1String("italic"));
    style.underline = isTrue(attributes, QLatin1String("underline"));
    style.strike = isTrue(attributes, QLatin1String("strike"));
    style.code = isTrue(attributes, QLatin1String("code"));
    const auto link = attributes.constFind(QLatin1String("link"));
    if (link != attributes.constEnd()) {
        style.hasLink = true;
        style.link = link.value().toString();
    }
    return style;
}

LineStyle lineStyle(const QJsonObject &attributes)
{
    LineStyle style;
    if (attributes.isEmpty())
        return style;
    const QJsonValue header = attributes.value(QLatin1String("header"));
    // toInt() refuses fractions and out-of-range doubles, so 2.5 or 1e300 is no heading.
    const int level = header.toInt(0);
    if (level >= 1 && level <= 6)
        style.header = level;
    style.list = attributes.value(QLatin1String("list")).toString();
    style.codeBlock = attributes.contains(QLatin1String("code-block"));
    style.blockquote = isTrue(attributes, QLatin1String("blockquote"));
    return style;
}

void walkLines(const QJsonArray &operations, LineVisitor &visitor)
{
    QList<Segment> pending;
    for (const QJsonValue &value : operations) {
        if (!value.isObject())
            continue;
        const QJsonObject operation = value.toObject();
        const QJsonValue insert = operation.value(QLatin1String("insert"));
        if (insert.isString()) {
            const QString text = insert.toString();
            if (text.isEmpty())
                continue;
            const QJsonObject attributes = operation.value(QLatin1String("attributes")).toObject();
            const InlineStyle style = inlineStyle(attributes);
            qsizetype from = 0;
            qsizetype lineEnd = text.indexOf(QLatin1Char('\n'));
            if (lineEnd < 0) {
                pending.append({text, style});
                continue;
            }
            const LineStyle line = lineStyle(attributes);
            while (lineEnd >= 0) {
                if (lineEnd > from)
                    pending.append({text.mid(from, lineEnd - from), style});
                visitor.line(pending, line);
                pending.clear();
                from = lineEnd + 1;
                lineEnd = text.indexOf(QLatin1Char('\n'), from);
            }
            if (from < text.size())
                pending.append({text.mid(from), style});
        } else if (insert.isObject()) {
            const QJsonObject embed = insert.toObject();
            if (embed.isEmpty())
                continue;
            const QString key = embed.begin().key();
            if (key != QLatin1String("divider") && key != QLatin1String("table"))
                continue;
            if (!pending.isEmpty()) {
                visitor.line(pending, LineStyle());
                pending.clear();
            }
            visitor.blockEmbed(key, embed.begin().value());
        }
    }
    if (!pending.isEmpty())
        visitor.line(pending, LineStyle());
}

void appendHtmlEscaped(QString &out, QStringView text)
{
    qsizetype plainFrom = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        QLatin1String entity;
        switch (c) {
        case u'&': entity = QLatin1String("&amp;"); break;
        case u'<': entity = QLatin1String("&lt;"); break;
        case u'>': entity = QLatin1String("&gt;"); break;
        case u'"': entity = QLatin1String("&quot;"); break;
        default: continue;
        }
        out.append(text.mid(plainFrom, i - plainFrom));
        out.append(entity);
        plainFrom = i + 1;
    }
    out.append(text.mid(plainFrom));
}

QString htmlEscaped(QStringView text)
{
    QString out;
    out.reserve(text.size() + text.size() / 8);
    appendHtmlEscaped(out, text);
    return out;
}

bool isScriptLink(const QString &href)
{
    // Browsers ignore surrounding controls and blanks and drop tabs and line breaks
    // inside a scheme, so compare with all of them removed.
    QString scheme;
    for (const QChar c : href) {
        if (c.unicode() <= 0x20)
            continue;
        scheme.append(c.toLower());
        if (c == QLatin1Char(':') || scheme.size() > 11)
            break;
    }
    return scheme == QLatin1String("javascript:") || scheme == QLatin1String("vbscript:")
        || scheme == QLatin1String("data:");
}

void appendHtmlInline(QString &out, QStringView text, const InlineStyle &style,
                      bool lineBreaksAsBr)
{
    const bool link = style.hasLink && !isScriptLink(style.link);
    if (link) {
        out.append(QLatin1String("<a href=\""));
        appendHtmlEscaped(out, style.link);
        out.append(QLatin1String("\">"));
    }
    if (style.code)
        out.append(QLatin1String("<code>"));
    if (style.strike)
        out.append(QLatin1String("<del>"));
    if (style.underline)
        out.append(QLatin1String("<u>"));
    if (style.italic)
        out.append(QLatin1String("<em>"));
    if (style.bold)
        out.append(QLatin1String("<strong>"));
    if (lineBreaksAsBr && text.contains(QLatin1Char('\n'))) {
        QString escaped = htmlEscaped(text);
        escaped.replace(QLatin1Char('\n'), QLatin1String("<br>"));
        out.append(escaped);
    } else {
        appendHtmlEscaped(out, text);
    }
    if (style.bold)
        out.append(QLatin1String("</strong>"));
    if (style.italic)
        out.append(QLatin1String("</em>"));
    if (style.underline)
        out.append(QLatin1String("</u>"));
    if (style.strike)
        out.append(QLatin1String("</del>"));
    if (style.code)
        out.append(QLatin1String("</code>"));
    if (link)
        out.append(QLatin1String("</a>"));
}

QString markdownLinkTarget(const QString &href)
{
    static const char hex[] = "0123456789ABCDEF";
    QString target;
    target.reserve(href.size());
    for (const QChar c : href) {
        const char16_t u = c.unicode();
        if (u <= 0x20 || u == u'(' || u == u')' || u == u'<' || u == u'>' || u == u'|'
            || u == 0x7F) {
            target.append(QLatin1Char('%'));
            target.append(QLatin1Char(hex[u >> 4]));
            target.append(QLatin1Char(hex[u & 0xF]));
        } else {
            target.append(c);
        }
    }
    return target;
}

} // namespace DeltaRender

QString deltaToPlainText(const QJsonArray &operations)
{
    QString text;
    for (const QJsonValue &value : operations) {
        if (!value.isObject())
            continue;
        const QJsonValue insert = value.toObject().value(QLatin1String("insert"));
        if (insert.isString())
            text += insert.toString();
    }
    return text;
}

QString renderDelta(const QString &body, int format)
{
    if (body.isEmpty())
        return QString();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return body;
    const QJsonArray operations = document.array();
    switch (format) {
    case RenderMarkdown:
        return deltaToMarkdown(operations);
    case RenderHtml:
    case RenderHtmlForPdf:
        return deltaToHtml(operations);
    default:
        return deltaToPlainText(operations);
    }
}
