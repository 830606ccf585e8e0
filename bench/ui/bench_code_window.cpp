// Time the code window takes to list a 128 KB saver (a whole card's worth of
// code, the largest the window is ever given): the page table over the whole
// file plus the first page of 8193 lines in the list. Target: under 100 ms.
#include "BenchStandIns.h"
#include "qtbase/Prompter.h"
#include "tools/disasm/qt/CodeWindow.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdint>

namespace {

QString WriteSaver(const QTemporaryDir& dir, int size) {
    QByteArray bytes(size, '\0');
    uint32_t seed = 12345;
    for (char& byte : bytes) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<char>(seed >> 16);
    }
    const QString path = dir.filePath("~ico._");
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return path;
}

void BM_LoadListing128K(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = WriteSaver(dir, 128 * 1024);
    FixedPrompter prompter;
    CodeWindow window(prompter);
    window.show();
    for (auto _ : state) {
        if (!window.LoadListing(path)) {
            state.SkipWithError("cannot list the generated file");
            break;
        }
        benchmark::DoNotOptimize(window.Listing()->count());
    }
    state.counters["lines_on_page"] = window.Listing()->count();
}

} // namespace

BENCHMARK(BM_LoadListing128K)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
