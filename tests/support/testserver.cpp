#include "testserver.h"

#include "testsupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QThread>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#endif

namespace OmbrelTest {

namespace {
constexpr int kStartTimeoutMs = 30000;
constexpr int kStopTimeoutMs = 15000;
// add-user spends most of this on the password hash, more under sanitizers.
constexpr int kAddUserTimeoutMs = 120000;
} // namespace

TestServer::TestServer() = default;

TestServer::~TestServer()
{
    stop();
}

QString TestServer::executable()
{
    return QStringLiteral(OMBREL_SERVER_EXECUTABLE);
}

QString TestServer::dataDir() const
{
    return m_root.filePath(QStringLiteral("data"));
}

QUrl TestServer::url() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_port));
}

QUrl TestServer::realmApiUrl() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1/api/v1/realms/%2").arg(m_port).arg(realm()));
}

QByteArray TestServer::log() const
{
    return readAll(m_root.filePath(QStringLiteral("server.log")));
}

QProcessEnvironment TestServer::environment() const
{
    // Nothing of the developer's own server configuration leaks in; temporary files and
    // runtime sockets stay inside this server's directory.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &key : env.keys()) {
        if (key.startsWith(QLatin1String("OMBREL_SERVER_")))
            env.remove(key);
    }
    env.insert(QStringLiteral("TMPDIR"), m_root.path());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_root.path());
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_root.filePath(QStringLiteral("xdg-data")));
    return env;
}

bool TestServer::start(const QStringList &extraArguments)
{
    if (!m_root.isValid()) {
        m_error = QStringLiteral("no temporary directory");
        return false;
    }
    if (isRunning())
        stop();
    const QString out = m_root.filePath(QStringLiteral("server.out"));
    QFile::remove(out);
    m_process.setProgram(executable());
    m_process.setArguments(QStringList{QStringLiteral("--listen"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
                                       QStringLiteral("0"), QStringLiteral("--data-dir"), dataDir()}
                           + extraArguments);
    m_process.setProcessEnvironment(environment());
    // Files, not pipes: a test that runs no event loop must never block the server on a full pipe.
    m_process.setStandardOutputFile(out);
    m_process.setStandardErrorFile(m_root.filePath(QStringLiteral("server.log")), QIODevice::Append);
    m_process.setStandardInputFile(QProcess::nullDevice());
#ifdef Q_OS_LINUX
    // A test that crashes or is killed by its time limit must not leave the server behind.
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
#endif
    m_process.start();
    if (!m_process.waitForStarted(kStartTimeoutMs)) {
        m_error = QStringLiteral("cannot start %1: %2").arg(executable(), m_process.errorString());
        return false;
    }

    static const QRegularExpression listening(QStringLiteral("listening on \\S+ \\(port (\\d+)\\)"));
    const QDeadlineTimer deadline(kStartTimeoutMs);
    m_port = 0;
    while (!deadline.hasExpired() && m_port == 0) {
        const auto match = listening.match(QString::fromUtf8(readAll(out)));
        if (match.hasMatch()) {
            m_port = quint16(match.captured(1).toUInt());
            break;
        }
        if (m_process.state() != QProcess::Running || m_process.waitForFinished(50)) {
            m_error = QStringLiteral("the server exited: %1").arg(QString::fromUtf8(log()));
            return false;
        }
    }
    if (m_port == 0) {
        m_error = QStringLiteral("the server printed no port");
        return false;
    }
    return waitUntilAnswering();
}

bool TestServer::waitUntilAnswering()
{
    const QDeadlineTimer deadline(kStartTimeoutMs);
    while (!deadline.hasExpired()) {
        QTcpSocket socket;
        socket.connectToHost(QStringLiteral("127.0.0.1"), m_port);
        if (socket.waitForConnected(1000)) {
            socket.write("GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
            QByteArray reply;
            while (socket.waitForReadyRead(2000))
                reply += socket.readAll();
            if (reply.startsWith("HTTP/1.1 200"))
                return true;
        }
        QThread::msleep(50);
    }
    m_error = QStringLiteral("the server does not answer on port %1").arg(m_port);
    return false;
}

bool TestServer::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return false;
    m_process.terminate();
    if (!m_process.waitForFinished(kStopTimeoutMs)) {
        m_process.kill();
        m_process.waitForFinished(kStopTimeoutMs);
        return false;
    }
    return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
}

bool TestServer::isRunning() const
{
    return m_process.state() == QProcess::Running;
}

bool TestServer::addUser(const QString &email, const QString &password, const QString &displayName)
{
    QProcess process;
    QStringList arguments{QStringLiteral("add-user"), email, QStringLiteral("--data-dir"), dataDir()};
    if (!displayName.isEmpty())
        arguments << QStringLiteral("--display-name") << displayName;
    process.setProcessEnvironment(environment());
    process.start(executable(), arguments);
    if (!process.waitForStarted(kStartTimeoutMs)) {
        m_error = process.errorString();
        return false;
    }
    process.write(password.toUtf8() + '\n');
    process.closeWriteChannel();
    if (!process.waitForFinished(kAddUserTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        m_error = QStringLiteral("add-user timed out");
        return false;
    }
    m_error = QString::fromUtf8(process.readAllStandardError());
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

} // namespace OmbrelTest
