#include "relativetime.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("RelativeTime", text);
}

// Format strings rather than locale names, so months read "Jan", "Feb"… everywhere.
QString shortDate(const QDate &date, const QDate &today)
{
    return date.year() == today.year() ? date.toString(QStringLiteral("MMM d"))
                                       : date.toString(QStringLiteral("MMM d, yyyy"));
}

} // namespace

QString formatRelativeTime(const QDateTime &dateTime)
{
    return formatRelativeTime(dateTime, QDateTime::currentDateTime());
}

QString formatRelativeTime(const QDateTime &dateTime, const QDateTime &now)
{
    if (!dateTime.isValid())
        return QString();
    const QDateTime local = dateTime.toLocalTime();
    const QDateTime localNow = now.isValid() ? now.toLocalTime() : QDateTime::currentDateTime();
    const qint64 seconds = local.secsTo(localNow);
    const QDate date = local.date();
    const QDate today = localNow.date();

    if (seconds < 0)
        return shortDate(date, today);
    if (seconds <= 59)
        return tr("just now");
    if (seconds <= 3599)
        return tr("%1m ago").arg(seconds / 60);
    if (seconds <= 86399)
        return tr("%1h ago").arg(seconds / 3600);
    if (date == today.addDays(-1))
        return tr("Yesterday");
    if (date <= today.addDays(-7))
        return shortDate(date, today);
    return QLocale().dayName(date.dayOfWeek(), QLocale::LongFormat);
}
