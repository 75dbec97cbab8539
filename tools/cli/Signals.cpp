#include "Signals.hpp"

#include "storage/FileAccess.hpp"

#include <csignal>
#include <cstring>
#include <unistd.h>

namespace qrv::cli {

namespace {

volatile std::sig_atomic_t received = 0;

void say(const char* text)
{
    [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, text, std::strlen(text));
}

// Only async-signal-safe calls in here.
extern "C" void onStopSignal(int signal)
{
    if (received != 0) {
        if (const char* temporary = temporaryInFlight())
            ::unlink(temporary);
        say("\nqrv5173-cli: ended at once by a second signal\n");
        ::_exit(1);
    }
    received = signal;
    say("\nqrv5173-cli: stopping after the current exchange (a second signal ends at once)\n");
}

} // namespace

void catchStopSignals()
{
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

int stopSignal()
{
    return received;
}

const char* stopSignalName(int signal)
{
    switch (signal) {
    case SIGINT:
        return "SIGINT";
    case SIGTERM:
        return "SIGTERM";
    case SIGHUP:
        return "SIGHUP";
    default:
        return "a signal";
    }
}

} // namespace qrv::cli
