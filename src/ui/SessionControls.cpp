#include "ui/SessionControls.hpp"

#include "ui/windows/AppWindows.hpp"
#include "ui/pages/Look.hpp"
#include "ui/windows/MainWindow.hpp"
#include "ui/QtHost.hpp"

#include "app/UnitChange.hpp"
#include "storage/Recovery.hpp"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLockFile>
#include <QPainter>
#include <QSignalBlocker>
#include <QSocketNotifier>
#include <QStatusBar>
#include <QTimer>
#include <QVariant>

#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace qrv::ui {

namespace {

constexpr int kRecoveryTickMs = 500;
constexpr int kIdleTickMs = 1000;

// Tells the idle watch of every key, click, wheel turn and touch anywhere in the editor.
class UserActivity final : public QObject {
public:
    UserActivity(Program& program, QObject* parent) : QObject(parent), watch(program) {}

    IdleUnitWatch watch;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::TouchBegin:
            watch.touched();
            break;
        default:
            break;
        }
        return false;
    }
};
constexpr int kRecoveryPlaces = 8;

// The amber frame of a control that differs, drawn over the control's edge: the control
// keeps its own look and size, so none of its text is cut.
class DiffersFrame final : public QWidget {
public:
    explicit DiffersFrame(QWidget* control) : QWidget(control)
    {
        setObjectName(QStringLiteral("DiffersFrame"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        control->installEventFilter(this);
        setGeometry(control->rect());
        hide();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == parent() && event->type() == QEvent::Resize)
            setGeometry(parentWidget()->rect());
        return false;
    }
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(differsFramePen(parentWidget()->palette()));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 3, 3);
    }
};

// Enter and leaving a box with typed text apply it; Escape puts the shown value back.
class ValueBoxKeys final : public QObject {
public:
    ValueBoxKeys(QLineEdit* box, TextBox& control, Binder& binder, std::function<void()> onEnter)
        : QObject(box), box_(box), control_(control), binder_(binder), onEnter_(std::move(onEnter))
    {
        box->installEventFilter(this);
        QObject::connect(box, &QLineEdit::returnPressed, this, [this] {
            apply();
            box_->selectAll();
        });
    }

    void restore()
    {
        const QSignalBlocker blocker(box_);
        box_->setText(QString::fromStdString(control_.text));
        box_->setModified(false);
        box_->setCursorPosition(0);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == box_ && event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            restore();
            return true;
        }
        // The box's own context menu takes the focus for a moment: the typing goes on.
        if (watched == box_ && event->type() == QEvent::FocusOut &&
            static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason)
            apply();
        return false;
    }

private:
    // Once per typing: the box shows the model again before the core runs, so the
    // focus-out after an Enter, or during the core's own dialogs, applies nothing again.
    void apply()
    {
        if (box_->text() == QString::fromStdString(control_.text))
            return;
        control_.text = box_->text().toStdString();
        restore();
        binder_.handle(onEnter_);
        restore();
    }

    QLineEdit* box_;
    TextBox& control_;
    Binder& binder_;
    std::function<void()> onEnter_;
};

} // namespace

void bindValueBox(Binder& binder, QLineEdit* box, TextBox& control, const FrmMain& form, std::function<void()> onEnter)
{
    box->setReadOnly(false);
    new ValueBoxKeys(box, control, binder, std::move(onEnter));
    binder.custom(box, [box, &control]() -> QWidget* {
        if (box->isModified())
            return nullptr; // the user is typing
        const QString text = QString::fromStdString(control.text);
        const QString tip = QString::fromStdString(control.toolTip);
        if (box->text() == text && box->toolTip() == tip)
            return nullptr;
        const QSignalBlocker blocker(box);
        box->setText(text);
        box->setCursorPosition(0);
        box->setToolTip(tip);
        return box;
    });
    markWhenDiffers(binder, box, form);
}

void markWhenDiffers(Binder& binder, QWidget* widget, const FrmMain& form)
{
    const std::string name = widget->objectName().toStdString();
    binder.custom(widget, [widget, &form, name]() -> QWidget* {
        const bool differs = form.differing.count(name) != 0;
        if (widget->property("differs").toBool() == differs)
            return nullptr;
        widget->setProperty("differs", differs);
        QWidget* frame = widget->findChild<QWidget*>(QStringLiteral("DiffersFrame"), Qt::FindDirectChildrenOnly);
        if (!frame)
            frame = new DiffersFrame(widget);
        frame->setVisible(differs);
        frame->raise();
        return widget;
    });
}

std::pair<QAction*, QAction*> addUndoRedo(QWidget* window, Binder& binder, Editor& editor)
{
    auto* undo = new QAction(QObject::tr("&Undo"), window);
    undo->setObjectName(QStringLiteral("UndoAction"));
    undo->setShortcuts(QKeySequence::Undo);
    auto* redo = new QAction(QObject::tr("&Redo"), window);
    redo->setObjectName(QStringLiteral("RedoAction"));
    QList<QKeySequence> redoKeys = QKeySequence::keyBindings(QKeySequence::Redo);
    for (const QKeySequence& extra :
         {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)})
        if (!redoKeys.contains(extra))
            redoKeys << extra;
    redo->setShortcuts(redoKeys);
    for (QAction* action : {undo, redo}) {
        action->setShortcutContext(Qt::WindowShortcut);
        window->addAction(action);
    }
    QObject::connect(undo, &QAction::triggered, window,
                     [&binder, &editor] { binder.handle([&editor] { editor.undo(); }); });
    QObject::connect(redo, &QAction::triggered, window,
                     [&binder, &editor] { binder.handle([&editor] { editor.redo(); }); });
    binder.custom(undo, [undo, redo, &editor]() -> QWidget* {
        undo->setEnabled(editor.history().canUndo());
        redo->setEnabled(editor.history().canRedo());
        // "Undo Rename REVERB HALL 3": the step's label, when it has one.
        undo->setText(QStringLiteral("&") + QString::fromStdString(editor.history().undoText()));
        redo->setText(QStringLiteral("&") + QString::fromStdString(editor.history().redoText()));
        return nullptr;
    });
    return {undo, redo};
}

