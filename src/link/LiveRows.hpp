#pragma once

#include "DeviceLink.hpp"

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace qrv {

using LiveRow = std::array<uint8_t, kDeviceColumns>;
using LiveRowTable = std::array<LiveRow, kEffectCount>;

// How long the unit gets to show it answers a block read for another effect at all.
inline constexpr double kBlockProbeTimeout = 1.0;
// Blocks that look right are spot-checked with this many one-byte reads per operation.
inline constexpr int kSpotChecks = 3;

enum class LiveRead { Done, Refused, Stopped };

// Reads the live rows of `effects` (in that order) into `rows`; `columns(e)` is how many leading
// columns of effect e must be right. With a unit whose block read (0x1E) has held, one block per
// effect, checked against one-byte reads of columns whose values tell the effects apart; a block
// that repeats the current effect's row is read byte by byte. A check that fails, or a unit that
// does not answer the block for another effect, turns the session to one-byte reads (logged).
// Those follow only with `bytesIfRefused`; otherwise the answer is Refused and the caller goes
// its own way. The exact order is the caller's to keep. Stopped when a read took no reply or `stop` said so.
// `currentRow`, when the caller holds the current effect's row and does not ask for it, is what
// the blocks of the others are measured against instead of a fresh block.
LiveRead readLiveRows(DeviceLink& link, ProgramState& state, Host& host, const std::vector<int>& effects,
                      const std::function<int(int)>& columns, LiveRowTable& rows, const std::function<bool()>& stop,
                      bool bytesIfRefused, const LiveRow* currentRow = nullptr);
// Whether the session may try block reads at all: not in the exact order, nor once refused.
bool blockReadsUsable(const ProgramState& state);

// Exchanges readLiveRows makes for `effects` when the blocks hold.
int liveRowExchanges(const ProgramState& state, const std::vector<int>& effects,
                     const std::function<int(int)>& columns);

// Sets one of the link's switches for as long as it lives.
template <void (DeviceLink::*Set)(bool)> class LinkSwitch {
public:
    explicit LinkSwitch(DeviceLink& link, bool on = true) : link_(link) { (link_.*Set)(on); }
    ~LinkSwitch() { (link_.*Set)(false); }
    LinkSwitch(const LinkSwitch&) = delete;
    LinkSwitch& operator=(const LinkSwitch&) = delete;

private:
    DeviceLink& link_;
};
// Writes of values the unit was just shown to hold are not sent.
using SkipHeldWrites = LinkSwitch<&DeviceLink::setSkipHeldWrites>;
// One-byte reads of bytes the exchanges have already shown take no exchange.
using AnswerHeldReads = LinkSwitch<&DeviceLink::setAnswerHeldReads>;

} // namespace qrv
