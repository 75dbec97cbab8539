#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qrv {

struct EmulatorOptions {
    bool fast = false;        // no 4800-baud pacing
    bool silent = false;      // answer nothing
    bool garbage = false;     // answer with wrong bytes of the right length
    uint64_t dropEvery = 0;   // leave every Nth frame unanswered; 0 = never
    uint64_t hangupAfter = 0; // close the pty after N frames; 0 = never
    uint64_t lateEvery = 0;   // hold back every Nth reply by lateBy seconds; 0 = never
    double lateBy = 3.4;
    uint64_t extraEvery = 0; // two bytes more on every Nth reply; 0 = never
    uint64_t shortEvery = 0; // only the first half of every Nth reply; 0 = never
    // Line noise: noiseBytes stray bytes before, inside or after every Nth reply; 0 = never.
    enum class NoiseAt { Before, Inside, After };
    uint64_t noiseEvery = 0;
    NoiseAt noiseAt = NoiseAt::Before;
    uint64_t noiseBytes = 3;
    // One bit flipped in byte flipByte (or the last byte) of every Nth reply of flipLength
    // bytes (of any length when 0); 0 = never.
    uint64_t flipEvery = 0;
    uint64_t flipByte = 0;
    uint64_t flipLength = 0;
    // Each byte to the PC gets one random bit flipped with this probability; the errors follow
    // from seed alone, so a run can be repeated.
    double bitErrorRate = 0;
    uint64_t seed = 1;
    // After N frames the unit restarts behind the port (DeviceModel::powerCycle); 0 = never.
    uint64_t powerCycleAfter = 0;
    // After N frames another unit answers: swapImage (the factory image when empty); 0 = never.
    uint64_t swapAfter = 0;
    // The block read (0x1E) for an effect other than the current one: answered with the current
    // effect's row, or not at all.
    bool blockIgnoresEffect = false;
    bool blockCurrentOnly = false;
    std::vector<uint8_t> swapImage;
    std::string swapMemoryPath;
    std::string linkPath;
    std::string panelPath; // the front panel's named pipe
    std::string logPath;
    std::string memoryPath;
    bool help = false;
    bool version = false;
};

// A count on the command line: a whole number of at least 1; nothing otherwise.
std::optional<uint64_t> parseCount(std::string_view text);
// A probability on the command line ("1e-4", "0.001"): above 0, at most 1; nothing otherwise.
std::optional<double> parseRate(std::string_view text);

} // namespace qrv
