#pragma once

#include "Options.hpp"

#include <optional>
#include <string>
#include <vector>

namespace qrv {

// qrv5173-emu's command line, read with QCommandLineParser; belongs to the executable,
// so the emulator library stays free of Qt.
struct ParsedOptions {
    std::optional<EmulatorOptions> options; // empty when the command line is wrong
    std::string error;
};

ParsedOptions parseOptions(const std::vector<std::string>& arguments); // without the program's name
std::string usageText();

} // namespace qrv
