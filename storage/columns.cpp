#include "columns.h"

namespace {

// The form this application writes, "2024-05-01T09:30:00.123Z", read without the general
// ISO parser: the note list reads one per row, 100,000 at start-up. Anything else
// (another offset, no milliseconds, junk) goes to QDateTime::fromString.
std::optional<QDateTime> parseWrittenForm(const QString &text)
{
    if (text.size() != 24)
        return std::nullopt;
    const QChar *c = text.constData();
    const auto digits = [c](int from, int count, int *out) {
        int value = 0;
        for (int i = from; i < from + count; ++i) {
            const char16_t d = c[i].unicode();
            if (d < u'0' || d > u'9')
                return false;
            value = value * 10 + (d - u'0');
        }
        *out = value;
        return true;
    };
    int year, month, day, hour, minute, second, ms;
    if (c[4] != u'-' || c[7] != u'-' || c[10] != u'T' || c[13] != u':' || c[16] != u':' || c[19] != u'.'
        || c[23] != u'Z' || !digits(0, 4, &year) || !digits(5, 2, &month) || !digits(8, 2, &day)
        || !digits(11, 2, &hour) || !digits(14, 2, &minute) || !digits(17, 2, &second) || !digits(20, 3, &ms))
        return std::nullopt;
    const QDate date(year, month, day);
    const QTime time(hour, minute, second, ms);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time, Qt::UTC);
}

QDateTime parse(const QString &text)
{
    if (std::optional<QDateTime> fast = parseWrittenForm(text))
        return *fast;
    return QDateTime::fromString(text, Qt::ISODateWithMs).toUTC();
}

} // namespace

namespace Columns {

QVariant fromDateTime(const QDateTime &value)
{
    if (!value.isValid())
        return QString();
    return value.toUTC().toString(Qt::ISODateWithMs);
}

QDateTime toDateTime(const QVariant &value)
{
    return parse(value.toString());
}

QVariant fromOptionalDateTime(const std::optional<QDateTime> &value)
{
    if (!value)
        return QVariant(QMetaType(QMetaType::QString));
    return fromDateTime(*value);
}

std::optional<QDateTime> toOptionalDateTime(const QVariant &value)
{
    if (value.isNull())
        return std::nullopt;
    const QString text = value.toString();
    if (text.isEmpty())
        return std::nullopt;
    return parse(text);
}

QVariant nullIfEmpty(const QString &value)
{
    if (value.isEmpty())
        return QVariant(QMetaType(QMetaType::QString));
    return value;
}

QString emptyIfNull(const QString &value)
{
    return value.isNull() ? QStringLiteral("") : value;
}

Index::Index(const QSqlRecord &record, std::initializer_list<const char *> names)
{
    m_positions.reserve(int(names.size()));
    for (const char *name : names)
        m_positions.append(record.indexOf(QLatin1String(name)));
}

} // namespace Columns
