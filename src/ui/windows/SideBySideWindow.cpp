#include "ui/windows/SideBySideWindow.hpp"

#include "ui/pages/Accessible.hpp"
#include "ui/pages/Binder.hpp"
#include "ui/panels/ItemModels.hpp"

#include "state/UnitKnowledge.hpp"
#include "storage/PresetFiles.hpp"

#include <QAbstractTableModel>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace qrv::ui {

namespace {

constexpr int kDiffersColumn = 3;
const QString kDiffersText = QStringLiteral("differs");

// The rows of two presets: the parameter, each side's value, and a mark where they differ
// that is a word, so that it is read and not only seen.
class SideBySideModel final : public QAbstractTableModel {
public:
    SideBySideModel(const PresetSide& first, const PresetSide& second, QObject* parent)
        : QAbstractTableModel(parent), sides_{first, second}
    {
    }

    const PresetSide& side(int which) const { return sides_[static_cast<std::size_t>(which)]; }
    int differing() const { return compared_.differing(); }

    // The sides that are the current edits follow them; true when a row changed.
    bool follow(const ProgramState& state, char decimalPoint)
    {
        for (PresetSide& s : sides_)
            if (s.currentEdits)
                std::copy_n(state.store.row(s.effect).begin(), kDeviceColumns, s.bytes.begin());
        SideBySide compared = compareSideBySide(state.tables, sides_[0], sides_[1], decimalPoint);
        if (!started_ || compared.rows.size() != compared_.rows.size()) {
            beginResetModel();
            compared_ = std::move(compared);
            endResetModel();
            started_ = true;
            return true;
        }
        const auto same = [](const SideBySideRow& a, const SideBySideRow& b) {
            return a.first == b.first && a.second == b.second && a.differs == b.differs;
        };
        if (std::equal(compared.rows.begin(), compared.rows.end(), compared_.rows.begin(), same))
            return false;
        compared_ = std::move(compared);
        emit dataChanged(index(0, 0), index(rowCount() - 1, kDiffersColumn));
        return true;
    }

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(compared_.rows.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 4; }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid())
            return {};
        const SideBySideRow& row = compared_.rows.at(static_cast<std::size_t>(index.row()));
        const int column = index.column();
        ItemText item;
        if (column == kDiffersColumn) {
            item.display = row.differs ? kDiffersText : QString();
            // An empty cell says nothing to a screen reader: the mark's cell says "same".
            item.accessible = row.differs ? QString() : QStringLiteral("same");
        } else {
            item.display = qs(column == 0 ? row.label : column == 1 ? row.first : row.second);
        }
        if (column == 0 && row.description != row.label)
            item.toolTip = qs(row.description);
        item.sort = item.display;
        item.bold = row.differs;
        return roleData(item, role);
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return QAbstractTableModel::headerData(section, orientation, role);
        switch (section) {
        case 0:
            return QStringLiteral("Parameter");
        case 1:
        case 2:
            return qs(sides_[static_cast<std::size_t>(section - 1)].caption);
        default:
            return QStringLiteral("Difference");
        }
    }

private:
    std::array<PresetSide, 2> sides_;
    SideBySide compared_;
    bool started_ = false;
};

// The side Compare on the Unit plays: the one that is not the current edits, when the other is.
const PresetSide* playedSide(const SideBySideModel& model)
{
    if (model.side(0).currentEdits != model.side(1).currentEdits)
        return &model.side(model.side(0).currentEdits ? 1 : 0);
    return nullptr;
}

