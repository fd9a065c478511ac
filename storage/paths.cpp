#include "paths.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QUuid>

QString dataDirectory()
{
    const QString fromEnvironment = qEnvironmentVariable("NOTES_DATA_DIR");
    if (!fromEnvironment.isEmpty()) {
        QDir().mkpath(fromEnvironment);
        return fromEnvironment;
    }
    const QString path = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                         + QLatin1String("/Ombrel/Notes");
    if (!QDir(path).exists())
        QDir().mkpath(path);
    return path;
}

QString clientId()
{
    const QString path = dataDirectory() + QLatin1String("/client_id");
    QFile file(path);
    if (file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        const QString id = QString::fromUtf8(file.readAll()).trimmed();
        if (!id.isEmpty())
            return id;
        file.close();
    }
    const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        file.write(id.toUtf8());
    return id;
}

QString databasePath()
{
    return dataDirectory() + QStringLiteral("/ombrel_notes_%1.db").arg(clientId());
}

QString attachmentsDirectory()
{
    const QString path = dataDirectory() + QLatin1String("/attachments");
    if (!QDir(path).exists())
        QDir().mkpath(path);
    return path;
}
