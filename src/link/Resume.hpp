#pragma once

#include "DeviceLink.hpp"

#include <type_traits>

namespace qrv {

// Tells a step whether the link has met a port failure since the step began, so that
// a long run of exchanges can stop at once instead of finishing in vain.
class FailureWatch {
public:
    explicit FailureWatch(const DeviceLink& link) : link_(link), start_(link.portFailures()) {}
    bool failed() const { return link_.portFailures() != start_; }

private:
    const DeviceLink& link_;
    int start_;
};

// Whether a step may start over on a unit other than the one the editor read: only a step
// that reads everything it relies on afresh.
enum class OtherUnit { Stop, StartOver };

// Runs a step that talks to the device until it gets through without a port failure.
// The link runs the device search on such a failure; when that found the device again
// the step starts over from its beginning. Returns false when the device was not found,
// or when it is another unit and the step relies on what the editor read of the first.
// A step may take the FailureWatch to stop early.
template <class Step>
bool runStartingOverAfterReconnect(DeviceLink& link, Step&& step, OtherUnit otherUnit = OtherUnit::StartOver)
{
    for (;;) {
        const FailureWatch watch(link);
        if constexpr (std::is_invocable_v<Step&, const FailureWatch&>)
            step(watch);
        else
            step();
        if (!watch.failed())
            return true;
        if (!link.lastSearchFound() || (link.state().unitChanged && otherUnit == OtherUnit::Stop))
            return false;
    }
}

} // namespace qrv
