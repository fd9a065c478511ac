#include "server.h"
#include "servercommands.h"
#include "serverconfig.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <thread>

#include <pthread.h>
#include <sys/stat.h>

using namespace OmbrServer;

namespace {

void print(FILE *stream, const QString &text)
{
    const QByteArray bytes = (text.endsWith(QLatin1Char('\n')) ? text : text + QLatin1Char('\n')).toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

// Serves until SIGTERM or SIGINT. The signals are blocked in every thread and taken by one
// waiting thread, which keeps asking the server to stop until it has (a signal that arrives
// while the listener is still starting must not be lost).
int serve(const ServerConfig &config, const sigset_t &signals)
{
    Server server(config);
    QString error;
    if (!server.open(&error)) {
        print(stderr, QStringLiteral("ombrel-server: ") + error);
        return 1;
    }
    const int port = server.bind(&error);
    if (port < 0) {
        print(stderr, QStringLiteral("ombrel-server: ") + error);
        return 1;
    }
    print(stdout, QStringLiteral("ombrel-server listening on %1 (port %2)").arg(server.publicUrl()).arg(port));

    std::mutex mutex;
    std::condition_variable finishedChanged;
    bool finished = false;
    std::thread signalThread([&] {
        int signal = 0;
        sigwait(&signals, &signal);
        std::unique_lock lock(mutex);
        while (!finished) {
            server.stop();
            finishedChanged.wait_for(lock, std::chrono::milliseconds(100));
        }
    });

    const bool served = server.run();
    {
        std::lock_guard lock(mutex);
        finished = true;
    }
    finishedChanged.notify_all();
    // Wakes the signal thread when serving ended by itself.
    pthread_kill(signalThread.native_handle(), SIGTERM);
    signalThread.join();
    if (!served) {
        print(stderr, QStringLiteral("ombrel-server: serving stopped unexpectedly"));
        return 1;
    }
    print(stderr, QStringLiteral("ombrel-server: stopped"));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    // Blocked before any thread exists, so every later thread inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    // The database, its journal and the secret are for this user alone.
    umask(0077);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ombrel-server"));
    QCoreApplication::setApplicationVersion(QStringLiteral(OMBREL_VERSION));
    if (qEnvironmentVariableIsEmpty("QT_MESSAGE_PATTERN"))
        qSetMessagePattern(QStringLiteral("%{time yyyy-MM-ddThh:mm:ss.zzz} %{type} %{message}"));

    const ParsedCommand command = parseCommandLine(QCoreApplication::arguments(), QProcessEnvironment::systemEnvironment());
    switch (command.kind) {
    case ParsedCommand::Kind::Help:
        print(stdout, command.message);
        return 0;
    case ParsedCommand::Kind::Version:
        print(stdout, QStringLiteral("ombrel-server %1").arg(QCoreApplication::applicationVersion()));
        return 0;
    case ParsedCommand::Kind::Error:
        print(stderr, QStringLiteral("ombrel-server: %1\nTry 'ombrel-server --help'.").arg(command.message));
        return 2;
    case ParsedCommand::Kind::AddUser: {
        QFile input;
        input.open(stdin, QIODevice::ReadOnly);
        QString message;
        const int code = addUser(command.config, command.email, command.displayName, input, &message);
        print(code == 0 ? stdout : stderr, message);
        return code;
    }
    case ParsedCommand::Kind::Serve:
        break;
    }
    return serve(command.config, signals);
}
