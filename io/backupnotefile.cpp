#include "backupnotefile.h"

#include <QJsonDocument>
#include <QJsonValue>
#include <QStringDecoder>

#include <limits>

namespace {

enum Field { Id, NotebookId, Body, CreatedAt, UpdatedAt, ModifiedAt, DeletedAt, Version, FieldCount };

const char *const FieldKeys[FieldCount] = {"id",         "notebookId", "body",      "createdAt",
                                           "updatedAt",  "modifiedAt", "deletedAt", "version"};

int fieldOf(QByteArrayView key)
{
    for (int field = 0; field < FieldCount; ++field) {
        if (key == FieldKeys[field])
            return field;
    }
    return -1;
}

// {"key": "string" | integer, ...} and nothing else; false gives up.
class StrictReader
{
public:
    explicit StrictReader(const QByteArray &json)
        : m_p(json.constData())
        , m_end(json.constData() + json.size())
    {
    }

    bool read(Note *note)
    {
        bool seen[FieldCount] = {};
        QString texts[DeletedAt + 1];
        note->version = 1;
        skipSpace();
        if (!take('{'))
            return false;
        skipSpace();
        if (!take('}')) {
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
                const int field = fieldOf(key);
                if (field >= 0) {
                    if (seen[field])
                        return false;
                    seen[field] = true;
                }
                QString unused;
                if (!decode(key, &unused))
                    return false;
                if (peek() == '"') {
                    QByteArray utf8;
                    if (!string(&utf8, &escaped) || field == Version)
                        return false;
                    // Every string is checked: the general parser refuses a whole file over one
                    // bad sequence, wherever it is.
                    if (!decode(utf8, field >= 0 ? &texts[field] : &unused))
                        return false;
                } else {
                    qint64 number = 0;
                    if (!integer(&number) || (field >= 0 && field != Version))
                        return false;
                    if (field == Version) {
                        if (number < std::numeric_limits<int>::min() || number > std::numeric_limits<int>::max())
                            return false;
                        note->version = int(number);
                    }
                }
                skipSpace();
                if (take('}'))
                    break;
                if (!take(','))
                    return false;
            }
        }
        skipSpace();
        if (m_p != m_end)
            return false;
        note->id = texts[Id];
        note->notebookId = texts[NotebookId];
        note->body = texts[Body];
        note->createdAt = BackupNoteFile::dateFrom(texts[CreatedAt]);
        note->updatedAt = BackupNoteFile::dateFrom(texts[UpdatedAt]);
        note->modifiedAt = BackupNoteFile::dateFrom(texts[ModifiedAt]);
        const QDateTime deleted = BackupNoteFile::dateFrom(texts[DeletedAt]);
        note->deletedAt = deleted.isValid() ? std::optional<QDateTime>(deleted) : std::nullopt;
        return true;
    }

private:
    char peek() const { return m_p < m_end ? *m_p : '\0'; }
    bool take(char c)
    {
        if (m_p < m_end && *m_p == c) {
            ++m_p;
            return true;
        }
        return false;
    }
    void skipSpace()
    {
        while (m_p < m_end && (*m_p == ' ' || *m_p == '\n' || *m_p == '\r' || *m_p == '\t'))
            ++m_p;
    }

    static bool decode(const QByteArray &utf8, QString *text)
    {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        *text = decoder(utf8);
        return !decoder.hasError();
    }

    // A plain integer; fractions and exponents are left to the general parser.
    bool integer(qint64 *value)
    {
        const bool negative = take('-');
        if (!(peek() >= '0' && peek() <= '9'))
            return false;
        if (peek() == '0' && m_end - m_p > 1 && m_p[1] >= '0' && m_p[1] <= '9')
            return false;
        qint64 result = 0;
        int digits = 0;
        while (peek() >= '0' && peek() <= '9') {
            if (++digits > 12)
                return false;
            result = result * 10 + (*m_p++ - '0');
        }
        const char next = peek();
        if (next == '.' || next == 'e' || next == 'E')
            return false;
        *value = negative ? -result : result;
        return true;
    }

