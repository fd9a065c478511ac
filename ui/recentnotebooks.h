#pragma once

#include <QString>
#include <QStringList>

class PreferencesRepository;

// The notebooks the user worked with last (opened in the sidebar, moved a note into),
// newest first. Kept in the preferences so a long notebook list can offer a short menu
// of likely targets across restarts.
namespace RecentNotebooks {

constexpr int Limit = 8;

QStringList ids(const PreferencesRepository *preferences);
void touch(PreferencesRepository *preferences, const QString &notebookId);

} // namespace RecentNotebooks
