#include "UnitMirror.hpp"

#include "state/ProgramState.hpp"

#include <algorithm>

namespace qrv {

namespace {

uint16_t addressOf(const Frame& request)
{
    return static_cast<uint16_t>(request[3] << 8 | request[4]);
}
} // namespace

void UnitMirror::record(const Frame& request, std::span<const uint8_t> reply)
{
    const uint8_t p6 = request[8];
    switch (request[2]) {
    case Cmd::ReadByte:
        if (reply.size() > 6)
            note(addressOf(request), reply[6]);
        return;
    case Cmd::WriteByte:
        note(addressOf(request), request[6]);
        return;
    case Cmd::SelectEffect:
    case Cmd::ReadEffectBlock:
        if (p6 >= kEffectCount || reply.size() < kDeviceColumns)
            return;
        for (int c = 0; c < kDeviceColumns; ++c)
            note(Addr::live(p6, c), reply[static_cast<std::size_t>(c)]);
        if (request[2] == Cmd::SelectEffect)
            note(Addr::CurrentEffect, p6);
        return;
    case Cmd::SetParameter: {
        const auto current = byte(Addr::CurrentEffect);
        if (current && *current < kEffectCount && request[3] < kDeviceColumns)
            note(Addr::live(*current, request[3]), p6);
        return;
    }
    case Cmd::ReadSwitch:
        if (reply.size() > 6)
            switch_ = reply[6];
        return;
    case Cmd::SetSwitch:
        switch_ = p6;
        return;
    case Cmd::ReadName:
        if (request[7] >= kEffectCount || p6 >= kSlotCount || reply.size() < Addr::NameLength)
            return;
        for (int k = 0; k < Addr::NameLength; ++k)
            note(Addr::name(request[7], p6, k), reply[static_cast<std::size_t>(k)]);
        return;
    default:
        return;
    }
}

std::optional<uint8_t> UnitMirror::byte(uint16_t address) const
{
    const int16_t value = memory_[address];
    if (value == kUnknown)
        return std::nullopt;
    return static_cast<uint8_t>(value);
}

void UnitMirror::forget(uint16_t first, int count)
{
    std::fill_n(memory_.begin() + first, count, kUnknown);
}

void UnitMirror::forget()
{
    std::fill(memory_.begin(), memory_.end(), kUnknown);
    switch_.reset();
}

} // namespace qrv
