#include "iotestlibrary.h"

#include "paths.h"

#include <QDir>

IoTestLibrary::IoTestLibrary()
    : notes(&db.database)
    , notebooks(&db.database)
    , attachments(&db.database)
{
}

IoRepositories IoTestLibrary::repositories()
{
    return IoRepositories{&db.database, &notes, &notebooks, &attachments};
}

int IoTestLibrary::count(const char *table) const
{
    return db.rawValue(QStringLiteral("SELECT COUNT(*) FROM %1").arg(QLatin1String(table))).toInt();
}

QStringList IoTestLibrary::attachmentFiles() const
{
    return QDir(attachmentsDirectory()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

QString IoTestLibrary::onlyNoteBody() const
{
    return db.rawValue(QStringLiteral("SELECT body FROM notes LIMIT 1")).toString();
}
