#include "simplemarkdown.h"

#include <QStringTokenizer>

namespace {

const QString AttachmentPrefix = QStringLiteral("ombrel-notes://attachment/");

// Inline attributes this reader produces: at most one per run.
enum class Style : quint8 { None, Bold, Code, Italic, Strike, Link };

// Writes the operations as the compact JSON of a QJsonArray would read: keys in sorted
// order ("attributes" before "insert"), the same string escapes, adjacent runs with equal
// attributes merged into one operation.
class Builder
{
public:
    explicit Builder(qsizetype sizeHint) { m_json.reserve(sizeHint + sizeHint / 2 + 64); }

    void text(QStringView text, Style style, QStringView link = {})
    {
        if (text.isEmpty())
            return;
        if (m_hasRun && m_runStyle == style && m_runLink == link) {
            m_run.append(text);
            return;
        }
        flushRun();
        m_hasRun = true;
        m_run.append(text);
        m_runStyle = style;
        m_runLink = link;
    }
    void embed(QLatin1String key, QStringView url)
    {
        flushRun();
        openOp();
        m_json += QLatin1String("{\"insert\":{\"");
        m_json += key;
        m_json += QLatin1String("\":");
        appendString(url);
        m_json += QLatin1String("}}");
    }
    // A line end with no attribute, a heading level, or a list kind.
    void lineEnd(int header = 0, QLatin1String list = {})
    {
        flushRun();
        openOp();
        if (header > 0) {
            m_json += QLatin1String("{\"attributes\":{\"header\":");
            m_json += QString::number(header);
            m_json += QLatin1String("},");
        } else if (!list.isEmpty()) {
            m_json += QLatin1String("{\"attributes\":{\"list\":\"");
            m_json += list;
            m_json += QLatin1String("\"},");
        } else {
            m_json += QLatin1Char('{');
        }
        m_json += QLatin1String("\"insert\":\"\\n\"}");
    }
    QString result()
    {
        flushRun();
        if (m_empty)
            m_json += QLatin1Char('[');
        m_json += QLatin1Char(']');
        return std::move(m_json);
    }

private:
    void openOp()
    {
        m_json += m_empty ? QLatin1Char('[') : QLatin1Char(',');
        m_empty = false;
    }
    void flushRun()
    {
        if (!m_hasRun)
            return;
        openOp();
        m_json += QLatin1Char('{');
        if (m_runStyle != Style::None) {
            m_json += QLatin1String("\"attributes\":{\"");
            switch (m_runStyle) {
            case Style::Bold: m_json += QLatin1String("bold\":true"); break;
            case Style::Code: m_json += QLatin1String("code\":true"); break;
            case Style::Italic: m_json += QLatin1String("italic\":true"); break;
            case Style::Strike: m_json += QLatin1String("strike\":true"); break;
            case Style::Link:
                m_json += QLatin1String("link\":");
                appendString(m_runLink);
                break;
            case Style::None: break;
            }
            m_json += QLatin1String("},");
        }
        m_json += QLatin1String("\"insert\":");
        appendString(m_run);
        m_json += QLatin1Char('}');
        m_run.clear();
        m_hasRun = false;
    }
    void appendString(QStringView text)
    {
        static const char hex[] = "0123456789abcdef";
        m_json += QLatin1Char('"');
        qsizetype plainStart = 0;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const char16_t c = text[i].unicode();
            if (c >= 0x20 && c != u'"' && c != u'\\')
                continue;
            m_json += text.mid(plainStart, i - plainStart);
            plainStart = i + 1;
            m_json += QLatin1Char('\\');
            switch (c) {
            case u'"': m_json += QLatin1Char('"'); break;
            case u'\\': m_json += QLatin1Char('\\'); break;
            case u'\b': m_json += QLatin1Char('b'); break;
            case u'\f': m_json += QLatin1Char('f'); break;
            case u'\n': m_json += QLatin1Char('n'); break;
            case u'\r': m_json += QLatin1Char('r'); break;
            case u'\t': m_json += QLatin1Char('t'); break;
            default:
                m_json += QLatin1String("u00");
                m_json += QLatin1Char(hex[c >> 4]);
                m_json += QLatin1Char(hex[c & 0xf]);
            }
        }
        m_json += text.mid(plainStart);
        m_json += QLatin1Char('"');
    }

    QString m_json;
    bool m_empty = true;
    bool m_hasRun = false;
    QString m_run;
    Style m_runStyle = Style::None;
    QStringView m_runLink; // into the markdown, which outlives the builder
};

