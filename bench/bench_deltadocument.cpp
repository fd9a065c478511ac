// Loading and saving note bodies through DeltaDocument.
//
//   build/bench/bench_deltadocument
//   build/bench/bench_deltadocument --benchmark_filter=Load

#include "deltadocument.h"
#include "documentcorpus.h"

#include <QAbstractTextDocumentLayout>
#include <QGuiApplication>
#include <QTextDocument>

#include <benchmark/benchmark.h>

namespace {

constexpr int TypicalBytes = 4 * 1024;
constexpr int LargeBytes = 1024 * 1024;

// range(0): 0 = a typical 4 KB body, 1 = a 1 MB body (about 10,000 lines) with tables.
const QString &body(int which)
{
    static const QString typical = BenchCorpus::deltaBody(7, TypicalBytes, false);
    static const QString large = BenchCorpus::deltaBody(11, LargeBytes, true);
    return which == 0 ? typical : large;
}

void setBodyLabel(benchmark::State &state)
{
    const QString &text = body(int(state.range(0)));
    state.SetLabel(std::to_string(text.toUtf8().size() / 1024) + " KB");
    state.SetBytesProcessed(int64_t(state.iterations()) * text.toUtf8().size());
}

void BM_SetDeltaJson(benchmark::State &state)
{
    const QString &text = body(int(state.range(0)));
    DeltaDocument delta;
    for (auto _ : state)
        delta.setDeltaJson(text);
    setBodyLabel(state);
}
BENCHMARK(BM_SetDeltaJson)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// As in the editor: the document already has a layout when a note is loaded.
void BM_SetDeltaJsonWithLayout(benchmark::State &state)
{
    const QString &text = body(int(state.range(0)));
    DeltaDocument delta;
    delta.document()->documentLayout();
    for (auto _ : state)
        delta.setDeltaJson(text);
    setBodyLabel(state);
}
BENCHMARK(BM_SetDeltaJsonWithLayout)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_ToDeltaJson(benchmark::State &state)
{
    const QString &text = body(int(state.range(0)));
    DeltaDocument delta;
    delta.setDeltaJson(text);
    for (auto _ : state) {
        const QString json = delta.toDeltaJson();
        benchmark::DoNotOptimize(json.size());
    }
    setBodyLabel(state);
}
BENCHMARK(BM_ToDeltaJson)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv); // fonts and palette
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
