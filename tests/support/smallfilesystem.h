#pragma once

#include <QString>
#include <QTemporaryDir>

namespace OmbrelTest {

// A small tmpfs of its own, so that a full disk or read-only media are real. Mounting
// needs root; isMounted() says whether it worked, and a test skips when not.
class SmallFileSystem
{
public:
    explicit SmallFileSystem(const QString &size);
    ~SmallFileSystem();
    SmallFileSystem(const SmallFileSystem &) = delete;
    SmallFileSystem &operator=(const SmallFileSystem &) = delete;

    bool isMounted() const { return m_mounted; }
    QString path() const { return m_mountPoint; }
    bool remountReadOnly();

    // Writes a filler file until the file system refuses more; release() removes it.
    void fill();
    void release();

private:
    QTemporaryDir m_parent;
    QString m_mountPoint;
    bool m_mounted = false;
};

} // namespace OmbrelTest
