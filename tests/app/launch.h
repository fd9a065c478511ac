#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace OmbrelTest {

// One launch of the real application, with its own data and socket directories, its
// informational log merged into output.
class Launch
{
public:
    Launch(const QString &binary, const QString &dataDir, const QString &socketDir,
           const QStringList &arguments = {})
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("NOTES_DATA_DIR"), dataDir);
        environment.insert(QStringLiteral("TMPDIR"), socketDir);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("*.debug=false;ombrel.*.info=true"));
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(binary, arguments);
    }

    ~Launch()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }

    Launch(const Launch &) = delete;
    Launch &operator=(const Launch &) = delete;

    // Accumulated output; waits up to timeout for text to appear.
    bool waitForOutput(const QString &text, int timeoutMs = 15000)
    {
        QElapsedTimer timer;
        timer.start();
        while (!output.contains(text)) {
            if (timer.elapsed() > timeoutMs || process.state() == QProcess::NotRunning) {
                output += QString::fromUtf8(process.readAll());
                return output.contains(text);
            }
            process.waitForReadyRead(50);
            output += QString::fromUtf8(process.readAll());
        }
        return true;
    }

    // Reads whatever arrived within waitMs without waiting for anything in particular.
    void drain(int waitMs = 300)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < waitMs && process.state() != QProcess::NotRunning) {
            process.waitForReadyRead(50);
            output += QString::fromUtf8(process.readAll());
        }
        output += QString::fromUtf8(process.readAll());
    }

    QProcess process;
    QString output;
};

} // namespace OmbrelTest
