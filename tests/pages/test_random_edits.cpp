#include "EditorRig.hpp"

#include "effects/Pages.hpp"

#include <gtest/gtest.h>

#include <random>

namespace qrv::test {
namespace {

// Random user actions on the current page, as the window would report them.
class RandomUser {
public:
    RandomUser(EditorRig& rig, unsigned seed) : rig_(rig), random_(seed) {}

    void act()
    {
        const PageInfo& page = rig_.editor.currentPage();
        switch (pick(6)) {
        case 0:
        case 1:
            moveParameter(page);
            break;
        case 2:
            if (!page.bands.empty())
                changeBand(page.bands[pick(page.bands.size())].band);
            break;
        case 3:
            if (!page.passFilters.empty()) {
                const int list = page.passFilters[pick(page.passFilters.size())].list;
                rig_.form.Combo2.at(list).index = static_cast<int>(pick(31));
                rig_.editor.passFilterClick(list);
            }
            break;
        case 4:
            if (page.element == 6) {
                for (std::size_t i = pick(30); i > 0; --i)
                    tapTick(rig_.editor);
                tapClick(rig_.editor);
            }
            break;
        case 5:
            rig_.form.Check1.value = static_cast<int>(pick(2));
            rig_.editor.effectSwitchClick();
            break;
        }
    }

private:
    std::size_t pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_); }

    void moveParameter(const PageInfo& page)
    {
        const PageParameter& p = page.parameters[pick(page.parameters.size())];
        if (p.kind == ControlKind::CheckBox) {
            CheckBox& box = rig_.form.*p.check;
            box.value = 1 - box.value;
            rig_.host.answer(pick(2) == 1); // in case the box asks
            rig_.editor.checkClick(page.element, p.index);
            rig_.host.answers.clear();
        } else {
            rig_.editor.slider(page, p).position = static_cast<int>(pick(static_cast<std::size_t>(p.maximum) + 1));
            rig_.editor.sliderEvent(page.element, p.index);
        }
    }

    void changeBand(int band)
    {
        switch (pick(3)) {
        case 0:
            rig_.form.Slider15.at(band).position = static_cast<int>(pick(61));
            rig_.editor.gainSliderEvent(band);
            break;
        case 1:
            rig_.form.Combo4.at(band).index = static_cast<int>(pick(31));
            rig_.editor.frequencyListClick(band);
            break;
        case 2:
            rig_.form.Combo3.at(band).index = static_cast<int>(pick(60));
            rig_.editor.widthListClick(band);
            break;
        }
    }

    EditorRig& rig_;
    std::mt19937 random_;
};

// Switching Tap Delay to stereo clamps the stored delay to 160 without telling the
// device; that column may then lawfully differ.
bool stereoClampedDelay(const EditorRig& rig, int effect, int column)
{
    return effect == 6 && column == 0 && rig.state.store.at(6, 14) == 0 && rig.state.store.at(6, 0) == 160 &&
        rig.live(6, 0) > 160;
}

TEST(RandomEdits, DeviceAndValueBoxesFollowTheStore)
{
    EditorRig rig;
    RandomUser user(rig, 5173);
    for (int effect = 0; effect < kEffectCount; ++effect) {
        rig.form.Combo1.index = effect;
        rig.editor.effectListClick();
        for (int step = 0; step < 300; ++step)
            user.act();

        const PageInfo& page = rig.editor.currentPage();
        for (int c = 0; c < catalogue::effect(effect).columnCount; ++c) {
            if (!stereoClampedDelay(rig, effect, c)) {
                EXPECT_EQ(rig.live(effect, c), rig.stored(c)) << "effect " << effect << " column " << c;
            }
        }
        for (const PageParameter& p : page.parameters) {
            if (p.kind == ControlKind::CheckBox) {
                EXPECT_EQ((rig.form.*p.check).value, rig.stored(p.column)) << p.checkName;
                continue;
            }
            EXPECT_EQ(rig.editor.valueBox(page, p).text, valueText(rig.state.tables, p.text, rig.stored(p.column)))
                << page.caption << " " << p.label;
            EXPECT_EQ(rig.editor.controlValue(page, p), rig.stored(p.column)) << page.caption << " " << p.label;
        }
        for (const BandRef& band : page.bands) {
            const int b = rig.state.tables.filterTableA[static_cast<std::size_t>(band.band)];
            EXPECT_EQ(rig.form.Text16.at(band.band).text, gainText(rig.stored(b), '.')) << "band " << band.band;
        }
        EXPECT_EQ(rig.device.effectSwitch(), rig.state.effectSwitchState);
    }
    EXPECT_TRUE(rig.host.boxes.size() > 0u); // the link boxes asked along the way
    for (const auto& box : rig.host.boxes)
        EXPECT_EQ(box.title, "Link Rate");
}

} // namespace
} // namespace qrv::test
