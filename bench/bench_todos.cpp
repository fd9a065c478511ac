// The To-Dos screen on a library of 100,000 notes: the first show, the refresh after one
// autosave and ticking a task off, each timed from the action to the painted list.
//
//   build/bench/bench_todos
//   build/bench/bench_todos --benchmark_filter=Autosave
//
// The autosave and tick benchmarks interleave each timed action with the same write made
// while the screen does not listen (its floor: the repository write alone) and report
// p95 of both and their ratio.

#include "appstate.h"
#include "benchstats.h"
#include "librarygenerator.h"
#include "noterepository.h"
#include "paths.h"
#include "tasklistmodel.h"
#include "todosscreen.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QListView>
#include <QLoggingCategory>
#include <QSignalBlocker>
#include <QStandardPaths>
#include <QTemporaryDir>

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
    std::unique_ptr<TodosScreen> screen;
    bool ok = false;
};

Environment *environment()
{
    static Environment *env = [] {
        auto *e = new Environment;
        if (!e->dir.isValid())
            return e;
        const QString dataDir = e->dir.path() + QStringLiteral("/data");
        qputenv("NOTES_DATA_DIR", dataDir.toUtf8());
        LibraryGenerator generator;
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

TodosScreen *sharedScreen()
{
    Environment *env = environment();
    if (!env->ok)
        return nullptr;
    if (!env->screen) {
        env->screen = std::make_unique<TodosScreen>(env->state.get());
        env->screen->refresh();
        env->screen->resize(600, 500);
        env->screen->show();
        QCoreApplication::processEvents();
    }
    return env->screen.get();
}

void report(benchmark::State &state, const std::vector<double> &timed, const std::vector<double> &floor)
{
    state.counters["p50_ms"] = percentile(timed, 0.50);
    state.counters["p95_ms"] = percentile(timed, 0.95);
    state.counters["max_ms"] = timed.empty() ? 0.0 : *std::max_element(timed.begin(), timed.end());
    if (!floor.empty()) {
        const double floorP95 = percentile(floor, 0.95);
        state.counters["floor_p95_ms"] = floorP95;
        state.counters["ratio_p95"] = floorP95 > 0 ? percentile(timed, 0.95) / floorP95 : 0.0;
    }
}

void paint(TodosScreen *screen)
{
    screen->taskList()->viewport()->repaint();
}

// Notes of the library that hold tasks, newest first: the ones a user edits.
QStringList notesWithTasks(TodosScreen *screen, int count)
{
    QStringList ids;
    const QAbstractItemModel *model = screen->model();
    for (int row = 0; row < model->rowCount() && ids.size() < count; ++row) {
        const QString id = model->index(row, 0).data(Qt::UserRole).toString();
        if (!ids.contains(id))
            ids.append(id);
    }
    return ids;
}

// The editor's save of one typed character: the body, times, version and status change.
bool autosave(NoteRepository *notes, const QString &noteId, int i)
{
    std::optional<Note> note = notes->findById(noteId);
    if (!note)
        return false;
    const QString marker = QStringLiteral("{\"insert\":\"");
    const qsizetype at = note->body.indexOf(marker);
    if (at < 0)
        return false;
    note->body.insert(at + marker.size(), QChar(QLatin1Char(char('a' + i % 26))));
    note->updatedAt = QDateTime::currentDateTimeUtc();
    note->modifiedAt = note->updatedAt;
    note->version += 1;
    note->syncStatus = SyncStatus::Pending;
    return notes->update(*note);
}

// From nothing to the painted list: the cache filled from every live body, sorted, shown.
void BM_TodosFirstShow(benchmark::State &state)
{
    Environment *env = environment();
    if (!env->ok) {
        state.SkipWithError("no library");
        return;
    }
    std::vector<double> samples;
    int rows = 0;
    qsizetype tasks = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        auto screen = std::make_unique<TodosScreen>(env->state.get());
        screen->refresh();
        screen->resize(600, 500);
        screen->show();
        paint(screen.get());
        QCoreApplication::processEvents();
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        samples.push_back(ms);
        state.SetIterationTime(ms / 1000.0);
        rows = screen->model()->rowCount();
        tasks = screen->model()->cache().taskCount();
    }
    state.counters["rows"] = rows;
    state.counters["tasks"] = double(tasks);
    report(state, samples, {});
}

// What the first show cannot go below: every live body read once, nothing extracted.
void BM_TodosReadBodiesFloor(benchmark::State &state)
{
    Environment *env = environment();
    if (!env->ok) {
        state.SkipWithError("no library");
        return;
    }
    std::vector<double> samples;
    qint64 bytes = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        bytes = 0;
        env->state->notes()->visitLiveBodies([&bytes](const QString &, const QDateTime &, const QString &body) {
            bytes += body.size();
        });
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        samples.push_back(ms);
        state.SetIterationTime(ms / 1000.0);
    }
    state.counters["chars"] = double(bytes);
    report(state, samples, {});
}

