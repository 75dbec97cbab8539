// The Preset Library over 100, 1,000 and 10,000 files spread over 11 folders: its first
// listing, a file added and a file rewritten in place. Reports, for each, the longest
// stretch in which the window's thread served no event (target <= 50 ms), the number of
// file-system watches (target <= folders + 1) and what the listing added to the resident
// memory (target < 10 MB).
#include "ui/panels/PresetLibraryPanel.hpp"

#include "storage/FileCodec.hpp"

#include "WindowBenchMain.hpp"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

using namespace qrv;
namespace fs = std::filesystem;
using Seconds = std::chrono::duration<double>;
using Instant = std::chrono::steady_clock::time_point;

constexpr int kFolders = 11; // the Preset folder and ten subfolders

// The longest gap between two runs of a 5 ms timer on the window's thread.
class Probe {
public:
    Probe()
    {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const Instant now = std::chrono::steady_clock::now();
            longest_ = std::max(longest_, Seconds(now - last_).count());
            last_ = now;
        });
    }
    void start()
    {
        last_ = std::chrono::steady_clock::now();
        longest_ = 0;
        timer_.start(5);
    }
    double longestMs()
    {
        QTest::qWait(30); // a stall just ended shows at the next tick
        timer_.stop();
        return longest_ * 1000.0;
    }

private:
    QTimer timer_;
    Instant last_;
    double longest_ = 0;
};

double residentMegabytes()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

void writeFile(const fs::path& path, const Row& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Row presetFor(int n)
{
    Row row{};
    row[0] = static_cast<uint8_t>(n % 100);
    return encodePreset(std::span<const uint8_t, kRowSize>(row.data(), kRowSize), n % kEffectCount);
}

// Runs the window's events until the panel has taken in what changed on disk.
bool settled(ui::PresetLibraryPanel& panel, const std::function<bool()>& done)
{
    QSignalSpy rescans(&panel, &ui::PresetLibraryPanel::rescanned);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        rescans.wait(1000);
    }
    return true;
}

void BM_PresetLibrary(benchmark::State& bench)
{
    const int count = static_cast<int>(bench.range(0));
    const fs::path root = fs::temp_directory_path() / ("qrv-library-bench-" + std::to_string(::getpid()));
    const fs::path presets = root / "Preset";
    fs::remove_all(root);
    for (int f = 1; f < kFolders; ++f)
        fs::create_directories(presets / ("Bank " + std::to_string(f)));
    const auto folderOf = [&](int n) {
        const int f = n % kFolders;
        return f == 0 ? presets : presets / ("Bank " + std::to_string(f));
    };
    // A library mostly holds files written long ago.
    const auto longAgo = fs::file_time_type::clock::now() - std::chrono::hours(24);
    for (int n = 0; n < count; ++n) {
        const fs::path file = folderOf(n) / ("Sound " + std::to_string(n) + ".fxp");
        writeFile(file, presetFor(n));
        fs::last_write_time(file, longAgo);
    }

    {
        // What the first dock widget shown costs, the list's own memory aside.
        fs::create_directories(root / "Other");
        writeFile(root / "Other" / "One.fxp", presetFor(0));
        ui::PresetLibraryPanel warmUp([&] { return root / "Other"; }, [](const fs::path&) {});
        warmUp.show();
        settled(warmUp, [&] { return warmUp.listedFiles() == 1; });
    }
    for (auto _ : bench) {
        const double before = residentMegabytes();
        ui::PresetLibraryPanel panel([&] { return presets; }, [](const fs::path&) {});
        panel.resize(320, 600);
        Probe probe;
        const auto listed = [&](int files) { return [&panel, files] { return panel.listedFiles() == files; }; };

        probe.start();
        panel.show();
        if (!settled(panel, listed(count))) {
            bench.SkipWithError("the first listing did not come");
            break;
        }
        bench.counters["first_listing_stall_ms"] = probe.longestMs();
        bench.counters["memory_MB"] = residentMegabytes() - before;
        bench.counters["watches"] = panel.watchCount();

        probe.start();
        writeFile(folderOf(1) / "Added.fxp", presetFor(1));
        if (!settled(panel, listed(count + 1))) {
            bench.SkipWithError("the added file was not listed");
            break;
        }
        bench.counters["file_added_stall_ms"] = probe.longestMs();

        probe.start();
        writeFile(folderOf(1) / "Added.fxp", presetFor(2));
        QSignalSpy rescans(&panel, &ui::PresetLibraryPanel::rescanned);
        if (!rescans.wait(10000)) {
            bench.SkipWithError("the rewritten file was not read again");
            break;
        }
        bench.counters["file_rewritten_stall_ms"] = probe.longestMs();
        fs::remove(folderOf(1) / "Added.fxp");
        settled(panel, listed(count));
    }
    bench.counters["files"] = count;
    bench.counters["folders"] = kFolders;
    fs::remove_all(root);
}

BENCHMARK(BM_PresetLibrary)->Arg(100)->Arg(1000)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return qrv::bench::runWindowBenchmarks(argc, argv);
}
