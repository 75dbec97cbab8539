#pragma once

#include "EmulatorProcess.hpp"

#include "emulator/DeviceModel.hpp"
#include "emulator/MemoryFile.hpp"

#include <QCoreApplication>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace qrv::test {

inline void ensureApplication()
{
    static int argc = 1;
    static char name[] = "e2e_tests";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}

// The request frames the emulator took, in order.
inline std::vector<std::vector<uint8_t>> requests(const std::filesystem::path& log)
{
    return loggedRequests(log);
}

// Starts the emulator on the memory image folder/image.mem (written from `memory` when it
// is not there yet, so a restart goes on with what the last run left) with the frame log
// folder/log.log.
inline std::unique_ptr<EmulatorProcess> startEmulator(const std::filesystem::path& folder, const std::string& image,
                                                      const std::string& log, const DeviceModel& memory,
                                                      std::vector<std::string> extra = {})
{
    const auto imagePath = folder / (image + ".mem");
    if (!std::filesystem::exists(imagePath))
        writeMemoryFile(imagePath, memory.memory());
    std::vector<std::string> arguments{"--fast", "--memory", imagePath.string(), "--log",
                                       (folder / (log + ".log")).string()};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    return std::make_unique<EmulatorProcess>(QRV_EMULATOR_PATH, arguments);
}

} // namespace qrv::test
