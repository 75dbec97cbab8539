#pragma once

#include "Program.hpp"

#include "link/PortSeen.hpp"

#include <map>
#include <string>
#include <vector>

namespace qrv {

// One parameter the editor holds and the unit was never sent.
struct UnsentEdit {
    int effect;
    int column;
    uint8_t value;
};

// Every live value of the store that differs from what the link last read from or wrote to
// the unit, effect by effect, column by column.
std::vector<UnsentEdit> unsentEdits(const Program& program);

// Sends what the unit missed while it was away, and no more: the unsent values, the
// editor's effect and switch where the unit has others. Returns how many of these were sent.
int sendUnsentEdits(Program& program);
// What the status bar says after the unit came back and that many edits were sent.
std::string reconnectedText(int sent);

// Follows the serial ports coming and going and what that means for the unit: a unit that
// goes is waited for, one that appears is offered (or connected, with connectAutomatically),
// and the unit that comes back after a loss is reconnected with the edits it missed.
// The window layer tells it the ports on every device event and poll; only ports that are
// new (or now another device) are probed, one exchange each; while the unit is awaited, a
// new port that opens but stays silent is probed again on the next few looks, as a unit
// just plugged in may take a moment before it answers.
class PortWatch {
public:
    explicit PortWatch(Program& program) : program_(program) {}

    // The ports the system has now. The first call only takes note: start-up has just
    // searched them all.
    void portsNow(const std::vector<PortSeen>& ports);
    // The unit's open port failed between exchanges.
    void unitLost();
    // The status bar's Connect: connects to the unit offered there.
    bool connectOffered();

private:
    bool wantsUnit() const;
    // Connects to the unit on the port (one probe), reads it if it is new or another, sends
    // the edits it missed if it is the one that went away.
    bool connect(const std::string& path);
    // Whether the port opens at all (a port that appeared may not be ready for a moment).
    bool opens(const std::string& path);

    Program& program_;
    std::map<std::string, std::string> known_; // path -> device
    std::map<std::string, int> silentProbes_;  // path -> probes unanswered since it appeared
    bool seeded_ = false;
};

} // namespace qrv
