#include "UnitKnowledge.hpp"

namespace qrv {

namespace {

std::size_t slotIndex(const UnitItem& item)
{
    return static_cast<std::size_t>(item.effect * kSlotCount + item.index);
}

std::size_t slotByteIndex(const UnitItem& item)
{
    return slotIndex(item) * kDeviceColumns + static_cast<std::size_t>(item.column);
}

} // namespace

void UnitKnowledge::setAll(Depth depth)
{
    const auto fill = [depth](auto& bits) {
        for (std::size_t i = 0; i < bits.read.size(); ++i)
            setIn(bits, i, depth);
    };
    fill(rows_);
    fill(slotNumbers_);
    fill(directory_);
    fill(names_);
    fill(stored_);
    fullRowBits_ = {};
    slotBits_ = {};
    whole_.reset();
}

void UnitKnowledge::holdWhole(int effect, int slot, const NameBytes& name)
{
    const auto i = static_cast<std::size_t>(effect * kSlotCount + slot);
    whole_.set(i);
    nameBytes_.at(i) = name;
}

UnitKnowledge::Depth UnitKnowledge::depth(const UnitItem& item) const
{
    switch (item.part) {
    case UnitPart::Row:
        return depthOf(rows_, static_cast<std::size_t>(item.effect));
    case UnitPart::SlotNumber:
        return depthOf(slotNumbers_, static_cast<std::size_t>(item.effect));
    case UnitPart::Directory:
        return depthOf(directory_, slotIndex(item));
    case UnitPart::Name:
        return depthOf(names_, slotIndex(item));
    case UnitPart::StoredPreset:
        return item.effect == storedEffect_ ? depthOf(stored_, static_cast<std::size_t>(item.index)) : Depth::Unread;
    case UnitPart::FullRow:
        return depthOf(fullRowBits_, static_cast<std::size_t>(item.effect));
    case UnitPart::StoredSlot:
        return depthOf(slotBits_, slotByteIndex(item));
    }
    return Depth::Unread;
}

void UnitKnowledge::set(const UnitItem& item, Depth depth)
{
    switch (item.part) {
    case UnitPart::Row:
        return setIn(rows_, static_cast<std::size_t>(item.effect), depth);
    case UnitPart::SlotNumber:
        return setIn(slotNumbers_, static_cast<std::size_t>(item.effect), depth);
    case UnitPart::Directory:
        whole_.reset(slotIndex(item));
        return setIn(directory_, slotIndex(item), depth);
    case UnitPart::Name:
        whole_.reset(slotIndex(item));
        return setIn(names_, slotIndex(item), depth);
    case UnitPart::StoredPreset:
        if (item.effect == storedEffect_)
            setIn(stored_, static_cast<std::size_t>(item.index), depth);
        return;
    case UnitPart::FullRow:
        return setIn(fullRowBits_, static_cast<std::size_t>(item.effect), depth);
    case UnitPart::StoredSlot:
        whole_.reset(slotIndex(item));
        return setIn(slotBits_, slotByteIndex(item), depth);
    }
}

void UnitKnowledge::setSlot(int effect, int slot, Depth depth)
{
    for (int c = 0; c < kDeviceColumns; ++c)
        set({UnitPart::StoredSlot, effect, slot, c}, depth);
}

void UnitKnowledge::setStoredEffect(int effect, Depth depth)
{
    storedEffect_ = effect;
    for (int c = 0; c < kDeviceColumns; ++c)
        setIn(stored_, static_cast<std::size_t>(c), depth);
}

bool UnitKnowledge::all(Depth atLeast) const
{
    return whole(rows_, atLeast) && whole(slotNumbers_, atLeast) && whole(directory_, atLeast) &&
        whole(names_, atLeast) && whole(stored_, atLeast);
}

bool UnitKnowledge::backupPieces(Depth atLeast) const
{
    return whole(fullRowBits_, atLeast) && whole(slotBits_, atLeast);
}

bool UnitKnowledge::presetsRead(int effect) const
{
    if (depth({UnitPart::SlotNumber, effect}) == Depth::Unread)
        return false;
    for (int slot = 0; slot < kSlotCount; ++slot)
        if (depth({UnitPart::Directory, effect, slot}) == Depth::Unread ||
            depth({UnitPart::Name, effect, slot}) == Depth::Unread)
            return false;
    return true;
}

std::vector<UnitItem> presetItems(int effect)
{
    std::vector<UnitItem> items{{UnitPart::SlotNumber, effect}};
    for (int slot = 0; slot < kSlotCount; ++slot)
        items.push_back({UnitPart::Directory, effect, slot});
    for (int slot = 0; slot < kSlotCount; ++slot)
        items.push_back({UnitPart::Name, effect, slot});
    return items;
}

std::vector<UnitItem> storedPresetItems(int effect)
{
    std::vector<UnitItem> items;
    for (int c = 0; c < kDeviceColumns; ++c)
        items.push_back({UnitPart::StoredPreset, effect, c});
    return items;
}

std::vector<UnitItem> rowItems()
{
    std::vector<UnitItem> items;
    for (int e = 0; e < kEffectCount; ++e)
        items.push_back({UnitPart::Row, e});
    return items;
}

std::vector<UnitItem> everyItem(int firstEffect)
{
    std::vector<UnitItem> items{{UnitPart::Row, firstEffect}};
    const auto append = [&items](const std::vector<UnitItem>& more) { items.insert(items.end(), more.begin(), more.end()); };
    append(presetItems(firstEffect));
    append(storedPresetItems(firstEffect));
    for (int e = 0; e < kEffectCount; ++e)
        if (e != firstEffect)
            items.push_back({UnitPart::Row, e});
    for (int e = 0; e < kEffectCount; ++e)
        if (e != firstEffect)
            append(presetItems(e));
    return items;
}

std::vector<UnitItem> backupItems()
{
    std::vector<UnitItem> items;
    for (int e = 0; e < kEffectCount; ++e)
        items.push_back({UnitPart::FullRow, e});
    for (int e = 0; e < kEffectCount; ++e)
        for (int slot = 0; slot < kSlotCount; ++slot)
            for (int c = 0; c < kDeviceColumns; ++c)
                items.push_back({UnitPart::StoredSlot, e, slot, c});
    return items;
}

} // namespace qrv
