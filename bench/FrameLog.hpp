#pragma once

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <chrono>

namespace qrv::bench {

// Ten bit times per byte at 4800 baud.
inline constexpr double kByteSeconds = 10.0 / 4800.0;

// Bytes of every request and reply in the emulator's frame log, and the requests' count.
inline std::size_t loggedBytes(const std::filesystem::path& log, std::size_t& exchanges)
{
    std::ifstream in(log);
    std::string line;
    std::size_t bytes = 0;
    exchanges = 0;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string sequence, direction, hex;
        words >> sequence >> direction;
        exchanges += direction == ">" ? 1 : 0;
        while (words >> hex)
            ++bytes;
    }
    return bytes;
}

// Wire seconds and exchanges in the frame log so far. The emulator logs a reply once its
// last byte is out, a moment after the editor has it: wait that moment first.
inline double wireSoFar(const std::filesystem::path& log, std::size_t& exchanges)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return static_cast<double>(loggedBytes(log, exchanges)) * kByteSeconds;
}

} // namespace qrv::bench
