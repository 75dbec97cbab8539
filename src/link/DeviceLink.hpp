#pragma once

#include "Clock.hpp"
#include "Frame.hpp"
#include "Transport.hpp"

#include "state/Host.hpp"
#include "state/ProgramState.hpp"

#include <functional>

namespace qrv {

// Attempt time-outs in seconds: the measures 0.11 × 1/3000, 0.1 × 1/3000 and
// 0.21 × 1/2000 of a day.
inline constexpr double kCommandTimeout = 3.168;
inline constexpr double kProbeTimeout = 2.88;
inline constexpr double kBlockTimeout = 9.072;
inline constexpr int kMaxResends = 5;

// The request/reply transactions with the processor. Every exchange is one frame and
// one fixed-length reply; nothing is queued.
class DeviceLink {
public:
    DeviceLink(ProgramState& state, Transport& port, Clock& clock, Host& host);

    // Runs after a port failure of the unavailable kind, with LinkUp already lowered;
    // returns whether a device answered again.
    void setDeviceSearch(std::function<bool()> search) { deviceSearch_ = std::move(search); }
    // How many unavailable-port failures the link has met, and whether the search after
    // the last one found the device: long procedures use them to start over.
    int portFailures() const { return portFailures_; }
    bool lastSearchFound() const { return lastSearchFound_; }
    // Runs after every complete reply: long procedures show their progress with it.
    void setExchangeObserver(std::function<void()> observer) { exchangeObserver_ = std::move(observer); }

    void SendCommand(uint8_t p0, uint8_t p1 = 0, uint8_t p2 = 0, uint8_t p3 = 0, uint8_t p4 = 0, uint8_t p5 = 0,
                     uint8_t p6 = 0);
    bool ProbeDevice(uint8_t p0 = 0, uint8_t p1 = 0, uint8_t p2 = 0, uint8_t p3 = 0, uint8_t p4 = 0, uint8_t p5 = 0,
                     uint8_t p6 = 0);
    bool ReadBlock32(uint8_t p0, uint8_t p1, uint8_t p2, uint8_t p3, uint8_t p4, uint8_t p5, uint8_t p6);
    bool ReadBlock8(uint8_t p0, uint8_t p1, uint8_t p2, uint8_t p3, uint8_t p4, uint8_t p5, uint8_t p6);
    // Re-arms the port for n-byte replies: close, set the input length, open again.
    void ArmPort(std::size_t n);
    void SplitToBytes(double value, int start);

    // Conveniences over SendCommand for the memory commands.
    uint8_t readByte(uint16_t address);
    void writeByte(uint16_t address, uint8_t value);
    void sendParameter(int column, uint8_t value)
    {
        SendCommand(Cmd::SetParameter, static_cast<uint8_t>(column), 0, 0, 0, 0, value);
    }

    Transport& port() { return port_; }

private:
    // Sends the frame until a reply of n bytes arrives; the sixth silent attempt ends the program.
    void transact(const Frame& frame, std::size_t n, double timeout);
    bool awaitReply(std::size_t n, double timeout);
    void takeReply(std::size_t n);
    bool sendingAllowed() const { return !state_.DemoMode && state_.LinkUp; }
    bool blockRead(const Frame& frame, std::size_t n);

    ProgramState& state_;
    Transport& port_;
    Clock& clock_;
    Host& host_;
    std::function<bool()> deviceSearch_;
    std::function<void()> exchangeObserver_;
    int portFailures_ = 0;
    bool lastSearchFound_ = false;
};

} // namespace qrv
