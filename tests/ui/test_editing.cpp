// Editing through the widgets: every user event reaches the core once and the widgets
// show what the core made of it.
#include "UiRig.hpp"

#include "ui/pages/Accessible.hpp"
#include "ui/pages/CompareControls.hpp"
#include "ui/pages/Widgets.hpp"

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QStackedWidget>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QWheelEvent>

namespace qrv::test {
namespace {

using Writes = std::vector<std::pair<int, int>>;
using Bytes = std::vector<uint8_t>;

constexpr int kTapDelay = 6, kChorus = 7, kRotary = 11, kPitchShifter = 15;

struct EditingRig : UiRig {
    EditingRig() { showEditor(); }
    void select(int effect)
    {
        choose(find<QComboBox>("Combo1"), effect);
        port.clearLog();
    }
    QString text(const char* box) { return find<QLineEdit>(box)->text(); }
    // The unit holds what the editor holds for the effect, and the editor compares.
    QTimer* compareWithTheUnit(int effect)
    {
        select(effect);
        state.deviceCopy.copyRowFrom(state.store, effect);
        form.TimerCompare = {true, 1000};
        windows.binder().sync();
        auto* compare = windows.editor().findChild<QTimer*>("TimerCompare");
        EXPECT_TRUE(compare && compare->isActive());
        return compare;
    }
};

TEST(UiEditing, MovedSliderSendsOneFrameAndKeysAndWheelMoveTheHandleTheWayTheyPoint)
{
    EditingRig rig;
    rig.select(kChorus);
    auto* depth = rig.find<QSlider>("Slider3_0");
    depth->setValue(30); // what a drag reports for each position it passes
    EXPECT_EQ(rig.frames(Cmd::SetParameter), (std::vector<Bytes>{{0xF0, 0x9C, 0x20, 0, 0, 0, 0, 0, 70, 0xF7}}));
    EXPECT_EQ(rig.text("Text5_0"), "70 %");
    EXPECT_EQ(rig.live(kChorus, 0), 70);
    EXPECT_EQ(rig.form.Slider3.at(0).position, 30);

    auto* level = rig.find<QSlider>("Slider3_3"); // Out Level, column 6
    level->setValue(50);
    rig.port.clearLog();

    QTest::keyClick(level, Qt::Key_Up); // up raises the value
    EXPECT_EQ(level->value(), 49);
    EXPECT_EQ(rig.parameterWrites(), (Writes{{6, 51}}));
    EXPECT_EQ(rig.text("Text5_3"), "51 %");

    QTest::keyClick(level, Qt::Key_PageDown);
    EXPECT_EQ(level->value(), 59);
    EXPECT_EQ(rig.parameterWrites().back(), (std::pair<int, int>{6, 41}));

    const QPointF centre = QRectF(level->rect()).center();
    QWheelEvent wheelUp(centre, level->mapToGlobal(centre), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                        Qt::NoScrollPhase, false);
    QApplication::sendEvent(level, &wheelUp);
    EXPECT_LT(level->value(), 59);
    EXPECT_EQ(rig.parameterWrites().size(), 3u); // one frame per reported position
    EXPECT_EQ(rig.parameterWrites().back(), (std::pair<int, int>{6, 100 - level->value()}));
    EXPECT_EQ(rig.live(kChorus, 6), 100 - level->value());

    // A click on the groove above the handle pages the handle up.
    const int before = level->value();
    QTest::mouseClick(level, Qt::LeftButton, Qt::NoModifier, QPoint(level->width() / 2, 3));
    EXPECT_LT(level->value(), before);
    EXPECT_EQ(rig.parameterWrites().back(), (std::pair<int, int>{6, 100 - level->value()}));
}

TEST(UiEditing, BandAndPassFilterControlsStoreAndSendTheirColumn)
{
    EditingRig rig;
    rig.select(kTapDelay);
    auto* frequency = rig.find<QComboBox>("Combo4_10");
    choose(frequency, 4);
    EXPECT_EQ(frequency->currentText(), " 50.0 Hz");
    EXPECT_EQ(rig.frames(Cmd::SetParameter), (std::vector<Bytes>{{0xF0, 0x9C, 0x20, 8, 0, 0, 0, 0, 4, 0xF7}}));
    EXPECT_EQ(rig.stored(8), 4);

    // Stepping through the closed list with the keyboard reports every entry.
    QTest::keyClick(frequency, Qt::Key_Down);
    EXPECT_EQ(frequency->currentIndex(), 5);
    EXPECT_EQ(rig.parameterWrites().back(), (std::pair<int, int>{8, 5}));

    // The gain shows decibels and stores the inverted position.
    rig.port.clearLog();
    rig.find<QSlider>("Slider15_10")->setValue(31);
    EXPECT_EQ(rig.text("Text16_10"), "-0.5");
    EXPECT_EQ(rig.stored(7), 29);
    EXPECT_EQ(rig.parameterWrites(), (Writes{{7, 29}}));
    rig.find<QSlider>("Slider15_10")->setValue(30);
    EXPECT_EQ(rig.text("Text16_10"), "0");

    rig.select(13);                               // DELAY REVERB
    choose(rig.find<QComboBox>("Combo2_28"), 17); // "Delay High Pass" = "1000 Hz"
    EXPECT_EQ(rig.frames(Cmd::SetParameter), (std::vector<Bytes>{{0xF0, 0x9C, 0x20, 3, 0, 0, 0, 0, 0x11, 0xF7}}));
}

TEST(UiEditing, EffectListShowsExactlyTheSelectedPage)
{
    EditingRig rig;
    auto* pages = rig.windows.editor().pages();
    rig.select(kRotary);
    EXPECT_EQ(pages->currentWidget()->objectName(), "Frame5_11");
    for (QWidget* page : pages->findChildren<QGroupBox*>(QRegularExpression("^Frame5_")))
        EXPECT_EQ(page->isVisible(), page->objectName() == "Frame5_11") << page->objectName().toStdString();
    EXPECT_EQ(rig.find<QLabel>("Label3")->text(), "STOP");
    EXPECT_EQ(rig.find<QLabel>("Label4")->text(), "GO");

    rig.select(2); // REVERB PLATE shares the reverb page
    EXPECT_EQ(pages->currentWidget()->objectName(), "Frame5_0");
    EXPECT_TRUE(rig.find<QSlider>("Slider12_0")->isVisible());
    EXPECT_FALSE(rig.find<QSlider>("Slider60_0")->isVisible());
    EXPECT_EQ(rig.find<QLabel>("Label3")->text(), "OFF");
    EXPECT_EQ(rig.find<QLabel>("Label4")->text(), "ON");
    EXPECT_EQ(rig.find<QComboBox>("Combo1")->currentText(), "REVERB PLATE");
    // The page shows the effect's own row.
    const int decay = rig.state.store.at(2, 0);
    EXPECT_EQ(rig.find<QSlider>("Slider12_0")->value(), 100 - decay);
    EXPECT_EQ(rig.text("Text18_0"), QString::number(decay) + " %");
}

TEST(UiEditing, EffectSwitchSendsItsStateAndTheRotorSwitchIsARedButtonDrawnInWhileOn)
{
    EditingRig rig;
    auto* lever = rig.find<QAbstractButton>("Check1");
    const bool wasOn = lever->isChecked();
    QTest::mouseClick(lever, Qt::LeftButton);
    EXPECT_EQ(lever->isChecked(), !wasOn);
    EXPECT_EQ(rig.device.effectSwitch(), wasOn ? 0 : 1); // the frame is the core's test

    rig.select(kRotary);
    auto* rotor = rig.find<ui::RedButton>("Check2");
    if (rotor->isChecked()) {
        QTest::mouseClick(rotor, Qt::LeftButton);
        rig.port.clearLog();
    }
    QTest::mouseClick(rotor, Qt::LeftButton);
    EXPECT_TRUE(rotor->isChecked());
    EXPECT_EQ(rig.parameterWrites(), (Writes{{0, 1}}));
    EXPECT_EQ(rig.stored(0), 1);
    // Checked and unchecked faces differ: pressed in, raised.
    const QImage in = rotor->grab().toImage();
    QTest::mouseClick(rotor, Qt::LeftButton);
    EXPECT_EQ(rig.parameterWrites().back(), (std::pair<int, int>{0, 0}));
    EXPECT_NE(rotor->grab().toImage(), in);
}

TEST(UiEditing, SemitoneSliderRunsLeftToRight)
{
    EditingRig rig;
    rig.select(kPitchShifter);
    auto* pitch = rig.find<QSlider>("Slider10_0");
    pitch->setValue(0);
    EXPECT_EQ(rig.text("Text13_0"), "-12     ");
    rig.port.clearLog();
    pitch->setValue(36);
    EXPECT_EQ(rig.text("Text13_0"), " 00     ");
    EXPECT_EQ(rig.parameterWrites(), (Writes{{0, 36}}));
    QTest::keyClick(pitch, Qt::Key_Right);
    EXPECT_EQ(rig.text("Text13_0"), " 00 +33%");
}

TEST(UiEditing, TapSetsTheDelayAndTheLampFollowsItsTimer)
{
    EditingRig rig;
    rig.select(kTapDelay);
    auto* tick = rig.windows.editor().findChild<QTimer*>("Timer1");
    auto* lampTimer = rig.windows.editor().findChild<QTimer*>("Timer2");
    ASSERT_TRUE(tick && lampTimer);
    EXPECT_TRUE(tick->isActive());
    EXPECT_EQ(tick->interval(), 50);
    EXPECT_TRUE(lampTimer->isActive());
    EXPECT_EQ(lampTimer->interval(), 1000);

    auto* tap = rig.find<QPushButton>("Command1");
    EXPECT_EQ(tap->text(), "Tap");
    QTest::mouseClick(tap, Qt::LeftButton); // right after a change: the shortest delay
    EXPECT_EQ(rig.text("Text4_0"), "50 ms");
    for (int i = 0; i < 8; ++i)
        fire(tick);
    QTest::mouseClick(tap, Qt::LeftButton);
    EXPECT_EQ(rig.text("Text4_0"), "400 ms");
    EXPECT_EQ(rig.find<QSlider>("Slider2_0")->value(), 174);
    EXPECT_EQ(rig.parameterWrites(), (Writes{{0, 10}, {0, 80}}));
    EXPECT_EQ(lampTimer->interval(), 400);

    auto* lamp = rig.find<ui::Lamp>("Shape5");
    const QColor dark(0, 128, 0), bright(0, 192, 0);
    EXPECT_EQ(lamp->colour(), dark);
    fire(lampTimer);
    fire(lampTimer); // the blink's rhythm is the core's test; the widget shows its colour
    EXPECT_EQ(lamp->colour(), bright);

    rig.select(kChorus);
    EXPECT_FALSE(tick->isActive());
    EXPECT_FALSE(lampTimer->isActive());
}

TEST(UiEditing, RateLinkAsksBeforeCopyingTheLeftRate)
{
    EditingRig rig;
    rig.select(kChorus);
    auto* link = rig.find<QCheckBox>("Check7");
    if (link->isChecked())
        QTest::mouseClick(link, Qt::LeftButton);  // switching off asks nothing
    rig.find<QSlider>("Slider3_1")->setValue(30); // Rate L 70
    rig.find<QSlider>("Slider3_2")->setValue(80); // Rate R 20
    rig.port.clearLog();
    // No leaves the link off: the core's test. Yes copies, and the page shows it.
    rig.host.answer(true);
    QTest::mouseClick(link, Qt::LeftButton);
    EXPECT_TRUE(link->isChecked());
    EXPECT_EQ(rig.parameterWrites(), (Writes{{3, 1}, {5, 70}}));
    EXPECT_EQ(rig.find<QSlider>("Slider3_2")->value(), 30);
    EXPECT_EQ(rig.text("Text5_2"), "70 %");
}

TEST(UiEditing, TypedValuesCompareUndoRedoResetAndWhatDiffersFromTheUnit)
{
    EditingRig rig;
    QTimer* compare = rig.compareWithTheUnit(kChorus);
    auto* window = &rig.windows.editor();
    activate(window->window());
    auto* marker = rig.find<QLabel>("Label8");
    fire(compare);
    EXPECT_FALSE(marker->isVisible());
    auto* depthBox = rig.find<QLineEdit>("Text5_0");
    const QString shown = depthBox->text();
    const uint8_t before = rig.stored(0);
    const int typed = before == 45 ? 46 : 45;

    depthBox->setFocus();
    depthBox->selectAll();
    QTest::keyClicks(depthBox, QString::number(typed) + " %");
    fire(compare); // the model does not overwrite what is being typed
    EXPECT_EQ(depthBox->text(), QString::number(typed) + " %");
    QTest::keyClick(depthBox, Qt::Key_Return);
    EXPECT_EQ(rig.stored(0), typed);
    EXPECT_EQ(rig.live(kChorus, 0), typed);
    EXPECT_EQ(rig.find<QSlider>("Slider3_0")->value(), 100 - typed);

    depthBox->selectAll();
    QTest::keyClicks(depthBox, "deep");
    QTest::keyClick(depthBox, Qt::Key_Escape);
    EXPECT_EQ(depthBox->text(), QString::number(typed) + " %");
    EXPECT_EQ(rig.stored(0), typed);

    fire(compare);
    EXPECT_TRUE(marker->isVisible());
    EXPECT_EQ(marker->text(), "*");
    EXPECT_TRUE(depthBox->property("differs").toBool());
    EXPECT_FALSE(rig.find<QLineEdit>("Text5_3")->property("differs").toBool());
    EXPECT_TRUE(marker->toolTip().contains(
        QString::fromStdString("Depth: " + std::to_string(typed) + " % (stored: " + std::to_string(before) + " %)")));

    // Compare: the stored version is heard and shown, and the page takes no edit meanwhile.
    std::vector<QString> heard;
    ui::observeAnnouncements([&heard](QWidget*, const QString& said) { heard.push_back(said); });
    const struct Quiet {
        ~Quiet() { ui::observeAnnouncements({}); }
    } quiet;
    auto* compareAction = window->findChild<QAction*>("CompareAction");
    ASSERT_TRUE(compareAction && compareAction->shortcut() == ui::compareKey());
    for (int key = QKeySequence::HelpContents; key <= QKeySequence::Cancel; ++key)
        EXPECT_FALSE(QKeySequence::keyBindings(QKeySequence::StandardKey(key)).contains(ui::compareKey())) << key;
    auto* button = rig.find<QPushButton>("CompareButton");
    // The focus stays on the control the user was on, both ways, and each way is said once.
    auto* depth = rig.find<QSlider>("Slider3_0");
    depth->setFocus();
    heard.clear();
    compareAction->trigger();
    EXPECT_EQ(heard, std::vector<QString>{"Comparing the stored version"});
    EXPECT_EQ(QApplication::focusWidget(), depth);
    const QString banner = "Comparing: the stored version \u2014 press Compare to return to your edits";
    EXPECT_EQ(rig.find<QLabel>("CompareBanner")->isVisible() ? rig.find<QLabel>("CompareBanner")->text() : "", banner);
    EXPECT_EQ(rig.live(kChorus, 0), before);
    EXPECT_EQ(depthBox->text(), shown);
    // The compared version is walked and read, but keys, clicks and the wheel change nothing.
    QTest::keyClick(depth, Qt::Key_End);
    QTest::mouseClick(depth, Qt::LeftButton, {}, depth->rect().topLeft() + QPoint(2, 2));
    QTest::keyClick(depth, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), depthBox);
    QTest::keyClicks(depthBox, "7");
    QTest::keyClick(depthBox, Qt::Key_Return);
    EXPECT_TRUE(button->isChecked());
    EXPECT_EQ(rig.live(kChorus, 0), before);
    EXPECT_EQ(depthBox->text(), shown);
    heard.clear();
    compareAction->trigger();
    EXPECT_EQ(heard, std::vector<QString>{"Back to your edits"});
    EXPECT_EQ(QApplication::focusWidget(), depthBox);
    EXPECT_EQ(rig.live(kChorus, 0), typed);
    EXPECT_EQ(depthBox->text(), QString::number(typed) + " %");

