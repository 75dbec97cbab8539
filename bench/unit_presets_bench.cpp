// Opening the Unit Presets panel on an editor whose unit has every name and directory byte
// read: the time until it is painted, the allocations it makes and the frames it sends
// (none: it shows what the editor holds).
#include "EditorRig.hpp"

#include "state/UnitKnowledge.hpp"
#include "ui/panels/UnitPresetsPanel.hpp"
#include "ui/windows/AppWindows.hpp"
#include "ui/windows/MainWindow.hpp"

#include "WindowBenchMain.hpp"

#include <benchmark/benchmark.h>

#include <QAction>
#include <QApplication>
#include <QTreeView>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>

namespace {

std::atomic<long> allocations{0};

} // namespace

void* operator new(std::size_t size)
{
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* memory = std::malloc(size == 0 ? 1 : size))
        return memory;
    throw std::bad_alloc();
}

void operator delete(void* memory) noexcept
{
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept
{
    std::free(memory);
}

namespace {

void BM_OpenUnitPresets(benchmark::State& state)
{
    qrv::test::EditorRig rig(false);
    for (int e = 0; e < qrv::kEffectCount; ++e)
        if (!rig.editor.provide(qrv::presetItems(e)))
            state.SkipWithError("the unit's names could not be read");
    qrv::ui::AppWindows windows(rig.program, nullptr);
    windows.show(qrv::Window::Main);
    windows.show(qrv::Window::Editor);
    QCoreApplication::processEvents();
    auto* toggle = windows.main().findChild<QAction*>(QStringLiteral("Menu_UnitPresets"));
    auto* panel = windows.main().findChild<qrv::ui::UnitPresetsPanel*>(QStringLiteral("UnitPresets"));
    if (!toggle || !panel) {
        state.SkipWithError("no Unit Presets panel");
        return;
    }
    long made = 0;
    std::size_t frames = 0;
    for (auto _ : state) {
        rig.port.clearLog();
        const long before = allocations.load();
        const auto start = std::chrono::steady_clock::now();
        toggle->trigger();
        while (!panel->isVisible())
            QCoreApplication::processEvents();
        panel->view()->repaint();
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        made += allocations.load() - before;
        frames += rig.port.sent().size();
        toggle->trigger(); // closed again for the next opening
        QCoreApplication::processEvents();
    }
    state.counters["allocations_per_opening"] =
        benchmark::Counter(static_cast<double>(made), benchmark::Counter::kAvgIterations);
    state.counters["frames_sent"] = static_cast<double>(frames);
}

BENCHMARK(BM_OpenUnitPresets)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return qrv::bench::runWindowBenchmarks(argc, argv);
}
