#pragma once

#include "Clock.hpp"
#include "Frame.hpp"
#include "Transport.hpp"
#include "UnitMirror.hpp"

#include "state/Host.hpp"
#include "state/ProgramState.hpp"

#include <functional>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace qrv {

// Attempt time-outs in seconds: the measures 0.11 × 1/3000, 0.1 × 1/3000 and
// 0.21 × 1/2000 of a day.
inline constexpr double kCommandTimeout = 3.168;
inline constexpr double kProbeTimeout = 2.88;
inline constexpr double kBlockTimeout = 9.072;
inline constexpr int kMaxResends = 5;
// After a time-out or a reply that does not look like one, the line must stay this long
// without a byte before the next request goes out; a line that keeps talking is flushed
// anyway after the limit. That many exchanges after trouble keep waiting for quiet.
inline constexpr double kQuietGap = 0.025;
// A block or name reply carries no framing: it counts only when the line stays quiet this long
// after its last byte. The rest of a reply shifted by stray bytes follows within one byte time
// (1/480 s at 4800 baud); two leave room for jitter and keep the start-up near the wire's time.
inline constexpr double kReplyGap = 2.0 / 480.0;
inline constexpr double kSettleLimit = 2.0;
inline constexpr int kCautiousExchanges = 16;

// Said instead of "Time out" when whole replies kept coming but none could be trusted.
inline constexpr const char* kDamagedRepliesText =
    "The QRV5173 answers, but its replies arrive damaged: check the cable";

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
    const std::function<void()>& exchangeObserver() const { return exchangeObserver_; }
    // Tells whether a reply's bytes can be what the unit holds (a parameter within its column's
    // range, a printable name); an implausible reply is asked for again and taken only when the
    // unit gives the same answer twice.
    using ReplyCheck = std::function<bool(const Frame& request, std::span<const uint8_t> reply)>;
    void setReplyCheck(ReplyCheck check) { replyCheck_ = std::move(check); }
    // What the exchanges so far have shown of the unit's memory.
    const UnitMirror& mirror() const { return mirror_; }
    void forgetUnit() { mirror_.forget(); }
    // What was seen of these bytes no longer counts (a block that proved to be another effect's
    // row, bytes about to be read afresh).
    void forgetBytes(uint16_t first, int count) { mirror_.forget(first, count); }
    // While set, a byte write (0x11) or parameter set (0x20) of a value the exchanges have shown
    // the unit to hold already is not sent; it counts as done.
    void setSkipHeldWrites(bool skip) { skipHeldWrites_ = skip; }
    // While set, a one-byte read (0x10) of a byte the exchanges have shown is answered from them.
    void setAnswerHeldReads(bool answer) { answerHeldReads_ = answer; }

    // True when a reply was taken; false when nothing could be sent or the port failed.
    bool SendCommand(uint8_t p0, uint8_t p1 = 0, uint8_t p2 = 0, uint8_t p3 = 0, uint8_t p4 = 0, uint8_t p5 = 0,
                     uint8_t p6 = 0);
    // SendCommand for a user's edit: when its send finds the port gone and the search finds
    // the unit again, the edit goes out once more so that the unit holds what the editor shows.
    bool sendEdit(uint8_t p0, uint8_t p1 = 0, uint8_t p2 = 0, uint8_t p3 = 0, uint8_t p4 = 0, uint8_t p5 = 0,
                  uint8_t p6 = 0);
    bool ProbeDevice(uint8_t p0 = 0, uint8_t p1 = 0, uint8_t p2 = 0, uint8_t p3 = 0, uint8_t p4 = 0, uint8_t p5 = 0,
                     uint8_t p6 = 0);
    bool ReadBlock32(uint8_t p0, uint8_t p1, uint8_t p2, uint8_t p3, uint8_t p4, uint8_t p5, uint8_t p6);
    bool ReadBlock8(uint8_t p0, uint8_t p1, uint8_t p2, uint8_t p3, uint8_t p4, uint8_t p5, uint8_t p6);
    // One attempt at a 32-byte block with a time-out of its own, for asking whether the unit
    // knows a request at all: false without a whole reply, and nothing ends the program.
    bool tryReadBlock32(uint8_t p0, uint8_t p6, double timeout);
    // Re-arms the port for n-byte replies: close, set the input length, open again. A port
    // that does not open again takes the device search like any lost port; nothing happens
    // while sending is off.
    void ArmPort(std::size_t n);
    // ArmPort for the search itself: a failure is thrown, not searched for.
    void rearm(std::size_t n);
    void SplitToBytes(double value, int start);

    // Conveniences over SendCommand for the memory commands.
    uint8_t readByte(uint16_t address);
    // The byte read, or nothing when no reply was taken.
    std::optional<uint8_t> tryReadByte(uint16_t address);
    bool writeByte(uint16_t address, uint8_t value);
    void sendParameter(int column, uint8_t value)
    {
        sendEdit(Cmd::SetParameter, static_cast<uint8_t>(column), 0, 0, 0, 0, value);
    }
    bool sendingAllowed() const { return !state_.DemoMode && state_.LinkUp && !state_.awaitingUnit; }

    Transport& port() { return port_; }
    const Transport& port() const { return port_; }
    const ProgramState& state() const { return state_; }

