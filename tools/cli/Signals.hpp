#pragma once

namespace qrv::cli {

// SIGINT, SIGTERM and SIGHUP during a long command: the first asks the command to stop
// after the exchange in progress (stopSignal() tells which came); a second ends the tool
// at once with status 1, removing a file it was writing.
void catchStopSignals();
// The signal that asked for a stop, 0 while none came.
int stopSignal();
// "SIGINT", "SIGTERM", "SIGHUP".
const char* stopSignalName(int signal);

} // namespace qrv::cli
