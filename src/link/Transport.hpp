#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace qrv {

// Unavailable covers a port that is missing, unplugged or closed under us: the
// device search follows. Other covers everything else.
enum class PortErrorKind { Unavailable, Other };

class PortError : public std::runtime_error {
public:
    // advice: what the user can do about a port that exists but cannot be opened.
    PortError(PortErrorKind kind, const std::string& what, std::string advice = {})
        : std::runtime_error(what), kind_(kind), advice_(std::move(advice))
    {
    }
    PortErrorKind kind() const { return kind_; }
    const std::string& advice() const { return advice_; }

private:
    PortErrorKind kind_;
    std::string advice_;
};

// A byte pipe to the processor at 4800,N,8,1. Every operation may throw PortError.
class Transport {
public:
    virtual ~Transport() = default;

    virtual void open(const std::string& portName) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual std::string portName() const = 0;
    virtual void write(std::span<const uint8_t> bytes) = 0;
    virtual std::size_t bytesAvailable() = 0;
    // Takes at most min(max, read length) waiting bytes.
    virtual std::vector<uint8_t> read(std::size_t max) = 0;
    virtual void clearInput() = 0;
    // Blocks until input arrives or the time has passed; returns whether input is waiting.
    virtual bool waitForData(double seconds) = 0;
    // The reply length the port is armed for (input buffer size and input length).
    virtual void setReadLength(std::size_t n) = 0;
};

} // namespace qrv
