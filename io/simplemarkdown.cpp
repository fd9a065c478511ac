#include "simplemarkdown.h"

#include <QJsonObject>
#include <QStringList>

namespace {

const QString InsertKey = QStringLiteral("insert");
const QString AttributesKey = QStringLiteral("attributes");
const QString AttachmentPrefix = QStringLiteral("ombrel-notes://attachment/");

class Builder
{
public:
    void text(const QString &text, const QJsonObject &attributes)
    {
        if (text.isEmpty())
            return;
        if (m_lastMergeable && m_lastAttributes == attributes) {
            QJsonObject last = m_ops.last().toObject();
            last.insert(InsertKey, last.value(InsertKey).toString() + text);
            m_ops.last() = last;
            return;
        }
        QJsonObject op{{InsertKey, text}};
        if (!attributes.isEmpty())
            op.insert(AttributesKey, attributes);
        m_ops.append(op);
        m_lastMergeable = true;
        m_lastAttributes = attributes;
    }
    void embed(const QString &key, const QString &url)
    {
        m_ops.append(QJsonObject{{InsertKey, QJsonObject{{key, url}}}});
        m_lastMergeable = false;
    }
    void lineEnd(const QJsonObject &attributes)
    {
        QJsonObject op{{InsertKey, QStringLiteral("\n")}};
        if (!attributes.isEmpty())
            op.insert(AttributesKey, attributes);
        m_ops.append(op);
        m_lastMergeable = false;
    }
    QJsonArray result() const { return m_ops; }

private:
    QJsonArray m_ops;
    bool m_lastMergeable = false;
    QJsonObject m_lastAttributes;
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
bool parseInline(QStringView line, Builder &out, const QJsonObject &base)
{
    // Runs of blanks fold differently in the full reader; bare "www." becomes a link there.
    if (line.contains(QLatin1String("  ")))
        return false;
    qsizetype i = 0;
    QString plain;
    const auto flush = [&] {
        out.text(plain, base);
        plain.clear();
    };
    const auto styled = [&](QStringView content, const char *key) {
        if (!isPlainRun(content))
            return false;
        flush();
        QJsonObject attributes = base;
        attributes.insert(QLatin1String(key), true);
        out.text(content.toString(), attributes);
        return true;
    };
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
            const char *key = c == u'`' ? "code" : c == u'~' ? "strike" : marker.size() == 2 ? "bold" : "italic";
            // Emphasis must sit between word boundaries to be unambiguous.
            const bool leftOk = i == 0 || line.at(i - 1) == u' ';
            const bool rightOk = close + marker.size() == line.size() || line.at(close + marker.size()) == u' '
                || line.at(close + marker.size()) == u'.' || line.at(close + marker.size()) == u',';
            if (!leftOk || !rightOk || !styled(content, key))
                return false;
            i = close + marker.size();
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
            if (!isSafeUrl(url, image))
                return false;
            if (image) {
                if (!isPlainRun(label))
                    return false;
                flush();
                out.embed(url.startsWith(AttachmentPrefix) ? QStringLiteral("ombrel-notes-attachment") : QStringLiteral("image"),
                          url.toString());
            } else {
                if (!isPlainRun(label))
                    return false;
                flush();
                QJsonObject attributes = base;
                attributes.insert(QLatin1String("link"), url.toString());
                out.text(label.toString(), attributes);
            }
            i = urlEnd + 1;
            continue;
        }
        if (isForeign(c) || c == u']' || c == u'(' || c == u')' || c == u'!')
            return false;
        if (c == u'w' && line.mid(i, 4) == QLatin1String("www."))
            return false;
        plain.append(c);
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

std::optional<QJsonArray> simpleMarkdownToDelta(const QString &markdown)
{
    if (markdown.trimmed().isEmpty())
        return std::nullopt;
    const QStringList lines = markdown.split(QLatin1Char('\n'));
    Builder out;
    LineKind previous = LineKind::Blank;
    int expectedNumber = 1;
    bool blankSincePrevious = false;
    for (const QString &line : lines) {
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
            out.text(content.toString(), QJsonObject{{QStringLiteral("bold"), true}});
            out.lineEnd(QJsonObject{{QStringLiteral("header"), level}});
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
            if (!parseInline(content, out, {}))
                return std::nullopt;
            const QString list = kind == LineKind::Ordered ? QStringLiteral("ordered")
                : level == 1                                 ? QStringLiteral("unchecked")
                : level == 2                                 ? QStringLiteral("checked")
                                                             : QStringLiteral("bullet");
            out.lineEnd(QJsonObject{{QStringLiteral("list"), list}});
            break;
        }
        case LineKind::Paragraph:
            // A line straight after a paragraph, list item or heading continues or
            // interrupts it in ways this reader does not follow.
            if (!blankSincePrevious && previous != LineKind::Blank)
                return std::nullopt;
            if (!parseInline(content, out, {}))
                return std::nullopt;
            out.lineEnd({});
            break;
        }
        previous = kind;
        blankSincePrevious = false;
    }
    return out.result();
}
