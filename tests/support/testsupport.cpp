#include "testsupport.h"

#include <QFile>
#include <QSettings>
#include <QStandardPaths>

namespace OmbrelTest {

void initTestEnvironment()
{
    QStandardPaths::setTestModeEnabled(true);
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

void isolateSettings(const QString &directory)
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, directory);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, directory);
}

ScopedDataDir::ScopedDataDir()
{
    m_hadPrevious = qEnvironmentVariableIsSet("NOTES_DATA_DIR");
    m_previous = qgetenv("NOTES_DATA_DIR");
    qputenv("NOTES_DATA_DIR", m_dir.path().toUtf8());
}

ScopedDataDir::~ScopedDataDir()
{
    if (m_hadPrevious)
        qputenv("NOTES_DATA_DIR", m_previous);
    else
        qunsetenv("NOTES_DATA_DIR");
}

} // namespace OmbrelTest
