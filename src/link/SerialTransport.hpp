#pragma once

#include "Transport.hpp"

#include <functional>
#include <memory>
#include <optional>

class QSerialPort;

namespace qrv {

// The real serial port at 4800,N,8,1, raw bytes, no flow control. Needs a
// QCoreApplication. Failures of a missing, unplugged or hung-up port are reported as
// PortErrorKind::Unavailable, so the device search takes over.
class SerialTransport final : public Transport {
public:
    SerialTransport();
    ~SerialTransport() override;

    void open(const std::string& portName) override;
    void close() override;
    bool isOpen() const override;
    std::string portName() const override { return name_; }
    void write(std::span<const uint8_t> bytes) override;
    std::size_t bytesAvailable() override;
    std::vector<uint8_t> read(std::size_t max) override;
    void clearInput() override;
    bool waitForData(double seconds) override;
    void setReadLength(std::size_t n) override { readLength_ = n; }
    // Told when a wait for the unit starts and ends: the window keeps running meanwhile.
    void setWaitObserver(std::function<void(bool waiting)> observer) { waitObserver_ = std::move(observer); }
    // Told when the open port fails between exchanges (the unit unplugged while idle).
    void setLossObserver(std::function<void()> observer) { lossObserver_ = std::move(observer); }
    // The open port has failed and nothing more can come from it.
    bool lost() const;

private:
    void requireOpen() const;
    // Throws for a pending error; a time-out of a wait is not one and is cleared. A lost
    // port with bytes still buffered is held back until those bytes have been read.
    void check(const char* operation);
    void raiseHeldFailure();
    std::size_t buffered() const;

    std::unique_ptr<QSerialPort> port_;
    std::optional<PortError> heldFailure_;
    std::string name_;
    std::size_t readLength_ = 10;
    std::function<void(bool)> waitObserver_;
    std::function<void()> lossObserver_;
};

} // namespace qrv