RecoveryClaim claimRecoveryFile(const std::filesystem::path& folder)
{
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    const std::filesystem::path first(kRecoveryFileName);
    for (int place = 1; place <= kRecoveryPlaces; ++place) {
        const std::string stem = first.stem().string() + (place == 1 ? "" : "-" + std::to_string(place));
        auto lock = std::make_unique<QLockFile>(QString::fromStdString((folder / (stem + ".lock")).string()));
        // Only a lock whose editor no longer runs is taken over, however old.
        lock->setStaleLockTime(0);
        if (lock->tryLock(0))
            return {std::move(lock), stem + first.extension().string()};
    }
    return {};
}

void keepRecoveryFile(AppWindows& windows, Program& program, const std::filesystem::path& folder)
{
    // Shared by the callbacks below, which keep the lock as long as they live.
    auto claim = std::make_shared<RecoveryClaim>(claimRecoveryFile(folder));
    if (claim->lock)
        program.recovery.setFolder(folder, claim->fileName);
    windows.setOnEditorShown([&windows, &program, claim, folder] {
        // Once start-up has returned: the question comes over the finished editor.
        QTimer::singleShot(0, &windows.main(), [&windows, &program, claim, folder] {
            program.recovery.arm();
            windows.binder().handle(
                [&program] { offerRecovery(program.editor, program.recovery, std::time(nullptr)); });
            auto* status = new QLabel;
            status->setObjectName(QStringLiteral("StatusRecovery"));
            status->setTextFormat(Qt::PlainText);
            status->setStyleSheet(QStringLiteral("font-weight: bold;"));
            status->hide();
            windows.main().statusBar()->addPermanentWidget(status);
            auto* timer = new QTimer(&windows.main());
            timer->setObjectName(QStringLiteral("RecoveryTimer"));
            QObject::connect(timer, &QTimer::timeout, timer, [&program, claim, folder, status] {
                if (!claim->lock) { // a full disk or a read-only folder may have come right
                    *claim = claimRecoveryFile(folder);
                    if (claim->lock)
                        program.recovery.setFolder(folder, claim->fileName);
                }
                program.recovery.tick(program.state, std::time(nullptr));
                QString problem;
                if (!claim->lock)
                    problem = QStringLiteral("no lock file can be made");
                else if (!program.recovery.problem().empty())
                    problem = QString::fromStdString(program.recovery.problem());
                const QString text = problem.isEmpty()
                    ? QString()
                    : QStringLiteral("Unsaved edits not kept for recovery (%1); trying again").arg(problem);
                if (status->text() != text) {
                    status->setText(text);
                    status->setToolTip(text.isEmpty() ? QString()
                                                      : QStringLiteral("The recovery file goes to %1. Free some room "
                                                                       "there or make it writable; the editor keeps "
                                                                       "trying every half second.")
                                                            .arg(QString::fromStdString(folder.string())));
                    status->setVisible(!text.isEmpty());
                }
            });
            timer->start(kRecoveryTickMs);
        });
    });
}

namespace {

int signalPipe[2] = {-1, -1};

extern "C" void onEndSignal(int signal)
{
    const auto byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

} // namespace

void keepEditsAtEveryEnd(QtHost& host, Program& program, std::function<void()> alsoBeforeEnd)
{
    host.setBeforeEnd([&program, alsoBeforeEnd = std::move(alsoBeforeEnd)] {
        program.recovery.tick(program.state, std::time(nullptr));
        program.recovery.flush();
        if (alsoBeforeEnd)
            alsoBeforeEnd();
    });
    if (signalPipe[0] >= 0 || ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [&host] {
        unsigned char signal = 0;
        if (::read(signalPipe[0], &signal, 1) != 1)
            return;
        host.setExitStatus(128 + signal);
        host.endProgram(); // the edits the unit already holds are written first
    });
    struct sigaction action {};
    action.sa_handler = onEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGHUP, SIGINT})
        ::sigaction(signal, &action, nullptr);
}

IdleUnitWatch& watchUnitWhileIdle(AppWindows& windows, Program& program)
{
    auto* activity = new UserActivity(program, QCoreApplication::instance());
    QCoreApplication::instance()->installEventFilter(activity);
    auto* timer = new QTimer(activity);
    timer->setObjectName(QStringLiteral("IdleUnitTimer"));
    QObject::connect(timer, &QTimer::timeout, activity, [&windows, activity] {
        // A held button is a drag in progress; a modal window waits for the user.
        const bool userBusy = QGuiApplication::mouseButtons() != Qt::NoButton || QApplication::activeModalWidget() ||
            QApplication::activePopupWidget();
        if (!userBusy && !windows.binder().coreRunning() && activity->watch.due())
            windows.binder().handle([activity] { activity->watch.tick(); });
    });
    timer->start(kIdleTickMs);
    return activity->watch;
}

} // namespace qrv::ui
