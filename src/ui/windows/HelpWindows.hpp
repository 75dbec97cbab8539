#pragma once

#include <QDialog>
#include <QList>
#include <QString>

#include <functional>
#include <utility>

class QMainWindow;
class QUrl;

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

// Opens the user guide in the web browser; where none opens it, in a window of the
// program's own, kept as a child of `parent` and raised again on the next call. Returns that
// window, or null when the browser took it or there is no guide.
using OpenInBrowser = std::function<bool(const QUrl&)>;
class QWidget* openUserGuide(QWidget* parent, const OpenInBrowser& browser);

// Help → "User Guide" and Help → "Keyboard Shortcuts" in the window's Help menu.
void addHelpEntries(QMainWindow* window, class QMenu* help);

} // namespace qrv::ui
