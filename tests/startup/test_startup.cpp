#include "StartUpRig.hpp"

#include "app/Exit.hpp"
#include "app/StartUp.hpp"
#include "editor/Catalogue.hpp"
#include "state/TimeLeft.hpp"

#include <gtest/gtest.h>

namespace qrv::test {
namespace {

using Bytes = std::vector<uint8_t>;

// Runs the start-up as the window layer does: splash load, then its timer.
std::vector<Window> startUp(StartUpRig& rig)
{
    std::vector<Window> shown;
    splashLoad(rig.program);
    splashTimer(rig.program, [&](Window w) { shown.push_back(w); });
    return shown;
}

TEST(Splash, LoadHidesTheStatusStartsTheTwoSecondTimerAndWarnsOfScreensUnderEightHundredBySixHundred)
{
    TemporaryWorkingDirectory cwd;
    for (const ScreenSize screen :
         {ScreenSize{800, 480}, ScreenSize{799, 600}, ScreenSize{1024, 768}, ScreenSize{800, 600}}) {
        SCOPED_TRACE(std::to_string(screen.width) + "x" + std::to_string(screen.height));
        StartUpRig rig;
        rig.host.screen = screen;
        const FrmSplash& splash = rig.program.splash;
        EXPECT_EQ(splash.Label2.caption, "QRV5173 effect processor");
        EXPECT_EQ(splash.Label1.caption, "Searching serial ports: please wait ");
        splashLoad(rig.program);
        EXPECT_FALSE(splash.Label1.visible);
        EXPECT_TRUE(splash.Timer1.enabled);
        EXPECT_EQ(splash.Timer1.interval, 2000);
        EXPECT_EQ(rig.state.programFolder, cwd.path());
        if (screen.width >= 800 && screen.height >= 600) {
            EXPECT_TRUE(rig.host.boxes.empty());
            continue;
        }
        ASSERT_EQ(rig.host.boxes.size(), 1u);
        EXPECT_EQ(rig.host.boxes[0].text, "Minimum display resolution is 800x600");
        EXPECT_EQ(rig.host.boxes[0].title, "Warning");
        EXPECT_EQ(rig.host.boxes[0].icon, Icon::None);
        EXPECT_FALSE(rig.host.boxes[0].question);
    }
}

TEST(Splash, EditorLoadCopesWithAPanelNotBuiltYet)
{
    FrmMain form;
    editorWindowLoad(form);
    EXPECT_TRUE(form.Command2.empty());
}

TEST(StartUp, TheTimerConnectsOnPortSevenOverwritesTheHeadOfInitCfgWithoutReadingItAndDumps)
{
    TemporaryWorkingDirectory cwd;
    {
        std::ofstream old(cwd.path() / "init.cfg", std::ios::binary);
        old.write("\x09\x00\x03\x04\x05", 5);
    }
    StartUpRig rig;
    rig.deviceOnPortSeven();
    rig.form.Command2[6].caption = "Reload All Effect";
    rig.form.Command2[5].caption = "Reload Current Effect";
    const auto shown = startUp(rig);
    EXPECT_EQ(shown, (std::vector<Window>{Window::Main, Window::Editor}));
    EXPECT_FALSE(rig.program.splash.Timer1.enabled);
    EXPECT_FALSE(rig.program.splash.loaded);
    EXPECT_FALSE(rig.form.Command2[6].visible);
    EXPECT_TRUE(rig.form.Command2[5].visible);
    // The splash wore the hourglass from the timer to its unloading, the main window until the dump was done.
    ASSERT_GE(rig.host.busyChanges.size(), 4u);
    EXPECT_EQ(rig.host.busyChanges.front(), std::make_pair(Window::Splash, true));
    EXPECT_EQ(rig.host.busyChanges.back(), std::make_pair(Window::Splash, false));
    EXPECT_FALSE(rig.host.busy(Window::Main));

    EXPECT_EQ(rig.resolved.front(), 0);
    EXPECT_EQ(rig.resolved.at(1), 1); // the search starts at one, not at the saved nine
    EXPECT_EQ(rig.state.PortNumber, 7);
    EXPECT_EQ(readFile(cwd.path() / "init.cfg"), (Bytes{7, 0, 3, 4, 5}));
    EXPECT_TRUE(rig.program.splash.Label1.visible);
    EXPECT_EQ(rig.program.splash.Label1.caption, "Dumping memory: please wait ");
    EXPECT_FALSE(rig.state.DemoMode);
    EXPECT_TRUE(rig.state.LinkUp);
    EXPECT_FALSE(rig.form.Label8.visible);
    EXPECT_FALSE(rig.form.Timer1.enabled); // the page shown has no tap lamp
    EXPECT_TRUE(rig.form.TimerCompare.enabled);
    EXPECT_EQ(rig.form.TimerCompare.interval, 1000);
    EXPECT_TRUE(rig.host.boxes.empty());
    // The search label was shown and painted before the first number was tried.
    EXPECT_NE(std::find(rig.host.refreshes.begin(), rig.host.refreshes.end(), Window::Splash),
              rig.host.refreshes.end());
}

TEST(StartUp, TheNextStartTriesThePortTheUnitAnsweredOnFirstAndStillFindsAUnitThatMoved)
{
    TemporaryWorkingDirectory cwd;
    {
        StartUpRig first;
        first.deviceOnPortSeven();
        startUp(first);
        EXPECT_EQ(first.framesWith(Cmd::Probe), 3u); // the silent ports 3 and 5 cost a probe each
    }
    EXPECT_EQ(readFile(cwd.path() / "last-port"), (Bytes{'q', 'r', 'v', '\n'}));
    EXPECT_EQ(readFile(cwd.path() / "init.cfg"), (Bytes{7, 0}));

    StartUpRig again;
    again.deviceOnPortSeven();
    startUp(again);
    EXPECT_EQ(again.framesWith(Cmd::Probe), 1u);
    EXPECT_EQ(again.state.PortNumber, 7);

    StartUpRig moved;
    moved.names = {{3, "silent3"}, {5, "qrv-moved"}};
    moved.far = {{"silent3", Far::Silent}, {"qrv-moved", Far::Device}};
    startUp(moved);
    EXPECT_EQ(moved.state.PortNumber, 5);
    EXPECT_FALSE(moved.state.DemoMode);
    EXPECT_EQ(readFile(cwd.path() / "last-port"), (Bytes{'q', 'r', 'v', '-', 'm', 'o', 'v', 'e', 'd', '\n'}));
}

TEST(StartUp, TheTapTickRunsOnlyWhileTheTapDelayPageIsShown)
{
    TemporaryWorkingDirectory cwd;
    StartUpRig rig;
    rig.deviceOnPortSeven();
    rig.device.poke(Addr::CurrentEffect, kTapDelayPage);
    startUp(rig);
    ASSERT_EQ(rig.state.currentEffect, kTapDelayPage);
    EXPECT_TRUE(rig.form.Timer1.enabled);
    EXPECT_EQ(rig.form.Timer1.interval, 1000);

    // As a selection from the list leaves it: stopped on another page, 50 ms on Tap Delay.
    for (const int effect : {2, kTapDelayPage, 0}) {
        rig.form.Combo1.index = effect;
        rig.program.editor.effectListClick();
        EXPECT_EQ(rig.form.Timer1.enabled, effect == kTapDelayPage) << effect;
        EXPECT_EQ(rig.form.Timer2.enabled, effect == kTapDelayPage) << effect;
    }
    EXPECT_EQ(rig.form.Timer1.interval, 50);
}

TEST(StartUp, AnUnwritableFolderIsNoError)
{
    TemporaryWorkingDirectory cwd;
    std::filesystem::create_directory(cwd.path() / "init.cfg"); // not a file: cannot be written
    StartUpRig rig;
    rig.deviceOnPortSeven();
    startUp(rig);
    EXPECT_TRUE(rig.host.boxes.empty());
    EXPECT_FALSE(rig.host.ended);
    EXPECT_FALSE(rig.state.DemoMode);
}

TEST(DemoMode, NoDeviceAsksAndNoEndsTheProgram)
{
    TemporaryWorkingDirectory cwd;
    StartUpRig rig;
    rig.host.answer(false);
    EXPECT_THROW(startUp(rig), ProgramEnded);
    ASSERT_EQ(rig.host.boxes.size(), 1u);
    const auto& box = rig.host.boxes[0];
    EXPECT_TRUE(box.question);
    EXPECT_EQ(box.text, "                 Do you want to continue in demo mode?");
    for (const char* check : {"cable", "switched on", "dialout", "other program"})
        EXPECT_NE(box.detail.find(check), std::string::npos) << check;
    EXPECT_EQ(box.title, "USB virtual COM Port communication problem");
    EXPECT_EQ(box.icon, Icon::None);
    EXPECT_EQ(rig.resolved.size(), 36u);
    EXPECT_FALSE(std::filesystem::exists(cwd.path() / "init.cfg"));
}

TEST(DemoMode, YesShowsEffectZeroWithEverySlotEmptyAndSendsNothing)
{
    TemporaryWorkingDirectory cwd;
    StartUpRig rig;
    rig.names = {{4, "silent"}};
    rig.far = {{"silent", Far::Silent}};
    rig.host.answer(true);
    startUp(rig);
    const ProgramState& s = rig.state;
    EXPECT_TRUE(s.DemoMode);
    EXPECT_TRUE(s.LinkUp);
    EXPECT_EQ(s.currentEffect, 0);
    EXPECT_EQ(s.effectSwitchState, 0);
    EXPECT_EQ(rig.form.Check1.value, 0);
    EXPECT_EQ(rig.form.Combo1.index, 0);
    EXPECT_EQ(rig.form.frontPage, 0);
    EXPECT_EQ(s.store, ParameterTable{});
    EXPECT_EQ(s.deviceCopy, ParameterTable{});
    for (int e = 0; e < kEffectCount; ++e) {
        EXPECT_EQ(s.presetSlotNumbers[e], "0");
        for (int slot = 0; slot < kSlotCount; ++slot) {
            EXPECT_EQ(s.presetDirectory[e][slot], "0");
            EXPECT_EQ(s.presetNames[e][slot], "");
        }
    }
    EXPECT_EQ(rig.form.Label2.caption, "1 - ");
    EXPECT_FALSE(rig.form.Label8.visible);
    EXPECT_FALSE(rig.form.Timer1.enabled);
    EXPECT_FALSE(rig.form.TimerCompare.enabled);
    // Only the probe on the silent port went out; demo mode wrote nothing.
    EXPECT_TRUE(rig.exchanges().empty());
    EXPECT_EQ(rig.port.sent().size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(cwd.path() / "init.cfg"));
    EXPECT_EQ(rig.host.sleeps, (std::vector<int>{80}));
}

TEST(Exit, NoLeavesEverythingAndSendsNothingYesSendsTheExitNoticeOnceAndEnds)
{
    StartUpRig rig;
    rig.deviceOnPortSeven();
    ASSERT_TRUE(rig.program.search.connectAtStartUp({}));
    rig.port.clearLog();
    rig.host.answer(false);
    EXPECT_FALSE(mainWindowCloseRequest(rig.program));
    ASSERT_EQ(rig.host.boxes.size(), 1u);
    const auto& box = rig.host.boxes[0];
    EXPECT_TRUE(box.question);
    EXPECT_EQ(box.text, "               Are you sure ? ");
    EXPECT_EQ(box.title, "Exit");
    EXPECT_EQ(box.icon, Icon::None);
    EXPECT_EQ(box.defaultButton, Button::No);
    EXPECT_TRUE(rig.port.sent().empty());
    EXPECT_FALSE(rig.host.ended);

    rig.host.answer(true);
    EXPECT_THROW(mainWindowCloseRequest(rig.program), ProgramEnded);
    ASSERT_EQ(rig.port.sent().size(), 1u);
    EXPECT_EQ(rig.port.sent()[0].bytes, (Bytes{0xF0, 0x9C, 0x0F, 0, 0, 0, 0, 0, 0, 0xF7}));
}

} // namespace
} // namespace qrv::test

namespace qrv {
namespace {

// The first steps carry the start's own cost: no estimate until a few of them and a second
// have been measured, then the mean time per step.
TEST(TimeLeft, SaysNothingUntilAFewStepsAndASecondAreMeasured)
{
    using namespace std::chrono_literals;
    TimeLeft::Clock::time_point now{};
    const TimeLeft left([&now] { return now; });
    now += 500ms;
    EXPECT_EQ(timeLeftText(left.seconds(1, 100)), "");
    now += 400ms;
    EXPECT_EQ(timeLeftText(left.seconds(50, 100)), ""); // under a second
    now += 100ms;
    EXPECT_EQ(timeLeftText(left.seconds(2, 100)), ""); // a second, but two steps
    EXPECT_EQ(timeLeftText(left.seconds(50, 100)), "About 1 s left");
    now += 59s;
    EXPECT_EQ(timeLeftText(left.seconds(48, 100)), "About 1 min 5 s left");
}

} // namespace
} // namespace qrv
