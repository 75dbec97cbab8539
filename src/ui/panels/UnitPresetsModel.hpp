#pragma once

#include "devmem/UnitSlots.hpp"
#include "ui/panels/ItemModels.hpp"

#include <QAbstractItemModel>
#include <QStringList>

#include <array>
#include <filesystem>
#include <functional>
#include <vector>

namespace qrv::ui {

inline constexpr const char* kSlotsMimeType = "application/x-qrv5173-slots";

// The unit's sixteen effects, each with its eight stored-preset slots, as the editor knows
// them: "3 – WIDE", "3 – empty" or, until the editor has read it, "3 – not read yet", with
// the slot the unit last used and the one whose values the editor shows marked in the text. Nothing here talks to the unit; refresh() looks at
// the editor's records again and tells the views only of what changed.
class UnitPresetsModel final : public QAbstractItemModel {
    Q_OBJECT
public:
    // Column 0 "Preset", column 1 "State". SortRole orders by slot number, or by state.
    enum Role { SortRole = Qt::UserRole };

    // What a drop or an edit asks for; the panel takes it to the core.
    struct Requests {
        std::function<void(SlotRef at, const QString& name)> rename;
        std::function<void(const std::vector<SlotRef>& from, const std::vector<SlotRef>& to, bool move)> places;
        std::function<void(const std::vector<std::filesystem::path>& files, int effect, const std::vector<SlotRef>& to)> files;
    };

    UnitPresetsModel(Editor& editor, Requests requests, QObject* parent = nullptr);

    // Reads the editor's records again; true when anything shown changed.
    bool refresh();

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDropActions() const override;
    Qt::DropActions supportedDragActions() const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

    // Why the data cannot go where it is dropped; empty when it can.
    QString refusal(const QMimeData* data, const QModelIndex& target) const;

    // The slot an index stands for; nothing for an effect.
    static std::optional<SlotRef> slotAt(const QModelIndex& index);
    // The effect an index (effect or slot) belongs to.
    static int effectAt(const QModelIndex& index);
    QModelIndex indexOf(SlotRef at, int column = 0) const;

private:
    struct SlotView {
        QString name; // trimmed; empty for an empty slot
        bool read = false; // the editor has the slot's directory byte (and name) from the unit
        bool stored = false;
        bool lastUsed = false;
        bool inEditor = false;
        bool operator==(const SlotView&) const = default;
    };
    SlotView look(SlotRef at) const;
    ItemText item(const QModelIndex& index) const;
    static QString stateWord(const SlotView& view);
    static QString text(const SlotView& view, SlotRef at);
    static QString marks(const SlotView& view);

    Editor& editor_;
    Requests requests_;
    std::array<std::array<SlotView, kSlotCount>, kEffectCount> shown_{};
    int currentEffect_ = -1;
};

// The slot and those after it in the effect, as many as wanted and the effect has.
std::vector<SlotRef> slotsFrom(SlotRef first, std::size_t count);

// The slots a drag carries, "effect:slot" a line, 0-based; and back.
QByteArray encodeSlots(const std::vector<SlotRef>& places);
std::vector<SlotRef> decodeSlots(const QByteArray& data);

} // namespace qrv::ui
