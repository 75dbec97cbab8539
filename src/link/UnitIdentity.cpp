#include "UnitIdentity.hpp"

#include <type_traits>

namespace qrv {

std::optional<uint8_t> readSwitch(DeviceLink& link)
{
    if (!link.SendCommand(Cmd::ReadSwitch))
        return std::nullopt;
    return link.state().replyBuffer[6];
}

std::optional<std::array<uint8_t, kDeviceColumns>> readLiveBlock(DeviceLink& link, uint8_t effect)
{
    link.ArmPort(32);
    const bool read = link.ReadBlock32(Cmd::ReadEffectBlock, 0, 0, 0, 0, 0, effect);
    link.ArmPort(10);
    if (!read)
        return std::nullopt;
    std::array<uint8_t, kDeviceColumns> row{};
    std::copy_n(link.state().replyBuffer.begin(), kDeviceColumns, row.begin());
    return row;
}

Confirmed<Fingerprint> readFingerprint(DeviceLink& link, FingerprintDepth depth, const std::function<bool()>& stop)
{
    Confirmed<Fingerprint> out;
    const auto part = [&](auto& into, auto&& read) {
        const auto found = readUntilAgreed<std::remove_cvref_t<decltype(into)>>(
            [&] { return stop && stop() ? decltype(read()){} : read(); });
        out.outcome = found.outcome;
        into = found.value;
        return found.outcome == Confirm::Agreed;
    };
    Fingerprint& f = out.value;
    if (!part(f.effect, [&] { return link.tryReadByte(Addr::CurrentEffect); }) ||
        !part(f.effectSwitch, [&] { return readSwitch(link); }))
        return out;
    if (f.effect >= kEffectCount) {
        out.outcome = Confirm::Unconfirmed;
        return out;
    }
    if (!part(f.live, [&] { return readLiveBlock(link, f.effect); }) || depth == FingerprintDepth::Quick)
        return out;
    std::array<uint8_t, kSlotCount> directory{};
    for (int slot = 0; slot < kSlotCount; ++slot)
        if (!part(directory[static_cast<std::size_t>(slot)],
                  [&] { return link.tryReadByte(Addr::directory(f.effect, slot)); }))
            return out;
    f.directory = directory;
    return out;
}

Confirm stillTheUnit(DeviceLink& link, const Fingerprint& then, FingerprintDepth depth, bool& same)
{
    const auto now = readFingerprint(link, depth);
    Fingerprint expected = then;
    if (depth == FingerprintDepth::Quick)
        expected.directory.reset();
    same = now.outcome == Confirm::Agreed && now.value == expected;
    return now.outcome;
}

bool mirrorShows(const UnitMirror& mirror, const Fingerprint& now)
{
    const auto agrees = [&](uint16_t address, uint8_t value) {
        const auto seen = mirror.byte(address);
        return !seen || *seen == value;
    };
    if (!agrees(Addr::CurrentEffect, now.effect) || (mirror.effectSwitch() && *mirror.effectSwitch() != now.effectSwitch))
        return false;
    for (int c = 0; c < kDeviceColumns; ++c)
        if (!agrees(Addr::live(now.effect, c), now.live[static_cast<std::size_t>(c)]))
            return false;
    if (now.directory)
        for (int slot = 0; slot < kSlotCount; ++slot)
            if (!agrees(Addr::directory(now.effect, slot), (*now.directory)[static_cast<std::size_t>(slot)]))
                return false;
    return true;
}

} // namespace qrv
