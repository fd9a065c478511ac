#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace OmbrelTest {

// Test mode for QStandardPaths and quiet logging; call from initTestCase().
void initTestEnvironment();

// Sends every user-scope QSettings file into directory, so window state written by a
// test never reaches the real user's settings; call from initTestCase().
void isolateSettings(const QString &directory);

// The whole file, or empty when it cannot be read.
QByteArray readAll(const QString &path);
// Replaces the file's content; false unless every byte was written.
bool writeFile(const QString &path, const QByteArray &bytes);

// Points NOTES_DATA_DIR at a fresh temporary directory for the object's lifetime,
// so no test ever touches a real user's data.
class ScopedDataDir
{
public:
    ScopedDataDir();
    ~ScopedDataDir();
    ScopedDataDir(const ScopedDataDir &) = delete;
    ScopedDataDir &operator=(const ScopedDataDir &) = delete;

    QString path() const { return m_dir.path(); }
    bool isValid() const { return m_dir.isValid(); }

private:
    QTemporaryDir m_dir;
    QByteArray m_previous;
    bool m_hadPrevious = false;
};

} // namespace OmbrelTest
