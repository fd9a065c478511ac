#include "columns.h"

namespace Columns {

QVariant fromDateTime(const QDateTime &value)
{
    if (!value.isValid())
        return QString();
    return value.toUTC().toString(Qt::ISODateWithMs);
}

QDateTime toDateTime(const QVariant &value)
{
    return QDateTime::fromString(value.toString(), Qt::ISODateWithMs).toUTC();
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
    return QDateTime::fromString(text, Qt::ISODateWithMs).toUTC();
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
