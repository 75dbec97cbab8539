#include "ui/panels/FollowUnitControls.hpp"

#include "ui/pages/Accessible.hpp"
#include "ui/windows/AppWindows.hpp"
#include "ui/pages/Binder.hpp"
#include "ui/windows/MainWindow.hpp"

#include "app/FollowUnit.hpp"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QSettings>
#include <QTimer>

namespace qrv::ui {

namespace {

// Often enough that a look starts within a tenth of its interval of falling due.
constexpr int kFollowTickMs = 200;

} // namespace

void followTheUnit(AppWindows& windows, Program& program, IdleUnitWatch& watch)
{
    auto* action = windows.main().deviceMenu()->addAction(QStringLiteral("&Follow the Unit"));
    action->setObjectName(QStringLiteral("Menu_FollowUnit"));
    action->setCheckable(true);
    action->setStatusTip(QStringLiteral("Show what is selected and turned on the unit itself while you rest"));
    auto* follow = new FollowUnit(program, watch);
    QObject::connect(action, &QObject::destroyed, [follow] { delete follow; });
    const bool on = settings().value(QString::fromLatin1(kFollowUnitKey), true).toBool();
    action->setChecked(on);
    follow->setOn(on);
    QObject::connect(action, &QAction::toggled, action, [follow](bool checked) {
        follow->setOn(checked);
        settings().setValue(QString::fromLatin1(kFollowUnitKey), checked);
    });

    auto* timer = new QTimer(action);
    timer->setObjectName(QStringLiteral("FollowUnitTimer"));
    QObject::connect(timer, &QTimer::timeout, action, [&windows, &program, follow] {
        Binder& binder = windows.binder();
        // A held button is a drag in progress; a modal window or a menu waits for the user.
        const bool userBusy = QGuiApplication::mouseButtons() != Qt::NoButton || QApplication::activeModalWidget() ||
            QApplication::activePopupWidget();
        if (userBusy || binder.userWaiting() || !follow->due())
            return;
        const std::string said = program.state.lastOutcome;
        auto look = FollowUnit::Look::NotDue;
        binder.runInBackground(follow, [&] { look = follow->tick([&binder] { return binder.userWaiting(); }); });
        // The status bar speaks a text that changes; the same words again are said here.
        if (look == FollowUnit::Look::Followed && said == kChangedOnUnitText)
            announce(&windows.main(), QString::fromLatin1(kChangedOnUnitText));
    });
    timer->start(kFollowTickMs);
}

} // namespace qrv::ui
