#pragma once

#include <QDateTime>
#include <QSqlRecord>
#include <QString>
#include <QVariant>
#include <optional>

// Column encodings shared by the repositories.
namespace Columns {

// UTC, ISO-8601 with milliseconds: 2024-05-01T09:30:00.123Z
QVariant fromDateTime(const QDateTime &value);
QDateTime toDateTime(const QVariant &value);
QVariant fromOptionalDateTime(const std::optional<QDateTime> &value);
std::optional<QDateTime> toOptionalDateTime(const QVariant &value);

// owner_id and permission: empty is stored as NULL.
QVariant nullIfEmpty(const QString &value);
// notebook_id: never NULL.
QString emptyIfNull(const QString &value);

// Resolves column names to positions once per result set, not once per row.
class Index
{
public:
    Index(const QSqlRecord &record, std::initializer_list<const char *> names);
    int operator[](int i) const { return m_positions.at(i); }

private:
    QList<int> m_positions;
};

} // namespace Columns
