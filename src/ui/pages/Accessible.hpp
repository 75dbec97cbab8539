#pragma once

#include <QString>

#include <functional>

class QAccessibleEvent;
class QComboBox;
class QLineEdit;
class QSlider;
class QWidget;

namespace qrv::ui {

// The text a slider's value box shows at a slider position.
using PositionText = std::function<QString(int position)>;

// Makes the program's own accessible interfaces available and keeps screen readers from
// being flooded; call once the application exists.
void installAccessibility();
// Whether screen readers are told of this change: not of values, text or enabling of
// controls out of sight, of a box's text or a list's value away from the focus, of text
// that stays the same, of a caret before its box was told to have the focus, nor of every
// step of a progress bar, only of each tenth of its way. It counts the steps it is asked
// about, and remembers the focus it is asked about.
bool screenReadersHear(const QAccessibleEvent& event);

// A slider that screen readers announce by name and by its value box's text ("600 ms"),
// with the range of that text as its description. Its numeric value is the number the
// box shows, and setting one moves the slider to the nearest position. A unit that a label
// beside the box shows ("dB") follows the box's text.
void describeSlider(QSlider* slider, const QString& name, QLineEdit* box, PositionText textAt,
                    const QString& unit = {});
// A value box named after its slider, with the same range.
void describeValueBox(QLineEdit* box, const QString& name, const QString& range);
// A list named for what it chooses rather than for the entry it shows.
void describeList(QComboBox* list, const QString& name, const QString& description);

// Screen readers may run the widget's own actions (those of its context menu) by their
// text; sliders, lists, check boxes and switch buttons. Call before it is first shown.
void offerAccessibleActions(QWidget* widget);

// Tells screen readers at once that the widget now says `text` (a status, an outcome).
void announce(QWidget* source, const QString& text);
// Hears every announcement too (tests; the offscreen screen has no screen reader).
void observeAnnouncements(std::function<void(QWidget* source, const QString& text)> observer);
// A window that tells screen readers when it is busy; call before it is first shown.
void reportBusyState(QWidget* window);
// Marks such a window busy or free, for screen readers.
void setBusyState(QWidget* window, bool busy);
bool busyState(const QWidget* window);

// The number a value text starts with; a pitch's thirds add a third of a semitone each.
double numberIn(const QString& text);
// "Range first to last" from the texts at both ends.
QString rangeText(const QString& first, const QString& last);

} // namespace qrv::ui
