#include "DeviceModel.hpp"

#include "link/Frame.hpp"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace qrv::test {
namespace {

constexpr int kEffects = 16;
constexpr int kSlots = 8;

// Parameter columns in use per effect.
constexpr int kColumnsInUse[kEffects] = {22, 22, 22, 22, 25, 15, 15, 8, 9, 18, 6, 23, 21, 20, 20, 5};

std::string nameOf(const DeviceModel& model, int e, int s)
{
    std::string name;
    for (int k = 0; k < 8; ++k)
        name += static_cast<char>(model.peek(Addr::name(e, s, k)));
    return name;
}

TEST(FactoryImage, DirectoryNamesSlotNumbersAndLiveRowsAgree)
{
    const DeviceModel model;
    for (int e = 0; e < kEffects; ++e) {
        SCOPED_TRACE("effect " + std::to_string(e));
        int stored = 0;
        for (int s = 0; s < kSlots; ++s) {
            const std::string name = nameOf(model, e, s);
            const bool used = model.peek(Addr::directory(e, s)) == Addr::SlotUsed;
            EXPECT_EQ(name != std::string(8, ' '), used) << "slot " << s;
            for (const char c : name)
                EXPECT_TRUE(c >= 0x20 && c <= 0x7E) << "slot " << s;
            stored += used;
        }
        EXPECT_GE(stored, 2);
        EXPECT_LT(stored, kSlots);
        // The slot number points to a stored preset whose values are live; unused columns are zero.
        const int slot = model.peek(Addr::slotNumber(e));
        ASSERT_LT(slot, kSlots);
        EXPECT_EQ(model.peek(Addr::directory(e, slot)), Addr::SlotUsed);
        for (int c = 0; c < 32; ++c) {
            EXPECT_EQ(model.peek(Addr::live(e, c)), model.peek(Addr::stored(e, slot, c))) << "column " << c;
            if (c >= kColumnsInUse[e]) {
                EXPECT_EQ(model.peek(Addr::live(e, c)), 0) << "column " << c;
            }
        }
    }
}

TEST(FactoryImage, StoredPresetsStayWithinControlRanges)
{
    struct Limit {
        int effect, column, max;
    };
    const Limit limits[] = {
        {0, 0, 100}, {0, 1, 80},    {0, 3, 30},  {0, 10, 40},  {0, 12, 40},  {0, 14, 30}, {4, 24, 100},
        {5, 1, 140}, {6, 0, 254},   {6, 14, 1},  {7, 3, 1},    {8, 0, 1},    {9, 15, 1},  {9, 16, 1},
        {11, 0, 1},  {11, 19, 100}, {12, 8, 80}, {13, 0, 160}, {14, 6, 160}, {15, 0, 72}, {15, 1, 100},
    };
    const DeviceModel model;
    for (const Limit& limit : limits)
        for (int s = 0; s < kSlots; ++s)
            EXPECT_LE(model.peek(Addr::stored(limit.effect, s, limit.column)), limit.max)
                << "effect " << limit.effect << " slot " << s << " column " << limit.column;
}

TEST(FactoryImage, PresetsOfOneEffectDiffer)
{
    const DeviceModel model;
    for (int e = 0; e < kEffects; ++e) {
        std::vector<std::vector<uint8_t>> presets;
        for (int s = 0; s < kSlots; ++s) {
            if (model.peek(Addr::directory(e, s)) != Addr::SlotUsed)
                continue;
            const auto first = model.memory().begin() + Addr::stored(e, s, 0);
            presets.emplace_back(first, first + 32);
        }
        for (std::size_t i = 1; i < presets.size(); ++i)
            EXPECT_NE(presets[i], presets[i - 1]) << "effect " << e;
    }
}

} // namespace
} // namespace qrv::test
