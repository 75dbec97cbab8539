#pragma once

#include "state/ProgramState.hpp"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qrv {

// What the editor's page shows for one stored value.
struct ShownValue {
    std::string label;
    int column = 0;
    int stored = 0;
    std::string text;
};

struct EffectView {
    int effect = 0;
    std::string name; // the effect list's text
    std::string page; // the page caption
    std::vector<ShownValue> values;
};

struct FileView {
    enum class Kind { Preset, Project };
    Kind kind = Kind::Preset;
    std::vector<EffectView> effects;
};

// One row as its page shows it: parameters in page order, then the bands (gain,
// frequency, width), then the pass-filter lists.
EffectView describeEffect(const ValueTables& tables, int effect, std::span<const uint8_t, kRowSize> row,
                          char decimalPoint);

// A preset (33 bytes) or project (528 bytes) file, told apart by size; nothing, with
// the reason, for a damaged file.
std::optional<FileView> describeFile(const ValueTables& tables, std::span<const uint8_t> bytes, char decimalPoint,
                                     std::string& problem);

// Why a file of that many bytes is neither a preset nor a project file; empty when it may be one.
std::string fileSizeProblem(std::uintmax_t size);

std::string renderText(const FileView& view);

} // namespace qrv
