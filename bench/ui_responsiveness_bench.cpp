// The real editor against qrv5173-emu pacing at 4800 baud: a connected start-up, a
// project load and 50 slider moves, with a 10 ms probe timer on the window's thread; a
// 30 s drag with the recovery file on a slow disk; the editor's own cost per exchange
// against the CLI's.
// Reports the longest stretch in which the window's thread served no event (target
// <= 50 ms) in each phase, and the start-up's wall time (windows, paints and the
// selection's pause included) over the wire time of its exchanges; startup_bench gives
// the link's own ratio (<= 1.15).
#include "EmulatorProcess.hpp"

#include "ui/windows/AppWindows.hpp"
#include "ui/panels/BackgroundReading.hpp"
#include "ui/windows/EditorWindow.hpp"
#include "ui/windows/MainWindow.hpp"
#include "ui/QtHost.hpp"
#include "ui/SessionControls.hpp"

#include "link/Clock.hpp"
#include "link/SerialTransport.hpp"
#include "storage/FileCodec.hpp"

#include "FrameLog.hpp"
#include "WorkingFolder.hpp"
#include "WindowBenchMain.hpp"

#include <benchmark/benchmark.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QSlider>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <tuple>
#include <vector>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace qrv;
using Seconds = std::chrono::duration<double>;
using Instant = std::chrono::steady_clock::time_point;

// A slider of the shown page with room for the moves the benchmarks make.
QSlider* movableSlider(QWidget& editor)
{
    for (QSlider* slider : editor.findChildren<QSlider*>())
        if (slider->isVisible() && slider->maximum() >= 50)
            return slider;
    return nullptr;
}

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

// The editor with its windows on the serial port of an emulator started with `options`.
struct BenchEditor {
    explicit BenchEditor(std::vector<std::string> options) : emulator(QRV5173_EMULATOR, std::move(options))
    {
        port.setWaitObserver([this](bool waiting) { windows.binder().setLinkWaiting(waiting); });
        ui::readRestInBackground(windows, program);
    }
    std::tuple<test::EmulatorProcess&, Program&, ui::AppWindows&> parts() { return {emulator, program, windows}; }

    test::EmulatorProcess emulator;
    SerialTransport port;
    SteadyClock clock;
    ui::QtHost host;
    Program program{port, clock, host, [this](int n) -> std::optional<std::string> {
                        return n == 1 ? std::optional<std::string>(emulator.slavePath()) : std::nullopt;
                    }};
    ui::AppWindows windows{program, &host};
};

void BM_WindowStaysResponsive(benchmark::State& bench)
{
    const qrv::bench::WorkingFolder working("qrv-ui-resp-bench-");
    const auto& folder = working.path;
    std::filesystem::create_directories(folder / "Preset");
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
        BenchEditor rig({"--log", log.string()});
        auto [emulator, program, windows] = rig.parts();
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
        QSlider* slider = movableSlider(windows.editor());
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
}
BENCHMARK(BM_WindowStaysResponsive)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(1);

// The requests in the emulator's frame log: sequence number, whether it set a parameter (0x20),
// and the bytes of the request and its reply.
struct LoggedRequest {
    long sequence = 0;
    bool parameter = false;
    int bytes = 0;
};
std::vector<LoggedRequest> loggedRequests(const std::filesystem::path& log)
{
    std::ifstream in(log);
    std::vector<LoggedRequest> requests;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string direction, hex;
        long sequence = 0;
        words >> sequence >> direction;
        int bytes = 0;
        std::string third;
        while (words >> hex)
            if (++bytes == 3)
                third = hex;
        if (direction == ">")
            requests.push_back({sequence, third == "20", bytes});
        else if (!requests.empty() && requests.back().sequence == sequence)
            requests.back().bytes += bytes;
    }
    return requests;
}

