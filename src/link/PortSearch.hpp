#pragma once

#include "DeviceLink.hpp"

#include "state/Host.hpp"
#include "state/ProgramState.hpp"

#include <functional>
#include <optional>
#include <string>

namespace qrv {

inline constexpr int kFirstPortNumber = 1;
inline constexpr int kLastPortNumber = 35;

// The endings and warnings of the link, word for word.
inline constexpr const char* kUsbProblemText = "Found a problem with usb connection, the sw will be close";
inline constexpr const char* kUsbProblemTitle = "USB virtual COM Port communication problem";
inline constexpr const char* kSearchProgressTitle = "Searching for the QRV5173";
inline constexpr const char* kPortNotFoundText =
    "USB virtual COM Port cant be found, and Software will turn to DEMO MODE. If you want control again the "
    "device, please check the USB connect, and try to Reconnect.";

// Shows the unexpected-failure box and ends the program.
[[noreturn]] void endWithUsbProblem(Host& host);

// The device name behind a port number, or nothing when the number has no device.
using PortResolver = std::function<std::optional<std::string>(int)>;

// COM1 to COM35: the names the ports have on Windows, and the names every loopback port accepts.
PortResolver comPorts();

// Opens numbered ports and finds the one a QRV5173 answers on. Works on the link flags
// PortNumber, PortOk, LinkUp and DemoMode of the program state.
class PortSearch {
public:
    PortSearch(ProgramState& state, DeviceLink& link, Host& host, PortResolver resolver);

    // Opens port PortNumber afresh; PortOk and LinkUp tell whether that worked. Silent.
    void OpenPort();
    // Arms the open port for ten-byte replies and sends the probe; true when a QRV5173 answered.
    bool probe();
    // The device search after a port failure and for the "  ReConnect" button. Tries the
    // current port alone when it opens, else every other number; enters demo mode with a
    // message when nothing answers. An unexpected failure ends the program.
    bool FindDevice();
    // The search after a port failure met by an exchange: the current port alone, quietly.
    // When the unit does not answer there the editor waits for it (awaitingUnit): edits go
    // on and are kept, nothing is sent, and no box interrupts the user.
    bool findAfterLoss();
    enum class Probe { Answered, Silent, Unopenable };
    // Tries one port for a unit without connecting: the mode flags stay as they were and
    // the port is closed again.
    Probe probeOnly(int number);
    // Connects to the unit on that port: opens and probes it, leaves demo mode or the wait,
    // and checks whether the unit is the one the editor read. False leaves the flags as they
    // were, the port closed.
    bool connectAt(int number);
    // The start-up connection up to the demo question: the current port, then ports 1 to 35
    // (without the one just tried). beforeSearch runs once, when the search over the numbers
    // begins. True when a device answered; PortNumber then names its port.
    bool connectAtStartUp(const std::function<void()>& beforeSearch);
    // The "ReConnect" button: closes the port when it is open and opens it again with the
    // same number and settings. Flags and demo mode stay as they are; nothing is sent.
    void reopenPort();
    // The number whose device is the given one (the same path, or a link to the same
    // device); nothing when no number leads there.
    std::optional<int> numberOf(const std::string& device) const;
    // The device name of the port in use, as a link that stays the same when the unit is
    // plugged in again (/dev/serial/by-id/...) where the system has one.
    std::string stableName() const;
    // Runs before every search so that ports that appeared since are found.
    void setPortListReread(std::function<void()> reread) { rereadPorts_ = std::move(reread); }

private:
    void rereadPorts();
    // A unit answered again: whether it is the one the editor read decides whether the
    // editor's copy of it still holds.
    bool unitFound();
    // Tries every number but the skipped one; stops at the first that answers the probe.
    bool searchNumbers(int skipped, bool leaveDemoMode);

    ProgramState& state_;
    DeviceLink& link_;
    Host& host_;
    PortResolver resolver_;
    std::function<void()> rereadPorts_;
};

} // namespace qrv
