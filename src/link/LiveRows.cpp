#include "LiveRows.hpp"

#include <algorithm>
#include <iterator>
#include <optional>
#include <string>

namespace qrv {

namespace {

class RowReader {
public:
    RowReader(DeviceLink& link, ProgramState& state, Host& host, const std::function<int(int)>& columns,
              LiveRowTable& rows, const std::function<bool()>& stop)
        : state_(state), link_(link), host_(host), columns_(columns), rows_(rows), stop_(stop)
    {
    }

    bool block(int e)
    {
        if (stop_())
            return false;
        bool taken = false;
        if (state_.blockReads == ProgramState::BlockReads::Untried) {
            taken = link_.tryReadBlock32(Cmd::ReadEffectBlock, static_cast<uint8_t>(e), kBlockProbeTimeout);
            if (!taken && state_.LinkUp && !stop_()) {
                refuse("the unit gave no believable answer to the block read (0x1E) for an effect other than its "
                       "current one");
                return true;
            }
            if (taken)
                state_.blockReads = ProgramState::BlockReads::Trusted;
        } else {
            taken = link_.ReadBlock32(Cmd::ReadEffectBlock, 0, 0, 0, 0, 0, static_cast<uint8_t>(e));
        }
        if (taken)
            std::copy_n(state_.replyBuffer.begin(), kDeviceColumns, rows_[static_cast<std::size_t>(e)].begin());
        return taken;
    }

    // The byte at a column of an effect's live row; nothing when no reply came.
    std::optional<uint8_t> byte(int e, int c)
    {
        if (stop_())
            return std::nullopt;
        return link_.tryReadByte(Addr::live(e, c));
    }

    bool bytes(int e)
    {
        LiveRow& row = rows_[static_cast<std::size_t>(e)];
        for (int c = 0; c < columns_(e); ++c) {
            const auto value = byte(e, c);
            if (!value)
                return false;
            row[static_cast<std::size_t>(c)] = *value;
        }
        return true;
    }

    // The column of e whose value sets its block most apart from the other rows read.
    int tellingColumn(int e, const std::vector<int>& read) const
    {
        const LiveRow& row = rows_[static_cast<std::size_t>(e)];
        int best = 0, bestScore = -1;
        for (int c = 0; c < columns_(e); ++c) {
            const auto other = [&](int r) { return rows_[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)]; };
            const auto score = std::count_if(read.begin(), read.end(), [&](int r) {
                return r != e && other(r) != row[static_cast<std::size_t>(c)];
            });
            if (score > bestScore) {
                best = c;
                bestScore = static_cast<int>(score);
            }
        }
        return best;
    }

    bool sameLeadingColumns(int a, int b) const
    {
        const auto& x = rows_[static_cast<std::size_t>(a)];
        const auto& y = rows_[static_cast<std::size_t>(b)];
        return std::equal(x.begin(), x.begin() + columns_(a), y.begin());
    }

    void refuse(const std::string& why)
    {
        state_.blockReads = ProgramState::BlockReads::Refused;
        refused_ = true;
        host_.log(why + "; reading live values byte by byte for the rest of the session");
    }
    bool refused() const { return refused_; }

private:
    ProgramState& state_;
    DeviceLink& link_;
    Host& host_;
    const std::function<int(int)>& columns_;
    LiveRowTable& rows_;
    const std::function<bool()>& stop_;
    bool refused_ = false;
};

int unitEffect(const DeviceLink& link, const ProgramState& state)
{
    const auto held = link.mirror().byte(Addr::CurrentEffect);
    return held && *held < kEffectCount ? *held : state.currentEffect;
}

// A few of the effects read by block, spread over them, for the spot checks.
std::vector<int> spread(const std::vector<int>& effects)
{
    std::vector<int> chosen;
    const std::size_t n = effects.size();
    for (int i = 0; i < kSpotChecks && n > 0; ++i) {
        const int e = effects[kSpotChecks == 1 ? 0 : i * (n - 1) / (kSpotChecks - 1)];
        if (std::find(chosen.begin(), chosen.end(), e) == chosen.end())
            chosen.push_back(e);
    }
    return chosen;
}

} // namespace

