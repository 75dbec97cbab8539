#include "SerialTransport.hpp"

#include <QEventLoop>
#include <QSerialPort>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <cmath>

#include <unistd.h>

namespace qrv {

namespace {

// Long enough for a frame at 4800 baud many times over; a pty takes it at once.
constexpr int kWriteTimeoutMs = 2000;

PortErrorKind kindOf(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
    case QSerialPort::PermissionError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
    case QSerialPort::ResourceError:
    case QSerialPort::NotOpenError:
        return PortErrorKind::Unavailable;
    default:
        return PortErrorKind::Other;
    }
}

int toMilliseconds(double seconds)
{
    if (!(seconds > 0))
        return 0;
    return static_cast<int>(std::min(std::ceil(seconds * 1000.0), static_cast<double>(INT_MAX)));
}

} // namespace

SerialTransport::SerialTransport() : port_(std::make_unique<QSerialPort>())
{
    // An idle port is watched by the event loop: its failure shows at once, not at the next edit.
    QObject::connect(port_.get(), &QSerialPort::errorOccurred, [this](QSerialPort::SerialPortError error) {
        if (lossObserver_ && port_->isOpen() && kindOf(error) == PortErrorKind::Unavailable)
            lossObserver_();
    });
}

bool SerialTransport::lost() const
{
    return heldFailure_.has_value() ||
        (port_->isOpen() && port_->error() != QSerialPort::NoError &&
         kindOf(port_->error()) == PortErrorKind::Unavailable);
}

SerialTransport::~SerialTransport() = default;

void SerialTransport::open(const std::string& portName)
{
    if (port_->isOpen())
        port_->close();
    heldFailure_.reset();
    name_ = portName;
    port_->setPortName(QString::fromStdString(portName));
    port_->setBaudRate(QSerialPort::Baud4800);
    port_->setDataBits(QSerialPort::Data8);
    port_->setParity(QSerialPort::NoParity);
    port_->setStopBits(QSerialPort::OneStop);
    port_->setFlowControl(QSerialPort::NoFlowControl);
    if (!port_->open(QIODevice::ReadWrite)) {
        const auto error = port_->error();
        const std::string text = port_->errorString().toStdString();
        port_->clearError();
        std::string advice;
        if (error == QSerialPort::PermissionError)
            advice = ::access(portName.c_str(), R_OK | W_OK) == 0
                ? portName + " is in use by another program: close it and try again"
                : portName +
                    " may not be opened by you: join the dialout group (sudo adduser $USER dialout), "
                    "log in again and try again";
        throw PortError(kindOf(error), portName + ": " + text, advice);
    }
}

void SerialTransport::close()
{
    heldFailure_.reset();
    if (port_->isOpen())
        port_->close();
    port_->clearError();
}

bool SerialTransport::isOpen() const
{
    return port_->isOpen();
}

std::size_t SerialTransport::buffered() const
{
    return static_cast<std::size_t>(port_->bytesAvailable());
}

void SerialTransport::requireOpen() const
{
    if (!port_->isOpen())
        throw PortError(PortErrorKind::Unavailable, name_ + ": port not open");
}

void SerialTransport::raiseHeldFailure()
{
    if (!heldFailure_)
        return;
    const PortError failure = *heldFailure_;
    close();
    throw failure;
}

void SerialTransport::check(const char* operation)
{
    const auto error = port_->error();
    if (error == QSerialPort::NoError)
        return;
    if (error == QSerialPort::TimeoutError) {
        port_->clearError();
        return;
    }
    PortError failure(kindOf(error), name_ + ": " + operation + ": " + port_->errorString().toStdString());
    port_->clearError();
    if (failure.kind() != PortErrorKind::Unavailable)
        throw failure;
    // A far end that answers and then hangs up has still answered: hand out the reply first.
    heldFailure_ = failure;
    if (buffered() == 0)
        raiseHeldFailure();
}

void SerialTransport::write(std::span<const uint8_t> bytes)
{
    requireOpen();
    raiseHeldFailure();
    const auto written = port_->write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    check("write");
    if (written != static_cast<qint64>(bytes.size()))
        throw PortError(PortErrorKind::Other, name_ + ": write: bytes not taken");
    // Until this runs the bytes only sit in the port's buffer.
    while (port_->bytesToWrite() > 0) {
        const bool progressed = port_->waitForBytesWritten(kWriteTimeoutMs);
        check("write");
        raiseHeldFailure();
        if (!progressed)
            throw PortError(PortErrorKind::Other, name_ + ": write: timed out");
    }
}

std::size_t SerialTransport::bytesAvailable()
{
    requireOpen();
    if (!heldFailure_) {
        // The count only grows inside a wait; a zero wait takes in what has arrived.
        port_->waitForReadyRead(0);
        check("read");
    }
    if (buffered() == 0)
        raiseHeldFailure();
    return buffered();
}

std::vector<uint8_t> SerialTransport::read(std::size_t max)
{
    requireOpen();
    const std::size_t wanted = std::min(max, readLength_);
    if (!heldFailure_ && buffered() < wanted) {
        port_->waitForReadyRead(0);
        check("read");
    }
    const QByteArray bytes = port_->read(static_cast<qint64>(wanted));
    return {bytes.begin(), bytes.end()};
}

void SerialTransport::clearInput()
{
    requireOpen();
    if (heldFailure_) {
        port_->readAll();
        return;
    }
    port_->clear(QSerialPort::Input);
    check("clear");
}

bool SerialTransport::waitForData(double seconds)
{
    requireOpen();
    // Nothing more can come from a lost port.
    raiseHeldFailure();
    // A local loop rather than a blocking wait: the window paints and answers while the unit replies.
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(port_.get(), &QSerialPort::readyRead, &loop, &QEventLoop::quit);
    QObject::connect(port_.get(), &QSerialPort::errorOccurred, &loop, &QEventLoop::quit);
    deadline.start(toMilliseconds(seconds));
    if (waitObserver_)
        waitObserver_(true);
    loop.exec();
    if (waitObserver_)
        waitObserver_(false);
    check("read");
    return buffered() > 0;
}

} // namespace qrv
