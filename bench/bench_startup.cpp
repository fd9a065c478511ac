// Cold start as the user sees it: the real ombrel-notes executable launched against a copy
// of the generated library, from the launch to its first painted main-window frame, beside
// a bare Qt widgets window (bare_window) launched the same way, run for run, interleaved.
//
//   OMBREL_BENCH_DIR=/path/to/cache build/bench/bench_startup
//
// Args: platform (0 offscreen, 1 a private Xvfb display, skipped when Xvfb is missing) and
// the number of notes. Counters: p50/p95 of both (wall time from launch to the printed
// line), their ratio, and the application's own time since its static initialisation.
// Each child gets its own data, settings, temporary and runtime directories, so neither
// the user's library nor a running instance's socket is ever touched.

#include "benchstats.h"
#include "librarygenerator.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

namespace {

constexpr int LaunchTimeoutMs = 60000;

struct Launch
{
    double wallMs = -1; // launch to the printed line
    double selfMs = -1; // what the child measured itself
};

// One child run; -1 times when it failed or timed out.
Launch launch(const QString &program, const QProcessEnvironment &environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    Launch result;
    QElapsedTimer timer;
    timer.start();
    process.start(program, {});
    if (!process.waitForStarted(LaunchTimeoutMs))
        return result;
    QByteArray output;
    while (timer.elapsed() < LaunchTimeoutMs) {
        if (!process.waitForReadyRead(int(std::max<qint64>(1, LaunchTimeoutMs - timer.elapsed()))))
            break;
        output += process.readAllStandardOutput();
        const int at = output.indexOf("first-paint-ms ");
        if (at >= 0 && output.indexOf('\n', at) > at) {
            result.wallMs = double(timer.nsecsElapsed()) / 1e6;
            const QByteArray line = output.mid(at + 15, output.indexOf('\n', at) - at - 15);
            result.selfMs = line.trimmed().toDouble();
            break;
        }
    }
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(5000);
    }
    return result;
}

// A private X display for the children, when Xvfb is installed.
class Xvfb
{
public:
    ~Xvfb()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(5000))
                m_process.kill();
            m_process.waitForFinished(2000);
        }
    }

    // ":N", or empty when no server could start.
    QString display()
    {
        if (!m_display.isEmpty() || m_tried)
            return m_display;
        m_tried = true;
        const QString program = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (program.isEmpty())
            return {};
        // -displayfd: the server picks a free display number and writes it to fd 1.
        m_process.start(program, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                  QStringLiteral("0"), QStringLiteral("1600x1200x24"), QStringLiteral("-nolisten"),
                                  QStringLiteral("tcp")});
        QElapsedTimer timer;
        timer.start();
        QByteArray out;
        while (timer.elapsed() < 10000 && !out.contains('\n')) {
            if (!m_process.waitForReadyRead(1000) && m_process.state() == QProcess::NotRunning)
                break;
            out += m_process.readAllStandardOutput();
        }
        bool ok = false;
        const int number = out.trimmed().toInt(&ok);
        if (ok)
            m_display = QStringLiteral(":%1").arg(number);
        return m_display;
    }

private:
    QProcess m_process;
    QString m_display;
    bool m_tried = false;
};

Xvfb &xvfb()
{
    static Xvfb server;
    return server;
}

// A data directory holding a copy of the library of that size, its newest note as the
// one to reopen; made once per size and reused by every launch.
struct Library
{
    std::unique_ptr<QTemporaryDir> root;
    QString dataDir;
    QString error;
};

