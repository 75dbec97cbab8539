#pragma once

#include "Session.hpp"

#include <string>

namespace qrv {

// Puts the session behind a fresh pseudo-terminal, prints the terminal's path as the first
// line on standard output, and serves it until SIGTERM, SIGINT or SIGHUP arrives or the
// session hangs up. Lines written to the named pipe panelPath (made when missing) are played
// on the unit's front panel. Returns the process exit status.
int runOnPty(EmulatorSession& session, const std::string& linkPath, const std::string& panelPath);

} // namespace qrv
