#include "ui/windows/MainWindow.hpp"

#include "ui/pages/Accessible.hpp"
#include "ui/pages/CompareControls.hpp"
#include "ui/windows/EditorWindow.hpp"
#include "ui/QtHost.hpp"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDockWidget>
#include <QHash>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>

#include <algorithm>

namespace qrv::ui {

QString linkStatusText(const ProgramState& state, const std::string& portName, bool startingUp)
{
    const QString advice = QString::fromStdString(state.portAdvice);
    if (!state.unitOffer.empty())
        return QStringLiteral("QRV5173 found on ") + QString::fromStdString(state.unitOffer);
    if (state.awaitingUnit)
        return QStringLiteral("Link lost – plug the QRV5173 back in");
    if (state.DemoMode)
        return advice.isEmpty() ? QStringLiteral("Demo mode – nothing is sent")
                                : QStringLiteral("Demo mode – ") + advice;
    // Before the first connection there is nothing to have lost.
    if (startingUp && (state.searching || !state.PortOk))
        return QStringLiteral("Connecting…");
    // LinkUp is also lowered for a moment whenever the core sets controls silently: not a loss.
    if (state.searching)
        return QStringLiteral("Link lost – searching…");
    if (!state.PortOk)
        return advice.isEmpty() ? QStringLiteral("Link lost") : QStringLiteral("Link lost – ") + advice;
    if (state.resendAttempt > 0)
        return QStringLiteral("No answer – retrying (attempt %1 of 6)").arg(state.resendAttempt);
    return QStringLiteral("Connected – ") + QString::fromStdString(portName);
}

namespace {

// A context menu opened from the keyboard (the menu key, Shift+F10) starts on its first item
// that can be chosen, as a menu bar's menu does: a screen reader then says where the user is
// at once, instead of nothing until an arrow key.
class KeyboardMenuStart final : public QObject {
public:
    explicit KeyboardMenuStart(QObject* parent) : QObject(parent) { qApp->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Show || QGuiApplication::mouseButtons() != Qt::NoButton)
            return false;
        auto* menu = qobject_cast<QMenu*>(watched);
        if (!menu || menu->activeAction() || qobject_cast<QMenu*>(menu->parentWidget())
            || qobject_cast<QMenuBar*>(menu->parentWidget()))
            return false;
        // Once shown: a menu makes no item current while it opens.
        QTimer::singleShot(0, menu, [menu] {
            if (menu->activeAction() || !menu->isVisible())
                return;
            for (QAction* action : menu->actions())
                if (!action->isSeparator() && action->isVisible() && action->isEnabled()) {
                    menu->setActiveAction(action);
                    return;
                }
        });
        return false;
    }
};

// A dialog, message box or progress window that closes gives the focus back to the
// control that had it when the window opened: a window manager or Qt would otherwise put
// it on whatever comes first, or nowhere.
class FocusReturn final : public QObject {
public:
    explicit FocusReturn(QObject* parent) : QObject(parent) { qApp->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Show && event->type() != QEvent::Hide)
            return false;
        auto* window = qobject_cast<QWidget*>(watched);
        if (!window || !window->isWindow() || !window->isModal())
            return false;
        if (event->type() == QEvent::Show) {
            QWidget* focus = QApplication::focusWidget();
            if (focus && focus->window() != window)
                before_[window] = focus;
            return false;
        }
        const QPointer<QWidget> back = before_.take(window);
        if (back && back->isVisible() && back->isEnabled()) {
            back->window()->activateWindow();
            back->setFocus(Qt::ActiveWindowFocusReason);
        }
        return false;
    }

private:
    QHash<QObject*, QPointer<QWidget>> before_;
};

} // namespace

