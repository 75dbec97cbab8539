#include "FileView.hpp"

#include "FileCodec.hpp"

#include "editor/Catalogue.hpp"
#include "editor/Describe.hpp"
#include "state/CodePage.hpp"

#include <algorithm>
#include <cstdio>

namespace qrv {

namespace {

std::string frequencyText(int stored)
{
    const int last = static_cast<int>(catalogue::frequencyList.size()) - 1;
    return trimmed(catalogue::frequencyList[static_cast<std::size_t>(std::min(stored, last))]);
}

std::string parameterText(const ValueTables& tables, const PageParameter& parameter, int shown)
{
    if (parameter.kind == ControlKind::CheckBox)
        return shown != 0 ? "on" : "off";
    return valueText(tables, parameter.text, shown);
}

std::string effectHeading(const EffectView& effect)
{
    return "effect " + std::to_string(effect.effect) + ", " + effect.name + " (" + effect.page + ")";
}

} // namespace

EffectView describeEffect(const ValueTables& tables, int effect, std::span<const uint8_t, kRowSize> row,
                          char decimalPoint)
{
    const PageInfo& page = catalogue::pageOfEffect(effect);
    EffectView view{effect, catalogue::effect(effect).listText, page.caption, {}};
    // A value beyond a control's range shows as the control's nearest value, as on the page.
    for (const PageParameter& p : page.parameters) {
        const int stored = row[static_cast<std::size_t>(p.column)];
        const int shown = std::min(stored, p.maximum);
        view.values.push_back({plainCaption(p.label), p.column, stored, parameterText(tables, p, shown)});
    }
    for (const BandRef& band : page.bands) {
        const int b = tables.filterTableA.at(static_cast<std::size_t>(band.band));
        const std::string caption = plainCaption(band.caption);
        const int gain = row[static_cast<std::size_t>(b)];
        const int frequency = row[static_cast<std::size_t>(b + 1)];
        const int width = row[static_cast<std::size_t>(b + 2)];
        view.values.push_back(
            {caption + " Gain", b, gain, gainText(std::min(gain, catalogue::kGainMax), decimalPoint) + " dB"});
        view.values.push_back({caption + " Frequency", b + 1, frequency, frequencyText(frequency)});
        view.values.push_back(
            {caption + " Width", b + 2, width, catalogue::widthEntry(std::min(width, catalogue::kWidthCount - 1))});
    }
    for (const PassFilterRef& list : page.passFilters) {
        const int c = tables.filterTableB.at(static_cast<std::size_t>(list.list));
        const int stored = row[static_cast<std::size_t>(c)];
        view.values.push_back({plainCaption(list.label), c, stored, frequencyText(stored)});
    }
    return view;
}

std::optional<FileView> describeFile(const ValueTables& tables, std::span<const uint8_t> bytes, char decimalPoint,
                                     std::string& problem)
{
    FileView view;
    if (bytes.size() == kPresetFileSize) {
        const auto record = decodePreset(bytes, problem);
        if (!record)
            return std::nullopt;
        const int effect = (*record)[kRowSize - 1];
        if (effect >= kEffectCount) {
            problem = "Byte 32 holds " + std::to_string(effect) + ", which is no effect index (0 to 15).";
            return std::nullopt;
        }
        view.kind = FileView::Kind::Preset;
        view.effects.push_back(describeEffect(tables, effect, *record, decimalPoint));
        return view;
    }
    if (bytes.size() == kProjectFileSize) {
        const auto table = decodeProject(bytes, problem);
        if (!table)
            return std::nullopt;
        view.kind = FileView::Kind::Project;
        // Records belong to effects by their place in the file.
        for (int e = 0; e < kEffectCount; ++e)
            view.effects.push_back(describeEffect(tables, e, table->row(e), decimalPoint));
        return view;
    }
    problem = fileSizeProblem(bytes.size());
    return std::nullopt;
}

std::string fileSizeProblem(std::uintmax_t size)
{
    if (size == kPresetFileSize || size == kProjectFileSize)
        return {};
    return "The file holds " + std::to_string(size) + " bytes; a preset file holds exactly " +
        std::to_string(kPresetFileSize) + " and a project file exactly " + std::to_string(kProjectFileSize) + ".";
}

std::string renderText(const FileView& view)
{
    std::string out;
    if (view.kind == FileView::Kind::Preset)
        out += "Preset file, " + effectHeading(view.effects.front()) + "\n";
    else
        out += "Project file, all " + std::to_string(view.effects.size()) + " effects\n";
    for (const EffectView& effect : view.effects) {
        if (view.kind == FileView::Kind::Project)
            out += "\n" + effectHeading(effect) + "\n";
        for (const ShownValue& value : effect.values) {
            std::string line = "  " + value.label;
            line.resize(std::max<std::size_t>(line.size() + 1, 24), ' ');
            out += line + value.text + "\n";
        }
    }
    return out;
}

} // namespace qrv
