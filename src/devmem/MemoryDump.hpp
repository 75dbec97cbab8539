#pragma once

#include <optional>
#include <string>

#include "devmem/SplashForm.hpp"
#include "editor/Editor.hpp"

namespace qrv {

inline constexpr const char* kEmptySlotName = " Empty  ";
inline constexpr const char* kDumpProgressTitle = "Reading the QRV5173's memory";
inline constexpr const char* kFirstReadsTitle = "Reading the QRV5173's current effect";

// The exchanges a dump makes besides one name read per stored preset. In the exact order: the
// one-byte reads of the current effect, the switch, the directory, the slot numbers, the stored
// preset and the live columns, then the block read and the selection's stored-preset read.
// Otherwise the live rows come by block and the stored preset only with the selection.
int dumpExchangesWithoutNames(const ProgramState& state);

// Copies the processor's state into the editor right after the start-up connection:
// current effect, switch, preset directory, slot numbers, names and every effect's live
// values, then shows the current effect. The splash window shows the caption and a
// progress bar that advances with every exchange. A port failure on the way starts the
// dump over once the device is found again; returns false when it was not (the search
// has then turned to demo mode). Any other failure ends the program.
// With UnitRead::First only the current effect, the switch and that effect's live row are
// read (kFirstReads exchanges): the page can be edited at once, and the rest is left to
// UnitReading, piece by piece, while the user works.
enum class UnitRead { Whole, First };
inline constexpr int kFirstReads = 3;
bool DumpDeviceMemory(Editor& editor, FrmSplash& splash, UnitRead extent = UnitRead::Whole);

// Reads the live values a dump took a second time, and where the two reads differ, reads
// until one value leads; the store and the start configuration take the settled values.
// Empty when every value was confirmed; else the value that was not, or why the link failed.
std::optional<std::string> confirmDumpedRows(Editor& editor);
// The dump again, for a unit that is not the one the editor read; Cancel leaves the editor
// as it was (and the unit unread). True when the unit was read.
bool ReadUnitAgain(Editor& editor, FrmSplash& splash, UnitRead extent = UnitRead::Whole);

} // namespace qrv