    auto* undo = window->findChild<QAction*>("UndoAction");
    auto* redo = window->findChild<QAction*>("RedoAction");
    ASSERT_TRUE(undo && redo);
    EXPECT_TRUE(undo->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_Z)));
    EXPECT_TRUE(redo->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_Y)));
    EXPECT_TRUE(redo->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)));
    undo->trigger();
    EXPECT_EQ(rig.stored(0), before);
    EXPECT_EQ(rig.live(kChorus, 0), before);
    EXPECT_EQ(depthBox->text(), shown);
    fire(compare);
    EXPECT_FALSE(marker->isVisible());
    EXPECT_FALSE(depthBox->property("differs").toBool());
    EXPECT_TRUE(redo->isEnabled());
    redo->trigger();
    EXPECT_EQ(rig.live(kChorus, 0), typed);

    // A control's own Reset, here as a screen reader runs it.
    EXPECT_EQ(depth->contextMenuPolicy(), Qt::ActionsContextMenu);
    QAccessible::queryAccessibleInterface(depth)->actionInterface()->doAction("Reset to Stored Value");
    EXPECT_EQ(rig.live(kChorus, 0), before);
    EXPECT_FALSE(button->isEnabled());
}

TEST(UiEditing, ADragOfTheHandleIsOneStepOfTheHistory)
{
    EditingRig rig;
    rig.select(kChorus);
    auto* depth = rig.find<QSlider>("Slider3_0");
    depth->setValue(50);
    rig.editor.sliderReleased();
    const std::size_t steps = rig.editor.history().size();
    QStyleOptionSlider option;
    option.initFrom(depth);
    option.orientation = depth->orientation();
    option.minimum = depth->minimum();
    option.maximum = depth->maximum();
    option.sliderPosition = depth->sliderPosition();
    option.sliderValue = depth->value();
    option.upsideDown = depth->invertedAppearance();
    const QRect handle = depth->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, depth);
    QPoint at = handle.center();
    QTest::mousePress(depth, Qt::LeftButton, {}, at);
    for (int i = 0; i < 4; ++i) {
        at.ry() += 10;
        QMouseEvent move(QEvent::MouseMove, at, depth->mapToGlobal(at), Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(depth, &move);
    }
    QTest::mouseRelease(depth, Qt::LeftButton, {}, at);
    ASSERT_LT(rig.stored(0), 50);
    EXPECT_GT(rig.parameterWrites().size(), 2u);
    EXPECT_EQ(rig.editor.history().size(), steps + 1);
    rig.editor.undo();
    EXPECT_EQ(rig.stored(0), 50);
    EXPECT_EQ(rig.live(kChorus, 0), 50);
}

} // namespace
} // namespace qrv::test