MainWindow::MainWindow(EditorWindow* editor, QWidget* parent) : QMainWindow(parent), editor_(editor)
{
    new FocusReturn(this);
    new KeyboardMenuStart(this);
    setObjectName(QStringLiteral("MDIFrmMain"));
    reportBusyState(this);
    setWindowTitle(QString::fromLatin1(kApplicationName));

    // The editor keeps its natural size at the top, in the middle of a larger window; a
    // screen too small for it scrolls.
    area_ = new QScrollArea;
    area_->setObjectName(QStringLiteral("EditorArea"));
    area_->setWidgetResizable(true);
    area_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    editor->installEventFilter(this);
    area_->setFrameShape(QFrame::NoFrame);
    // Not a stop of its own: Tab goes from control to control, and the area follows the focus.
    area_->setFocusPolicy(Qt::NoFocus);
    area_->setWidget(editor);
    setCentralWidget(area_);

    file_ = menuBar()->addMenu(QStringLiteral("&File"));
    edit_ = menuBar()->addMenu(QStringLiteral("&Edit"));
    view_ = menuBar()->addMenu(QStringLiteral("&View"));
    device_ = menuBar()->addMenu(QStringLiteral("&Device"));
    help_ = menuBar()->addMenu(QStringLiteral("&Help"));

    outcome_ = new QLabel;
    outcome_->setObjectName(QStringLiteral("StatusOutcome"));
    outcome_->setTextFormat(Qt::PlainText);
    differ_ = new QLabel(QString::fromLatin1(kUnitMayDifferText));
    differ_->setObjectName(QStringLiteral("StatusDiffer"));
    differ_->setTextFormat(Qt::PlainText);
    QFont bold = differ_->font();
    bold.setBold(true);
    differ_->setFont(bold);
    differ_->hide();
    link_ = new QLabel;
    link_->setObjectName(QStringLiteral("StatusLink"));
    link_->setTextFormat(Qt::PlainText);
    activity_ = new QLabel;
    activity_->setObjectName(QStringLiteral("StatusActivity"));
    activity_->setTextFormat(Qt::PlainText);
    statusBar()->addWidget(outcome_, 1);
    statusBar()->addWidget(activity_);
    statusBar()->addPermanentWidget(differ_);
    statusBar()->addPermanentWidget(link_);
    connect_ = new QPushButton(QStringLiteral("&Connect"));
    connect_->setObjectName(QStringLiteral("StatusConnect"));
    connect_->setToolTip(QStringLiteral("Connect to the QRV5173 found on the port"));
    connect_->hide();
    statusBar()->addPermanentWidget(connect_);
    statusBar()->setSizeGripEnabled(true);
}

MainWindow::~MainWindow() = default;

QSize MainWindow::aroundEditor() const
{
    layout()->activate();
    return size() - area_->size();
}

QSize MainWindow::sizeForEditor(QSize editorSize) const
{
    return editorSize.expandedTo(editor_->minimumSize()) + aroundEditor();
}

namespace {

const char* const kGeometryKey = "window/geometry";
const char* const kStateKey = "window/state";
constexpr int kRememberAfterMs = 300;

// What the window manager's frame and title bar take, once it has put them on; a guess before.
QSize frameExtra(const QWidget* window)
{
    const QSize extra = window->frameGeometry().size() - window->size();
    return extra.isEmpty() ? QSize(8, 40) : extra;
}

} // namespace

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    // Sliders stretched over a maximised window only look odd: the editor grows no larger
    // than it asks to be, whatever pages it has built so far.
    if (watched == editor_ && event->type() == QEvent::LayoutRequest)
        editor_->setMaximumSize(editor_->sizeHint().expandedTo(editor_->minimumSize()));
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::fitToEditor()
{
    // About two thirds of the screen, at least what the editor asks for.
    QSize wanted = sizeForEditor(editor_->sizeHint());
    if (const QScreen* screen = this->screen())
        wanted = wanted.expandedTo(screen->availableGeometry().size() * 2 / 3);
    QSize least = sizeForEditor(editor_->minimumSizeHint());
    if (const QScreen* screen = this->screen()) {
        // Room for the window's own frame and title bar; a smaller screen scrolls.
        const QSize room = screen->availableGeometry().size() - frameExtra(this);
        wanted = wanted.boundedTo(room);
        least = least.boundedTo(room);
    }
    setMinimumSize(least);
    resize(wanted);
    bool restored = false;
    if (memory_ && !placed_) {
        // Panels first: showing one widens the window, which the kept size then undoes.
        restoreState(memory_->value(QString::fromLatin1(kStateKey)).toByteArray());
        restored = restoreGeometry(memory_->value(QString::fromLatin1(kGeometryKey)).toByteArray());
    }
    keepOnScreen(!restored && !placed_);
    placed_ = true;
}

