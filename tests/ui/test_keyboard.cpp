// Every task by keyboard and by screen reader: the Tab order of the pages, the accessible
// actions of the controls, the dialogs' keys, and what a screen reader is told as it happens.
#include "UiRig.hpp"

#include "devmem/PresetDialogs.hpp"
#include "ui/windows/MainWindow.hpp"
#include "ui/pages/PageBuilder.hpp"
#include "ui/panels/PresetLibraryPanel.hpp"

#include <QDockWidget>
#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QTreeWidget>
#include <QPushButton>
#include <QSlider>
#include <QStackedWidget>
#include <QTest>

namespace qrv::test {
namespace {

using Bytes = std::vector<uint8_t>;

bool isControl(const QWidget* w)
{
    return qobject_cast<const QSlider*>(w) || qobject_cast<const QComboBox*>(w) ||
        qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QLineEdit*>(w);
}

// The value box that belongs to a slider.
QString boxOf(const PageInfo& page, const QString& slider)
{
    const QString index = slider.section(u'_', 1);
    if (slider.startsWith(QStringLiteral("Slider15_")))
        return QStringLiteral("Text16_") + index;
    return QString::fromLatin1(page.textName) + u'_' + index;
}

TEST(UiKeyboard, TabGoesThroughEveryPageInReadingOrderEachSliderFollowedByItsValueBox)
{
    UiRig rig;
    rig.showEditor();
    activate(&rig.windows.main());
    auto* effects = rig.find<QComboBox>("Combo1");
    for (const PageInfo& page : catalogue::pages()) {
        SCOPED_TRACE(page.caption);
        choose(effects, effectShowing(page));
        QWidget* frame = rig.windows.editor().pages()->currentWidget();
        QList<QWidget*> wanted;
        for (QWidget* w : frame->findChildren<QWidget*>())
            if (isControl(w) && w->isVisible())
                wanted << w;
        effects->setFocus();
        // Tab from the effect list until the focus has been through the page and left it.
        QList<QWidget*> visited;
        for (int i = 0; i < 300; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* focus = QApplication::focusWidget();
            ASSERT_TRUE(focus);
            if (frame->isAncestorOf(focus))
                visited << focus;
            else if (!visited.isEmpty())
                break;
        }
        EXPECT_EQ(QSet<QWidget*>(visited.begin(), visited.end()), QSet<QWidget*>(wanted.begin(), wanted.end()));
        EXPECT_EQ(visited.size(), wanted.size()); // each once
        int lastColumn = -1;
        for (qsizetype i = 0; i < visited.size(); ++i) {
            const auto* slider = qobject_cast<QSlider*>(visited[i]);
            if (!slider)
                continue;
            ASSERT_LT(i + 1, visited.size());
            EXPECT_EQ(visited[i + 1]->objectName(), boxOf(page, slider->objectName())) << slider->objectName().toStdString();
            // The top row's columns are read left to right.
            if (!slider->objectName().startsWith(QStringLiteral("Slider15_"))) {
                const int x = slider->mapTo(frame, QPoint(0, 0)).x();
                EXPECT_GT(x, lastColumn) << slider->objectName().toStdString();
                lastColumn = x;
            }
        }
    }
}

constexpr int kChorus = 7;

// The main window has the keyboard and the Chorus page shows.
struct KeyboardRig : UiRig {
    KeyboardRig()
    {
        showEditor();
        activate(&windows.main());
        choose(find<QComboBox>("Combo1"), kChorus);
    }
    bool focusOn(QWidget* widget)
    {
        // A closed popup may leave no window active; the user's window is the one in front.
        activate(widget->window());
        widget->setFocus();
        return QTest::qWaitFor([widget] { return widget->hasFocus(); }, kDeadlineMs);
    }
    QString outcome() { return find<QLabel>("StatusOutcome")->text(); }
};

TEST(UiKeyboard, TabOrEnterAppliesATypedValueOnceAndTheStatusBarTellsWhatBecameOfIt)
{
    KeyboardRig rig;
    auto* box = rig.find<QLineEdit>("Text5_0");
    auto* depth = rig.find<QSlider>("Slider3_0");
    const std::size_t steps = rig.editor.history().size();
    const auto type = [&](const char* text, Qt::Key leaveBy) {
        ASSERT_TRUE(rig.focusOn(box));
        box->selectAll();
        QTest::keyClicks(box, QString::fromLatin1(text));
        QTest::keyClick(box, leaveBy);
    };

    type("80", Qt::Key_Tab);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.stored(0) == 80 && !box->hasFocus(); }, kDeadlineMs));
    EXPECT_EQ(box->text(), "80 %");
    EXPECT_EQ(depth->value(), 20);
    EXPECT_EQ(rig.live(kChorus, 0), 80);

    // Enter, then leaving the box: one value, one step of the history.
    type("60", Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.stored(0) == 60; }, kDeadlineMs));
    QTest::keyClick(box, Qt::Key_Tab);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !box->hasFocus(); }, kDeadlineMs));
    EXPECT_EQ(rig.editor.history().size(), steps + 2);
    EXPECT_EQ(rig.parameterWrites(), (std::vector<std::pair<int, int>>{{0, 80}, {0, 60}}));

    type("150", Qt::Key_Tab);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.stored(0) == 100; }, kDeadlineMs));
    EXPECT_EQ(box->text(), "100 %");
    EXPECT_EQ(rig.outcome(), "Limited to 100 %");
    type("abc", Qt::Key_Tab);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.outcome() == "Not a number"; }, kDeadlineMs));
    EXPECT_EQ(box->text(), "100 %");
    EXPECT_EQ(rig.stored(0), 100);
    EXPECT_EQ(rig.editor.history().size(), steps + 3);
}

