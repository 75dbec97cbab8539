#pragma once

#include "Program.hpp"

namespace qrv {

// After a reconnection found a unit other than the one the editor read: says so, reads the
// unit again (progress, Cancel) and keeps the user's values, offering to send them. A Cancel
// leaves the editor as it was, with the unit still unread until the next reconnection.
// Nothing happens otherwise.
void readChangedUnit(Program& program);

// A unit connected after demo mode: reads it (progress, Cancel) and keeps what the user
// changed in demo mode, offering to send it.
void readUnitAfterDemo(Program& program);

} // namespace qrv