// Reading and extracting every live body, without the list.
void BM_TodosExtractAll(benchmark::State &state)
{
    Environment *env = environment();
    if (!env->ok) {
        state.SkipWithError("no library");
        return;
    }
    std::vector<double> samples;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        TaskCache cache(env->state->notes());
        cache.reload();
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        samples.push_back(ms);
        state.SetIterationTime(ms / 1000.0);
    }
    report(state, samples, {});
}

// One autosave of a note with tasks while the screen is open, to the painted list.
void BM_TodosAutosave(benchmark::State &state)
{
    TodosScreen *screen = sharedScreen();
    if (!screen) {
        state.SkipWithError("no library");
        return;
    }
    screen->sortBox()->setCurrentIndex(int(state.range(0)));
    QCoreApplication::processEvents();
    AppState *appState = environment()->state.get();
    NoteRepository *notes = appState->notes();
    const QStringList ids = notesWithTasks(screen, 200);
    std::vector<double> timed;
    std::vector<double> floor;
    int i = 0;
    for (auto _ : state) {
        const QString &id = ids.at(i % ids.size());
        QElapsedTimer timer;
        timer.start();
        autosave(notes, id, i);
        paint(screen);
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        timed.push_back(ms);
        state.SetIterationTime(ms / 1000.0);

        // The same write with the screen not listening.
        state.PauseTiming();
        {
            const QSignalBlocker quiet(appState);
            QElapsedTimer floorTimer;
            floorTimer.start();
            autosave(notes, ids.at((i + 100) % ids.size()), i);
            floor.push_back(double(floorTimer.nsecsElapsed()) / 1e6);
        }
        screen->refresh();
        state.ResumeTiming();
        ++i;
    }
    state.counters["rows"] = screen->model()->rowCount();
    report(state, timed, floor);
}

// Ticking a checklist task in the list: the note written, the list refreshed and painted.
void BM_TodosTick(benchmark::State &state)
{
    TodosScreen *screen = sharedScreen();
    if (!screen) {
        state.SkipWithError("no library");
        return;
    }
    screen->sortBox()->setCurrentIndex(int(state.range(0)));
    QCoreApplication::processEvents();
    AppState *appState = environment()->state.get();
    NoteRepository *notes = appState->notes();
    TaskListModel *model = screen->model();
    std::vector<double> timed;
    std::vector<double> floor;
    int i = 0;
    for (auto _ : state) {
        // An open checklist task near the top, as a user would tick.
        int row = i % 20;
        while (row < model->rowCount()
               && model->index(row, 0).data(Qt::UserRole + 2).toInt() != int(TaskSource::Checklist))
            ++row;
        const QModelIndex index = model->index(row, 0);
        QElapsedTimer timer;
        timer.start();
        model->setData(index, Qt::Checked, Qt::CheckStateRole);
        paint(screen);
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        timed.push_back(ms);
        state.SetIterationTime(ms / 1000.0);

        state.PauseTiming();
        {
            const QModelIndex other = model->index(std::min(model->rowCount() - 1, 500 + i), 0);
            const QString noteId = other.data(Qt::UserRole).toString();
            const int line = other.data(Qt::UserRole + 1).toInt();
            const QSignalBlocker quiet(appState);
            QElapsedTimer floorTimer;
            floorTimer.start();
            if (std::optional<Note> note = notes->findById(noteId)) {
                const QString body = setTaskCompleted(note->body, line, true);
                if (!body.isEmpty()) {
                    note->body = body;
                    note->updatedAt = note->modifiedAt = QDateTime::currentDateTimeUtc();
                    note->version += 1;
                    note->syncStatus = SyncStatus::Pending;
                    notes->update(*note);
                }
            }
            floor.push_back(double(floorTimer.nsecsElapsed()) / 1e6);
        }
        screen->refresh();
        state.ResumeTiming();
        ++i;
    }
    report(state, timed, floor);
}

} // namespace

BENCHMARK(BM_TodosReadBodiesFloor)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_TodosExtractAll)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_TodosFirstShow)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_TodosAutosave)->Arg(0)->Arg(1)->ArgName("alpha")->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(100);
BENCHMARK(BM_TodosTick)->Arg(0)->Arg(1)->ArgName("alpha")->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(100);

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
        env->screen.reset();
        env->state.reset();
    }
    return 0;
}