TEST(UiKeyboard, HomeEndShiftF10TheEditMenusResetsCtrlLAndF6)
{
    KeyboardRig rig;
    ui::MainWindow& main = rig.windows.main();
    auto* depth = rig.find<QSlider>("Slider3_0");
    ASSERT_TRUE(rig.focusOn(depth));
    QTest::keyClick(depth, Qt::Key_Home);
    EXPECT_TRUE(QTest::qWaitFor([&] { return rig.stored(0) == 0; }, kDeadlineMs));
    QTest::keyClick(depth, Qt::Key_End);
    EXPECT_TRUE(QTest::qWaitFor([&] { return rig.stored(0) == 100; }, kDeadlineMs));
    EXPECT_EQ(rig.find<QLineEdit>("Text5_0")->text(), "100 %");

    // Opened by the keyboard, the menu starts on its first item, so a screen reader says it.
    QStringList offered;
    QString onItem;
    once([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()) != nullptr; },
        [&offered, &onItem] {
            QPointer<QMenu> menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            // Waited for inside the menu, which is closed whatever comes, so that the test ends.
            QTest::qWaitFor([&] { return !menu || menu->activeAction(); }, kDeadlineMs);
            if (!menu)
                return;
            for (const QAction* action : menu->actions())
                offered << action->text();
            onItem = menu->activeAction() ? menu->activeAction()->text() : QString();
            menu->close();
        },
        "the slider's menu");
    QTest::keyClick(depth, Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !offered.isEmpty(); }, kDeadlineMs));
    EXPECT_EQ(offered, (QStringList{"Reset to Stored Value", "Reset to Start Value"}));
    EXPECT_EQ(onItem, "Reset to Stored Value");

    // The Edit menu's resets act on the focused control, and only on one that has them.
    auto* toStart = main.findChild<QAction*>("Menu_ResetToStart");
    ASSERT_TRUE(toStart && main.editMenu()->actions().contains(toStart));
    emit main.editMenu()->aboutToShow();
    ASSERT_TRUE(toStart->isEnabled());
    toStart->trigger();
    EXPECT_EQ(rig.stored(0), rig.state.startConfig.at(kChorus, 0));
    ASSERT_TRUE(rig.focusOn(rig.find<QComboBox>("Combo1")));
    emit main.editMenu()->aboutToShow();
    EXPECT_FALSE(toStart->isEnabled());
    EXPECT_FALSE(main.findChild<QAction*>("Menu_ResetToStored")->isEnabled());

    auto* library = main.findChild<ui::PresetLibraryPanel*>("PresetLibrary");
    ASSERT_TRUE(library);
    QTest::keyClick(&main, Qt::Key_L, Qt::ControlModifier);
    const auto inLibrary = [library] {
        QWidget* focus = QApplication::focusWidget();
        return library->isVisible() && focus && library->isAncestorOf(focus);
    };
    ASSERT_TRUE(QTest::qWaitFor(inLibrary, kDeadlineMs));
    // Opened beside the Library, Unit Presets shares the column's height with it.
    auto* unitPresets = main.findChild<QDockWidget*>("UnitPresets");
    ASSERT_TRUE(unitPresets);
    unitPresets->show();
    const auto shared = [library, unitPresets] {
        const int column = library->height() + unitPresets->height();
        return unitPresets->isVisible() && std::min(library->height(), unitPresets->height()) * 3 > column;
    };
    EXPECT_TRUE(QTest::qWaitFor(shared, kDeadlineMs))
        << library->height() << " and " << unitPresets->height() << " pixels high";
    unitPresets->hide();
    QWidget* page = &rig.windows.editor();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6);
    ASSERT_TRUE(QTest::qWaitFor([page] { return page->isAncestorOf(QApplication::focusWidget()); }, kDeadlineMs));
    QWidget* onPage = QApplication::focusWidget();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6);
    EXPECT_TRUE(QTest::qWaitFor(inLibrary, kDeadlineMs));
    // Ctrl+L from the page moves into the open Library; from inside it closes it, back to the page.
    ASSERT_TRUE(rig.focusOn(onPage));
    QTest::keyClick(onPage, Qt::Key_L, Qt::ControlModifier);
    EXPECT_TRUE(QTest::qWaitFor(inLibrary, kDeadlineMs));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_L, Qt::ControlModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !library->isVisible() && QApplication::focusWidget() == onPage; },
                                kDeadlineMs));
}