private:
    using FramingBytes = std::pair<uint8_t, uint8_t>;
    using Answers = std::vector<std::vector<uint8_t>>;
    // TakenAfterNoise: a write's reply with bytes after it; the unit executed the write, but
    // whether it took the value intended is read back.
    enum class Verdict { Taken, TakenAfterNoise, Doubt };

    // Sends the frame until a reply of n bytes is taken; the sixth attempt without one ends the
    // program, after one probe when the unit kept answering in another framing.
    void transact(const Frame& frame, std::size_t n, double timeout);
    bool awaitReply(std::size_t n, double timeout);
    // Takes an n-byte reply that arrived whole and alone, shows the unit's framing and can be
    // what the unit holds. `odd` keeps the doubtful answers of the exchange until the unit
    // repeats one; a damaged reply between two alike does not make them count less.
    Verdict judgeReply(const Frame& frame, std::size_t n, Answers& odd);
    // False when more bytes follow the n-th within kReplyGap.
    bool aloneAfter(std::size_t n);
    // Everything that arrives until the line has been quiet for kReplyGap.
    std::vector<uint8_t> collectUntilQuiet();
    // Whether the unit gave this doubtful answer the last time too (then it is logged and
    // taken); otherwise it is kept for the next attempt.
    bool repeated(Answers& odd, const std::vector<uint8_t>& seen, const Frame& frame,
                  const char* what);
    // A ten-byte reply's first and last bytes must be the unit's; the framing is trusted once
    // two replies showed it, so one damaged reply (the probe's too) cannot set it, and damage
    // on every other reply cannot keep it from being learnt.
    bool framingHolds(const std::vector<uint8_t>& bytes);
    void learnFramingAfresh(std::optional<FramingBytes> shownByProbe);
    // After a write whose reply was followed by stray bytes: true when the unit holds the value.
    bool writeHeld(const Frame& write);
    // The unit byte a write sets, when the frame and what is known of the unit tell it.
    std::optional<uint16_t> writtenAddress(const Frame& write) const;
    void take(const Frame& frame, const std::vector<uint8_t>& bytes);
    // Drops what is waiting and waits until the line has been quiet for kQuietGap.
    void settle();
    void showRetry(int attempt);
    bool blockRead(const Frame& frame, std::size_t n);
    bool unitHolds(const Frame& frame) const;
    // The unavailable-port path: sending stops and the device search runs (not from
    // inside a search). Returns whether the search found the unit.
    bool portLost();

    ProgramState& state_;
    Transport& port_;
    Clock& clock_;
    Host& host_;
    std::function<bool()> deviceSearch_;
    std::function<void()> exchangeObserver_;
    int portFailures_ = 0;
    bool lastSearchFound_ = false;
    ReplyCheck replyCheck_;
    UnitMirror mirror_;
    std::optional<FramingBytes> framing_;    // shown by two replies
    std::vector<FramingBytes> shownFramings_; // shown once each since the framing was last learnt
    int caution_ = 0;
    bool skipHeldWrites_ = false;
    bool answerHeldReads_ = false;
};

} // namespace qrv
