#pragma once

#include "DeviceLink.hpp"

#include <algorithm>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qrv {

// A value the line may have damaged counts once it was read at least two times more often
// than any other value: two agreeing reads when nothing disagrees. So that a damage repeated by
// chance cannot decide, a disagreement takes two more agreeing reads. At most this many reads
// more, the attempts of one exchange, before the value counts as unconfirmable.
inline constexpr int kConfirmReads = kMaxResends + 1;

enum class Confirm { Agreed, Unconfirmed, Failed };

template <class T> struct Confirmed {
    Confirm outcome = Confirm::Failed;
    T value{};
};

// Reads until one value leads; `seen` holds what earlier passes read (or what was written, which
// a read-back that agrees with it confirms). Failed when a read took no reply.
template <class T, class Read> Confirmed<T> readUntilAgreed(Read&& read, std::vector<T> seen = {})
{
    const auto leader = [&seen]() -> std::optional<T> {
        std::optional<T> best;
        long most = 0;
        long runnerUp = 0;
        for (const T& value : seen) {
            const long n = std::count(seen.begin(), seen.end(), value);
            if (best && value == *best)
                continue;
            if (n > most) {
                runnerUp = most;
                most = n;
                best = value;
            } else if (n > runnerUp) {
                runnerUp = n;
            }
        }
        if (most - runnerUp >= 2)
            return best;
        return std::nullopt;
    };
    for (int attempt = 0;; ++attempt) {
        if (const auto agreed = leader())
            return {Confirm::Agreed, *agreed};
        if (attempt == kConfirmReads)
            return {Confirm::Unconfirmed, {}};
        const std::optional<T> value = read();
        if (!value)
            return {};
        seen.push_back(*value);
    }
}

// One read of the switch, and of an effect's live row as a block (0x1E, selecting nothing);
// nothing when no reply was taken.
std::optional<uint8_t> readSwitch(DeviceLink& link);
std::optional<std::array<uint8_t, kDeviceColumns>> readLiveBlock(DeviceLink& link, uint8_t effect);

// What tells one unit, or one power-up of a unit, from another: its current effect, the
// switch and that effect's live row; the full look adds the effect's directory.
struct Fingerprint {
    uint8_t effect = 0;
    uint8_t effectSwitch = 0;
    std::array<uint8_t, kDeviceColumns> live{};
    std::optional<std::array<uint8_t, kSlotCount>> directory;
    bool operator==(const Fingerprint&) const = default;
};

enum class FingerprintDepth { Quick, Full };

// Exchanges of a fingerprint whose reads all agree at once: each part read twice.
inline constexpr int kQuickFingerprintExchanges = 2 * 3;
inline constexpr int kFullFingerprintExchanges = kQuickFingerprintExchanges + 2 * kSlotCount;

// Each part read until one value leads, so that a damaged reply cannot pass for another unit.
// `stop`, asked before each read, ends it as Failed.
Confirmed<Fingerprint> readFingerprint(DeviceLink& link, FingerprintDepth depth, const std::function<bool()>& stop = {});

// Reads the telling bytes again and tells whether they are still those read at the start.
Confirm stillTheUnit(DeviceLink& link, const Fingerprint& then, FingerprintDepth depth, bool& same);

// Whether the unit still shows what the exchanges so far (reads and writes) say of it.
bool mirrorShows(const UnitMirror& mirror, const Fingerprint& now);

// What failed an operation whose reads of `what` never agreed.
inline std::string neverAgreed(const std::string& what)
{
    return "the replies for " + what + " never agreed";
}

// Said when the telling bytes changed in the middle of an operation.
inline constexpr const char* kAnotherUnitText =
    "another unit answered (the QRV5173 was restarted or changed during the operation)";

} // namespace qrv
