#include "paths.h"

#include <QCoreApplication>
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

namespace {

constexpr qsizetype MaxClientIdLength = 64;

// A short, printable rendering of what the file held, for the error text.
QString describeStoredText(const QString &text)
{
    QString shown;
    for (const QChar c : text.left(MaxClientIdLength)) {
        if (c.isPrint())
            shown += c;
        else
            shown += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    }
    if (text.size() > MaxClientIdLength)
        shown += QStringLiteral("...");
    return shown;
}

} // namespace

bool isValidClientId(const QString &id)
{
    if (id.isEmpty() || id.size() > MaxClientIdLength)
        return false;
    for (const QChar c : id) {
        const char16_t u = c.unicode();
        const bool plain = (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9')
                           || u == u'-';
        if (!plain)
            return false;
    }
    return true;
}

QString clientId(QString *error)
{
    const QString path = dataDirectory() + QLatin1String("/client_id");
    QFile file(path);
    if (file.exists()) {
        // A file that is there but unreadable must not be replaced: the new id would name
        // a new, empty database and the user's notes would seem gone.
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
            if (error)
                *error = QCoreApplication::translate("Paths", "The client id file %1 cannot be read: %2")
                             .arg(QDir::toNativeSeparators(path), file.errorString());
            return {};
        }
        const QString id = QString::fromUtf8(file.readAll()).trimmed();
        file.close();
        if (!id.isEmpty()) {
            if (isValidClientId(id))
                return id;
            if (error)
                *error = QCoreApplication::translate(
                             "Paths", "The client id file %1 holds \"%2\", which is not a plain id "
                                      "(letters, digits and \"-\", at most %3 characters).")
                             .arg(QDir::toNativeSeparators(path), describeStoredText(id))
                             .arg(MaxClientIdLength);
            return {};
        }
    }
    const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        file.write(id.toUtf8());
    return id;
}

QString databasePath(QString *error)
{
    const QString id = clientId(error);
    if (id.isEmpty())
        return {};
    return dataDirectory() + QStringLiteral("/ombrel_notes_%1.db").arg(id);
}

QString attachmentsDirectory()
{
    const QString path = dataDirectory() + QLatin1String("/attachments");
    if (!QDir(path).exists())
        QDir().mkpath(path);
    return path;
}
