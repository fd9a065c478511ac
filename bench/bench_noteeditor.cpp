// Note editor: keystroke latency in a large note, loading note bodies, and opening
// bodies of 2, 10 and 50 MB.
//
//   build/bench/bench_noteeditor
//   build/bench/bench_noteeditor --benchmark_filter=Keystroke

#include "deltadocument.h"
#include "documentcorpus.h"
#include "noteeditor.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

namespace {

constexpr int TypicalBytes = 4 * 1024;
constexpr int LargeBytes = 1024 * 1024;

// range(0): 0 = a typical 4 KB body, 1 = a 1 MB body with tables.
const QString &body(int which)
{
    static const QString typical = BenchCorpus::deltaBody(7, TypicalBytes, false);
    static const QString large = BenchCorpus::deltaBody(11, LargeBytes, true);
    return which == 0 ? typical : large;
}

// One key from the event to the painted frame: the key handler, the change report
// (word count included), the relayout of the edited block and a repaint.
void BM_KeystrokeLatency(benchmark::State &state)
{
    NoteEditor editor;
    editor.resize(900, 700);
    editor.show();
    editor.loadNote(QStringLiteral("bench"), body(int(state.range(0))));
    QCoreApplication::processEvents();
    QTextCursor cursor(editor.document());
    cursor.setPosition(editor.document()->characterCount() / 2);
    editor.setTextCursor(cursor);
    editor.ensureCursorVisible();
    QCoreApplication::processEvents();

    std::vector<double> samples;
    samples.reserve(4096);
    int i = 0;
    for (auto _ : state) {
        const QChar c = QLatin1Char(char('a' + i++ % 26));
        QElapsedTimer timer;
        timer.start();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A + (c.unicode() - 'a'), Qt::NoModifier, QString(c));
        QApplication::sendEvent(&editor, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_A + (c.unicode() - 'a'), Qt::NoModifier, QString(c));
        QApplication::sendEvent(&editor, &release);
        QCoreApplication::processEvents();
        editor.viewport()->repaint();
        samples.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(samples.begin(), samples.end());
    const auto at = [&samples](double q) {
        return samples.empty() ? 0.0 : samples[std::min(samples.size() - 1, size_t(q * double(samples.size())))];
    };
    state.counters["p50_ms"] = at(0.50);
    state.counters["p95_ms"] = at(0.95);
    state.counters["max_ms"] = samples.empty() ? 0.0 : samples.back();
}

void BM_LoadNote(benchmark::State &state)
{
    NoteEditor editor;
    editor.resize(900, 700);
    editor.show();
    const QString &text = body(int(state.range(0)));
    for (auto _ : state) {
        editor.loadNote(QStringLiteral("bench"), text, true);
        benchmark::DoNotOptimize(editor.document()->blockCount());
    }
    state.SetBytesProcessed(state.iterations() * text.toUtf8().size());
}

// What the owner's reload after its own save costs: one conversion and a comparison.
void BM_ReloadSkip(benchmark::State &state)
{
    NoteEditor editor;
    const QString &text = body(int(state.range(0)));
    editor.loadNote(QStringLiteral("bench"), text);
    const QString saved = editor.toDeltaJson();
    editor.loadNote(QStringLiteral("bench"), saved, true);
    for (auto _ : state)
        editor.loadNote(QStringLiteral("bench"), saved);
}

// Huge bodies, range(0) in megabytes: from loadNote to the first painted frame. The floor,
// measured in the same iteration, is parsing the same JSON once; the ratio shows how far
// opening stays from linear work over the bytes.
void BM_LoadHugeNote(benchmark::State &state)
{
    const int megabytes = int(state.range(0));
    const QString text = BenchCorpus::deltaBody(13 + megabytes, megabytes * 1024 * 1024, true);
    const QByteArray utf8 = text.toUtf8();
    double loadSeconds = 0;
    double floorSeconds = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        benchmark::DoNotOptimize(QJsonDocument::fromJson(utf8).isArray());
        floorSeconds += double(timer.nsecsElapsed()) / 1e9;

        NoteEditor editor;
        editor.resize(900, 700);
        editor.show();
        QCoreApplication::processEvents();
        timer.restart();
        editor.loadNote(QStringLiteral("huge"), text, true);
        editor.repaint();
        QCoreApplication::processEvents();
        loadSeconds += double(timer.nsecsElapsed()) / 1e9;
        state.counters["plain_view"] = editor.isShowingLargeNote() ? 1 : 0;
    }
    const double n = double(state.iterations());
    state.counters["load_s"] = loadSeconds / n;
    state.counters["floor_parse_s"] = floorSeconds / n;
    state.counters["ratio"] = floorSeconds > 0 ? loadSeconds / floorSeconds : 0;
    state.SetBytesProcessed(state.iterations() * utf8.size());
}

} // namespace

BENCHMARK(BM_KeystrokeLatency)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(300);
BENCHMARK(BM_LoadNote)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReloadSkip)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadHugeNote)->Arg(2)->Arg(10)->Arg(50)->Unit(benchmark::kMillisecond)->Iterations(2);

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