Library &library(int notes)
{
    static std::map<int, Library> libraries;
    Library &lib = libraries[notes];
    if (lib.root || !lib.error.isEmpty())
        return lib;
    lib.root = std::make_unique<QTemporaryDir>();
    lib.dataDir = lib.root->path() + QStringLiteral("/data");
    LibraryGenerator::Options options;
    options.noteCount = notes;
    LibraryGenerator generator(options);
    // The same file name the application derives from its client id.
    QDir().mkpath(lib.dataDir);
    const QString clientId = QStringLiteral("0123456789abcdef0123456789abcdef");
    QFile idFile(lib.dataDir + QStringLiteral("/client_id"));
    if (!idFile.open(QIODevice::WriteOnly) || idFile.write(clientId.toUtf8()) < 0) {
        lib.error = QStringLiteral("cannot write client_id");
        return lib;
    }
    idFile.close();
    const QString path = generator.copyTo(lib.dataDir, QStringLiteral("ombrel_notes_%1.db").arg(clientId));
    if (path.isEmpty()) {
        lib.error = generator.errorString();
        return lib;
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench-startup"));
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery query(db);
            query.exec(QStringLiteral("INSERT OR REPLACE INTO preferences (key, value) SELECT 'lastNoteId', id FROM "
                                      "notes WHERE deleted_at IS NULL ORDER BY updated_at DESC LIMIT 1"));
            query.finish();
            db.close();
        } else {
            lib.error = QStringLiteral("cannot open the library copy");
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bench-startup"));
    return lib;
}

QProcessEnvironment childEnvironment(const QString &root, const QString &dataDir, int platform)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *dir : {"config", "cache", "share", "tmp", "run"})
        QDir().mkpath(root + QLatin1Char('/') + QLatin1String(dir));
    // Qt refuses a runtime directory others can read.
    QFile::setPermissions(root + QStringLiteral("/run"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    env.insert(QStringLiteral("NOTES_DATA_DIR"), dataDir);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), root + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), root + QStringLiteral("/cache"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), root + QStringLiteral("/share"));
    env.insert(QStringLiteral("TMPDIR"), root + QStringLiteral("/tmp"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), root + QStringLiteral("/run"));
    env.insert(QStringLiteral("OMBREL_EXIT_AFTER_FIRST_PAINT"), QStringLiteral("1"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("*.info=false;*.debug=false"));
    // No keyring, no session bus: the children must not talk to the desktop.
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    if (platform == 0) {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.remove(QStringLiteral("DISPLAY"));
    } else {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("DISPLAY"), xvfb().display());
    }
    return env;
}

void BM_ColdStart(benchmark::State &state)
{
    const int platform = int(state.range(0));
    const int notes = int(state.range(1));
    if (platform == 1 && xvfb().display().isEmpty()) {
        state.SkipWithError("no Xvfb");
        return;
    }
    Library &lib = library(notes);
    if (!lib.error.isEmpty()) {
        state.SkipWithError(qPrintable(lib.error));
        return;
    }
    QTemporaryDir home;
    const QProcessEnvironment env = childEnvironment(home.path(), lib.dataDir, platform);
    const QProcessEnvironment bareEnv = childEnvironment(home.path(), lib.dataDir, platform);

    // One untimed launch of each warms the page cache as a second start would find it.
    launch(QStringLiteral(BARE_WINDOW_EXECUTABLE), bareEnv);
    launch(QStringLiteral(OMBREL_NOTES_EXECUTABLE), env);

    std::vector<double> app;
    std::vector<double> appSelf;
    std::vector<double> bare;
    for (auto _ : state) {
        const Launch floor = launch(QStringLiteral(BARE_WINDOW_EXECUTABLE), bareEnv);
        const Launch run = launch(QStringLiteral(OMBREL_NOTES_EXECUTABLE), env);
        if (run.wallMs < 0 || floor.wallMs < 0) {
            state.SkipWithError("a child did not report its first paint");
            return;
        }
        bare.push_back(floor.wallMs);
        app.push_back(run.wallMs);
        appSelf.push_back(run.selfMs);
        state.SetIterationTime(run.wallMs / 1000.0);
    }
    const double p50 = percentile(app, 0.50);
    const double floorP50 = percentile(bare, 0.50);
    state.counters["p50_ms"] = p50;
    state.counters["p95_ms"] = percentile(app, 0.95);
    state.counters["self_p50_ms"] = percentile(appSelf, 0.50);
    state.counters["floor_p50_ms"] = floorP50;
    state.counters["floor_p95_ms"] = percentile(bare, 0.95);
    state.counters["ratio_p50"] = p50 / std::max(1e-9, floorP50);
}

} // namespace

BENCHMARK(BM_ColdStart)
    ->ArgNames({"xvfb", "notes"})
    ->Args({0, 10000})
    ->Args({0, 100000})
    ->Args({1, 10000})
    ->Args({1, 100000})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(15);

int main(int argc, char **argv)
{
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