// Characters that start syntax this reader leaves to the full converter.
bool isForeign(QChar c)
{
    switch (c.unicode()) {
    case u'\\': case u'<': case u'>': case u'&': case u'_': case u'|': case u'@': case u'\t': case u'\r':
    case u'{': case u'}': case u'$': case u'^': case u'=': case u'#': case u':':
        return true;
    default:
        return c.unicode() < 0x20 || (c.unicode() >= 0x80 && (c.isSurrogate() || c.category() == QChar::Other_Format));
    }
}

// Text between markers: nothing that could open other syntax.
bool isPlainRun(QStringView text)
{
    if (text.isEmpty() || text.front().isSpace() || text.back().isSpace())
        return false;
    for (const QChar c : text) {
        if (isForeign(c) || c == u'*' || c == u'`' || c == u'~' || c == u'[' || c == u']' || c == u'(' || c == u')'
            || c == u'!')
            return false;
    }
    return true;
}

bool isSafeUrl(QStringView url, bool image)
{
    if (url.isEmpty())
        return false;
    for (const QChar c : url) {
        if (c.isSpace() || c == u'(' || c == u')' || c == u'<' || c == u'>' || c == u'"' || c == u'\'' || c == u'\\'
            || c == u'&' || c == u'%' || c.unicode() < 0x21 || c.unicode() > 0x7e)
            return false;
    }
    if (url.startsWith(AttachmentPrefix))
        return true;
    if (image)
        return false;
    return url.startsWith(QLatin1String("https://")) || url.startsWith(QLatin1String("http://"));
}

// One line of inline content into the builder; false when it holds syntax left to the full reader.
bool parseInline(QStringView line, Builder &out)
{
    // Runs of blanks fold differently in the full reader; bare "www." becomes a link there.
    if (line.contains(QLatin1String("  ")))
        return false;
    qsizetype i = 0;
    qsizetype plainStart = 0;
    const auto flush = [&] { out.text(line.mid(plainStart, i - plainStart), Style::None); };
    while (i < line.size()) {
        const QChar c = line.at(i);
        if (c == u'*' || c == u'~' || c == u'`') {
            const QStringView marker = c == u'`'                                          ? line.mid(i, 1)
                : (i + 1 < line.size() && line.at(i + 1) == c)                            ? line.mid(i, 2)
                : c == u'*'                                                                ? line.mid(i, 1)
                                                                                           : QStringView();
            if (marker.isEmpty())
                return false;
            const qsizetype close = line.indexOf(marker, i + marker.size());
            if (close < 0)
                return false;
            // The marker must not run on ("***", "**x***").
            if (close + marker.size() < line.size() && line.at(close + marker.size()) == c)
                return false;
            if (i + marker.size() < line.size() && line.at(i + marker.size()) == c)
                return false;
            const QStringView content = line.mid(i + marker.size(), close - i - marker.size());
            const Style style = c == u'`' ? Style::Code : c == u'~' ? Style::Strike
                : marker.size() == 2      ? Style::Bold
                                          : Style::Italic;
            // Emphasis must sit between word boundaries to be unambiguous.
            const bool leftOk = i == 0 || line.at(i - 1) == u' ';
            const bool rightOk = close + marker.size() == line.size() || line.at(close + marker.size()) == u' '
                || line.at(close + marker.size()) == u'.' || line.at(close + marker.size()) == u',';
            if (!leftOk || !rightOk || !isPlainRun(content))
                return false;
            flush();
            out.text(content, style);
            i = close + marker.size();
            plainStart = i;
            continue;
        }
        if (c == u'[' || (c == u'!' && i + 1 < line.size() && line.at(i + 1) == u'[')) {
            const bool image = c == u'!';
            const qsizetype textStart = i + (image ? 2 : 1);
            const qsizetype textEnd = line.indexOf(u']', textStart);
            if (textEnd < 0 || textEnd + 1 >= line.size() || line.at(textEnd + 1) != u'(')
                return false;
            const qsizetype urlEnd = line.indexOf(u')', textEnd + 2);
            if (urlEnd < 0)
                return false;
            const QStringView label = line.mid(textStart, textEnd - textStart);
            const QStringView url = line.mid(textEnd + 2, urlEnd - textEnd - 2);
            if (!isSafeUrl(url, image) || !isPlainRun(label))
                return false;
            flush();
            if (image) {
                out.embed(url.startsWith(AttachmentPrefix) ? QLatin1String("ombrel-notes-attachment")
                                                           : QLatin1String("image"),
                          url);
            } else {
                out.text(label, Style::Link, url);
            }
            i = urlEnd + 1;
            plainStart = i;
            continue;
        }
        if (isForeign(c) || c == u']' || c == u'(' || c == u')' || c == u'!')
            return false;
        if (c == u'w' && line.mid(i, 4) == QLatin1String("www."))
            return false;
        ++i;
    }
    flush();
    return true;
}

