#include "taskextractor_p.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace TaskScan {

namespace {

// Delta bodies nest three levels deep (array, operation, attributes); anything far
// deeper is left to the full parser and its own limit.
constexpr int MaxDepth = 64;

// Qt's parser reads longer numbers or larger exponents leniently or rejects them
// ("1e999"); such numbers never occur in bodies the application writes.
constexpr qsizetype MaxNumberLength = 24;
constexpr qsizetype MaxExponentDigits = 2;

struct StringToken
{
    const char16_t *begin = nullptr;
    const char16_t *end = nullptr;
    bool escaped = false;
};

bool isDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

// Characters that end a plain run inside a string: the quote, the backslash and the
// control characters.
bool isSpecialAscii(char16_t c)
{
    return c < 0x20 || c == u'"' || c == u'\\';
}

int hexValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

class Scanner
{
public:
    explicit Scanner(QStringView body)
        : m_p(body.utf16())
        , m_end(body.utf16() + body.size())
    {
    }

    ScanResult scan(Sink &sink)
    {
        skipSpace();
        if (m_p == m_end)
            return ScanResult::NotAnArray;
        if (*m_p != u'[') // a byte-order mark is the only prefix the full parser skips
            return *m_p == 0xFEFF ? ScanResult::Undecided : ScanResult::NotAnArray;
        ++m_p;
        skipSpace();
        if (at(u']')) {
            ++m_p;
        } else {
            for (;;) {
                if (at(u'{')) {
                    if (!operation(sink))
                        return ScanResult::Undecided;
                } else if (!skipValue(1)) {
                    return ScanResult::Undecided;
                }
                skipSpace();
                if (at(u',')) {
                    ++m_p;
                    skipSpace();
                    continue;
                }
                if (at(u']')) {
                    ++m_p;
                    break;
                }
                return ScanResult::Undecided;
            }
        }
        skipSpace();
        return m_p == m_end ? ScanResult::Complete : ScanResult::Undecided;
    }

private:
    bool at(char16_t c) const { return m_p < m_end && *m_p == c; }

    void skipSpace()
    {
        while (m_p < m_end && (*m_p == u' ' || *m_p == u'\n' || *m_p == u'\r' || *m_p == u'\t'))
            ++m_p;
    }

    bool hex4(const char16_t *from, char16_t &unit) const
    {
        if (m_end - from < 4)
            return false;
        int value = 0;
        for (int i = 0; i < 4; ++i) {
            const int digit = hexValue(from[i]);
            if (digit < 0)
                return false;
            value = value * 16 + digit;
        }
        unit = char16_t(value);
        return true;
    }

    // On the opening quote; leaves the position after the closing quote.
    bool string(StringToken &token)
    {
        ++m_p;
        token.begin = m_p;
        token.escaped = false;
        while (m_p < m_end) {
            const char16_t c = *m_p;
            if (c < 0x80 ? !isSpecialAscii(c) : (c < 0xD800 || c > 0xDFFF)) {
                ++m_p;
                continue;
            }
            if (c == u'"') {
                token.end = m_p;
                ++m_p;
                return true;
            }
            if (c == u'\\') {
                token.escaped = true;
                if (++m_p == m_end)
                    return false;
                switch (*m_p) {
                case u'"': case u'\\': case u'/': case u'b': case u'f': case u'n': case u'r': case u't':
                    ++m_p;
                    continue;
                case u'u': {
                    char16_t unit = 0;
                    if (!hex4(m_p + 1, unit))
                        return false;
                    m_p += 5;
                    if (QChar::isLowSurrogate(unit))
                        return false;
                    if (QChar::isHighSurrogate(unit)) {
                        char16_t low = 0;
                        if (m_end - m_p < 6 || m_p[0] != u'\\' || m_p[1] != u'u'
                            || !hex4(m_p + 2, low) || !QChar::isLowSurrogate(low))
                            return false;
                        m_p += 6;
                    }
                    continue;
                }
                default:
                    return false;
                }
            }
            if (c < 0x20 || QChar::isLowSurrogate(c))
                return false;
            if (QChar::isHighSurrogate(c)) {
                if (m_end - m_p < 2 || !QChar::isLowSurrogate(m_p[1]))
                    return false;
                ++m_p;
            }
            ++m_p;
        }
        return false;
    }

    // Decodes a token already validated by string().
    static void decode(const StringToken &token, QString &out)
    {
        out.resize(0);
        const char16_t *p = token.begin;
        const char16_t *plain = p;
        while (p < token.end) {
            if (*p != u'\\') {
                ++p;
                continue;
            }
            out.append(QStringView(plain, p));
            const char16_t kind = p[1];
            p += 2;
            switch (kind) {
            case u'b': out.append(QChar(u'\b')); break;
            case u'f': out.append(QChar(u'\f')); break;
            case u'n': out.append(QChar(u'\n')); break;
            case u'r': out.append(QChar(u'\r')); break;
            case u't': out.append(QChar(u'\t')); break;
            case u'u': {
                int value = 0;
                for (int i = 0; i < 4; ++i)
                    value = value * 16 + hexValue(p[i]);
                out.append(QChar(char16_t(value)));
                p += 4;
                break;
            }
            default: out.append(QChar(kind)); break;
            }
            plain = p;
        }
        out.append(QStringView(plain, p));
    }

