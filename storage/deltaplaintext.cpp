#include "deltaplaintext.h"

#include "strictjsonscanner.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>

#include <sqlite3.h>

namespace {

constexpr int MaxDepth = 64;

// A strict JSON reader that gives up (returns false) on whatever it is not sure the SQL
// JSON functions read the same way.
class Reader : private StrictJsonScanner
{
public:
    using StrictJsonScanner::StrictJsonScanner;

    bool plainText(QByteArray *out)
    {
        skipSpace();
        if (!take('['))
            return false;
        skipSpace();
        if (!take(']')) {
            for (;;) {
                skipSpace();
                if (peek() == '{') {
                    if (!element(out))
                        return false;
                } else if (!value(1)) {
                    return false;
                }
                skipSpace();
                if (take(']'))
                    break;
                if (!take(','))
                    return false;
            }
        }
        skipSpace();
        return atEnd();
    }

private:
    // One array element that is an object: its "insert", when a string, joins the text.
    bool element(QByteArray *out)
    {
        take('{');
        skipSpace();
        if (take('}'))
            return true;
        bool seenInsert = false;
        for (;;) {
            skipSpace();
            QByteArray key;
            bool escaped = false;
            if (!string(&key, &escaped) || escaped)
                return false;
            skipSpace();
            if (!take(':'))
                return false;
            skipSpace();
            if (key == "insert") {
                if (seenInsert)
                    return false;
                seenInsert = true;
                if (peek() == '"') {
                    if (!string(out, &escaped))
                        return false;
                } else if (!value(2)) {
                    return false;
                }
            } else if (!value(2)) {
                return false;
            }
            skipSpace();
            if (take('}'))
                return true;
            if (!take(','))
                return false;
        }
    }

    bool value(int depth)
    {
        if (depth > MaxDepth)
            return false;
        switch (peek()) {
        case '"': {
            bool escaped = false;
            return string(nullptr, &escaped);
        }
        case '{':
        case '[': {
            const char close = *m_p == '{' ? '}' : ']';
            const bool object = close == '}';
            ++m_p;
            skipSpace();
            if (take(close))
                return true;
            for (;;) {
                skipSpace();
                if (object) {
                    bool escaped = false;
                    if (!string(nullptr, &escaped))
                        return false;
                    skipSpace();
                    if (!take(':'))
                        return false;
                    skipSpace();
                }
                if (!value(depth + 1))
                    return false;
                skipSpace();
                if (take(close))
                    return true;
                if (!take(','))
                    return false;
            }
        }
        case 't':
            return literal("true");
        case 'f':
            return literal("false");
        case 'n':
            return literal("null");
        default:
            return number();
        }
    }

    bool literal(const char *word)
    {
        const qsizetype length = qsizetype(qstrlen(word));
        if (m_end - m_p < length || qstrncmp(m_p, word, length) != 0)
            return false;
        m_p += length;
        return true;
    }

    // -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
    bool number()
    {
        take('-');
        if (take('0')) {
        } else if (peek() >= '1' && peek() <= '9') {
            while (peek() >= '0' && peek() <= '9')
                ++m_p;
        } else {
            return false;
        }
        if (take('.')) {
            if (!(peek() >= '0' && peek() <= '9'))
                return false;
            while (peek() >= '0' && peek() <= '9')
                ++m_p;
        }
        if (peek() == 'e' || peek() == 'E') {
            ++m_p;
            if (!take('+'))
                take('-');
            if (!(peek() >= '0' && peek() <= '9'))
                return false;
            while (peek() >= '0' && peek() <= '9')
                ++m_p;
        }
        // A number runs into the next token only through a separator.
        const char next = peek();
        return next == '\0' || next == ',' || next == ']' || next == '}' || next == ' ' || next == '\n'
            || next == '\r' || next == '\t';
    }
};

void plainTextFunction(sqlite3_context *context, int, sqlite3_value **arguments)
{
    if (sqlite3_value_type(arguments[0]) != SQLITE_TEXT) {
        sqlite3_result_null(context);
        return;
    }
    const char *text = reinterpret_cast<const char *>(sqlite3_value_text(arguments[0]));
    const std::optional<QByteArray> plain = deltaPlainTextUtf8(text, sqlite3_value_bytes(arguments[0]));
    if (plain)
        sqlite3_result_text(context, plain->constData(), int(plain->size()), SQLITE_TRANSIENT);
    else
        sqlite3_result_null(context);
}

} // namespace

std::optional<QByteArray> deltaPlainTextUtf8(const char *data, qsizetype size)
{
    if (!data)
        return std::nullopt;
    QByteArray out;
    out.reserve(size / 2);
    Reader reader(data, size);
    if (!reader.plainText(&out))
        return std::nullopt;
    return out;
}

bool registerDeltaPlainTextFunction(const QSqlDatabase &db)
{
    const QVariant value = db.driver() ? db.driver()->handle() : QVariant();
    if (!value.isValid() || qstrcmp(value.typeName(), "sqlite3*") != 0)
        return false;
    sqlite3 *handle = *static_cast<sqlite3 *const *>(value.constData());
    return handle
        && sqlite3_create_function_v2(handle, "ombrel_plain_text", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                      plainTextFunction, nullptr, nullptr, nullptr)
        == SQLITE_OK;
}
