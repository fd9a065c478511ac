#include "recentnotebooks.h"

#include "preferencesrepository.h"

namespace RecentNotebooks {

namespace {

const QString Key = QStringLiteral("recent_notebooks");

} // namespace

QStringList ids(const PreferencesRepository *preferences)
{
    if (!preferences)
        return {};
    QStringList list = preferences->get(Key).split(QLatin1Char(','), Qt::SkipEmptyParts);
    list.removeDuplicates();
    if (list.size() > Limit)
        list.resize(Limit);
    return list;
}

void touch(PreferencesRepository *preferences, const QString &notebookId)
{
    if (!preferences || notebookId.isEmpty() || notebookId.contains(QLatin1Char(',')))
        return;
    QStringList list = ids(preferences);
    if (!list.isEmpty() && list.first() == notebookId)
        return;
    list.removeAll(notebookId);
    list.prepend(notebookId);
    if (list.size() > Limit)
        list.resize(Limit);
    preferences->set(Key, list.join(QLatin1Char(',')));
}

} // namespace RecentNotebooks