// Launch to an editable page with the unit on the remembered port (target <= 2.5 s, <= 0.5 s
// after the splash), then a slider move every 150 to 350 ms, as a timer event that may fall
// inside a background exchange, while the rest of the unit is read. For each edit: how many
// other exchanges went out after it was made and before its frame (target: at most the one in
// flight), and their wire time, which is what the edit waited. Also the window's longest stall
// meanwhile, and how long the reading in the background takes.
void BM_ReadyAtOnce(benchmark::State& bench)
{
    const qrv::bench::WorkingFolder working("qrv-ui-ready-bench-");
    const auto& folder = working.path;
    const auto log = folder / "frames.log";
    std::vector<double> waits;
    long mostBefore = 0;
    double editable = 0, background = 0, longestGap = 0;
    for (auto _ : bench) {
        std::filesystem::remove(log);
        BenchEditor rig({"--log", log.string()});
        auto [emulator, program, windows] = rig.parts();
        bool shown = false;
        windows.setOnEditorShown([&] { shown = true; });
        const Instant start = std::chrono::steady_clock::now();
        windows.start();
        runUntil([&] { return shown; });
        const Instant ready = std::chrono::steady_clock::now();
        editable = std::max(editable, Seconds(ready - start).count());
        Probe probe;
        probe.start();
        QSlider* slider = movableSlider(windows.editor());
        if (!slider) {
            bench.SkipWithError("no slider on the page");
            break;
        }
        std::vector<long> issuedAfter; // the last request logged when each edit was made
        QTimer hand;
        hand.setSingleShot(true);
        QObject::connect(&hand, &QTimer::timeout, [&] {
            const auto requests = loggedRequests(log);
            // One edit at a time, so that each has a frame of its own and none is folded into the next.
            const auto sent = std::count_if(requests.begin(), requests.end(), [](const auto& r) { return r.parameter; });
            if (static_cast<std::size_t>(sent) < issuedAfter.size()) {
                hand.start(50);
                return;
            }
            issuedAfter.push_back(requests.empty() ? 0 : requests.back().sequence);
            slider->setValue(slider->value() + (issuedAfter.size() % 2 ? 1 : -1));
            hand.start(150 + 50 * static_cast<int>(issuedAfter.size() % 5));
        });
        hand.start(150);
        runUntil([&] { return program.reading.finished(); });
        hand.stop();
        runUntil([&] { return !windows.binder().coreRunning(); });
        background = std::max(background, Seconds(std::chrono::steady_clock::now() - ready).count());
        longestGap = std::max(longestGap, probe.longestMs());
        bench.SetIterationTime(Seconds(std::chrono::steady_clock::now() - start).count());
        std::this_thread::sleep_for(std::chrono::milliseconds(200)); // the last reply into the log
        emulator.stop();
        const auto requests = loggedRequests(log);
        std::size_t edit = 0;
        for (std::size_t r = 0; r < requests.size() && edit < issuedAfter.size(); ++r) {
            if (!requests[r].parameter)
                continue;
            long before = 0;
            int bytes = 0;
            for (const LoggedRequest& other : requests)
                if (other.sequence > issuedAfter[edit] && other.sequence < requests[r].sequence) {
                    ++before;
                    bytes += other.bytes;
                }
            mostBefore = std::max(mostBefore, before);
            waits.push_back(bytes * qrv::bench::kByteSeconds);
            ++edit;
        }
    }
    std::sort(waits.begin(), waits.end());
    bench.counters["launch_to_editable_s"] = editable;
    bench.counters["after_splash_s"] = editable - kSplashSeconds;
    bench.counters["edits"] = static_cast<double>(waits.size());
    bench.counters["edit_wait_median_ms"] = waits.empty() ? -1 : waits[waits.size() / 2] * 1000;
    bench.counters["edit_wait_longest_ms"] = waits.empty() ? -1 : waits.back() * 1000;
    bench.counters["most_exchanges_before_an_edit"] = static_cast<double>(mostBefore);
    bench.counters["longest_gap_background_ms"] = longestGap;
    bench.counters["background_read_s"] = background;
}
BENCHMARK(BM_ReadyAtOnce)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(1);

