#include "CommandLine.hpp"
#include "DeviceModel.hpp"
#include "MemoryFile.hpp"
#include "PtyFrontEnd.hpp"
#include "Session.hpp"

#include "state/Notice.hpp"

#include <cstdio>
#include <fstream>
#include <stdexcept>

int main(int argc, char** argv)
{
    using namespace qrv;
    const auto parsed = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.options) {
        std::fprintf(stderr, "qrv5173-emu: %s (see --help)\n", parsed.error.c_str());
        return 2;
    }
    EmulatorOptions options = *parsed.options;
    if (options.help) {
        std::fputs(usageText().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("qrv5173-emu %s\n%s", QRV_VERSION, qrv::kCopyrightNotice);
        return 0;
    }

    if (!options.swapMemoryPath.empty()) {
        try {
            const auto image = readMemoryFile(options.swapMemoryPath);
            if (!image)
                throw std::runtime_error(options.swapMemoryPath + ": no such file");
            options.swapImage = *image;
        } catch (const std::exception& error) {
            std::fprintf(stderr, "qrv5173-emu: %s\n", error.what());
            return 2;
        }
    }
    DeviceModel model;
    if (options.blockIgnoresEffect)
        model.setBlockFault(DeviceModel::BlockFault::IgnoresEffect);
    if (options.blockCurrentOnly)
        model.setBlockFault(DeviceModel::BlockFault::CurrentOnly);
    if (!options.memoryPath.empty()) {
        try {
            if (const auto image = readMemoryFile(options.memoryPath))
                model.loadMemory(*image);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "qrv5173-emu: %s\n", error.what());
            return 2;
        }
    }

    std::ofstream log;
    if (!options.logPath.empty()) {
        log.open(options.logPath, std::ios::trunc);
        if (!log) {
            std::fprintf(stderr, "qrv5173-emu: %s: cannot be written\n", options.logPath.c_str());
            return 2;
        }
    }
    EmulatorSession session(model, options, log.is_open() ? &log : nullptr);
    if (!options.memoryPath.empty()) {
        // The file is the first unit's; a swapped-in unit's memory never lands in it.
        model.onMemoryWritten = [&model, &session, path = options.memoryPath] {
            if (session.swapped())
                return;
            try {
                writeMemoryFile(path, model.memory());
            } catch (const std::exception& error) {
                std::fprintf(stderr, "qrv5173-emu: %s\n", error.what());
            }
        };
    }
    return runOnPty(session, options.linkPath, options.panelPath);
}
