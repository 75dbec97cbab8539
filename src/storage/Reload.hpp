#pragma once

#include "editor/Editor.hpp"

namespace qrv {

inline constexpr const char* kReloadPrompt = "                Are you sure ?";
inline constexpr const char* kReloadCurrentTitle = "Reload Current Effect";
inline constexpr const char* kReloadAllTitle = "Reload All Effect";

// Throw away edits: the start configuration goes back into the store, after a Yes.
void ReloadCurrentEffect(Editor& editor);
void ReloadAllEffects(Editor& editor);

} // namespace qrv
