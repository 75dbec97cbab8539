#include "ui/windows/HelpWindows.hpp"

#include <QAction>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace qrv::ui {

namespace {

// The keys of the controls, which no menu shows.
const KeyLine kControlKeys[] = {
    {"Tab, Shift+Tab", "Move to the next or previous control: each slider is followed by its value box"},
    {"Up, Down, Left, Right", "Move a slider one step; in a list, choose the next or previous entry"},
    {"Page Up, Page Down", "Move a slider by a larger step"},
    {"Home, End", "Move a slider to its lowest or highest value"},
    {"Enter, Tab (in a value box)", "Apply the typed value; leaving the box applies it too"},
    {"Escape (in a value box)", "Put the shown value back"},
    {"Shift+F10, Menu", "Open the focused control's menu: Reset to Stored Value, Reset to Start Value"},
    {"F6, Shift+F6", "Move between the page, the Preset Library and other open panels"},
    {"Ctrl+L", "Open the Preset Library or move into it; from inside it, close it"},
    {"Space", "Tick or clear a check box; press the focused button"},
    {"Alt+Down, F4", "Open a drop-down list"},
    {"Enter (in a dialog)", "Press the dialog's main button (Load, Store, Yes), or the focused one"},
    {"Escape (in a dialog)", "Cancel the dialog"},
    {"Enter (in the Preset Library)", "Load the chosen file"},
    {"Enter (in Unit Presets)", "Load the chosen slot into the editor"},
    {"Ctrl+U", "Open the Unit Presets panel or move into it; from inside it, close it"},
    {"Alt+letter", "Open a menu by its underlined letter"},
};

QString plainText(QString text)
{
    // Menu texts mark their letter with '&' and end with "…" when they open a dialog.
    text.remove(QRegularExpression(QStringLiteral("&(?!&)")));
    text.replace(QStringLiteral("&&"), QStringLiteral("&"));
    if (text.endsWith(QStringLiteral("…")))
        text.chop(1);
    return text;
}

void addActionKeys(QList<KeyLine>& lines, const QList<QAction*>& actions)
{
    for (const QAction* action : actions) {
        if (action->menu()) {
            addActionKeys(lines, action->menu()->actions());
            continue;
        }
        if (action->isSeparator() || action->shortcuts().isEmpty() || !action->isVisible())
            continue;
        QStringList keys;
        for (const QKeySequence& key : action->shortcuts())
            keys << key.toString(QKeySequence::NativeText);
        const KeyLine line{keys.join(QStringLiteral(", ")), plainText(action->text())};
        if (!lines.contains(line))
            lines << line;
    }
}

} // namespace

QList<KeyLine> keyboardShortcuts(const QMainWindow* window)
{
    QList<KeyLine> lines;
    addActionKeys(lines, window->menuBar()->actions());
    for (const KeyLine& line : kControlKeys)
        lines << line;
    return lines;
}

ShortcutsWindow::ShortcutsWindow(const QList<KeyLine>& keys, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ShortcutsWindow"));
    setWindowTitle(QStringLiteral("Keyboard Shortcuts"));
    auto* layout = new QVBoxLayout(this);
    auto* table = new QTableWidget(static_cast<int>(keys.size()), 2);
    table->setObjectName(QStringLiteral("Keys"));
    table->setAccessibleName(QStringLiteral("Keyboard shortcuts"));
    table->setHorizontalHeaderLabels({QStringLiteral("Keys"), QStringLiteral("What they do")});
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setWordWrap(true);
    for (int row = 0; row < keys.size(); ++row) {
        table->setItem(row, 0, new QTableWidgetItem(keys[row].first));
        table->setItem(row, 1, new QTableWidgetItem(keys[row].second));
    }
    table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    table->resizeRowsToContents();
    table->setCurrentCell(0, 0);
    layout->addWidget(table);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(640, 520);
}

QString userGuidePath()
{
    const QString installed = QCoreApplication::applicationDirPath() + QStringLiteral("/../share/doc/qrv5173-editor/guide/index.html");
    for (const QString& candidate : {installed, QStringLiteral(QRV_GUIDE_SOURCE) + QStringLiteral("/index.html")})
        if (QFileInfo(candidate).isFile())
            return QFileInfo(candidate).canonicalFilePath();
    return {};
}

QWidget* openUserGuide(QWidget* parent, const OpenInBrowser& browser)
{
    const QString path = userGuidePath();
    if (path.isEmpty()) {
        QMessageBox::information(parent, QStringLiteral("User Guide"),
                                 QStringLiteral("The user guide is not installed with this copy of the editor."));
        return nullptr;
    }
    if (browser(QUrl::fromLocalFile(path)))
        return nullptr;
    auto* window = parent->findChild<QWidget*>(QStringLiteral("GuideWindow"), Qt::FindDirectChildrenOnly);
    if (!window) {
        // A dialog, so that Escape closes it; not modal, so that the editor stays at hand.
        auto* dialog = new QDialog(parent);
        window = dialog;
        window->setObjectName(QStringLiteral("GuideWindow"));
        window->setWindowTitle(QStringLiteral("User Guide"));
        auto* layout = new QVBoxLayout(window);
        auto* text = new QTextBrowser;
        text->setObjectName(QStringLiteral("GuideText"));
        text->setAccessibleName(QStringLiteral("User guide"));
        // Links inside the guide stay here; those to the web go to a browser, if one appears.
        text->setOpenExternalLinks(true);
        text->setSource(QUrl::fromLocalFile(path));
        layout->addWidget(text);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
        QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
        layout->addWidget(buttons);
        window->resize(760, 640);
    }
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

void addHelpEntries(QMainWindow* window, QMenu* help)
{
    auto* guide = new QAction(QStringLiteral("&User Guide"), window);
    guide->setObjectName(QStringLiteral("Menu_UserGuide"));
    guide->setShortcut(QKeySequence::HelpContents);
    guide->setStatusTip(QStringLiteral("Open the user guide in the web browser"));
    QObject::connect(guide, &QAction::triggered, window,
                     [window] { openUserGuide(window, [](const QUrl& url) { return QDesktopServices::openUrl(url); }); });
    auto* keys = new QAction(QStringLiteral("&Keyboard Shortcuts"), window);
    keys->setObjectName(QStringLiteral("Menu_KeyboardShortcuts"));
    keys->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F1));
    keys->setStatusTip(QStringLiteral("List every key of the editor"));
    QObject::connect(keys, &QAction::triggered, window, [window] {
        ShortcutsWindow shortcuts(keyboardShortcuts(window), window);
        shortcuts.exec();
    });
    QAction* first = help->actions().isEmpty() ? nullptr : help->actions().constFirst();
    help->insertAction(first, guide);
    help->insertAction(first, keys);
    if (first)
        help->insertSeparator(first);
}

} // namespace qrv::ui
