#pragma once

#include "Program.hpp"

namespace qrv {

// After a reconnection found a unit other than the one the editor read: says so, reads the
// unit again (progress, Cancel) and keeps the user's values, offering to send them. A Cancel
// leaves the editor as it was, with the unit still unread until the next reconnection.
// Nothing happens otherwise.
void readChangedUnit(Program& program);

} // namespace qrv