enum class LineKind { Blank, Heading, Bullet, Ordered, Paragraph, Foreign };

LineKind classify(QStringView line, int *level, QStringView *content)
{
    if (line.trimmed().isEmpty())
        return LineKind::Blank;
    if (line.front().isSpace())
        return LineKind::Foreign;
    if (line.back().isSpace())
        return LineKind::Foreign;
    if (line.startsWith(u'#')) {
        qsizetype n = 0;
        while (n < line.size() && line.at(n) == u'#')
            ++n;
        if (n > 6 || n + 1 >= line.size() || line.at(n) != u' ' || line.at(n + 1) == u' ')
            return LineKind::Foreign;
        *level = int(n);
        *content = line.mid(n + 1);
        return LineKind::Heading;
    }
    if (line.startsWith(QLatin1String("- "))) {
        *content = line.mid(2);
        // Task items: level 1 open, 2 ticked.
        *level = 0;
        for (const char *box : {"[ ] ", "[x] ", "[X] "}) {
            if (content->startsWith(QLatin1String(box))) {
                *level = box[1] == ' ' ? 1 : 2;
                *content = content->mid(4);
                break;
            }
        }
        if (content->isEmpty() || content->front().isSpace() || content->startsWith(u'[') || content->startsWith(u'-')
            || content->startsWith(u'*') || content->startsWith(u'+'))
            return LineKind::Foreign;
        return LineKind::Bullet;
    }
    qsizetype digits = 0;
    while (digits < line.size() && digits < 9 && line.at(digits).isDigit())
        ++digits;
    if (digits > 0 && digits + 2 < line.size() && line.at(digits) == u'.' && line.at(digits + 1) == u' ') {
        *level = line.left(digits).toInt();
        *content = line.mid(digits + 2);
        if (content->front().isSpace())
            return LineKind::Foreign;
        return LineKind::Ordered;
    }
    const QChar first = line.front();
    if (first == u'-' || first == u'*' || first == u'+' || first == u'>' || first == u'`' || first == u'~'
        || first == u'|' || first == u'<' || first == u'=' || first.isDigit())
        return LineKind::Foreign;
    *content = line;
    return LineKind::Paragraph;
}

} // namespace

std::optional<QString> simpleMarkdownToDeltaJson(const QString &markdown)
{
    if (markdown.trimmed().isEmpty())
        return std::nullopt;
    Builder out(markdown.size());
    LineKind previous = LineKind::Blank;
    int expectedNumber = 1;
    bool blankSincePrevious = false;
    for (const QStringView line : QStringTokenizer(markdown, u'\n')) {
        int level = 0;
        QStringView content;
        const LineKind kind = classify(line, &level, &content);
        switch (kind) {
        case LineKind::Foreign:
            return std::nullopt;
        case LineKind::Blank:
            blankSincePrevious = true;
            continue;
        case LineKind::Heading: {
            if (!isPlainRun(content))
                return std::nullopt;
            out.text(content, Style::Bold);
            out.lineEnd(level);
            break;
        }
        case LineKind::Bullet:
        case LineKind::Ordered: {
            const bool continuing = previous == kind;
            // Blank lines inside a list make it loose; a list of the other kind right
            // after one also reads differently: leave both to the full reader.
            if (continuing && blankSincePrevious)
                return std::nullopt;
            if (!continuing && (previous == LineKind::Bullet || previous == LineKind::Ordered))
                return std::nullopt;
            if (kind == LineKind::Ordered) {
                if (level != (continuing ? expectedNumber : 1))
                    return std::nullopt;
                expectedNumber = level + 1;
            }
            if (!parseInline(content, out))
                return std::nullopt;
            out.lineEnd(0, kind == LineKind::Ordered ? QLatin1String("ordered")
                               : level == 1          ? QLatin1String("unchecked")
                               : level == 2          ? QLatin1String("checked")
                                                     : QLatin1String("bullet"));
            break;
        }
        case LineKind::Paragraph:
            // A line straight after a paragraph, list item or heading continues or
            // interrupts it in ways this reader does not follow.
            if (!blankSincePrevious && previous != LineKind::Blank)
                return std::nullopt;
            if (!parseInline(content, out))
                return std::nullopt;
            out.lineEnd();
            break;
        }
        previous = kind;
        blankSincePrevious = false;
    }
    return out.result();
}
