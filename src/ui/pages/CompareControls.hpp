#pragma once

#include "editor/Editor.hpp"

#include <QKeySequence>

#include <utility>

class QAction;
class QLabel;
class QPushButton;
class QWidget;

namespace qrv::ui {

class Binder;

// The key of Compare With Stored; no standard key of any platform uses it.
QKeySequence compareKey();

// "Compare", beside the changed marker: pressed in while the stored version is shown,
// offered while the edits differ from it or a comparison runs.
QPushButton* compareButton(Binder& binder, Editor& editor);
// The banner over the pages while comparing; screen readers hear it come and go.
QLabel* compareBanner(Binder& binder, Editor& editor);

// While comparing, the page (and all inside it) keeps the focus and can be walked and
// read, but takes no key, click or wheel that would change a value.
void holdWhileComparing(QWidget* page, const Editor& editor);

// "Compare With Stored" (with the key) and "Compare With…" (a slot of the unit or a
// preset file, chosen in a dialog over `window`, played on the unit or shown side by side
// with the edits), as actions of the window.
std::pair<QAction*, QAction*> addCompareActions(QWidget* window, Binder& binder, Editor& editor);

// "Reset to Stored Value" and "Reset to Start Value" in the control's context menu and
// among its accessible actions; each offered while the column holds another value.
void addResetActions(Binder& binder, Editor& editor, QWidget* control, int column);
inline constexpr const char* kResetToStoredText = "Reset to Stored Value";
inline constexpr const char* kResetToStartText = "Reset to Start Value";
// The control's reset of that kind, or nullptr when it has none.
QAction* resetAction(const QWidget* control, ResetTo to);

} // namespace qrv::ui
