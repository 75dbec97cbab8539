#include "ui/pages/CompareControls.hpp"

#include "ui/pages/Accessible.hpp"
#include "ui/pages/Binder.hpp"
#include "ui/windows/SideBySideWindow.hpp"

#include "effects/Pages.hpp"
#include "state/CodePage.hpp"
#include "storage/PresetFiles.hpp"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QListWidget>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

#include <optional>

namespace qrv::ui {

namespace {

bool differsFromStored(Editor& editor)
{
    const ProgramState& s = editor.state();
    return !sameAsDevice(s, s.currentEffect);
}

struct CompareChoice {
    int source = 0;
    bool sideBySide = false;
};

// The source, and whether the unit plays it or it opens beside the edits; nothing on Cancel.
std::optional<CompareChoice> chooseCompareSource(QWidget* window, const QStringList& sources)
{
    QDialog dialog(window);
    dialog.setObjectName(QStringLiteral("CompareWithDialog"));
    dialog.setWindowTitle(QStringLiteral("Compare With"));
    auto* list = new QListWidget;
    list->setObjectName(QStringLiteral("CompareSources"));
    list->addItems(sources);
    list->setCurrentRow(0);
    auto* label = new QLabel(QStringLiteral("Compare your edits &with:"));
    label->setBuddy(list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel);
    auto* onUnit = buttons->addButton(QString::fromLatin1(kCompareOnUnitText), QDialogButtonBox::AcceptRole);
    onUnit->setObjectName(QStringLiteral("CompareOnUnit"));
    onUnit->setAccessibleDescription(QStringLiteral("The unit plays the chosen preset; Compare returns to your edits"));
    onUnit->setDefault(true);
    auto* sideBySide = buttons->addButton(QStringLiteral("&Side by Side"), QDialogButtonBox::AcceptRole);
    sideBySide->setObjectName(QStringLiteral("CompareSideBySide"));
    sideBySide->setAccessibleDescription(
        QStringLiteral("A table of the chosen preset's parameters beside your edits, marking where they differ"));
    CompareChoice choice;
    QObject::connect(buttons, &QDialogButtonBox::clicked, &dialog,
                     [&choice, sideBySide](QAbstractButton* button) { choice.sideBySide = button == sideBySide; });
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(list, &QListWidget::itemActivated, &dialog, &QDialog::accept);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(label);
    layout->addWidget(list);
    layout->addWidget(buttons);
    list->setFocus();
    if (dialog.exec() != QDialog::Accepted || list->currentRow() < 0)
        return std::nullopt;
    choice.source = list->currentRow();
    return choice;
}

} // namespace

QKeySequence compareKey()
{
    return QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C);
}

QPushButton* compareButton(Binder& binder, Editor& editor)
{
    FrmMain& form = editor.form();
    auto* button = new QPushButton;
    button->setObjectName(QStringLiteral("CompareButton"));
    button->setCheckable(true);
    button->setAccessibleDescription(
        QStringLiteral("Pressed in: the unit plays the stored version; press again for your edits"));
    binder.button(button, form.compareButton, [&editor] { editor.compareClick(); });
    binder.custom(button, [button, &editor]() -> QWidget* {
        const bool offered = editor.comparing() || differsFromStored(editor);
        if (button->isChecked() == editor.comparing() && button->isEnabled() == offered)
            return nullptr;
        const QSignalBlocker blocker(button);
        button->setChecked(editor.comparing());
        button->setEnabled(offered);
        return button;
    });
    return button;
}

QLabel* compareBanner(Binder& binder, Editor& editor)
{
    auto* banner = new QLabel;
    banner->setObjectName(QStringLiteral("CompareBanner"));
    banner->setTextFormat(Qt::PlainText);
    banner->setAlignment(Qt::AlignCenter);
    banner->setAutoFillBackground(true);
    banner->setBackgroundRole(QPalette::Highlight);
    banner->setForegroundRole(QPalette::HighlightedText);
    banner->setMargin(4);
    QFont bold = banner->font();
    bold.setBold(true);
    banner->setFont(bold);
    banner->setMinimumHeight(QFontMetrics(bold).height() + 2 * banner->margin() + 4);
    // Its place is kept, so that the page does not jump when a comparison starts.
    QSizePolicy keep = banner->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    banner->setSizePolicy(keep);
    banner->hide();
    binder.custom(banner, [banner, &form = editor.form()]() -> QWidget* {
        const QString text = qs(form.compareBanner);
        if (banner->text() == text && banner->isVisible() == !text.isEmpty())
            return nullptr;
        const bool leaving = text.isEmpty() && !banner->text().isEmpty();
        banner->setText(text);
        banner->setAccessibleName(text);
        banner->setVisible(!text.isEmpty());
        announce(banner, leaving ? QStringLiteral("Back to your edits")
                                 : QStringLiteral("Comparing ") + qs(form.compareSource));
        return banner;
    });
    return banner;
}

namespace {

// While comparing, the page shows the compared version: Tab walks it and a screen reader
// reads it, but keys, clicks and the wheel change nothing, and the focus stays where it is.
class ComparedPageGuard final : public QObject {
public:
    ComparedPageGuard(QWidget* page, const Editor& editor) : QObject(page), page_(page), editor_(editor)
    {
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::KeyPress: {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Tab || key == Qt::Key_Backtab)
                return false;
            break;
        }
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
            break;
        default:
            return false;
        }
        const auto* widget = qobject_cast<const QWidget*>(watched);
        return editor_.comparing() && widget && page_->isAncestorOf(widget);
    }

