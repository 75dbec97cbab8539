#pragma once

#include "link/Clock.hpp"
#include "link/Transport.hpp"

#include <algorithm>
#include <deque>
#include <functional>
#include <optional>

namespace qrv::test {

// A transport whose far end is a script: each write may schedule reply bytes to
// arrive after a delay on the manual clock.
class ScriptedTransport final : public Transport {
public:
    struct Reply {
        std::vector<uint8_t> bytes;
        double delay = 0.0;
        std::vector<uint8_t> tail{}; // bytes more, arriving tailDelay after the reply
        double tailDelay = 0.0;
    };
    // Given the frame and its number (0 for the first write), returns the reply, if any.
    using Script = std::function<std::optional<Reply>(const std::vector<uint8_t>&, int)>;

    ScriptedTransport(ManualClock& clock, Script script) : clock_(clock), script_(std::move(script)) {}

    void open(const std::string& name) override
    {
        if (failure)
            throw PortError(*failure, "scripted failure");
        name_ = name;
        open_ = true;
    }
    void close() override { open_ = false; }
    bool isOpen() const override { return open_; }
    std::string portName() const override { return name_; }
    void write(std::span<const uint8_t> bytes) override
    {
        if (failure)
            throw PortError(*failure, "scripted failure");
        writes.emplace_back(bytes.begin(), bytes.end());
        if (auto reply = script_(writes.back(), static_cast<int>(writes.size()) - 1)) {
            schedule({clock_.now() + reply->delay, reply->bytes});
            if (!reply->tail.empty())
                schedule({clock_.now() + reply->delay + reply->tailDelay, reply->tail});
        }
    }
    std::size_t bytesAvailable() override
    {
        deliverDue();
        return input_.size();
    }
    std::vector<uint8_t> read(std::size_t max) override
    {
        deliverDue();
        const std::size_t n = std::min({max, readLength_, input_.size()});
        std::vector<uint8_t> out(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(n));
        input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(n));
        return out;
    }
    void clearInput() override
    {
        deliverDue();
        input_.clear();
    }
    bool waitForData(double seconds) override
    {
        ++waits;
        if (stall > 0) {
            // The window was busy: the wait ends late, the reply having come meanwhile.
            clock_.advance(seconds + stall);
            deliverDue();
            return !input_.empty();
        }
        const double until = clock_.now() + seconds;
        if (!pending_.empty() && pending_.front().at <= until) {
            clock_.advance(std::max(0.0, pending_.front().at - clock_.now()));
            deliverDue();
            return true;
        }
        clock_.advance(seconds);
        return false;
    }
    void setReadLength(std::size_t n) override { readLength_ = n; }

    std::vector<std::vector<uint8_t>> writes;
    std::optional<PortErrorKind> failure;
    int waits = 0;
    double stall = 0.0; // seconds each wait ends late

private:
    struct Arrival {
        double at;
        std::vector<uint8_t> bytes;
    };
    void schedule(const Arrival& arrival)
    {
        const auto later = std::upper_bound(pending_.begin(), pending_.end(), arrival.at,
                                            [](double at, const Arrival& a) { return at < a.at; });
        pending_.insert(later, arrival);
    }
    void deliverDue()
    {
        while (!pending_.empty() && pending_.front().at <= clock_.now()) {
            input_.insert(input_.end(), pending_.front().bytes.begin(), pending_.front().bytes.end());
            pending_.pop_front();
        }
    }

    ManualClock& clock_;
    Script script_;
    std::deque<Arrival> pending_;
    std::deque<uint8_t> input_;
    std::string name_;
    std::size_t readLength_ = 10;
    bool open_ = false;
};

} // namespace qrv::test
