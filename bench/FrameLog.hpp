#pragma once

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

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

} // namespace qrv::bench
