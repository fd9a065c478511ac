// Main window on a library of 100,000 notes: start-up, autosave, switching notes and
// searching, each timed from the user's action to the painted result.
//
//   build/bench/bench_mainwindow
//   build/bench/bench_mainwindow --benchmark_filter=Search
//
// The library comes from LibraryGenerator (generated once and cached); each run works on
// a copy in a temporary data directory, with settings redirected there too.

#include "appstate.h"
#include "documentcorpus.h"
#include "librarygenerator.h"
#include "mainwindow.h"
#include "noteeditor.h"
#include "notelistwidget.h"
#include "paths.h"

#include <QApplication>
#include <QAction>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QSettings>
#include <QSplitter>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QListWidget>
#include <QTextEdit>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

struct Environment
{
    QTemporaryDir dir;
    std::unique_ptr<AppState> state;
    std::unique_ptr<MainWindow> window;
    bool ok = false;
};

Environment *environment()
{
    static Environment *env = [] {
        auto *e = new Environment;
        if (!e->dir.isValid())
            return e;
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, e->dir.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, e->dir.path());
        const QString dataDir = e->dir.path() + QStringLiteral("/data");
        qputenv("NOTES_DATA_DIR", dataDir.toUtf8());
        // OMBREL_BENCH_NOTES picks a smaller library, to see how the times grow.
        LibraryGenerator::Options options;
        bool sized = false;
        const int notes = qEnvironmentVariableIntValue("OMBREL_BENCH_NOTES", &sized);
        if (sized && notes > 0)
            options.noteCount = notes;
        LibraryGenerator generator(options);
        if (generator.copyTo(dataDir, QFileInfo(databasePath()).fileName()).isEmpty()) {
            std::fprintf(stderr, "library: %s\n", qPrintable(generator.errorString()));
            return e;
        }
        e->state = std::make_unique<AppState>();
        e->ok = e->state->initialize();
        return e;
    }();
    return env;
}

// The window the per-action benchmarks share, shown at a typical size.
MainWindow *sharedWindow()
{
    Environment *env = environment();
    if (!env->ok)
        return nullptr;
    if (!env->window) {
        env->window = std::make_unique<MainWindow>(env->state.get());
        env->window->resize(1280, 800);
        env->window->show();
        QCoreApplication::processEvents();
    }
    return env->window.get();
}

void reportPercentiles(benchmark::State &state, std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    const auto at = [&samples](double q) {
        return samples.empty() ? 0.0 : samples[std::min(samples.size() - 1, size_t(q * double(samples.size())))];
    };
    state.counters["p50_ms"] = at(0.50);
    state.counters["p95_ms"] = at(0.95);
    state.counters["max_ms"] = samples.empty() ? 0.0 : samples.back();
}

void typeKey(QWidget *target, int i)
{
    const char c = char('a' + i % 26);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A + (c - 'a'), Qt::NoModifier, QString(QLatin1Char(c)));
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_A + (c - 'a'), Qt::NoModifier, QString(QLatin1Char(c)));
    QApplication::sendEvent(target, &release);
}

// The floor for start-up: a bare widgets window of the same shape, shown and painted.
double timeBareWindow()
{
    QElapsedTimer timer;
    double ms = 0;
    timer.start();
    {
        QSplitter window;
        auto *sidebar = new QListWidget(&window);
        sidebar->addItems({QStringLiteral("All Notes"), QStringLiteral("Trash")});
        auto *list = new QListWidget(&window);
        for (int i = 0; i < 12; ++i)
            list->addItem(QStringLiteral("Note %1").arg(i));
        auto *editor = new QTextEdit(&window);
        editor->setPlainText(QStringLiteral("A note\nwith two lines"));
        window.resize(1280, 800);
        window.show();
        // repaint() paints and flushes the frame before it returns.
        window.repaint();
        ms = double(timer.nsecsElapsed()) / 1e6;
        QCoreApplication::processEvents();
    }
    QCoreApplication::processEvents();
    return ms;
}

// From construction to the first painted frame, with the last note reopened; beside it,
// interleaved, the bare window. The process-level measure is bench_startup.
void BM_StartUp(benchmark::State &state)
{
    Environment *env = environment();
    if (!env->ok) {
        state.SkipWithError("no library");
        return;
    }
    env->window.reset();
    std::vector<double> samples;
    std::vector<double> floor;
    timeBareWindow(); // the first window of a process pays for fonts and styles once
    for (auto _ : state) {
        floor.push_back(timeBareWindow());
        QElapsedTimer timer;
        timer.start();
        auto window = std::make_unique<MainWindow>(env->state.get());
        window->resize(1280, 800);
        window->show();
        window->repaint();
        // To the painted frame; what the idle loop does after it is not start-up.
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        QCoreApplication::processEvents();
        samples.push_back(ms);
        state.SetIterationTime(ms / 1000.0);
        window.reset();
        QCoreApplication::processEvents();
    }
    reportPercentiles(state, samples);
    std::sort(floor.begin(), floor.end());
    state.counters["floor_p50_ms"] = floor[floor.size() / 2];
    state.counters["ratio_p50"] = state.counters["p50_ms"] / std::max(1e-9, floor[floor.size() / 2]);
}

