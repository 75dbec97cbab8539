// The real editor against qrv5173-emu pacing at 4800 baud: a connected start-up, a
// project load and 50 slider moves, with a 10 ms probe timer on the window's thread.
// Reports the longest stretch in which the window's thread served no event (target
// <= 50 ms) in each phase, and the start-up's wall time (windows, paints and the
// selection's pause included) over the wire time of its exchanges; startup_bench gives
// the link's own ratio (<= 1.02).
#include "EmulatorProcess.hpp"

#include "ui/AppWindows.hpp"
#include "ui/EditorWindow.hpp"
#include "ui/QtHost.hpp"

#include "link/Clock.hpp"
#include "link/SerialTransport.hpp"
#include "storage/FileCodec.hpp"

#include "FrameLog.hpp"
#include "WindowBenchMain.hpp"

#include <benchmark/benchmark.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QSlider>
#include <QTimer>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

using namespace qrv;
using Seconds = std::chrono::duration<double>;
using Instant = std::chrono::steady_clock::time_point;

constexpr double kSplashSeconds = 2.0;

double loggedWireSeconds(const std::filesystem::path& log, std::size_t& exchanges)
{
    return static_cast<double>(qrv::bench::loggedBytes(log, exchanges)) * qrv::bench::kByteSeconds;
}

// The longest gap between two runs of a 10 ms timer on the window's thread.
class Probe {
public:
    Probe()
    {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
    }
    void start()
    {
        last_ = std::chrono::steady_clock::now();
        longest_ = 0;
        timer_.start(10);
    }
    double longestMs() const { return longest_ * 1000.0; }

private:
    void tick()
    {
        const Instant now = std::chrono::steady_clock::now();
        longest_ = std::max(longest_, Seconds(now - last_).count());
        last_ = now;
    }
    QTimer timer_;
    Instant last_;
    double longest_ = 0;
};

// Runs the window's events until the condition holds.
template <class Condition> void runUntil(Condition done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
}

void BM_WindowStaysResponsive(benchmark::State& bench)
{
    const auto folder = std::filesystem::temp_directory_path() / ("qrv-ui-resp-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder / "Preset");
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(folder);
    const auto project = folder / "Preset" / "bench.prj";
    ParameterTable table;
    for (int e = 0; e < kEffectCount; ++e)
        for (int c = 0; c < kDeviceColumns; ++c)
            table.at(e, c) = static_cast<uint8_t>((e + c) % 20);
    {
        const auto bytes = encodeProject(table);
        std::ofstream(project, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    const auto log = folder / "frames.log";

    double longestStartUp = 0, longestLoad = 0, longestMoves = 0, ratio = 0;
    for (auto _ : bench) {
        test::EmulatorProcess emulator(QRV5173_EMULATOR, {"--log", log.string()});
        SerialTransport port;
        SteadyClock clock;
        ui::QtHost host;
        Program program(port, clock, host, [&](int n) -> std::optional<std::string> {
            return n == 1 ? std::optional<std::string>(emulator.slavePath()) : std::nullopt;
        });
        ui::AppWindows windows(program, &host);
        port.setWaitObserver([&windows](bool waiting) { windows.binder().setLinkWaiting(waiting); });
        bool shown = false;
        windows.setOnEditorShown([&] { shown = true; });

        // The user: picks the project in the file dialog and answers Yes.
        QTimer user;
        user.setInterval(5);
        QObject::connect(&user, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
                dialog->selectFile(QString::fromStdString(project.string()));
                QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
            } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                if (QAbstractButton* yes = box->button(QMessageBox::Yes))
                    yes->click();
                else if (QAbstractButton* ok = box->button(QMessageBox::Ok))
                    ok->click();
            }
        });
        user.start();

        Probe probe;
        probe.start();
        const Instant start = std::chrono::steady_clock::now();
        windows.start();
        runUntil([&] { return shown; });
        const double startUpWall = Seconds(std::chrono::steady_clock::now() - start).count() - kSplashSeconds;
        std::size_t exchanges = 0;
        ratio += startUpWall / loggedWireSeconds(log, exchanges);
        longestStartUp = std::max(longestStartUp, probe.longestMs());

        probe.start();
        auto* load = windows.editor().findChild<QAbstractButton*>(QStringLiteral("Command2_4"));
        QTimer::singleShot(0, load, &QAbstractButton::click);
        const double loadWire = 512 * 20 * qrv::bench::kByteSeconds;
        const Instant loadStart = std::chrono::steady_clock::now();
        // The load is over once its busy caption is gone and the link has been idle a while.
        runUntil([&] {
            return Seconds(std::chrono::steady_clock::now() - loadStart).count() > loadWire &&
                !windows.binder().coreRunning();
        });
        longestLoad = std::max(longestLoad, probe.longestMs());

        probe.start();
        QSlider* slider = nullptr;
        for (QSlider* s : windows.editor().findChildren<QSlider*>())
            if (s->isVisible() && s->maximum() >= 50) {
                slider = s;
                break;
            }
        if (!slider) {
            bench.SkipWithError("no slider on the page");
            break;
        }
        for (int i = 0; i < 50; ++i) {
            slider->setValue(i % 2 ? slider->value() + 1 : slider->value() - 1 + 2 * (i % 3 == 0));
            const Instant moved = std::chrono::steady_clock::now();
            runUntil([&] { return Seconds(std::chrono::steady_clock::now() - moved).count() > 0.02; });
        }
        runUntil([&] { return !windows.binder().coreRunning(); });
        longestMoves = std::max(longestMoves, probe.longestMs());
        bench.SetIterationTime(Seconds(std::chrono::steady_clock::now() - start).count());
        user.stop();
        emulator.stop();
    }
    bench.counters["longest_gap_startup_ms"] = longestStartUp;
    bench.counters["longest_gap_project_load_ms"] = longestLoad;
    bench.counters["longest_gap_slider_moves_ms"] = longestMoves;
    bench.counters["startup_wire_ratio_with_windows"] = benchmark::Counter(ratio, benchmark::Counter::kAvgIterations);
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_WindowStaysResponsive)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    return qrv::bench::runWindowBenchmarks(argc, argv);
}
