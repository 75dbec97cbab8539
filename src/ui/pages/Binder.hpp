#pragma once

#include "editor/Controls.hpp"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <string>
#include <vector>

class QAbstractButton;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QSlider;
class QTimer;
class QWidget;

namespace qrv::ui {

class Lamp;

inline QString qs(const std::string& text)
{
    return QString::fromStdString(text);
}

// Ties widgets to the control models of the program's windows. A user event writes the
// widget's value into its control and runs the core handler; afterwards every model is
// copied back into its widgets with their signals blocked. One binder serves all windows,
// so a handler that changes another window's model (start-up fills the editor) is shown
// too; a binding ends with its widget.
//
// The binder is also the one door into the core. The core waits for the unit in local
// event loops, so events arrive while it runs; it is never entered again meanwhile. A
// value control keeps only its newest wish, applied when the core returns; a timer tick
// that fell due runs once then; a close request waits; a command click is dropped. A
// modal window that the core opened and waits on stays usable, except while the link
// itself waits for a reply.
class Binder {
public:
    // Runs a core handler for a user event of `source` (if the door is open), then shows the model.
    // While background work holds the core, the handler runs as soon as that returns. False when
    // it is dropped: the core runs what the user asked before.
    bool handle(const std::function<void()>& handler, QObject* source = nullptr);
    // Work nobody asked for (reading the rest of the unit, following it): it runs only when the
    // door is open, it should stop once userWaiting() says so, and what the user did meanwhile
    // runs right after. Background works take turns: one that finds the core busy has the next
    // turn, and the others skip theirs until it has run. True when the work ran.
    bool runInBackground(const void* who, const std::function<void()>& work);
    bool userWaiting() const { return !wishes_.empty() || !deferred_.empty(); }
    // A close request: asks now when the door is open (returns the answer), otherwise
    // refuses and runs `retry` once the core is free.
    bool requestClose(QWidget* window, const std::function<bool()>& ask, std::function<void()> retry);
    // Told by the link while it waits for a reply.
    void setLinkWaiting(bool waiting) { linkWaiting_ = waiting; }
    bool coreRunning() const { return depth_ > 0; }
    // Runs whenever the core has returned to the event loop: work the core found but could
    // not do from inside an exchange (reading a unit that turned out to be another).
    // `due` is asked after every return and costs nothing when false.
    void setAfterCore(std::function<bool()> due, std::function<void()> afterCore)
    {
        afterCoreDue_ = std::move(due);
        afterCore_ = std::move(afterCore);
    }
    // Copies every control into its widget; with paintNow, changed widgets are
    // repainted at once (the core asks for that before a blocking exchange).
    void sync(bool paintNow = false);

    // onRelease runs when the user lets go of the handle, after the last move has reached the core.
    void slider(QSlider* widget, Slider& control, std::function<void()> onMove, std::function<void()> onRelease = {});
    void textBox(QLineEdit* widget, TextBox& control);
    // A text box the user types into: every edit goes into the control at once.
    void editableText(QLineEdit* widget, TextBox& control);
    void check(QAbstractButton* widget, CheckBox& control, std::function<void()> onClick);
    // A list; with settleMs, quick steps through it make one choice, taken once the user
    // has rested that long.
    void list(QComboBox* widget, ListBox& control, std::function<void()> onChoice, int settleMs = 0);
    // A list box; onChoice runs when the user picks an entry, onDoubleClick on a double click.
    void list(QListWidget* widget, ListBox& control, std::function<void()> onChoice,
              std::function<void()> onDoubleClick);
    void label(QLabel* widget, Label& control);
    void frame(QGroupBox* widget, GroupFrame& control);
    void button(QAbstractButton* widget, CommandButton& control, std::function<void()> onClick);
    void shape(Lamp* widget, Shape& control);
    void progress(QProgressBar* widget, ProgressBar& control);
    // A model timer: the QTimer runs while the control is enabled with an interval, and
    // the interval is read again after every tick.
    void timer(QTimer* widget, Timer& control, std::function<void()> onTick);
    // Anything else: the function shows its part of the model and returns the widget it
    // changed, or nullptr; it is dropped when the guard is destroyed.
    void custom(QObject* guard, std::function<QWidget*()> show);

private:
    struct Binding {
        QPointer<QObject> guard;
        std::function<QWidget*()> show;
    };
    // What arrived while the door was shut, one per source.
    struct Wish {
        QPointer<QObject> source;
        std::function<bool()> stillCurrent; // false: the core has moved on, the wish is void
        std::function<void()> apply;
        bool ready = true; // false while a list waits for the user to rest
    };

    bool mayEnter(QObject* source) const;
    void enter(const std::function<void()>& handler);
    // A value event: applied now when the door is open, otherwise kept as the newest wish
    // of its source. `modelValue` tells whether the core changed the control meanwhile.
    void offer(QObject* source, std::function<int()> modelValue, std::function<void()> apply, bool ready = true);
    void keep(Wish wish);
    void runWishes();
    bool held(const QObject* widget) const;

    std::vector<Binding> bindings_;
    std::vector<Wish> wishes_;
    std::vector<std::function<void()>> deferred_; // commands given during background work
    bool background_ = false;
    const void* nextTurn_ = nullptr; // background work that found the core busy
    QElapsedTimer nextTurnAsked_;
    int depth_ = 0;
    bool linkWaiting_ = false;
    bool runningWishes_ = false;
    std::function<bool()> afterCoreDue_;
    std::function<void()> afterCore_;
    bool runningAfterCore_ = false;
};

} // namespace qrv::ui