void MainWindow::setLayoutMemory(std::unique_ptr<QSettings> memory)
{
    memory_ = std::move(memory);
    if (!remember_) {
        remember_ = new QTimer(this);
        remember_->setObjectName(QStringLiteral("RememberLayout"));
        remember_->setSingleShot(true);
        remember_->setInterval(kRememberAfterMs);
        connect(remember_, &QTimer::timeout, this, [this] { rememberLayout(); });
        for (QDockWidget* dock : findChildren<QDockWidget*>())
            connect(dock, &QDockWidget::visibilityChanged, remember_, qOverload<>(&QTimer::start));
    }
}

void MainWindow::rememberLayout()
{
    if (!memory_ || !placed_)
        return;
    memory_->setValue(QString::fromLatin1(kGeometryKey), saveGeometry());
    memory_->setValue(QString::fromLatin1(kStateKey), saveState());
    memory_->sync();
}

void MainWindow::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    if (remember_ && placed_)
        remember_->start();
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    if (remember_ && placed_)
        remember_->start();
}

void MainWindow::keepOnScreen(bool centre)
{
    const QScreen* screen = this->screen();
    if (!screen || isMaximized() || isFullScreen())
        return;
    const QRect room = screen->availableGeometry();
    const QSize extra = frameExtra(this);
    const QSize fits = size().boundedTo(room.size() - extra).expandedTo(minimumSize().boundedTo(room.size() - extra));
    if (fits != size())
        resize(fits);
    const QSize whole = size() + extra;
    QPoint at = frameGeometry().topLeft();
    if (centre)
        at = room.topLeft() + QPoint((room.width() - whole.width()) / 2, (room.height() - whole.height()) / 2);
    at.setX(std::clamp(at.x(), room.left(), std::max(room.left(), room.right() + 1 - whole.width())));
    at.setY(std::clamp(at.y(), room.top(), std::max(room.top(), room.bottom() + 1 - whole.height())));
    if (at != frameGeometry().topLeft())
        move(at);
}

void MainWindow::showEditorCaption(const QString& caption)
{
    const QString title = QString::fromLatin1(kApplicationName) + QStringLiteral(" - [") + caption + u']';
    if (windowTitle() != title)
        setWindowTitle(title);
}

void MainWindow::showStatus(const QString& link, bool unitMayDiffer, const QString& outcome)
{
    // Whatever the status bar comes to say, a screen reader hears as it happens.
    if (link_->text() != link) {
        link_->setText(link);
        announce(link_, link);
    }
    if (differ_->isHidden() == unitMayDiffer) {
        differ_->setVisible(unitMayDiffer);
        if (unitMayDiffer)
            announce(differ_, differ_->text());
    }
    if (outcome_->text() != outcome) {
        // A newer outcome takes the place of a panel's brief note, which would hide it.
        statusBar()->clearMessage();
        outcome_->setText(outcome);
        announce(outcome_, outcome);
    }
}

void MainWindow::showConnectOffer(bool shown)
{
    connect_->setVisible(shown);
}

void MainWindow::showActivity(const QString& text)
{
    activity_->setText(text);
    announce(activity_, text);
}

QString MainWindow::statusText() const
{
    QStringList parts;
    for (const QLabel* label : {outcome_, differ_, link_})
        if (!label->isHidden() && !label->text().isEmpty())
            parts << label->text();
    return parts.join(QStringLiteral(" | "));
}

