#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <sys/types.h>
#include <vector>

namespace qrv::test {

// The emulator exited or said nothing before naming its terminal.
struct EmulatorStartError : std::runtime_error {
    EmulatorStartError(const std::string& what, std::optional<int> status)
        : std::runtime_error(what), exitStatus(status)
    {
    }
    std::optional<int> exitStatus; // set when it had already exited
};

// Runs qrv5173-emu as a child process for as long as the object lives. The constructor
// returns once the emulator has printed its pty path; the destructor stops it.
// The request frames of the emulator's frame log (`--log`), in order.
std::vector<std::vector<uint8_t>> loggedRequests(const std::filesystem::path& log);

class EmulatorProcess {
public:
    EmulatorProcess(const std::filesystem::path& executable, std::vector<std::string> arguments,
                    double startTimeoutSeconds = 5.0);
    ~EmulatorProcess();
    EmulatorProcess(const EmulatorProcess&) = delete;
    EmulatorProcess& operator=(const EmulatorProcess&) = delete;

    const std::string& slavePath() const { return slavePath_; }

    // SIGTERM, then SIGKILL if it has not gone within two seconds. Returns the exit status
    // (128 + signal number when killed); later calls return the same.
    int stop();
    // Sends the signal (SIGUSR1 unplugs the emulated unit, SIGUSR2 plugs it in again).
    void signal(int sig);
    // The exit status once it has exited within the time, else empty.
    std::optional<int> waitForExit(double seconds);

private:
    std::optional<int> reap(bool block);

    pid_t pid_ = -1;
    int output_ = -1;
    std::string slavePath_;
    std::optional<int> status_;
};

} // namespace qrv::test
