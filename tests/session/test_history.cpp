#include "EditorRig.hpp"
#include "TempFolder.hpp"

#include "effects/Pages.hpp"
#include "storage/FileCodec.hpp"
#include "storage/PresetFiles.hpp"
#include "storage/Reload.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace qrv::test {
namespace {

// What the user and the unit hold: the store, the switch and the unit's live parameters.
struct Picture {
    ParameterTable store;
    int16_t effectSwitch;
    std::vector<uint8_t> live;
    bool operator==(const Picture&) const = default;
};

// Where two pictures part, for the failure message.
void PrintTo(const Picture& p, std::ostream* out)
{
    *out << "switch " << p.effectSwitch << " store";
    for (int e = 0; e < kEffectCount; ++e)
        for (int c = 0; c < kRowSize; ++c)
            if (p.store.at(e, c))
                *out << " " << e << "/" << c << "=" << int(p.store.at(e, c));
    *out << " live";
    for (std::size_t i = 0; i < p.live.size(); ++i)
        if (p.live[i])
            *out << " " << i / kDeviceColumns << "/" << i % kDeviceColumns << "=" << int(p.live[i]);
}

Picture picture(const EditorRig& rig)
{
    std::vector<uint8_t> live;
    for (int e = 0; e < kEffectCount; ++e)
        for (int c = 0; c < kDeviceColumns; ++c)
            live.push_back(rig.live(e, c));
    return {rig.state.store, rig.state.effectSwitchState, live};
}

void move(EditorRig& rig, int page, int index, int value)
{
    const PageParameter& p = *catalogue::parameter(*catalogue::pageByElement(page), index);
    rig.editor.setControl(*catalogue::pageByElement(page), p, value);
    rig.editor.sliderEvent(page, index);
    rig.editor.sliderReleased();
}

TEST(History, UndoAndRedoWalkStoreAndUnitThroughEveryEarlierState)
{
    EditorRig rig;
    // A selection reads the effect's row from the unit, which no undo takes back: every
    // row the test edits is read before the first picture.
    for (int effect : {6, 11, 15, 7})
        rig.select(effect);
    std::vector<Picture> states{picture(rig)};
    const auto select = [&](int effect) { rig.select(effect); };
    const auto step = [&](auto action) {
        action();
        rig.clock.advance(5);
        states.push_back(picture(rig));
        EXPECT_EQ(rig.editor.history().size(), states.size() - 1) << "step " << states.size() - 1 << " changed nothing";
    };
    step([&] { move(rig, 7, 1, 30); }); // Chorus Rate L
    step([&] {                          // link the rates: R follows L
        rig.form.Check7.value = 1;
        rig.host.answer(true);
        rig.editor.checkClick(7, 5);
    });
    step([&] { move(rig, 7, 1, 70); }); // both rates move
    select(6);
    step([&] { move(rig, 6, 0, 150); }); // Tap Delay: 750 ms
    step([&] {
        rig.form.Combo4.at(10).index = 4;
        rig.editor.frequencyListClick(10);
    });
    step([&] {
        rig.form.Combo2.at(11).index = 20;
        rig.editor.passFilterClick(11);
    });
    step([&] {
        rig.form.Slider15.at(9).position = 10;
        rig.editor.gainSliderEvent(9);
    });
    step([&] {
        rig.form.Check1.value = 1;
        rig.editor.effectSwitchClick();
    });
    select(11);
    step([&] {
        rig.form.Check2.value ^= 1;
        rig.editor.checkClick(11, kNoIndex);
    });
    select(15);
    step([&] { move(rig, 15, 0, 57); }); // Pitch +07
    ASSERT_EQ(rig.editor.history().size(), states.size() - 1);

    for (std::size_t i = states.size() - 1; i > 0; --i) {
        ASSERT_TRUE(rig.editor.undo());
        EXPECT_EQ(picture(rig), states[i - 1]) << "after undoing step " << i;
    }
    EXPECT_FALSE(rig.editor.undo());
    EXPECT_EQ(rig.state.currentEffect, 7); // the first step's effect was selected to undo it
    for (std::size_t i = 1; i < states.size(); ++i) {
        ASSERT_TRUE(rig.editor.redo());
        EXPECT_EQ(picture(rig), states[i]) << "after redoing step " << i;
    }
    EXPECT_FALSE(rig.editor.redo());
    EXPECT_EQ(rig.host.boxes.size(), 1u); // only the link question of the real edit
}

void tick(EditorRig& rig, CheckBox FrmMain::*box, int page, int index, int value)
{
    (rig.form.*box).value = value;
    rig.host.answer(true);
    rig.editor.checkClick(page, index);
    rig.clock.advance(5);
}

std::vector<uint8_t> unitRow(const EditorRig& rig, int effect)
{
    std::vector<uint8_t> row;
    for (int c = 0; c < kDeviceColumns; ++c)
        row.push_back(rig.live(effect, c));
    return row;
}

// Every page rule: the redo sends what the hand sent, frame for frame; the undo sends each
// column once, in the hand's order (empty: the hand's columns), and puts store and unit back.
TEST(History, UndoAndRedoSendWhatTheHandSent)
{
    using Action = std::function<void(EditorRig&)>;
    struct Rule {
        const char* name;
        int effect;
        Action before, hand;
        std::vector<int> undoColumns;
    };
    const Action chorusLinked = [](EditorRig& rig) { tick(rig, &FrmMain::Check7, 7, 5, 1); };
    const Action flangeRightApart = [](EditorRig& rig) {
        tick(rig, &FrmMain::Check6, 8, 6, 0);
        move(rig, 8, 1, 80);
    };
    const Action monoAt200 = [](EditorRig& rig) {
        tick(rig, &FrmMain::Check3, 6, 3, 1);
        move(rig, 6, 0, 200);
    };
    const Rule rules[] = {
        {"linked Rate L", 7, chorusLinked, [](EditorRig& rig) { move(rig, 7, 1, 40); }, {}},
        {"linked Rate R", 7, chorusLinked, [](EditorRig& rig) { move(rig, 7, 2, 40); }, {}},
        {"link on", 8, flangeRightApart, [](EditorRig& rig) { tick(rig, &FrmMain::Check6, 8, 6, 1); }, {}},
        {"link off", 8, [](EditorRig& rig) { tick(rig, &FrmMain::Check6, 8, 6, 1); },
         [](EditorRig& rig) { tick(rig, &FrmMain::Check6, 8, 6, 0); }, {0, 2}},
        {"mono to stereo", 6, monoAt200, [](EditorRig& rig) { tick(rig, &FrmMain::Check3, 6, 3, 0); }, {14, 0}},
        {"stereo delay clamp", 6, [](EditorRig& rig) { tick(rig, &FrmMain::Check3, 6, 3, 0); },
         [](EditorRig& rig) { move(rig, 6, 0, 240); }, {}},
        {"tap", 6, [](EditorRig& rig) { rig.state.tap.tapCounter = 8; }, [](EditorRig& rig) { tapClick(rig.editor); },
         {}},
        {"rotor switch", 11, {},
         [](EditorRig& rig) { tick(rig, &FrmMain::Check2, 11, kNoIndex, rig.form.Check2.value ^ 1); }, {}},
        {"band gain", 6, {},
         [](EditorRig& rig) {
             rig.form.Slider15.at(9).position = 3;
             rig.editor.gainSliderEvent(9);
         },
         {}},
    };
    for (const Rule& rule : rules) {
        SCOPED_TRACE(rule.name);
        EditorRig rig;
        rig.select(rule.effect);
        if (rule.before)
            rule.before(rig);
        rig.clock.advance(5);
        const auto storeBefore = rig.state.store;
        const auto unitBefore = unitRow(rig, rule.effect);
        rig.port.clearLog();
        rule.hand(rig);
        rig.editor.sliderReleased();
        const auto hand = rig.parameterWrites();
        const auto storeAfter = rig.state.store;
        const auto unitAfter = unitRow(rig, rule.effect);
        ASSERT_FALSE(hand.empty());

        rig.port.clearLog();
        ASSERT_TRUE(rig.editor.undo());
        std::vector<int> undoColumns;
        for (const auto& [column, value] : rig.parameterWrites())
            undoColumns.push_back(column);
        std::vector<int> expected = rule.undoColumns;
        if (expected.empty())
            for (const auto& [column, value] : hand)
                expected.push_back(column);
        EXPECT_EQ(undoColumns, expected);
        EXPECT_EQ(rig.state.store, storeBefore);
        EXPECT_EQ(unitRow(rig, rule.effect), unitBefore);

        rig.port.clearLog();
        ASSERT_TRUE(rig.editor.redo());
        EXPECT_EQ(rig.parameterWrites(), hand);
        EXPECT_EQ(rig.state.store, storeAfter);
        EXPECT_EQ(unitRow(rig, rule.effect), unitAfter);
    }
}

TEST(History, ADragIsOneStepAndAReleaseOrAPauseEndsIt)
{
    EditorRig rig;
    rig.select(7);
    const uint8_t start = rig.stored(0);
    Slider& depth = rig.form.Slider3.at(0);
    for (int position = 90; position >= 40; position -= 5) {
        depth.position = position;
        rig.editor.sliderEvent(7, 0);
        rig.clock.advance(0.05);
    }
    rig.editor.sliderReleased();
    depth.position = 20;
    rig.editor.sliderEvent(7, 0);
    rig.clock.advance(3); // a pause ends the step as well
    depth.position = 10;
    rig.editor.sliderEvent(7, 0);
    EXPECT_EQ(rig.editor.history().size(), 3u);

    rig.editor.undo();
    rig.editor.undo();
    EXPECT_EQ(rig.stored(0), 60);
    rig.editor.undo();
    EXPECT_EQ(rig.stored(0), start);
    EXPECT_EQ(rig.live(7, 0), start);
    EXPECT_EQ(depth.position, 100 - start);
}

TEST(History, AFileLoadAndAReloadAreOneStepEach)
{
    EditorRig rig;
    TempFolder dir;
    rig.state.programFolder = dir.path;
    rig.select(9);
    move(rig, 9, 0, 33);
    rig.select(7);
    const ParameterTable before = rig.state.store;
    const ParameterTable startBefore = rig.state.startConfig;

    Row record{};
    for (int c = 0; c < kDeviceColumns; ++c)
        record[static_cast<std::size_t>(c)] = static_cast<uint8_t>(c % 20);
    record[kRowSize - 1] = 9;
    const auto file = dir.path / "phaser.fxp";
    writeBytes(file, std::vector<uint8_t>(record.begin(), record.end()));
    rig.host.choosePath(file);
    LoadPresetFile(rig.editor);
    ASSERT_EQ(rig.state.currentEffect, 9);
    ASSERT_EQ(rig.stored(0), 0);
    const ParameterTable loaded = rig.state.store;
    move(rig, 9, 0, 50);
    rig.host.answer(true);
    ReloadCurrentEffect(rig.editor);
    ASSERT_EQ(rig.state.store, loaded);
    EXPECT_EQ(rig.editor.history().size(), 4u);

    rig.editor.undo(); // the reload
    EXPECT_EQ(rig.stored(0), 50);
    rig.editor.undo();
    EXPECT_EQ(rig.state.store, loaded);
    rig.select(7);
    rig.port.clearLog();
    rig.editor.undo(); // the file load: effect 9 is shown again with its old row, sent whole
    EXPECT_EQ(rig.state.currentEffect, 9);
    EXPECT_EQ(rig.state.store, before);
    EXPECT_TRUE(std::ranges::equal(rig.state.startConfig.row(9), startBefore.row(9)));
    EXPECT_EQ(rig.stored(0), 33);
    EXPECT_EQ(rig.live(9, 0), 33);
    EXPECT_EQ(rig.parameterWrites().size(), catalogue::pageOfEffect(9).parameters.size() + 3 * 3 + 2);
    rig.editor.redo();
    EXPECT_EQ(rig.state.store, loaded);
    EXPECT_EQ(rig.live(9, 1), 1);
}

TEST(History, ANewEditDropsWhatCouldBeRedone)
{
    EditorRig rig;
    rig.select(10);
    move(rig, 10, 0, 10);
    rig.clock.advance(5);
    move(rig, 10, 0, 20);
    rig.editor.undo();
    move(rig, 10, 1, 40);
    EXPECT_FALSE(rig.editor.redo());
    rig.editor.undo();
    rig.editor.undo();
    EXPECT_EQ(rig.stored(0), rig.state.startConfig.at(10, 0));
    EXPECT_EQ(rig.stored(3), rig.state.startConfig.at(10, 3));
}

} // namespace
} // namespace qrv::test
