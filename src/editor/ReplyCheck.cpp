#include "ReplyCheck.hpp"

#include "Describe.hpp"
#include "state/CodePage.hpp"
#include "state/ProgramState.hpp"

#include <algorithm>

namespace qrv {

namespace {

constexpr uint16_t kLiveEnd = Addr::live(kEffectCount, 0);
constexpr uint16_t kStoredFirst = Addr::stored(0, 0, 0);
constexpr uint16_t kStoredEnd = Addr::stored(kEffectCount, 0, 0);
constexpr int kColumns = 32;

// Columns no control uses are not judged: a project load writes them as the file has them.
bool fits(const ValueTables& tables, int effect, int column, uint8_t value)
{
    const auto maximum = columnMaximum(catalogue::pageOfEffect(effect), tables, column);
    return !maximum || value <= *maximum;
}

} // namespace

bool replyPlausible(const ValueTables& tables, const Frame& request, std::span<const uint8_t> reply)
{
    const uint8_t p6 = request[8];
    switch (request[2]) {
    case Cmd::ReadByte: {
        const auto address = static_cast<uint16_t>(request[3] << 8 | request[4]);
        const uint8_t value = reply[6];
        if (address == Addr::CurrentEffect)
            return value < kEffectCount;
        if (address >= Addr::slotNumber(0) && address < Addr::slotNumber(kEffectCount))
            return value < kSlotCount;
        if (address >= Addr::directory(0, 0) && address < Addr::directory(kEffectCount, 0))
            return value == Addr::SlotUsed || value == Addr::SlotErased || value == Addr::SlotBeingWritten;
        if (address >= Addr::live(0, 0) && address < kLiveEnd) {
            const int offset = address - Addr::live(0, 0);
            return fits(tables, offset / kColumns, offset % kColumns, value);
        }
        if (address >= kStoredFirst && address < kStoredEnd) {
            const int offset = address - kStoredFirst;
            return fits(tables, offset / 256, offset % kColumns, value);
        }
        return true;
    }
    case Cmd::ReadSwitch:
        return reply[6] <= 1;
    case Cmd::SelectEffect:
    case Cmd::ReadEffectBlock:
        if (p6 >= kEffectCount)
            return true;
        for (int c = 0; c < kColumns; ++c)
            if (!fits(tables, p6, c, reply[static_cast<std::size_t>(c)]))
                return false;
        return true;
    case Cmd::ReadName:
        return std::all_of(reply.begin(), reply.end(), isNameByte);
    default:
        return true;
    }
}

} // namespace qrv