bool blockReadsUsable(const ProgramState& state)
{
    return !state.exactOrder && state.blockReads != ProgramState::BlockReads::Refused;
}

int liveRowExchanges(const ProgramState& state, const std::vector<int>& effects, const std::function<int(int)>& columns)
{
    if (!blockReadsUsable(state)) {
        int reads = 0;
        for (int e : effects)
            reads += columns(e);
        return reads;
    }
    const int others = static_cast<int>(effects.size()) - 1;
    return static_cast<int>(effects.size()) + std::min(kSpotChecks, std::max(others, 0));
}

LiveRead readLiveRows(DeviceLink& link, ProgramState& state, Host& host, const std::vector<int>& effects,
                      const std::function<int(int)>& columns, LiveRowTable& rows, const std::function<bool()>& stop,
                      bool bytesIfRefused, const LiveRow* currentRow)
{
    RowReader reader(link, state, host, columns, rows, stop);
    const auto byBytes = [&](const std::vector<int>& list) {
        for (int e : list)
            if (!reader.bytes(e))
                return LiveRead::Stopped;
        return LiveRead::Done;
    };
    const int current = unitEffect(link, state);
    std::vector<int> others;
    std::copy_if(effects.begin(), effects.end(), std::back_inserter(others), [&](int e) { return e != current; });
    const bool withCurrent = others.size() != effects.size() || currentRow;
    if (state.blockReads == ProgramState::BlockReads::Refused)
        return bytesIfRefused ? byBytes(effects) : LiveRead::Refused;

    // The current effect's block is the unit's own answer; the others are measured against it.
    std::vector<int> read;
    if (currentRow && others.size() == effects.size()) {
        rows[static_cast<std::size_t>(current)] = *currentRow;
        read.push_back(current);
    } else if (withCurrent) {
        if (stop() || !link.ReadBlock32(Cmd::ReadEffectBlock, 0, 0, 0, 0, 0, static_cast<uint8_t>(current)))
            return LiveRead::Stopped;
        std::copy_n(state.replyBuffer.begin(), kDeviceColumns, rows[static_cast<std::size_t>(current)].begin());
        read.push_back(current);
    }
    std::vector<int> byBlock;
    const auto fallBack = [&] {
        for (int e : byBlock)
            link.forgetBytes(Addr::live(e, 0), kDeviceColumns);
        return bytesIfRefused ? byBytes(others) : LiveRead::Refused;
    };
    for (int e : others) {
        if (!reader.block(e))
            return LiveRead::Stopped;
        if (reader.refused())
            return fallBack();
        byBlock.push_back(e);
        read.push_back(e);
        // A unit that ignores the effect asked for repeats the current row: only the bytes tell.
        if (withCurrent && reader.sameLeadingColumns(e, current)) {
            const LiveRow block = rows[static_cast<std::size_t>(e)];
            if (!reader.bytes(e))
                return LiveRead::Stopped;
            if (!std::equal(block.begin(), block.begin() + columns(e), rows[static_cast<std::size_t>(e)].begin())) {
                reader.refuse("the unit's block read (0x1E) answered another effect's row");
                return fallBack();
            }
        }
    }
    for (int e : spread(byBlock)) {
        const int c = reader.tellingColumn(e, read);
        const uint8_t expected = rows[static_cast<std::size_t>(e)][static_cast<std::size_t>(c)];
        auto value = reader.byte(e, c);
        // A one-byte reply can be damaged unseen: only a disagreement it repeats is the unit's.
        if (value && *value != expected)
            value = reader.byte(e, c);
        if (!value)
            return LiveRead::Stopped;
        if (*value != expected) {
            reader.refuse("the unit's block read (0x1E) disagreed with its one-byte read of effect " +
                          std::to_string(e) + " column " + std::to_string(c));
            return fallBack();
        }
    }
    return LiveRead::Done;
}

} // namespace qrv
