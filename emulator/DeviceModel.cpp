#include "DeviceModel.hpp"

#include "FactoryImage.hpp"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace qrv {

namespace {

constexpr int kEffects = 16;
constexpr int kSlots = 8;
constexpr int kColumns = 32;
constexpr std::size_t kBlockReply = 32;
constexpr std::size_t kNameReply = 8;

void appendShortReply(std::vector<uint8_t>& out, const Frame& frame, uint8_t data, uint8_t status)
{
    const uint8_t command = frame[2];
    out.insert(out.end(),
               {kFrameStart, kFrameId, command, kFrameId, frame[3], frame[4], data, status, 0x00, kFrameEnd});
}

} // namespace

DeviceModel::DeviceModel() : DeviceModel(factoryImage(), 1)
{
}

DeviceModel::DeviceModel(std::vector<uint8_t> image, uint8_t effectSwitch)
    : memory_(std::move(image)), switch_(effectSwitch)
{
}

DeviceModel DeviceModel::blank()
{
    return DeviceModel(std::vector<uint8_t>(kMemorySize, 0), 0);
}

void DeviceModel::loadMemory(std::span<const uint8_t> image)
{
    if (image.size() != kMemorySize)
        throw std::invalid_argument("memory image must be 65536 bytes, not " + std::to_string(image.size()));
    memory_.assign(image.begin(), image.end());
}

int DeviceModel::currentEffect() const
{
    return memory_[Addr::CurrentEffect];
}

bool DeviceModel::selectOnPanel(int effect)
{
    if (effect < 0 || effect >= kEffects)
        return false;
    memory_[Addr::CurrentEffect] = static_cast<uint8_t>(effect);
    memoryWritten();
    return true;
}

bool DeviceModel::turnOnPanel(int effect, int column, uint8_t value)
{
    if (effect < 0 || effect >= kEffects || column < 0 || column >= kColumns)
        return false;
    memory_[Addr::live(effect, column)] = value;
    memoryWritten();
    return true;
}

void DeviceModel::powerCycle()
{
    const std::vector<uint8_t> factory = factoryImage();
    for (int e = 0; e < kEffects; ++e) {
        const int slot = memory_[Addr::slotNumber(e)];
        const bool stored = slot < kSlots && memory_[Addr::directory(e, slot)] == Addr::SlotUsed;
        const auto& source = stored ? memory_ : factory;
        const auto first = source.begin() + (stored ? Addr::stored(e, slot, 0) : Addr::live(e, 0));
        std::copy(first, first + kColumns, memory_.begin() + Addr::live(e, 0));
    }
    memory_[Addr::CurrentEffect] = 0;
    switch_ = 1;
    assembler_ = FrameAssembler();
    memoryWritten();
}

void DeviceModel::exchangeUnit(DeviceModel& other)
{
    std::swap(memory_, other.memory_);
    std::swap(switch_, other.switch_);
    assembler_ = FrameAssembler();
}

void DeviceModel::memoryWritten()
{
    if (onMemoryWritten)
        onMemoryWritten();
}

std::vector<uint8_t> DeviceModel::receive(std::span<const uint8_t> bytes)
{
    std::vector<uint8_t> out;
    for (const Frame& frame : assembler_.feed(bytes))
        answer(frame, out);
    return out;
}

void DeviceModel::answer(const Frame& frame, std::vector<uint8_t>& out)
{
    const uint8_t p1 = frame[3], p2 = frame[4], p4 = frame[6], p5 = frame[7], p6 = frame[8];
    switch (frame[2]) {
    case Cmd::Probe:
    case Cmd::ExitNotice:
        appendShortReply(out, frame, 0, Done);
        return;
    case Cmd::ReadByte:
        appendShortReply(out, frame, memory_[static_cast<uint16_t>(p1 << 8 | p2)], Done);
        return;
    case Cmd::WriteByte:
        memory_[static_cast<uint16_t>(p1 << 8 | p2)] = p4;
        memoryWritten();
        appendShortReply(out, frame, p4, Done);
        return;
    case Cmd::ReadEffectBlock:
        if (frame[2] == Cmd::ReadEffectBlock && p6 != currentEffect()) {
            if (blockFault_ == BlockFault::CurrentOnly)
                return;
            if (blockFault_ == BlockFault::IgnoresEffect && currentEffect() < kEffects) {
                const auto first = memory_.begin() + Addr::live(currentEffect(), 0);
                out.insert(out.end(), first, first + kColumns);
                return;
            }
        }
        [[fallthrough]];
    case Cmd::SelectEffect: {
        if (p6 >= kEffects) {
            out.insert(out.end(), kBlockReply, 0);
            return;
        }
        const auto first = memory_.begin() + Addr::live(p6, 0);
        out.insert(out.end(), first, first + kColumns);
        if (frame[2] == Cmd::SelectEffect) {
            memory_[Addr::CurrentEffect] = p6;
            memoryWritten();
        }
        return;
    }
    case Cmd::SetParameter: {
        const int effect = currentEffect();
        if (effect >= kEffects || p1 >= kColumns) {
            appendShortReply(out, frame, 0, BadArgument);
            return;
        }
        memory_[Addr::live(effect, p1)] = p6;
        memoryWritten();
        appendShortReply(out, frame, p6, Done);
        return;
    }
    case Cmd::ReadSwitch:
        appendShortReply(out, frame, switch_, Done);
        return;
    case Cmd::ReadName: {
        if (p5 >= kEffects || p6 >= kSlots) {
            out.insert(out.end(), kNameReply, 0);
            return;
        }
        const auto first = memory_.begin() + Addr::name(p5, p6, 0);
        out.insert(out.end(), first, first + kNameReply);
        return;
    }
    case Cmd::SetSwitch:
        if (p6 > 1) {
            appendShortReply(out, frame, 0, BadArgument);
            return;
        }
        switch_ = p6;
        appendShortReply(out, frame, p6, Done);
        return;
    default:
        appendShortReply(out, frame, 0, UnknownCommand);
        return;
    }
}

} // namespace qrv
