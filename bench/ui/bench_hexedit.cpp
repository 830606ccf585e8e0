// The hex editor on a whole card's worth of data (128 KB), offscreen:
// opening the file, paging through it from end to end, and the repaint
// after one keystroke. Targets: open under 100 ms, a keystroke's repaint
// under 10 ms.
#include "BenchStandIns.h"
#include "qtbase/Prompter.h"
#include "tools/hexedit/qt/HexView.h"
#include "tools/hexedit/qt/MiniEditorWindow.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QWindow>
#include <benchmark/benchmark.h>

namespace {

constexpr int kCardBytes = 131072;

QString CardFile(const QTemporaryDir& dir) {
    const QString path = dir.filePath("~ico._");
    QByteArray bytes(kCardBytes, '\0');
    uint32_t seed = 12345;
    for (char& byte : bytes) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<char>(seed >> 16);
    }
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return path;
}

// Shows the window and waits until it is exposed, so that repaints paint.
void ShowExposed(QWidget& window) {
    window.show();
    for (int i = 0; i < 100 && !(window.windowHandle() && window.windowHandle()->isExposed()); ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QCoreApplication::processEvents();
}

void SendKey(QWidget* widget, int key, const QString& text = {}) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(widget, &press);
}

// Loading the file and painting the first screen.
void BM_OpenCardFile(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = CardFile(dir);
    FixedPrompter prompter;
    MiniEditorWindow window(prompter);
    ShowExposed(window);
    for (auto _ : state) {
        window.LoadFile(path);
        window.Grid()->viewport()->repaint();
    }
    state.counters["bytes"] = static_cast<double>(window.Grid()->Core().DataSize());
}
BENCHMARK(BM_OpenCardFile)->Unit(benchmark::kMillisecond);

// Page Down from the first line to the last, painting every page.
void BM_PageThroughCard(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = CardFile(dir);
    FixedPrompter prompter;
    MiniEditorWindow window(prompter);
    ShowExposed(window);
    window.LoadFile(path);
    HexView* grid = window.Grid();
    int pages = 0;
    for (auto _ : state) {
        SendKey(grid, Qt::Key_Home);
        pages = 0;
        while (grid->Core().CaretPosition() < grid->Core().DataSize()) {
            SendKey(grid, Qt::Key_PageDown);
            grid->viewport()->repaint();
            ++pages;
        }
        state.PauseTiming();
        grid->Seek(0, HexEditorCore::SeekOrigin::Absolute, true);
        state.ResumeTiming();
    }
    state.counters["pages"] = pages;
    // Seconds per page, shown by the library in its own unit.
    state.counters["per_page"] = benchmark::Counter(static_cast<double>(pages),
                                                    benchmark::Counter::kIsIterationInvariantRate |
                                                        benchmark::Counter::kInvert);
}
BENCHMARK(BM_PageThroughCard)->Unit(benchmark::kMillisecond);

// One hex digit typed in the middle of the card, and the repaint it causes.
void BM_KeystrokeRepaint(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = CardFile(dir);
    FixedPrompter prompter;
    MiniEditorWindow window(prompter);
    ShowExposed(window);
    window.LoadFile(path);
    HexView* grid = window.Grid();
    grid->Seek(kCardBytes / 2, HexEditorCore::SeekOrigin::Absolute, true);
    grid->viewport()->repaint();
    int typed = 0;
    for (auto _ : state) {
        SendKey(grid, Qt::Key_A, QStringLiteral("a"));
        grid->viewport()->repaint();
        // Stay on the same screen: back to the byte's first digit now and then.
        if (++typed % 32 == 0) {
            state.PauseTiming();
            grid->Seek(kCardBytes / 2, HexEditorCore::SeekOrigin::Absolute, true);
            state.ResumeTiming();
        }
    }
}
BENCHMARK(BM_KeystrokeRepaint)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