// What a screen reader's action sends, compared with what a click sends for the same change.
TEST(UiAccessibility, ToggleOnEveryCheckBoxSendsWhatAClickSends)
{
    UiRig rig;
    rig.showEditor();
    auto* effects = rig.find<QComboBox>("Combo1");
    QSet<QString> done;
    for (const PageInfo& page : catalogue::pages()) {
        choose(effects, effectShowing(page));
        QWidget* frame = rig.windows.editor().pages()->currentWidget();
        QList<QAbstractButton*> checks = frame->findChildren<QAbstractButton*>();
        checks << rig.find<QAbstractButton>("Check1"); // Effect ON
        for (QAbstractButton* check : checks) {
            if (!check->isCheckable() || done.contains(check->objectName() + page.caption))
                continue;
            done.insert(check->objectName() + page.caption);
            SCOPED_TRACE(check->accessibleName().toStdString());
            QAccessibleActionInterface* actions = QAccessible::queryAccessibleInterface(check)->actionInterface();
            ASSERT_TRUE(actions);
            ASSERT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::toggleAction()));
            const bool before = check->isChecked();
            const auto sentBy = [&](const std::function<void()>& act) {
                rig.port.clearLog();
                rig.host.answer(true); // the rate link asks before it copies
                act();
                rig.host.answers.clear();
                return rig.port.sent().empty() ? Bytes{} : rig.port.sent().back().bytes;
            };
            const auto toggle = [&] { actions->doAction(QAccessibleActionInterface::toggleAction()); };
            const auto click = [&] { check->click(); };
            const Bytes toggledOnce = sentBy(toggle);
            EXPECT_EQ(check->isChecked(), !before);
            EXPECT_FALSE(toggledOnce.empty());
            const Bytes clickedBack = sentBy(click);
            EXPECT_EQ(check->isChecked(), before);
            EXPECT_EQ(sentBy(click), toggledOnce);
            EXPECT_EQ(sentBy(toggle), clickedBack);
        }
    }
    EXPECT_GE(done.size(), 8);
}

} // namespace
} // namespace qrv::test