// One idle save: the editor's JSON written, the change report handled (list row moved to
// the top, counts refreshed) and the list painted. The keystroke itself is not timed.
void BM_Autosave(benchmark::State &state)
{
    MainWindow *window = sharedWindow();
    if (!window) {
        state.SkipWithError("no library");
        return;
    }
    window->searchField()->clear();
    window->searchTimer()->stop();
    window->noteList()->setCurrentRow(10);
    QCoreApplication::processEvents();
    QAction *save = window->findChild<QAction *>(QStringLiteral("saveSnapshotAction"));
    std::vector<double> samples;
    int i = 0;
    for (auto _ : state) {
        typeKey(window->editor(), i++);
        QElapsedTimer timer;
        timer.start();
        save->trigger();
        window->noteList()->viewport()->repaint();
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        samples.push_back(ms);
        state.SetIterationTime(ms / 1000.0);
    }
    reportPercentiles(state, samples);
}

// Selecting another row: the note read, loaded into the editor and painted.
void BM_SwitchNote(benchmark::State &state)
{
    MainWindow *window = sharedWindow();
    if (!window) {
        state.SkipWithError("no library");
        return;
    }
    window->searchField()->clear();
    window->searchTimer()->stop();
    std::vector<double> samples;
    int i = 0;
    for (auto _ : state) {
        const int row = 20 + (i++ % 40);
        QElapsedTimer timer;
        timer.start();
        window->noteList()->setCurrentRow(row);
        window->editor()->viewport()->repaint();
        window->noteList()->viewport()->repaint();
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        samples.push_back(ms);
        state.SetIterationTime(ms / 1000.0);
    }
    reportPercentiles(state, samples);
}

// The bare floor on the same file, on a connection of its own: the ranked MATCH of the
// body index, every rowid read.
double timeBareMatch(const QString &term)
{
    static const QString connection = [] {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench-floor"));
        db.setDatabaseName(databasePath());
        db.open();
        return db.connectionName();
    }();
    QElapsedTimer timer;
    timer.start();
    QSqlQuery query(QSqlDatabase::database(connection));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT rowid FROM notes_fts WHERE notes_fts MATCH ? ORDER BY rank"));
    query.addBindValue(term + QLatin1Char('*'));
    if (query.exec()) {
        while (query.next()) {
        }
    }
    return double(timer.nsecsElapsed()) / 1e6;
}

// The search timer's expiry to the painted result list, interleaved with the bare floor;
// also the longest the UI thread was busy in one go meanwhile.
void BM_Search(benchmark::State &state, const QString &term)
{
    MainWindow *window = sharedWindow();
    if (!window) {
        state.SkipWithError("no library");
        return;
    }
    QTimer *debounce = window->searchTimer();
    std::vector<double> samples;
    std::vector<double> floor;
    // The longest the UI thread went without serving a 2 ms heartbeat: an upper bound on
    // how long the search held it in one go (the dispatcher's awake/aboutToBlock pairs
    // split one dispatch into several and miss long slots).
    constexpr int HeartbeatMs = 2;
    double longestGap = 0;
    QElapsedTimer sinceTick;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    heartbeat.setInterval(HeartbeatMs);
    QObject::connect(&heartbeat, &QTimer::timeout, &heartbeat, [&sinceTick, &longestGap] {
        if (sinceTick.isValid())
            longestGap = std::max(longestGap, double(sinceTick.nsecsElapsed()) / 1e6);
        sinceTick.start();
    });
    int i = 0;
    for (auto _ : state) {
        floor.push_back(timeBareMatch(term));
        // A trailing blank is trimmed away, yet still counts as new text to search.
        window->searchField()->setText(i++ % 2 ? term + QLatin1Char(' ') : term);
        debounce->stop();
        QElapsedTimer timer;
        timer.start();
        debounce->setInterval(0);
        debounce->start();
        heartbeat.start();
        sinceTick.start();
        while (debounce->isActive() || window->isSearchRunning())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        window->noteList()->viewport()->repaint();
        longestGap = std::max(longestGap, double(sinceTick.nsecsElapsed()) / 1e6);
        heartbeat.stop();
        sinceTick.invalidate();
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        samples.push_back(ms);
        state.SetIterationTime(ms / 1000.0);
    }
    debounce->setInterval(300);
    state.counters["results"] = window->noteList()->count();
    window->searchField()->clear();
    debounce->stop();
    reportPercentiles(state, samples);
    std::sort(floor.begin(), floor.end());
    state.counters["floor_p50_ms"] = floor[floor.size() / 2];
    state.counters["floor_p95_ms"] = floor[std::min(floor.size() - 1, size_t(0.95 * double(floor.size())))];
    state.counters["ratio_p50"] = state.counters["p50_ms"] / std::max(1e-9, floor[floor.size() / 2]);
    state.counters["longest_ui_gap_ms"] = longestGap;
}

} // namespace

BENCHMARK(BM_StartUp)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);
BENCHMARK(BM_Autosave)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(200);
BENCHMARK(BM_SwitchNote)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(200);
BENCHMARK_CAPTURE(BM_Search, rare, BenchCorpus::rareTerm())->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(50);
BENCHMARK_CAPTURE(BM_Search, common, QStringLiteral("meeting"))->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20);

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    QLoggingCategory::setFilterRules(QStringLiteral("*.info=false\n*.debug=false"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (Environment *env = environment()) {
        env->window.reset();
        env->state.reset();
    }
    return 0;
}
