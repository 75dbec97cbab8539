#include "PortTable.hpp"

#include <QSerialPortInfo>

#include <filesystem>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <set>
#include <sys/stat.h>

namespace qrv {

namespace {

bool isDigit(char c)
{
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// Compares names with runs of digits taken as numbers.
bool naturalLess(const std::string& a, const std::string& b)
{
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            const std::size_t si = i, sj = j;
            while (i < a.size() && isDigit(a[i]))
                ++i;
            while (j < b.size() && isDigit(b[j]))
                ++j;
            std::string_view na(a.data() + si, i - si), nb(b.data() + sj, j - sj);
            while (na.size() > 1 && na.front() == '0')
                na.remove_prefix(1);
            while (nb.size() > 1 && nb.front() == '0')
                nb.remove_prefix(1);
            if (na.size() != nb.size())
                return na.size() < nb.size();
            if (na != nb)
                return na < nb;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

bool looksLikeUsb(const QSerialPortInfo& info)
{
    const QString name = info.portName();
    return info.hasVendorIdentifier() || name.startsWith("ttyUSB") || name.startsWith("ttyACM");
}

std::vector<SystemPort> systemPorts()
{
    std::vector<SystemPort> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        ports.push_back({info.systemLocation().toStdString(), looksLikeUsb(info)});
    return ports;
}

} // namespace

std::vector<std::string> splitPortList(std::string_view list)
{
    std::vector<std::string> paths;
    while (!list.empty()) {
        const std::size_t colon = list.find(':');
        const std::string_view entry = list.substr(0, colon);
        if (!entry.empty())
            paths.emplace_back(entry);
        if (colon == std::string_view::npos)
            break;
        list.remove_prefix(colon + 1);
    }
    return paths;
}

std::vector<std::string> orderPorts(const std::vector<std::string>& explicitPaths, std::vector<SystemPort> ports)
{
    std::stable_sort(ports.begin(), ports.end(), [](const SystemPort& a, const SystemPort& b) {
        if (a.usb != b.usb)
            return a.usb;
        return naturalLess(a.path, b.path);
    });
    std::vector<std::string> names;
    std::set<std::string> seen;
    const auto add = [&](const std::string& path) {
        if (static_cast<int>(names.size()) < kPortNumberCount && !path.empty() && seen.insert(path).second)
            names.push_back(path);
    };
    for (const std::string& path : explicitPaths)
        add(path);
    for (const SystemPort& port : ports)
        add(port.path);
    return names;
}

PortTable::PortTable(std::vector<std::string> explicitPaths, bool includeSystemPorts)
    : explicit_(std::move(explicitPaths)), includeSystemPorts_(includeSystemPorts)
{
    reread();
}

void PortTable::reread()
{
#ifdef _WIN32
    names_.clear();
    for (int n = 1; n <= kPortNumberCount; ++n)
        names_.push_back("COM" + std::to_string(n));
#else
    names_ = orderPorts(explicit_, includeSystemPorts_ ? systemPorts() : std::vector<SystemPort>{});
#endif
}

PortTable PortTable::fromEnvironment(std::vector<std::string> cliPaths, bool includeSystemPorts)
{
    if (const char* list = std::getenv("QRV5173_PORTS")) {
        const auto fromVariable = splitPortList(list);
        cliPaths.insert(cliPaths.end(), fromVariable.begin(), fromVariable.end());
    }
    return PortTable(std::move(cliPaths), includeSystemPorts);
}

std::optional<std::string> PortTable::deviceName(int portNumber) const
{
    if (portNumber < 1 || portNumber > size())
        return std::nullopt;
    return names_[static_cast<std::size_t>(portNumber - 1)];
}

std::vector<PortSeen> PortTable::present() const
{
    std::vector<PortSeen> ports;
    for (const std::string& name : names_) {
        std::error_code error;
        const auto device = std::filesystem::canonical(name, error);
        struct stat info {};
        if (error || ::stat(device.c_str(), &info) != 0)
            continue;
        // A terminal made anew under the same name (a pseudo-terminal number used again) is another device.
        ports.push_back({name, device.string() + "@" + std::to_string(info.st_ctim.tv_sec) + "." +
                                   std::to_string(info.st_ctim.tv_nsec)});
    }
    return ports;
}

} // namespace qrv
