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

using Writes = std::vector<std::pair<int, int>>;

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

void tick(EditorRig& rig, CheckBox FrmMain::*box, int page, int index, int value)
{
    (rig.form.*box).value = value;
    rig.host.answer(true);
    rig.editor.checkClick(page, index);
    rig.clock.advance(5);
}

// The current effect's row in the unit and in the store.
Row unitRow(const EditorRig& rig)
{
    Row row{};
    for (int c = 0; c < kDeviceColumns; ++c)
        row[static_cast<std::size_t>(c)] = rig.live(rig.state.currentEffect, c);
    return row;
}

Row storeRow(const EditorRig& rig)
{
    Row row{};
    std::ranges::copy(rig.state.store.row(rig.state.currentEffect), row.begin());
    return row;
}

TEST(History, UndoAndRedoWalkStoreAndUnitThroughEveryEarlierState)
{
    EditorRig rig;
    // A selection reads the effect's row from the unit, which no undo takes back: every
    // row the test edits is read before the first picture.
    for (int effect : {6, 15, 7})
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
        rig.form.Check1.value = 1;
        rig.editor.effectSwitchClick();
    });
    select(15);
    step([&] { move(rig, 15, 0, 57); }); // Pitch +07
    ASSERT_EQ(rig.editor.history().size(), states.size() - 1);
    EXPECT_EQ(rig.editor.history().undoText(), "Undo") << "an edit has no label";

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
    EXPECT_TRUE(rig.host.boxes.empty());
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
        Writes sent;                  // by the hand
        std::vector<int> undoColumns = {}; // empty: those the hand sent
    };
    const Action chorusLinked = [](EditorRig& rig) { tick(rig, &FrmMain::Check7, 7, 5, 1); };
    const Action flangeRightApart = [](EditorRig& rig) {
        tick(rig, &FrmMain::Check6, 8, 6, 0);
        move(rig, 8, 0, 70);
        move(rig, 8, 1, 80);
    };
    const Action monoAt200 = [](EditorRig& rig) {
        tick(rig, &FrmMain::Check3, 6, 3, 1);
        move(rig, 6, 0, 200);
    };
    const Rule rules[] = {
        {"linked Rate L", 7, chorusLinked, [](EditorRig& rig) { move(rig, 7, 1, 40); }, {{4, 40}, {5, 40}}},
        {"linked Rate R", 7, chorusLinked, [](EditorRig& rig) { move(rig, 7, 2, 40); }, {{5, 40}, {4, 40}}},
        {"link on", 8, flangeRightApart, [](EditorRig& rig) { tick(rig, &FrmMain::Check6, 8, 6, 1); },
         {{0, 1}, {2, 70}}},
        {"link off", 8, [](EditorRig& rig) { tick(rig, &FrmMain::Check6, 8, 6, 1); },
         [](EditorRig& rig) { tick(rig, &FrmMain::Check6, 8, 6, 0); }, {{0, 0}}, {0, 2}},
        {"mono to stereo", 6, monoAt200, [](EditorRig& rig) { tick(rig, &FrmMain::Check3, 6, 3, 0); }, {{14, 0}},
         {14, 0}},
        {"stereo delay clamp", 6, [](EditorRig& rig) { tick(rig, &FrmMain::Check3, 6, 3, 0); },
         [](EditorRig& rig) { move(rig, 6, 0, 240); }, {{0, 160}}},
        {"tap", 6, [](EditorRig& rig) { rig.state.tap.tapCounter = 8; }, [](EditorRig& rig) { tapClick(rig.editor); },
         {{0, 80}}},
        {"rotor switch", 11, [](EditorRig& rig) { tick(rig, &FrmMain::Check2, 11, kNoIndex, 0); },
         [](EditorRig& rig) { tick(rig, &FrmMain::Check2, 11, kNoIndex, 1); }, {{0, 1}}},
        {"band gain", 6, {},
         [](EditorRig& rig) {
             rig.form.Slider15.at(9).position = 3;
             rig.editor.gainSliderEvent(9);
         },
         {{4, 57}}},
        {"reset to stored", 8,
         [](EditorRig& rig) {
             tick(rig, &FrmMain::Check6, 8, 6, 1);
             move(rig, 8, 0, 40);
             rig.state.deviceCopy.at(8, 1) = 70;
         },
         [](EditorRig& rig) { rig.editor.resetColumn(1, ResetTo::Stored); }, {{1, 70}, {2, 70}}},
        {"reset to start", 7, [](EditorRig& rig) { rig.state.startConfig.at(7, 0) = 12; },
         [](EditorRig& rig) { rig.editor.resetColumn(0, ResetTo::Start); }, {{0, 12}}},
    };
    // Every control and value box of the page shows what the store holds.
    const auto pageShowsTheStore = [](EditorRig& rig) {
        const PageInfo& page = rig.editor.currentPage();
        for (const PageParameter& p : page.parameters) {
            EXPECT_EQ(rig.editor.controlValue(page, p), rig.stored(p.column)) << p.column;
            if (p.kind != ControlKind::CheckBox) {
                EXPECT_EQ(rig.editor.valueBox(page, p).text, valueText(rig.state.tables, p.text, rig.stored(p.column)));
            }
        }
    };
    for (const Rule& rule : rules) {
        SCOPED_TRACE(rule.name);
        EditorRig rig;
        rig.select(rule.effect);
        if (rule.before)
            rule.before(rig);
        rig.clock.advance(5);
        const auto storeBefore = rig.state.store;
        const auto unitBefore = unitRow(rig);
        rig.port.clearLog();
        rule.hand(rig);
        rig.editor.sliderReleased();
        const auto hand = rig.parameterWrites();
        const auto storeAfter = rig.state.store;
        const auto unitAfter = unitRow(rig);
        EXPECT_EQ(hand, rule.sent);
        pageShowsTheStore(rig);

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
        EXPECT_EQ(unitRow(rig), unitBefore);
        pageShowsTheStore(rig);

        rig.port.clearLog();
        ASSERT_TRUE(rig.editor.redo());
        EXPECT_EQ(rig.parameterWrites(), hand);
        EXPECT_EQ(rig.state.store, storeAfter);
        EXPECT_EQ(unitRow(rig), unitAfter);
        pageShowsTheStore(rig);
    }
}

