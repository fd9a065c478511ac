#include "note.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace NoteText {

QString plainText(const QString &body)
{
    const QJsonDocument document = QJsonDocument::fromJson(body.toUtf8());
    if (!document.isArray())
        return body;
    QString text;
    const QJsonArray ops = document.array();
    for (const QJsonValue &op : ops) {
        const QJsonValue insert = op.toObject().value(QLatin1String("insert"));
        if (insert.isString())
            text += insert.toString();
    }
    return text;
}

QString title(const QString &plainText)
{
    const qsizetype newline = plainText.indexOf(QLatin1Char('\n'));
    if (newline < 0)
        return plainText.trimmed();
    return plainText.left(newline).trimmed();
}

QString preview(const QString &plainText)
{
    constexpr qsizetype maxLength = 120;
    const qsizetype newline = plainText.indexOf(QLatin1Char('\n'));
    if (newline < 0)
        return QString();
    QString rest = plainText.mid(newline + 1).trimmed();
    rest.replace(QLatin1Char('\n'), QLatin1Char(' '));
    if (rest.size() > maxLength)
        return rest.left(maxLength) + QLatin1String("...");
    return rest;
}

bool isEmptyBody(const QString &body)
{
    if (body.isEmpty())
        return true;
    const QJsonDocument document = QJsonDocument::fromJson(body.toUtf8());
    if (!document.isArray())
        return body.trimmed().isEmpty();
    const QJsonArray ops = document.array();
    for (const QJsonValue &op : ops) {
        const QJsonValue insert = op.toObject().value(QLatin1String("insert"));
        if (insert.isObject())
            return false;
        if (insert.isString() && !insert.toString().trimmed().isEmpty())
            return false;
    }
    return true;
}

} // namespace NoteText

QString Note::plainText() const
{
    return NoteText::plainText(body);
}

QString Note::title() const
{
    return NoteText::title(plainText());
}

QString Note::preview() const
{
    return NoteText::preview(plainText());
}

bool Note::isEmpty() const
{
    return NoteText::isEmptyBody(body);
}

QString Note::emptyBody()
{
    return QStringLiteral("[{\"insert\":\"\\n\"}]");
}
