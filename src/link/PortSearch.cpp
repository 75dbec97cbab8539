#include "PortSearch.hpp"

#include "LongOperation.hpp"
#include "UnitCheck.hpp"

#include <cstdlib>
#include <exception>
#include <filesystem>
#include <tuple>

namespace qrv {

void endWithUsbProblem(Host& host)
{
    host.message(kUsbProblemText, kUsbProblemTitle, Icon::Critical);
    host.setExitStatus(kFailureExitStatus);
    host.endProgram();
    std::abort(); // endProgram does not return; the compiler cannot see that through the interface
}

PortResolver comPorts()
{
    return [](int number) -> std::optional<std::string> {
        if (number < kFirstPortNumber || number > kLastPortNumber)
            return std::nullopt;
        return "COM" + std::to_string(number);
    };
}

PortSearch::PortSearch(ProgramState& state, DeviceLink& link, Host& host, PortResolver resolver)
    : state_(state), link_(link), host_(host), resolver_(std::move(resolver))
{
}

void PortSearch::OpenPort()
{
    Transport& port = link_.port();
    bool opened = false;
    try {
        if (port.isOpen())
            port.close();
        if (const auto name = resolver_(state_.PortNumber)) {
            port.open(*name);
            opened = true;
        }
    } catch (const PortError& error) {
        opened = false;
        if (!error.advice().empty())
            state_.portAdvice = error.advice();
    }
    state_.PortOk = opened;
    state_.LinkUp = opened;
}

bool PortSearch::probe()
{
    try {
        link_.rearm(10);
    } catch (const PortError&) {
        // The port went away between opening and probing: nobody answers there.
        return false;
    }
    return link_.ProbeDevice(Cmd::Probe);
}

bool PortSearch::searchNumbers(int skipped, bool leaveDemoMode)
{
    LongOperation operation(link_, host_, kSearchProgressTitle, kLastPortNumber - kFirstPortNumber + 1, true,
                            LongOperation::Steps::Counted);
    for (int number = kFirstPortNumber; number <= kLastPortNumber; ++number) {
        operation.step(number - kFirstPortNumber);
        // Cancel is as if no port had answered: the demo-mode question or message follows.
        if (operation.cancelled())
            return false;
        if (number == skipped)
            continue;
        state_.PortNumber = static_cast<int16_t>(number);
        OpenPort();
        if (!state_.PortOk)
            continue;
        if (leaveDemoMode)
            state_.DemoMode = false;
        if (probe()) {
            state_.LinkUp = true;
            return true;
        }
    }
    return false;
}

namespace {

// Marks the state as searching for as long as it lives.
class SearchingMark {
public:
    explicit SearchingMark(ProgramState& state) : state_(state), before_(state.searching) { state_.searching = true; }
    ~SearchingMark() { state_.searching = before_; }
    SearchingMark(const SearchingMark&) = delete;
    SearchingMark& operator=(const SearchingMark&) = delete;

private:
    ProgramState& state_;
    bool before_;
};

} // namespace

void PortSearch::rereadPorts()
{
    state_.portAdvice.clear();
    if (rereadPorts_)
        rereadPorts_();
}

bool PortSearch::FindDevice()
{
    const SearchingMark mark(state_);
    state_.awaitingUnit = false;
    state_.unitOffer.clear();
    try {
        rereadPorts();
        OpenPort();
        if (state_.PortOk) {
            state_.DemoMode = false;
            if (probe())
                return unitFound();
            state_.PortOk = false;
            return false;
        }
        if (searchNumbers(state_.PortNumber, true)) {
            state_.DemoMode = false;
            return unitFound();
        }
        host_.message(kPortNotFoundText, kUsbProblemTitle, Icon::Critical);
        state_.DemoMode = true;
        return false;
    } catch (const std::exception&) {
        endWithUsbProblem(host_);
    }
}

bool PortSearch::findAfterLoss()
{
    if (state_.DemoMode)
        return false;
    const SearchingMark mark(state_);
    rereadPorts();
    OpenPort();
    if (state_.PortOk && probe())
        return unitFound();
    // A port that opened but stays silent is no unit either: the watch waits for one.
    if (link_.port().isOpen())
        link_.port().close();
    state_.PortOk = false;
    state_.awaitingUnit = true;
    return false;
}

PortSearch::Probe PortSearch::probeOnly(int number)
{
    const SearchingMark mark(state_);
    const ProgramState& s = state_;
    const auto kept = std::make_tuple(s.PortNumber, s.PortOk, s.LinkUp, s.DemoMode, s.awaitingUnit, s.portAdvice);
    state_.PortNumber = static_cast<int16_t>(number);
    state_.DemoMode = false;
    state_.awaitingUnit = false;
    OpenPort();
    const bool opened = state_.PortOk;
    const bool answered = opened && probe();
    if (link_.port().isOpen())
        link_.port().close();
    std::tie(state_.PortNumber, state_.PortOk, state_.LinkUp, state_.DemoMode, state_.awaitingUnit,
             state_.portAdvice) = kept;
    if (answered)
        return Probe::Answered;
    return opened ? Probe::Silent : Probe::Unopenable;
}

bool PortSearch::connectAt(int number)
{
    const SearchingMark mark(state_);
    const int16_t previous = state_.PortNumber;
    const bool demo = state_.DemoMode;
    const bool awaiting = state_.awaitingUnit;
    state_.PortNumber = static_cast<int16_t>(number);
    state_.DemoMode = false;
    state_.awaitingUnit = false;
    OpenPort();
    if (state_.PortOk && probe()) {
        state_.unitOffer.clear();
        state_.portAdvice.clear();
        return unitFound();
    }
    if (link_.port().isOpen())
        link_.port().close();
    state_.PortNumber = previous;
    state_.PortOk = false;
    state_.LinkUp = true;
    state_.DemoMode = demo;
    state_.awaitingUnit = awaiting;
    return false;
}

bool PortSearch::connectAtStartUp(const std::function<void()>& beforeSearch)
{
    const SearchingMark mark(state_);
    rereadPorts();
    state_.LinkUp = true;
    OpenPort();
    if (state_.PortOk && !probe())
        state_.PortOk = false;
    if (state_.PortOk)
        return true;
    if (beforeSearch)
        beforeSearch();
    return searchNumbers(state_.PortNumber, false);
}

std::optional<int> PortSearch::numberOf(const std::string& device) const
{
    namespace fs = std::filesystem;
    for (int number = kFirstPortNumber; number <= kLastPortNumber; ++number) {
        const auto name = resolver_(number);
        std::error_code error;
        if (name && (*name == device || fs::equivalent(*name, device, error)))
            return number;
    }
    return std::nullopt;
}

std::string PortSearch::stableName() const
{
    namespace fs = std::filesystem;
    const std::string name = link_.port().portName();
    std::error_code error;
    for (fs::directory_iterator it("/dev/serial/by-id", error), end; !error && it != end; it.increment(error)) {
        std::error_code same;
        if (fs::equivalent(it->path(), name, same))
            return it->path().string();
    }
    return name;
}

bool PortSearch::unitFound()
{
    // A unit still unread after an earlier change needs reading whatever it shows now.
    if (state_.unitChanged) {
        state_.readAgainPending = true;
        return true;
    }
    state_.unitDifference = checkUnit(link_);
    state_.unitChanged = state_.readAgainPending = state_.unitDifference.any();
    return true;
}

void PortSearch::reopenPort()
{
    Transport& port = link_.port();
    try {
        if (port.isOpen())
            port.close();
        if (const auto name = resolver_(state_.PortNumber))
            port.open(*name);
    } catch (const PortError&) {
        // A port that cannot be opened again stays closed; the next exchange finds out.
        return;
    }
    // Another unit may have been plugged into the same port meanwhile.
    if (link_.sendingAllowed()) {
        const SearchingMark mark(state_);
        unitFound();
    }
}

} // namespace qrv
