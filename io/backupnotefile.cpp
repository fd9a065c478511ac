#include "backupnotefile.h"

#include "strictjsonscanner.h"

#include <QJsonDocument>
#include <QJsonValue>
#include <QStringDecoder>

#include <limits>

namespace {

enum Field { Id, NotebookId, Body, CreatedAt, UpdatedAt, ModifiedAt, DeletedAt, Version, FieldCount };

const char *const FieldKeys[FieldCount] = {"id",         "notebookId", "body",      "createdAt",
                                           "updatedAt",  "modifiedAt", "deletedAt", "version"};

// The first allocation of a string read; a small file asks for no more than it holds.
constexpr qsizetype StringReserve = 4096;

int fieldOf(QByteArrayView key)
{
    for (int field = 0; field < FieldCount; ++field) {
        if (key == FieldKeys[field])
            return field;
    }
    return -1;
}

// {"key": "string" | integer, ...} and nothing else; false gives up.
class StrictReader : private StrictJsonScanner
{
public:
    explicit StrictReader(const QByteArray &json)
        : StrictJsonScanner(json.constData(), json.size())
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
                if (!string(&key, &escaped, StringReserve) || escaped)
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
                    if (!string(&utf8, &escaped, StringReserve) || field == Version)
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
        if (!atEnd())
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
