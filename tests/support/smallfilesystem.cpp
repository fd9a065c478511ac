#include "smallfilesystem.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>

namespace OmbrelTest {

namespace {

bool run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit
           && process.exitCode() == 0;
}

} // namespace

SmallFileSystem::SmallFileSystem(const QString &size)
{
    m_mountPoint = m_parent.path() + QStringLiteral("/fs");
    QDir().mkpath(m_mountPoint);
    m_mounted = run(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                              QStringLiteral("size=") + size, QStringLiteral("tmpfs"), m_mountPoint});
}

SmallFileSystem::~SmallFileSystem()
{
    // Lazily: a connection of a failed test may still hold a file open.
    if (m_mounted)
        run(QStringLiteral("umount"), {QStringLiteral("-l"), m_mountPoint});
}

bool SmallFileSystem::remountReadOnly()
{
    return run(QStringLiteral("mount"), {QStringLiteral("-o"), QStringLiteral("remount,ro"), m_mountPoint});
}

void SmallFileSystem::fill()
{
    QFile filler(m_mountPoint + QStringLiteral("/filler"));
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return;
    const QByteArray chunk(4096, 'f');
    while (filler.write(chunk) == chunk.size()) {
    }
}

void SmallFileSystem::release()
{
    QFile::remove(m_mountPoint + QStringLiteral("/filler"));
}

} // namespace OmbrelTest