void MainWindow::addKeyboardNavigation()
{
    // Shift+F10 does what the Menu key does.
    auto* menuKey = new QAction(QStringLiteral("Control Menu"), this);
    menuKey->setObjectName(QStringLiteral("ControlMenuAction"));
    menuKey->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10));
    connect(menuKey, &QAction::triggered, this, [] {
        QWidget* control = QApplication::focusWidget();
        if (!control)
            return;
        const QPoint at = control->rect().center();
        QContextMenuEvent event(QContextMenuEvent::Keyboard, at, control->mapToGlobal(at));
        QApplication::sendEvent(control, &event);
    });
    addAction(menuKey);

    for (const int direction : {1, -1}) {
        auto* area = new QAction(this);
        area->setObjectName(direction > 0 ? QStringLiteral("NextAreaAction") : QStringLiteral("PreviousAreaAction"));
        area->setShortcut(direction > 0 ? QKeySequence(Qt::Key_F6) : QKeySequence(Qt::SHIFT | Qt::Key_F6));
        connect(area, &QAction::triggered, this, [this, direction] { moveFocusBetweenAreas(direction); });
        addAction(area);
    }

    // The menu bar and the menus take the focus while they are used: the control before them counts.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now && now->window() == this && !qobject_cast<QMenuBar*>(now) && !qobject_cast<QMenu*>(now))
            lastFocus_ = now;
    });
    edit_->addSeparator();
    QList<QAction*> resets;
    for (const auto& [to, text] : {std::pair{ResetTo::Stored, kResetToStoredText}, std::pair{ResetTo::Start, kResetToStartText}}) {
        QAction* reset = edit_->addAction(QString::fromLatin1(text));
        reset->setObjectName(to == ResetTo::Stored ? QStringLiteral("Menu_ResetToStored")
                                                   : QStringLiteral("Menu_ResetToStart"));
        reset->setStatusTip(QStringLiteral("Put the focused control back to this value"));
        connect(reset, &QAction::triggered, this, [this, to = to] {
            if (QAction* own = resetAction(lastFocus_, to); own && own->isEnabled())
                own->trigger();
        });
        resets << reset;
    }
    connect(edit_, &QMenu::aboutToShow, this, [this, resets] {
        for (QAction* reset : resets) {
            const QAction* own = resetAction(lastFocus_, reset == resets.front() ? ResetTo::Stored : ResetTo::Start);
            reset->setEnabled(own && own->isEnabled());
        }
    });
}

namespace {

bool takesTabFocus(const QWidget* widget)
{
    return widget->isVisible() && widget->isEnabled() && (widget->focusPolicy() & Qt::TabFocus);
}

} // namespace

void MainWindow::focusInto(QWidget* area)
{
    if (!area)
        return;
    if (area->isVisible() && area->focusPolicy() & Qt::TabFocus) {
        area->setFocus(Qt::OtherFocusReason);
        return;
    }
    QWidget* last = area->focusWidget();
    if (!last || !area->isAncestorOf(last) || !takesTabFocus(last)) {
        last = nullptr;
        for (QWidget* w = area->nextInFocusChain(); w && w != area; w = w->nextInFocusChain())
            if (area->isAncestorOf(w) && takesTabFocus(w)) {
                last = w;
                break;
            }
    }
    if (last)
        last->setFocus(Qt::OtherFocusReason);
}

void MainWindow::moveFocusBetweenAreas(int direction)
{
    QList<QWidget*> areas{editor_};
    for (QDockWidget* dock : findChildren<QDockWidget*>())
        if (dock->isVisible())
            areas << dock;
    const QWidget* focus = QApplication::focusWidget();
    qsizetype at = 0;
    for (qsizetype i = 0; i < areas.size(); ++i)
        if (focus && (areas[i] == focus || areas[i]->isAncestorOf(focus)))
            at = i;
    focusInto(areas[(at + direction + areas.size()) % areas.size()]);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (closeRequest_ && closeRequest_())
        event->accept();
    else
        event->ignore();
}

} // namespace qrv::ui
