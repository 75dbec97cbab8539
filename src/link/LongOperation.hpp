#pragma once

#include "DeviceLink.hpp"

#include <functional>
#include <string>

namespace qrv {

// A long run of exchanges, announced to the host for as long as it lives: every complete
// reply is one step, and the host shows how far it is with the time left. A cancellable
// operation reads cancelled() between its exchanges and stops where that is safe.
class LongOperation {
public:
    enum class Steps { Replies, Counted };
    LongOperation(DeviceLink& link, Host& host, const std::string& title, int steps, bool cancellable = false,
                  Steps counting = Steps::Replies);
    ~LongOperation();
    LongOperation(const LongOperation&) = delete;
    LongOperation& operator=(const LongOperation&) = delete;

    bool cancelled() const { return host_.cancelRequested(); }
    // For operations whose steps are not replies (the port search).
    void step(int done);
    // Once an operation knows how many exchanges are left. The total only comes down, and
    // exchanges past it (retries) take it up with them, so that the bar never goes back.
    void expectMore(int steps);
    // Done: the bar ends full, however many exchanges the estimate held.
    void complete();

private:
    DeviceLink& link_;
    Host& host_;
    std::function<void()> previousObserver_;
    int total_;
    int done_ = 0;
};

} // namespace qrv