TEST(History, ADragIsOneStepAReleaseOrAPauseEndsItANewEditDropsTheRedo)
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

    // A new edit drops what could still be redone.
    ASSERT_TRUE(rig.editor.redo());
    depth.position = 70;
    rig.editor.sliderEvent(7, 0);
    EXPECT_FALSE(rig.editor.redo());
    rig.editor.undo();
    rig.editor.undo();
    EXPECT_EQ(rig.stored(0), start);
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

const char* const kBanner = "Comparing: the stored version \u2014 press Compare to return to your edits";

// On every kind of page: Compare sends the stored values of the differing columns, only
// those, and shows them; Compare again sends the edits back. Store and history stay.
TEST(Compare, SendsOnlyTheDifferingColumnsAndBack)
{
    using Text = std::function<std::string(EditorRig&)>;
    struct Case {
        const char* name;
        int effect;
        std::function<void(EditorRig&)> edit;
        Writes stored; // the device copy where it differs, in the order Compare sends it
        Writes edited; // in the order Compare back sends it
        Text shown;
        std::string shownStored, shownEdited;
        std::string why = {}; // what the marker's tip says of the first difference
    };
    const Case cases[] = {
        {"slider", 7, [](EditorRig& rig) { move(rig, 7, 0, 90); }, {{0, 33}}, {{0, 90}},
         [](EditorRig& rig) { return rig.form.Text5.at(0).text; }, "33 %", "90 %"},
        {"list", 6,
         [](EditorRig& rig) {
             rig.form.Combo4.at(10).index = 4;
             rig.editor.frequencyListClick(10);
         },
         {{8, 12}}, {{8, 4}}, [](EditorRig& rig) { return std::to_string(rig.form.Combo4.at(10).index); }, "12", "4"},
        // The stored preset links the rates yet holds another right rate: only that is sent.
        {"linked rates", 8,
         [](EditorRig& rig) {
             tick(rig, &FrmMain::Check6, 8, 6, 1);
             move(rig, 8, 0, 40);
         },
         {{2, 30}}, {{2, 40}}, [](EditorRig& rig) { return rig.form.Text6.at(1).text; }, "30 %", "40 %",
         "Rate right: 40 % (stored: 30 %) \u2014 linked rates follow Rate left"},
        // A check box, and stereo first or the stored 500 ms would not fit; back, mono first.
        {"Tap Delay stereo", 6,
         [](EditorRig& rig) {
             tick(rig, &FrmMain::Check3, 6, 3, 1);
             move(rig, 6, 0, 200);
         },
         {{14, 0}, {0, 100}}, {{14, 1}, {0, 200}}, [](EditorRig& rig) { return rig.form.Text4.at(0).text; }, "500 ms",
         "1000 ms"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EditorRig rig;
        rig.select(c.effect);
        c.edit(rig);
        const Row edits = storeRow(rig);
        Row stored = edits;
        for (const auto& [column, value] : c.stored)
            stored[static_cast<std::size_t>(column)] = static_cast<uint8_t>(value);
        rig.state.deviceCopy.setRow(c.effect, stored);
        markDifferences(rig.editor, true);
        EXPECT_EQ(rig.form.markerToolTip.find(" \u2014 ") == std::string::npos, c.why.empty()) << rig.form.markerToolTip;
        EXPECT_NE(rig.form.markerToolTip.find(c.why), std::string::npos) << rig.form.markerToolTip;
        const Row unitEdited = unitRow(rig);
        const auto steps = rig.editor.history().size();

        rig.port.clearLog();
        rig.editor.compareClick();
        EXPECT_EQ(rig.parameterWrites(), c.stored);
        for (const auto& [column, value] : c.stored)
            EXPECT_EQ(rig.live(c.effect, column), value);
        EXPECT_EQ(c.shown(rig), c.shownStored);
        EXPECT_EQ(rig.form.compareBanner, kBanner);
        EXPECT_EQ(storeRow(rig), edits);

        rig.port.clearLog();
        rig.editor.compareClick();
        EXPECT_EQ(rig.parameterWrites(), c.edited);
        EXPECT_EQ(unitRow(rig), unitEdited);
        EXPECT_EQ(c.shown(rig), c.shownEdited);
        EXPECT_EQ(rig.form.compareBanner, "");
        EXPECT_EQ(storeRow(rig), edits);
        EXPECT_EQ(rig.editor.history().size(), steps);
        EXPECT_FALSE(rig.editor.history().canRedo());
    }
}

TEST(Compare, AnUndoOrASelectionReturnsToTheEditsFirstAndDemoModeSendsNothing)
{
    EditorRig rig;
    rig.select(7);
    const uint8_t start = rig.stored(0);
    move(rig, 7, 0, 90);
    const auto compareDepthWith33 = [&rig] {
        rig.state.deviceCopy.setRow(7, rig.state.store.row(7));
        rig.state.deviceCopy.at(7, 0) = 33;
        rig.editor.compareClick();
    };
    compareDepthWith33();
    rig.port.clearLog();
    ASSERT_TRUE(rig.editor.undo());
    EXPECT_EQ(rig.parameterWrites(), (Writes{{0, 90}, {0, start}}));
    compareDepthWith33();
    rig.select(6);
    EXPECT_EQ(rig.live(7, 0), start);
    EXPECT_FALSE(rig.editor.comparing());

    rig.select(7);
    rig.state.DemoMode = true;
    compareDepthWith33();
    EXPECT_EQ(rig.form.Text5.at(0).text, "33 %");
    rig.editor.compareClick();
    EXPECT_EQ(rig.form.Text5.at(0).text, std::to_string(start) + " %");
    EXPECT_TRUE(rig.port.sent().empty());
}

TEST(Compare, WithAPresetFileOrASlotOfTheUnitNamingItInTheBanner)
{
    EditorRig rig;
    TempFolder dir;
    rig.select(7);
    const uint8_t edited = rig.stored(0);
    Row record = storeRow(rig);
    record[0] = static_cast<uint8_t>(edited ^ 1);
    const auto file = dir.path / "warm.fxp";
    for (const uint8_t effect : {6, 7}) {
        record[kRowSize - 1] = effect;
        writeBytes(file, {record.begin(), record.end()});
        rig.port.clearLog();
        EXPECT_EQ(CompareWithPresetFile(rig.editor, file), effect == 7);
    }
    EXPECT_EQ(rig.host.boxes.back().text, "This preset is for TAP DELAY: select that effect to compare with it.");
    EXPECT_EQ(rig.form.compareBanner, "Comparing: warm.fxp \u2014 press Compare to return to your edits");
    EXPECT_EQ(rig.parameterWrites(), (Writes{{0, edited ^ 1}}));

    rig.state.presetNames[7][2] = "  WIDE  ";
    rig.port.clearLog();
    ASSERT_TRUE(rig.editor.compareWithSlot(2));
    EXPECT_EQ(rig.form.compareBanner, "Comparing: slot 3 \"WIDE\" \u2014 press Compare to return to your edits");
    const Writes writes = rig.parameterWrites();
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes.front(), (std::pair<int, int>{0, edited})); // the file's comparison ends first
    for (std::size_t i = 1; i < writes.size(); ++i)
        EXPECT_EQ(writes[i].second, rig.device.peek(Addr::stored(7, 2, writes[i].first))) << writes[i].first;
    // That slot links the rates yet holds two: the page shows both as they are.
    EXPECT_EQ(rig.form.Text5.at(2).text, std::to_string(rig.device.peek(Addr::stored(7, 2, 5))) + " %");
}

// The marker's tip tells a difference the stereo rule made rather than the user.
TEST(ChangedMarker, TipSaysWhenStereoCutTheStoredDelay)
{
    EditorRig rig;
    rig.select(6);
    tick(rig, &FrmMain::Check3, 6, 3, 0);
    rig.state.deviceCopy.setRow(6, rig.state.store.row(6));
    rig.state.deviceCopy.at(6, 0) = 200;
    move(rig, 6, 0, 250);
    markDifferences(rig.editor, true);
    EXPECT_EQ(rig.form.markerToolTip, "Differs from the preset stored in the unit:\nDelay: 800 ms (stored: 1000 ms) "
                                      "\u2014 stereo allows at most 800 ms");
}

} // namespace
} // namespace qrv::test
