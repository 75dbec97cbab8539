#pragma once

#include "link/DeviceLink.hpp"

namespace qrv {

// Runs a step that talks to the device until it gets through without a port failure.
// The link runs the device search on such a failure; when that found the device again
// the step starts over from its beginning. Returns false when the device was not found.
template <class Step>
bool runStartingOverAfterReconnect(DeviceLink& link, Step&& step)
{
    for (;;) {
        const int failures = link.portFailures();
        step();
        if (link.portFailures() == failures)
            return true;
        if (!link.lastSearchFound())
            return false;
    }
}

} // namespace qrv
