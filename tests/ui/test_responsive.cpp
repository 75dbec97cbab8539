// The window against the emulator at 4800 baud: events that arrive while the link waits
// never enter the core inside an exchange, never pile up and never run late.
#include "UiRig.hpp"

#include "EmulatorProcess.hpp"
#include "FakeHost.hpp"

#include "link/Clock.hpp"
#include "link/SerialTransport.hpp"

#include <QComboBox>
#include <QPushButton>
#include <QSlider>
#include <QTest>

namespace qrv::test {
namespace {

// The real serial transport against the paced emulator, with the windows on the gate.
struct PacedRig : ApplicationUp {
    WorkingFolder folder;
    std::filesystem::path log = folder.path / "frames.log";
    EmulatorProcess emulator{QRV_EMULATOR_PATH, {"--log", log.string()}};
    FakeHost host;
    SerialTransport port;
    SteadyClock clock;
    Program program{port, clock, host, [](int) { return std::optional<std::string>(); }};
    ui::AppWindows windows{program, nullptr};

    PacedRig()
    {
        port.setWaitObserver([this](bool waiting) { windows.binder().setLinkWaiting(waiting); });
        port.open(emulator.slavePath());
        program.state.LinkUp = true;
        windows.show(Window::Main);
        windows.show(Window::Editor);
    }

    template <class T> T* find(const char* name) { return windows.main().findChild<T*>(QString::fromLatin1(name)); }

    // The requests of one command the emulator has logged.
    std::vector<std::vector<uint8_t>> requests(int command) const
    {
        std::vector<std::vector<uint8_t>> out;
        for (auto& r : loggedRequests(log))
            if (r.size() == 10 && r[2] == command)
                out.push_back(r);
        return out;
    }
    void waitUntilIdle()
    {
        ASSERT_TRUE(QTest::qWaitFor([this] { return !windows.binder().coreRunning(); }, 20000));
        QTest::qWait(10);
    }
};

// Runs the action once the core is inside an exchange, waiting for a reply.
void duringTheNextExchange(PacedRig& rig, std::function<void()> action)
{
    once([&rig] { return rig.windows.binder().coreRunning(); }, std::move(action), "an exchange");
}

TEST(UiResponsive, ADragDuringAnExchangeSendsItsFinalPositionOnceAfterIt)
{
    PacedRig rig;
    auto* decay = rig.find<QSlider>("Slider12_0");
    ASSERT_NE(decay, nullptr);
    duringTheNextExchange(rig, [&] {
        for (int position = 0; position < 100; ++position)
            decay->setValue(position);
    });
    decay->setValue(decay->maximum() - 1);
    rig.waitUntilIdle();

    const auto column0 = rig.requests(Cmd::SetParameter);
    ASSERT_GE(column0.size(), 2u);
    EXPECT_LE(column0.size(), 3u);
    const int final = rig.program.state.store.at(0, 0);
    EXPECT_EQ(column0.back()[8], final);
    EXPECT_EQ(rig.program.form.Slider12.at(0).position, 99);
    EXPECT_EQ(decay->value(), 99);
}

TEST(UiResponsive, ADragReleasedDuringAnExchangeIsOneUndoStep)
{
    PacedRig rig;
    auto* decay = rig.find<QSlider>("Slider12_0");
    const uint8_t before = rig.program.state.store.at(0, 0);
    // The second move reaches the core while the first is on the wire; the last move and
    // the release come while the second is.
    int waits = 0;
    rig.port.setWaitObserver([&](bool waiting) {
        rig.windows.binder().setLinkWaiting(waiting);
        if (!waiting)
            return;
        if (++waits == 1)
            duringTheNextExchange(rig, [&] { decay->setValue(60); });
        else if (waits == 2)
            duringTheNextExchange(rig, [&] {
                decay->setValue(40);
                emit decay->sliderReleased();
            });
    });
    decay->setValue(decay->maximum() - 1);
    rig.waitUntilIdle();
    ASSERT_EQ(decay->value(), 40);
    rig.program.editor.undo();
    EXPECT_EQ(rig.program.state.store.at(0, 0), before);
}

TEST(UiResponsive, QuickStepsThroughTheEffectListSelectOnlyTheLastEffect)
{
    PacedRig rig;
    auto* effects = rig.find<QComboBox>("Combo1");
    for (int effect = 1; effect <= 6; ++effect) {
        effects->setCurrentIndex(effect);
        emit effects->activated(effect);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return !rig.requests(Cmd::SelectEffect).empty(); }, 20000));
    rig.waitUntilIdle();
    const auto selections = rig.requests(Cmd::SelectEffect);
    ASSERT_EQ(selections.size(), 1u);
    EXPECT_EQ(rig.program.state.currentEffect, 6);
}

TEST(UiResponsive, ATimerDueDuringAnExchangeTicksOnceAfterItAndACommandClickedIsNotRun)
{
    PacedRig rig;
    auto* reload = rig.find<QPushButton>("Command2_5"); // Reload Current Effect: asks first
    ASSERT_NE(reload, nullptr);
    auto* tick = rig.windows.editor().findChild<QTimer*>(QStringLiteral("Timer1"));
    ASSERT_NE(tick, nullptr);
    rig.program.form.Timer1 = Timer{true, 50};
    const double before = rig.program.state.tap.tapCounter;
    double duringExchange = -1;
    duringTheNextExchange(rig, [&] {
        for (int i = 0; i < 3; ++i)
            fire(tick);
        duringExchange = rig.program.state.tap.tapCounter;
        reload->click();
    });
    rig.find<QSlider>("Slider12_0")->setValue(10);
    EXPECT_EQ(duringExchange, before); // nothing ran inside the exchange
    EXPECT_EQ(rig.program.state.tap.tapCounter, before + 1);
    rig.waitUntilIdle();
    EXPECT_TRUE(rig.host.boxes.empty());
    EXPECT_EQ(rig.requests(Cmd::SetParameter).size(), 1u);
}

} // namespace
} // namespace qrv::test
