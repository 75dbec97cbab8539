#pragma once

#include <QDialog>
#include <QList>
#include <QString>

#include <utility>

class QMainWindow;

namespace qrv::ui {

// One line of the key list: the keys and what they do.
using KeyLine = std::pair<QString, QString>;

// Every key of the window: the menus' shortcuts, read from the window's actions, and the
// keys of the controls themselves.
QList<KeyLine> keyboardShortcuts(const QMainWindow* window);

// "Keyboard Shortcuts": the list above as a table a screen reader reads row by row.
class ShortcutsWindow final : public QDialog {
    Q_OBJECT
public:
    explicit ShortcutsWindow(const QList<KeyLine>& keys, QWidget* parent = nullptr);
};

// The user guide's first page as installed with the program (or in the source tree when
// the editor runs from its build folder); empty when there is none.
QString userGuidePath();

// Help → "User Guide" and Help → "Keyboard Shortcuts" in the window's Help menu.
void addHelpEntries(QMainWindow* window, class QMenu* help);

} // namespace qrv::ui