    QStringView view(const StringToken &token, QString &scratch) const
    {
        if (!token.escaped)
            return QStringView(token.begin, token.end);
        decode(token, scratch);
        return scratch;
    }

    bool keyIs(const StringToken &key, QStringView name)
    {
        if (!key.escaped)
            return QStringView(key.begin, key.end) == name;
        decode(key, m_key);
        return m_key == name;
    }

    bool literal(QStringView word)
    {
        if (m_end - m_p < word.size() || QStringView(m_p, word.size()) != word)
            return false;
        m_p += word.size();
        return true;
    }

    bool number()
    {
        const char16_t *start = m_p;
        if (at(u'-'))
            ++m_p;
        if (at(u'0')) {
            ++m_p;
        } else if (m_p < m_end && isDigit(*m_p)) {
            while (m_p < m_end && isDigit(*m_p))
                ++m_p;
        } else {
            return false;
        }
        if (at(u'.')) {
            ++m_p;
            if (m_p == m_end || !isDigit(*m_p))
                return false;
            while (m_p < m_end && isDigit(*m_p))
                ++m_p;
        }
        if (at(u'e') || at(u'E')) {
            ++m_p;
            if (at(u'+') || at(u'-'))
                ++m_p;
            const char16_t *digits = m_p;
            while (m_p < m_end && isDigit(*m_p))
                ++m_p;
            if (m_p == digits || m_p - digits > MaxExponentDigits)
                return false;
        }
        return m_p - start <= MaxNumberLength;
    }

    bool skipValue(int depth)
    {
        if (depth > MaxDepth || m_p == m_end)
            return false;
        switch (*m_p) {
        case u'"': {
            StringToken token;
            return string(token);
        }
        case u'{':
            return members([this, depth](const StringToken &) { return skipValue(depth + 1); });
        case u'[':
            ++m_p;
            skipSpace();
            if (at(u']')) {
                ++m_p;
                return true;
            }
            for (;;) {
                if (!skipValue(depth + 1))
                    return false;
                skipSpace();
                if (at(u',')) {
                    ++m_p;
                    skipSpace();
                    continue;
                }
                if (!at(u']'))
                    return false;
                ++m_p;
                return true;
            }
        case u't':
            return literal(u"true");
        case u'f':
            return literal(u"false");
        case u'n':
            return literal(u"null");
        default:
            return number();
        }
    }

    // Walks the members of an object, handing each key to `member` positioned on its
    // value; `member` consumes the value.
    template<typename Member>
    bool members(Member member)
    {
        ++m_p;
        skipSpace();
        if (at(u'}')) {
            ++m_p;
            return true;
        }
        for (;;) {
            StringToken key;
            if (!at(u'"') || !string(key))
                return false;
            skipSpace();
            if (!at(u':'))
                return false;
            ++m_p;
            skipSpace();
            if (m_p == m_end || !member(key))
                return false;
            skipSpace();
            if (at(u',')) {
                ++m_p;
                skipSpace();
                continue;
            }
            if (!at(u'}'))
                return false;
            ++m_p;
            return true;
        }
    }

    bool attributes(StringToken &list, bool &hasList)
    {
        bool seenList = false;
        return members([&](const StringToken &key) {
            if (!keyIs(key, u"list"))
                return skipValue(3);
            if (seenList) // the full parser keeps the last of duplicate keys
                return false;
            seenList = true;
            if (*m_p != u'"')
                return skipValue(3);
            hasList = true;
            return string(list);
        });
    }

    bool operation(Sink &sink)
    {
        enum class Insert { None, Text, Embed, Other } kind = Insert::None;
        StringToken insert;
        StringToken list;
        bool hasList = false;
        bool seenInsert = false;
        bool seenAttributes = false;
        const bool ok = members([&](const StringToken &key) {
            if (keyIs(key, u"insert")) {
                if (seenInsert)
                    return false;
                seenInsert = true;
                if (*m_p == u'"') {
                    kind = Insert::Text;
                    return string(insert);
                }
                kind = *m_p == u'{' ? Insert::Embed : Insert::Other;
                return skipValue(2);
            }
            if (keyIs(key, u"attributes")) {
                if (seenAttributes)
                    return false;
                seenAttributes = true;
                return *m_p == u'{' ? attributes(list, hasList) : skipValue(2);
            }
            return skipValue(2);
        });
        if (!ok)
            return false;
        if (kind == Insert::Text)
            sink.text(view(insert, m_text), hasList ? view(list, m_list) : QStringView());
        else if (kind == Insert::Embed)
            sink.embed();
        return true;
    }

    const char16_t *m_p;
    const char16_t *m_end;
    QString m_text;
    QString m_list;
    QString m_key;
};

} // namespace

ScanResult scanDelta(QStringView body, Sink &sink)
{
    Scanner scanner(body);
    return scanner.scan(sink);
}

bool walkDelta(const QString &body, Sink &sink)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return false;
    const QJsonArray operations = document.array();
    for (const QJsonValue &value : operations) {
        if (!value.isObject())
            continue;
        const QJsonObject operation = value.toObject();
        const QJsonValue insert = operation.value(QLatin1String("insert"));
        if (insert.isString()) {
            const QString list = operation.value(QLatin1String("attributes"))
                                     .toObject()
                                     .value(QLatin1String("list"))
                                     .toString();
            sink.text(insert.toString(), list);
        } else if (insert.isObject()) {
            sink.embed();
        }
    }
    return true;
}

} // namespace TaskScan
