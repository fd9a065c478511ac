#include "testsupport.h"

#include <QStandardPaths>

namespace OmbrelTest {

void initTestEnvironment()
{
    QStandardPaths::setTestModeEnabled(true);
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
