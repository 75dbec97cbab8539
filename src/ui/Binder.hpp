#pragma once

#include "editor/Controls.hpp"

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
class Binder {
public:
    // Runs a core handler for a user event (if any), then shows the model.
    void handle(const std::function<void()>& handler);
    // Copies every control into its widget; with paintNow, changed widgets are
    // repainted at once (the core asks for that before a blocking exchange).
    void sync(bool paintNow = false);

    void slider(QSlider* widget, Slider& control, std::function<void()> onMove);
    void textBox(QLineEdit* widget, TextBox& control);
    // A text box the user types into: every edit goes into the control at once.
    void editableText(QLineEdit* widget, TextBox& control);
    void check(QAbstractButton* widget, CheckBox& control, std::function<void()> onClick);
    void list(QComboBox* widget, ListBox& control, std::function<void()> onChoice);
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
    std::vector<Binding> bindings_;
};

} // namespace qrv::ui
