#include "ui/panels/UnitPresetsModel.hpp"

#include "devmem/PresetDialogs.hpp"
#include "editor/Catalogue.hpp"

#include <QMimeData>
#include <QUrl>

#include <set>

namespace qrv::ui {

namespace {

constexpr int kColumns = 2;
constexpr quintptr kEffectItem = 0; // a slot's internal id is its effect + 1

QString effectName(int effect)
{
    return QString::fromLatin1(catalogue::effect(effect).listText);
}

std::vector<std::filesystem::path> presetFiles(const QMimeData* data)
{
    std::vector<std::filesystem::path> files;
    if (!data->hasUrls())
        return files;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile())
            files.emplace_back(url.toLocalFile().toStdString());
    return files;
}

} // namespace

std::vector<SlotRef> slotsFrom(SlotRef first, std::size_t count)
{
    std::vector<SlotRef> places;
    for (int s = first.slot; s < kSlotCount && places.size() < count; ++s)
        places.push_back({first.effect, s});
    return places;
}

QByteArray encodeSlots(const std::vector<SlotRef>& places)
{
    QByteArray text;
    for (const SlotRef& at : places)
        text += QByteArray::number(at.effect) + ':' + QByteArray::number(at.slot) + '\n';
    return text;
}

std::vector<SlotRef> decodeSlots(const QByteArray& data)
{
    std::vector<SlotRef> places;
    for (const QByteArray& line : data.split('\n')) {
        const QList<QByteArray> parts = line.trimmed().split(':');
        bool effectOk = false;
        bool slotOk = false;
        if (parts.size() != 2)
            continue;
        const int effect = parts[0].toInt(&effectOk);
        const int slot = parts[1].toInt(&slotOk);
        if (effectOk && slotOk && effect >= 0 && effect < kEffectCount && slot >= 0 && slot < kSlotCount)
            places.push_back({effect, slot});
    }
    return places;
}

UnitPresetsModel::UnitPresetsModel(Editor& editor, Requests requests, QObject* parent)
    : QAbstractItemModel(parent), editor_(editor), requests_(std::move(requests))
{
    for (int e = 0; e < kEffectCount; ++e)
        for (int s = 0; s < kSlotCount; ++s)
            shown_[e][s] = look({e, s});
    currentEffect_ = editor_.state().currentEffect;
}

UnitPresetsModel::SlotView UnitPresetsModel::look(SlotRef at) const
{
    using Depth = UnitKnowledge::Depth;
    const ProgramState& state = editor_.state();
    SlotView view;
    view.stored = slotHoldsPreset(state, at.effect, at.slot);
    view.read = state.known.depth({UnitPart::Directory, at.effect, at.slot}) != Depth::Unread &&
        (!view.stored || state.known.depth({UnitPart::Name, at.effect, at.slot}) != Depth::Unread);
    if (view.stored)
        view.name = QString::fromStdString(state.presetNames.at(at.effect).at(at.slot)).trimmed();
    view.lastUsed = state.known.depth({UnitPart::SlotNumber, at.effect}) != Depth::Unread &&
        editor_.presetSlot(at.effect) == at.slot;
    view.inEditor = view.lastUsed && at.effect == state.currentEffect;
    return view;
}

QString UnitPresetsModel::stateWord(const SlotView& view)
{
    return !view.read ? QStringLiteral("not read yet") : view.stored ? QStringLiteral("stored") : QStringLiteral("empty");
}

QString UnitPresetsModel::text(const SlotView& view, SlotRef at)
{
    return QStringLiteral("%1 – %2").arg(at.slot + 1).arg(view.read && view.stored ? view.name : stateWord(view));
}

QString UnitPresetsModel::marks(const SlotView& view)
{
    QStringList marks{stateWord(view)};
    if (view.lastUsed)
        marks << QStringLiteral("last used");
    if (view.inEditor)
        marks << QStringLiteral("in the editor");
    return marks.join(QStringLiteral(", "));
}

bool UnitPresetsModel::refresh()
{
    bool changed = false;
    const int current = editor_.state().currentEffect;
    if (current != currentEffect_) {
        const int before = std::exchange(currentEffect_, current);
        for (const int e : {before, current})
            if (e >= 0)
                emit dataChanged(index(e, 0), index(e, kColumns - 1));
        changed = true;
    }
    for (int e = 0; e < kEffectCount; ++e) {
        const QModelIndex effect = index(e, 0);
        for (int s = 0; s < kSlotCount; ++s) {
            const SlotView now = look({e, s});
            if (now == shown_[e][s])
                continue;
            shown_[e][s] = now;
            emit dataChanged(index(s, 0, effect), index(s, kColumns - 1, effect));
            changed = true;
        }
    }
    return changed;
}

QModelIndex UnitPresetsModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column < 0 || column >= kColumns || row < 0)
        return {};
    if (!parent.isValid())
        return row < kEffectCount ? createIndex(row, column, kEffectItem) : QModelIndex();
    if (parent.internalId() != kEffectItem || row >= kSlotCount)
        return {};
    return createIndex(row, column, static_cast<quintptr>(parent.row() + 1));
}

QModelIndex UnitPresetsModel::parent(const QModelIndex& child) const
{
    if (!child.isValid() || child.internalId() == kEffectItem)
        return {};
    return createIndex(static_cast<int>(child.internalId() - 1), 0, kEffectItem);
}

int UnitPresetsModel::rowCount(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return kEffectCount;
    return parent.internalId() == kEffectItem && parent.column() == 0 ? kSlotCount : 0;
}

int UnitPresetsModel::columnCount(const QModelIndex&) const
{
    return kColumns;
}