// The editor's own cost per exchange against the CLI's: each runs the start-up's dump
// against the unpaced emulator, so that what is left of the wall time is theirs (the
// editor's windows and paints, the pty and the tool's start included). The splash
// window's 2000 ms is not counted.
double cliSecondsPerExchange(const std::filesystem::path& folder)
{
    const auto log = folder / "cli-frames.log";
    test::EmulatorProcess emulator(QRV5173_EMULATOR, {"--fast", "--log", log.string()});
    const std::string command = std::string(QRV5173_CLI) + " dump --no-system-ports --port " + emulator.slavePath() +
        " --out " + (folder / "cli.prj").string() + " 2>/dev/null";
    const Instant start = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    const double wall = Seconds(std::chrono::steady_clock::now() - start).count();
    emulator.stop();
    std::size_t exchanges = 0;
    qrv::bench::loggedBytes(log, exchanges);
    return status == 0 && exchanges > 0 ? wall / static_cast<double>(exchanges) : -1;
}

void BM_CostPerExchangeEditorAndCli(benchmark::State& bench)
{
    const qrv::bench::WorkingFolder working("qrv-ui-cost-bench-");
    const auto& folder = working.path;
    const auto log = folder / "frames.log";
    double editor = 0, cli = 0;
    for (auto _ : bench) {
        std::filesystem::remove(log);
        BenchEditor rig({"--fast", "--log", log.string()});
        auto [emulator, program, windows] = rig.parts();
        bool shown = false;
        windows.setOnEditorShown([&] { shown = true; });
        const Instant start = std::chrono::steady_clock::now();
        windows.start();
        runUntil([&] { return shown && program.reading.finished(); });
        const double wall = Seconds(std::chrono::steady_clock::now() - start).count() - kSplashSeconds;
        emulator.stop();
        std::size_t exchanges = 0;
        qrv::bench::loggedBytes(log, exchanges);
        editor += wall / static_cast<double>(std::max<std::size_t>(exchanges, 1));
        cli += cliSecondsPerExchange(folder);
        bench.SetIterationTime(wall);
    }
    bench.counters["editor_ms_per_exchange"] = benchmark::Counter(editor * 1000, benchmark::Counter::kAvgIterations);
    bench.counters["cli_ms_per_exchange"] = benchmark::Counter(cli * 1000, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_CostPerExchangeEditorAndCli)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(3);

// A 30 s slider drag against the paced emulator while the recovery file goes to a slow
// disk: QRV_SLOW_FOLDER names a folder on one (bench/slow_folder.py mounts one). Reports
// the window's longest stretch without serving an event.
void BM_DragWithTheRecoveryOnASlowDisk(benchmark::State& bench)
{
    const char* slow = std::getenv("QRV_SLOW_FOLDER");
    if (!slow) {
        bench.SkipWithError("QRV_SLOW_FOLDER names no folder on a slow disk");
        return;
    }
    const qrv::bench::WorkingFolder working("qrv-ui-drag-bench-");
    double longest = 0;
    bool kept = false;
    for (auto _ : bench) {
        BenchEditor rig({});
        auto [emulator, program, windows] = rig.parts();
        ui::keepRecoveryFile(windows, program, slow);
        windows.start();
        runUntil([&] { return windows.main().findChild<QTimer*>(QStringLiteral("RecoveryTimer")) != nullptr; });
        QSlider* slider = movableSlider(windows.editor());
        if (!slider) {
            bench.SkipWithError("no slider on the page");
            break;
        }
        Probe probe;
        probe.start();
        const Instant start = std::chrono::steady_clock::now();
        for (int move = 0; Seconds(std::chrono::steady_clock::now() - start).count() < 30; ++move) {
            slider->setValue(10 + move % 40);
            const Instant moved = std::chrono::steady_clock::now();
            runUntil([&] { return Seconds(std::chrono::steady_clock::now() - moved).count() > 0.02; });
        }
        runUntil([&] { return !windows.binder().coreRunning(); });
        longest = std::max(longest, probe.longestMs());
        bench.SetIterationTime(Seconds(std::chrono::steady_clock::now() - start).count());
        program.recovery.flush();
        kept = std::filesystem::exists(program.recovery.file());
        program.recovery.leave();
        emulator.stop();
    }
    bench.counters["longest_gap_drag_slow_disk_ms"] = longest;
    bench.counters["recovery_file_written"] = kept ? 1 : 0;
}
BENCHMARK(BM_DragWithTheRecoveryOnASlowDisk)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    return qrv::bench::runWindowBenchmarks(argc, argv);
}