    static int hexValue(char c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    bool hex4(uint *code)
    {
        if (m_end - m_p < 4)
            return false;
        *code = 0;
        for (int i = 0; i < 4; ++i) {
            const int digit = hexValue(m_p[i]);
            if (digit < 0)
                return false;
            *code = *code * 16 + uint(digit);
        }
        m_p += 4;
        return true;
    }

    static void appendUtf8(QByteArray *out, uint code)
    {
        if (code < 0x80) {
            out->append(char(code));
        } else if (code < 0x800) {
            out->append(char(0xC0 | (code >> 6)));
            out->append(char(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            out->append(char(0xE0 | (code >> 12)));
            out->append(char(0x80 | ((code >> 6) & 0x3F)));
            out->append(char(0x80 | (code & 0x3F)));
        } else {
            out->append(char(0xF0 | (code >> 18)));
            out->append(char(0x80 | ((code >> 12) & 0x3F)));
            out->append(char(0x80 | ((code >> 6) & 0x3F)));
            out->append(char(0x80 | (code & 0x3F)));
        }
    }

    bool string(QByteArray *out, bool *escaped)
    {
        if (!take('"'))
            return false;
        out->reserve(m_end - m_p < 4096 ? m_end - m_p : 4096);
        for (;;) {
            const char *run = m_p;
            while (m_p < m_end && *m_p != '"' && *m_p != '\\' && uchar(*m_p) >= 0x20)
                ++m_p;
            out->append(run, m_p - run);
            if (m_p >= m_end || uchar(*m_p) < 0x20)
                return false;
            if (*m_p++ == '"')
                return true;
            *escaped = true;
            if (m_p >= m_end)
                return false;
            switch (*m_p++) {
            case '"': out->append('"'); break;
            case '\\': out->append('\\'); break;
            case '/': out->append('/'); break;
            case 'b': out->append('\b'); break;
            case 'f': out->append('\f'); break;
            case 'n': out->append('\n'); break;
            case 'r': out->append('\r'); break;
            case 't': out->append('\t'); break;
            case 'u': {
                uint code = 0;
                if (!hex4(&code) || code == 0 || (code >= 0xDC00 && code <= 0xDFFF))
                    return false;
                if (code >= 0xD800 && code <= 0xDBFF) {
                    uint low = 0;
                    if (!take('\\') || !take('u') || !hex4(&low) || low < 0xDC00 || low > 0xDFFF)
                        return false;
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                }
                appendUtf8(out, code);
                break;
            }
            default:
                return false;
            }
        }
    }

    const char *m_p;
    const char *m_end;
};

} // namespace

namespace BackupNoteFile {

QDateTime dateFrom(const QString &text)
{
    if (text.isEmpty())
        return QDateTime();
    QDateTime parsed = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!parsed.isValid())
        parsed = QDateTime::fromString(text, Qt::ISODate);
    return parsed.isValid() ? parsed.toUTC() : QDateTime();
}

Note fromObject(const QJsonObject &object)
{
    Note note;
    note.id = object.value(QStringLiteral("id")).toString();
    note.notebookId = object.value(QStringLiteral("notebookId")).toString();
    note.body = object.value(QStringLiteral("body")).toString();
    note.createdAt = dateFrom(object.value(QStringLiteral("createdAt")).toString());
    note.updatedAt = dateFrom(object.value(QStringLiteral("updatedAt")).toString());
    note.modifiedAt = dateFrom(object.value(QStringLiteral("modifiedAt")).toString());
    const QDateTime deleted = dateFrom(object.value(QStringLiteral("deletedAt")).toString());
    note.deletedAt = deleted.isValid() ? std::optional<QDateTime>(deleted) : std::nullopt;
    note.version = object.value(QStringLiteral("version")).toInt(1);
    return note;
}

std::optional<Note> readStrict(const QByteArray &json)
{
    Note note;
    if (!StrictReader(json).read(&note))
        return std::nullopt;
    return note;
}

std::optional<Note> read(const QByteArray &json)
{
    if (std::optional<Note> note = readStrict(json))
        return note;
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.isObject())
        return std::nullopt;
    return fromObject(document.object());
}

} // namespace BackupNoteFile