std::optional<SlotRef> UnitPresetsModel::slotAt(const QModelIndex& index)
{
    if (!index.isValid() || index.internalId() == kEffectItem)
        return std::nullopt;
    return SlotRef{static_cast<int>(index.internalId() - 1), index.row()};
}

int UnitPresetsModel::effectAt(const QModelIndex& index)
{
    const std::optional<SlotRef> at = slotAt(index);
    return at ? at->effect : index.row();
}

QModelIndex UnitPresetsModel::indexOf(SlotRef at, int column) const
{
    return index(at.slot, column, index(at.effect, 0));
}

ItemText UnitPresetsModel::item(const QModelIndex& index) const
{
    const bool first = index.column() == 0;
    ItemText item;
    const std::optional<SlotRef> at = slotAt(index);
    if (!at) {
        const bool current = index.row() == currentEffect_;
        const QString name = effectName(index.row());
        item.display = first ? name : current ? QStringLiteral("current effect") : QString();
        item.sort = first ? QVariant(index.row()) : QVariant(item.display);
        item.bold = current;
        return item;
    }
    const SlotView& view = shown_[at->effect][at->slot];
    const QString state = marks(view);
    item.display = first ? text(view, *at) : state;
    item.toolTip = effectName(at->effect) + QStringLiteral(" %1: ").arg(at->slot + 1) + state;
    item.edit = first ? view.name : state;
    item.sort = first ? QVariant(at->slot) : QVariant(state);
    item.bold = view.inEditor;
    return item;
}

QVariant UnitPresetsModel::data(const QModelIndex& index, int role) const
{
    return index.isValid() ? roleData(item(index), role) : QVariant();
}

QVariant UnitPresetsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return section == 0 ? QStringLiteral("Preset") : QStringLiteral("State");
}

Qt::ItemFlags UnitPresetsModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDropEnabled;
    const std::optional<SlotRef> at = slotAt(index);
    if (!at)
        return flags;
    flags |= Qt::ItemNeverHasChildren;
    if (shown_[at->effect][at->slot].stored && shown_[at->effect][at->slot].read) {
        flags |= Qt::ItemIsDragEnabled;
        if (index.column() == 0)
            flags |= Qt::ItemIsEditable;
    }
    return flags;
}

bool UnitPresetsModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    // A view that clears dragged-away items passes empty values: those are no rename.
    const std::optional<SlotRef> at = slotAt(index);
    if (!at || role != Qt::EditRole || index.column() != 0 || value.typeId() != QMetaType::QString ||
        !requests_.rename)
        return false;
    const QString name = value.toString();
    if (name.trimmed() == shown_[at->effect][at->slot].name)
        return false;
    requests_.rename(*at, name);
    return false; // the record changes in the core; refresh() shows it
}

QStringList UnitPresetsModel::mimeTypes() const
{
    return {QString::fromLatin1(kSlotsMimeType), QStringLiteral("text/uri-list")};
}

QMimeData* UnitPresetsModel::mimeData(const QModelIndexList& indexes) const
{
    std::set<SlotRef> places;
    for (const QModelIndex& index : indexes)
        if (const std::optional<SlotRef> at = slotAt(index))
            places.insert(*at);
    if (places.empty())
        return nullptr;
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(kSlotsMimeType), encodeSlots({places.begin(), places.end()}));
    return data;
}

Qt::DropActions UnitPresetsModel::supportedDropActions() const
{
    return Qt::CopyAction | Qt::MoveAction;
}

Qt::DropActions UnitPresetsModel::supportedDragActions() const
{
    return Qt::CopyAction | Qt::MoveAction;
}

QString UnitPresetsModel::refusal(const QMimeData* data, const QModelIndex& target) const
{
    if (!data || !target.isValid())
        return QStringLiteral("Drop onto a slot or an effect");
    const int effect = effectAt(target);
    const std::optional<SlotRef> at = slotAt(target);
    if (data->hasFormat(QString::fromLatin1(kSlotsMimeType))) {
        const std::vector<SlotRef> places = decodeSlots(data->data(QString::fromLatin1(kSlotsMimeType)));
        if (places.empty())
            return QStringLiteral("Nothing to drop");
        if (!at)
            return QStringLiteral("Drop the presets onto a slot of %1").arg(effectName(effect));
        return QString::fromStdString(UnitSlots::refusal(places, {*at}).value_or(""));
    }
    const std::vector<std::filesystem::path> files = presetFiles(data);
    if (files.empty())
        return QStringLiteral("Only preset files (.fxp) and slots can be dropped here");
    const auto refused =
        UnitSlots(editor_).refusal(files, effect, at ? slotsFrom(*at, files.size()) : std::vector<SlotRef>{});
    return QString::fromStdString(refused.value_or(""));
}

bool UnitPresetsModel::canDropMimeData(const QMimeData* data, Qt::DropAction, int, int, const QModelIndex& parent) const
{
    return refusal(data, parent).isEmpty();
}

bool UnitPresetsModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int, int, const QModelIndex& parent)
{
    if (!refusal(data, parent).isEmpty())
        return false;
    const std::optional<SlotRef> at = slotAt(parent);
    if (data->hasFormat(QString::fromLatin1(kSlotsMimeType))) {
        const std::vector<SlotRef> from = decodeSlots(data->data(QString::fromLatin1(kSlotsMimeType)));
        if (requests_.places)
            requests_.places(from, {*at}, action == Qt::MoveAction);
        return true;
    }
    const std::vector<std::filesystem::path> files = presetFiles(data);
    if (requests_.files)
        requests_.files(files, effectAt(parent), at ? slotsFrom(*at, files.size()) : std::vector<SlotRef>{});
    return true;
}

} // namespace qrv::ui