void buildWindow(QWidget* window, Binder& binder, Editor& editor, SideBySideModel* model)
{
    const QString first = qs(model->side(0).caption);
    const QString second = qs(model->side(1).caption);
    window->setWindowTitle(QStringLiteral("%1: %2 and %3").arg(QString::fromLatin1(kSideBySideTitle), first, second));

    auto* summary = new QLabel;
    summary->setObjectName(QStringLiteral("DifferingSummary"));
    summary->setTextFormat(Qt::PlainText);

    auto* onlyDiffering = new QCheckBox(QStringLiteral("Show &only the parameters that differ"));
    onlyDiffering->setObjectName(QStringLiteral("OnlyDiffering"));

    auto* filter = new QSortFilterProxyModel(window);
    filter->setSourceModel(model);
    filter->setFilterKeyColumn(kDiffersColumn);
    filter->setFilterRole(Qt::UserRole);
    QObject::connect(onlyDiffering, &QCheckBox::toggled, filter, [filter](bool only) {
        filter->setFilterFixedString(only ? kDiffersText : QString());
    });

    auto* table = new QTableView;
    table->setObjectName(QStringLiteral("SideBySideTable"));
    table->setModel(filter);
    table->setAccessibleName(QStringLiteral("Parameters of %1 and %2").arg(first, second));
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectItems);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setTabKeyNavigation(false);
    table->setWordWrap(false);
    table->verticalHeader()->hide();
    table->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setStretchLastSection(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    QObject::connect(buttons, &QDialogButtonBox::rejected, window, &QWidget::close);
    auto* compare = buttons->addButton(QString::fromLatin1(kCompareOnUnitText), QDialogButtonBox::ActionRole);
    compare->setObjectName(QStringLiteral("CompareOnUnitButton"));
    compare->setCheckable(true);
    const PresetSide* played = playedSide(*model);
    compare->setVisible(played != nullptr);
    if (played)
        compare->setAccessibleDescription(
            QStringLiteral("Pressed in: the unit plays %1; press again for your edits").arg(qs(played->caption)));
    QObject::connect(compare, &QPushButton::clicked, window, [&binder, &editor, model] {
        binder.handle([&editor, model] {
            const PresetSide* side = playedSide(*model);
            if (editor.comparing() || !side)
                editor.leaveCompare();
            else
                editor.compareWith(side->bytes, side->caption);
        });
    });

    auto* layout = new QVBoxLayout(window);
    layout->addWidget(summary);
    layout->addWidget(onlyDiffering);
    layout->addWidget(table, 1);
    layout->addWidget(buttons);

    // While the core runs (a comparison half sent) the store is no settled version of the edits.
    const auto show = [=, &binder, &editor]() -> QWidget* {
        const ProgramState& s = editor.state();
        const bool changed = !binder.coreRunning() && model->follow(s, editor.host().decimalPoint());
        const QString text = qs(differingText(model->differing()));
        if (summary->text() != text) {
            if (!summary->text().isEmpty())
                announce(summary, text);
            summary->setText(text);
            summary->setAccessibleName(text);
        }
        const PresetSide* side = playedSide(*model);
        const bool playing = editor.comparing() && side && s.currentEffect == side->effect &&
            editor.form().compareSource == side->caption;
        const bool offered = side && s.currentEffect == side->effect && (playing || model->differing() > 0);
        if (compare->isChecked() == playing && compare->isEnabled() == offered && !changed)
            return nullptr;
        compare->setChecked(playing);
        compare->setEnabled(offered);
        return window;
    };
    model->follow(editor.state(), editor.host().decimalPoint());
    show();
    binder.custom(window, show);
}

} // namespace

void showSideBySide(QWidget* parent, Binder& binder, Editor& editor, const PresetSide& a, const PresetSide& b)
{
    const std::string refusal = compareSideBySide(editor.state().tables, a, b, '.').refusal;
    if (!refusal.empty()) {
        editor.host().message(refusal, kSideBySideTitle, Icon::Exclamation);
        return;
    }
    // A dialog, so that screen readers name it as a window of its own; it is not modal.
    auto* window = new QDialog(parent);
    window->setModal(false);
    window->setObjectName(QStringLiteral("SideBySideWindow"));
    window->setAttribute(Qt::WA_DeleteOnClose);
    buildWindow(window, binder, editor, new SideBySideModel(a, b, window));
    window->resize(window->sizeHint().expandedTo(QSize(600, 560)));
    if (parent)
        window->move(parent->window()->geometry().center() - window->rect().center());
    window->show();
    window->raise();
    window->activateWindow();
}

std::optional<PresetSide> presetFileSide(Host& host, const std::filesystem::path& path)
{
    const auto record = readPresetRecord(host, path);
    if (!record)
        return std::nullopt;
    PresetSide side{path.filename().string(), (*record)[kRowSize - 1], {}};
    std::copy_n(record->begin(), kDeviceColumns, side.bytes.begin());
    return side;
}