private:
    QWidget* page_;
    const Editor& editor_;
};

} // namespace

void holdWhileComparing(QWidget* page, const Editor& editor)
{
    new ComparedPageGuard(page, editor);
}

std::pair<QAction*, QAction*> addCompareActions(QWidget* window, Binder& binder, Editor& editor)
{
    auto* stored = new QAction(QStringLiteral("&Compare With Stored"), window);
    stored->setObjectName(QStringLiteral("CompareAction"));
    stored->setCheckable(true);
    stored->setShortcut(compareKey());
    stored->setShortcutContext(Qt::WindowShortcut);
    stored->setStatusTip(QStringLiteral("Hear the preset stored in the unit, then again for your edits"));
    window->addAction(stored);
    QObject::connect(stored, &QAction::triggered, window,
                     [&binder, &editor] { binder.handle([&editor] { editor.compareClick(); }); });

    auto* with = new QAction(QStringLiteral("Compare &With…"), window);
    with->setObjectName(QStringLiteral("CompareWithAction"));
    with->setStatusTip(QStringLiteral("Hear another slot of the unit or a preset file, or see it beside your edits"));
    QObject::connect(with, &QAction::triggered, window, [window, &binder, &editor] {
        if (binder.coreRunning())
            return;
        binder.handle([&editor] { editor.leaveCompare(); });
        const ProgramState& s = editor.state();
        const int e = s.currentEffect;
        QStringList sources;
        if (!s.DemoMode)
            for (int slot = 0; slot < kSlotCount; ++slot)
                sources << QStringLiteral("Slot %1 of the unit: %2")
                               .arg(slot + 1)
                               .arg(qs(trimmed(
                                   s.presetNames.at(static_cast<std::size_t>(e)).at(static_cast<std::size_t>(slot)))));
        sources << QStringLiteral("A preset file…");
        const auto choice = chooseCompareSource(window, sources);
        if (!choice)
            return;
        const bool file = choice->source == sources.size() - 1;
        if (!choice->sideBySide) {
            binder.handle([&editor, file, slot = choice->source] {
                if (file)
                    CompareWithPresetFile(editor);
                else
                    editor.compareWithSlot(slot);
            });
            return;
        }
        binder.handle([window, &binder, &editor, file, e, slot = choice->source] {
            std::optional<PresetSide> other;
            UnitSlots unit(editor);
            if (!file)
                other = slotSide(editor, unit, {e, slot});
            else if (const auto path = editor.host().openFile(kPresetFilter, presetFolder(editor.state()));
                     path && !path->empty())
                other = presetFileSide(editor.host(), *path);
            if (other)
                showSideBySide(window, binder, editor, currentEdits(editor.state()), *other);
        });
    });

    binder.custom(stored, [stored, &editor]() -> QWidget* {
        stored->setEnabled(editor.comparing() || differsFromStored(editor));
        stored->setChecked(editor.comparing());
        return nullptr;
    });
    return {stored, with};
}

void addResetActions(Binder& binder, Editor& editor, QWidget* control, int column)
{
    const std::pair<ResetTo, const char*> resets[] = {{ResetTo::Stored, kResetToStoredText},
                                                      {ResetTo::Start, kResetToStartText}};
    QList<QAction*> actions;
    for (const auto& [to, text] : resets) {
        auto* action = new QAction(QString::fromLatin1(text), control);
        action->setObjectName(QString::fromLatin1(text));
        QObject::connect(action, &QAction::triggered, control, [&binder, &editor, column, to = to] {
            binder.handle([&editor, column, to] { editor.resetColumn(column, to); });
        });
        control->addAction(action);
        actions << action;
    }
    binder.custom(actions.front(), [actions, &editor, column]() -> QWidget* {
        const ProgramState& s = editor.state();
        const int e = s.currentEffect;
        const uint8_t now = s.store.at(e, column);
        actions[0]->setEnabled(!editor.comparing() && column < kDeviceColumns && s.deviceCopy.at(e, column) != now);
        actions[1]->setEnabled(!editor.comparing() && s.startConfig.at(e, column) != now);
        return nullptr;
    });
    if (auto* box = qobject_cast<QLineEdit*>(control)) {
        // A value box keeps its own editing menu and adds the resets.
        box->setContextMenuPolicy(Qt::CustomContextMenu);
        QObject::connect(box, &QWidget::customContextMenuRequested, box, [box, actions](const QPoint& at) {
            QMenu* menu = box->createStandardContextMenu();
            menu->setAttribute(Qt::WA_DeleteOnClose);
            menu->addSeparator();
            menu->addActions(actions);
            menu->popup(box->mapToGlobal(at));
        });
        return;
    }
    control->setContextMenuPolicy(Qt::ActionsContextMenu);
    offerAccessibleActions(control);
}

QAction* resetAction(const QWidget* control, ResetTo to)
{
    if (!control)
        return nullptr;
    const QString name = QString::fromLatin1(to == ResetTo::Stored ? kResetToStoredText : kResetToStartText);
    for (QAction* action : control->actions())
        if (action->objectName() == name)
            return action;
    return nullptr;
}

} // namespace qrv::ui