namespace {

// The slot named as the panel shows it: with its name when it holds a preset.
std::string captionOf(Editor& editor, const UnitSlots& unit, SlotRef at)
{
    return unit.stored(at) ? slotCaption(editor.state(), at.effect, at.slot) : slotPlace(at.effect, at.slot);
}

constexpr const char* kChooseOneOrTwo =
    "Choose one preset to see beside your edits, or two presets of one effect to see side by side.";
constexpr const char* kChooseOneForAFile = "Choose one slot to see beside a preset file.";

// One side beside the current edits, two beside each other, once each side can be had.
template <class Chosen, class Side>
void compareChosen(QWidget* parent, Binder& binder, Editor& editor, const std::vector<Chosen>& chosen, Side side)
{
    if (chosen.empty() || chosen.size() > 2) {
        editor.host().message(kChooseOneOrTwo, kSideBySideTitle, Icon::Exclamation);
        return;
    }
    const auto first = side(chosen.front());
    if (!first)
        return;
    if (chosen.size() == 1) {
        showSideBySide(parent, binder, editor, currentEdits(editor.state()), *first);
        return;
    }
    if (const auto second = side(chosen.back()))
        showSideBySide(parent, binder, editor, *first, *second);
}

} // namespace

std::optional<PresetSide> slotSide(Editor& editor, UnitSlots& unit, SlotRef at)
{
    const std::string place = slotPlace(at.effect, at.slot);
    const auto refuse = [&editor](const std::string& why) {
        editor.host().message(why, kSideBySideTitle, Icon::Exclamation);
        return std::nullopt;
    };
    const std::string empty = place + " is empty: there is no preset to compare.";
    // Known to be empty: nothing to read.
    if (!unit.stored(at) &&
        editor.state().known.depth({UnitPart::Directory, at.effect, at.slot}) != UnitKnowledge::Depth::Unread)
        return refuse(empty);
    const std::optional<SlotBackup> slot = unit.slot(at);
    if (!slot)
        return refuse(place + " could not be read from the unit.");
    if (!slot->stored())
        return refuse(empty);
    return PresetSide{slotCaption(editor.state(), at.effect, at.slot), at.effect, slot->data};
}

void compareSlots(QWidget* parent, Binder& binder, Editor& editor, UnitSlots& unit, const std::vector<SlotRef>& chosen)
{
    // Two effects are refused before a slot is read.
    const ProgramState& state = editor.state();
    const auto named = [&](SlotRef at) { return PresetSide{captionOf(editor, unit, at), at.effect, {}}; };
    const std::string refusal = chosen.size() == 1 ? sideBySideRefusal(currentEdits(state), named(chosen.front()))
        : chosen.size() == 2                       ? sideBySideRefusal(named(chosen.front()), named(chosen.back()))
                                                   : std::string();
    if (!refusal.empty()) {
        editor.host().message(refusal, kSideBySideTitle, Icon::Exclamation);
        return;
    }
    compareChosen(parent, binder, editor, chosen, [&](SlotRef at) { return slotSide(editor, unit, at); });
}

void compareSlotWithFile(QWidget* parent, Binder& binder, Editor& editor, UnitSlots& unit,
                         const std::vector<SlotRef>& chosen, const std::filesystem::path& folder)
{
    Host& host = editor.host();
    if (chosen.size() != 1) {
        host.message(kChooseOneForAFile, kSideBySideTitle, Icon::Exclamation);
        return;
    }
    const SlotRef at = chosen.front();
    const auto path = host.openFile(kPresetFilter, folder);
    if (!path)
        return;
    const auto file = presetFileSide(host, *path);
    if (!file)
        return;
    const PresetSide named{captionOf(editor, unit, at), at.effect, {}};
    if (const std::string refusal = sideBySideRefusal(named, *file); !refusal.empty()) {
        host.message(refusal, kSideBySideTitle, Icon::Exclamation);
        return;
    }
    if (const auto slot = slotSide(editor, unit, at))
        showSideBySide(parent, binder, editor, *slot, *file);
}

void compareFiles(QWidget* parent, Binder& binder, Editor& editor, std::vector<std::filesystem::path> chosen)
{
    std::sort(chosen.begin(), chosen.end()); // as the Library lists them, whatever order they were picked in
    compareChosen(parent, binder, editor, chosen,
                  [&editor](const std::filesystem::path& file) { return presetFileSide(editor.host(), file); });
}

} // namespace qrv::ui
