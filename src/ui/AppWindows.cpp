#include "AppWindows.hpp"

#include "EditorWindow.hpp"
#include "MainWindow.hpp"
#include "PresetDialogWindows.hpp"
#include "QtHost.hpp"
#include "SplashWindow.hpp"

#include "app/Exit.hpp"
#include "app/StartUp.hpp"
#include "devmem/PresetDialogs.hpp"

#include <QMdiSubWindow>
#include <QTimer>

namespace qrv::ui {

AppWindows::AppWindows(Program& program, QtHost* qtHost) : program_(program), qtHost_(qtHost)
{
}

EditorWindow& AppWindows::editor()
{
    build();
    return *editor_;
}

MainWindow& AppWindows::main()
{
    build();
    return *main_;
}

void AppWindows::build()
{
    if (main_)
        return;
    if (program_.form.Command2.empty())
        setupCommandPanel(program_.form);
    auto editor = std::make_unique<EditorWindow>(program_.editor, binder_);
    editor_ = editor.get();
    editor_->setCommandHandler([this](int index) { commandPanelClick(program_.editor, panelActions(), index); });
    editor_->setReopenHandler([this] { program_.search.reopenPort(); });
    main_ = std::make_unique<MainWindow>(editor.release());
    main_->setCloseRequest([this] {
        return binder_.requestClose(
            main_.get(), [this] { return mainWindowCloseRequest(program_); }, [this] { main_->close(); });
    });
    editor_->setCloseRequest([] { return editorWindowCloseRequest(); });
    main_->editorFrame()->hide();
    attach(Window::Main, main_.get());
    attach(Window::Editor, editor_);
}

AppWindows::~AppWindows()
{
    for (Window window : {Window::Splash, Window::Main, Window::Editor, Window::Read, Window::Store})
        detach(window);
    delete splash_.data();
}

void AppWindows::attach(Window window, QWidget* widget)
{
    if (qtHost_)
        qtHost_->attach(window, widget, [this] { binder_.sync(true); });
}

void AppWindows::detach(Window window)
{
    if (qtHost_)
        qtHost_->detach(window);
}

void AppWindows::start()
{
    splash_ = new SplashWindow(
        program_.splash, binder_, [this] { splashResize(program_.splash); },
        [this] { splashTimer(program_, [this](Window window) { show(window); }); });
    attach(Window::Splash, splash_);
    splashLoad(program_);
    binder_.sync();
    splash_->show();
    // The windows are built while the splash window waits for its timer.
    QTimer::singleShot(0, splash_, [this] { build(); });
}

void AppWindows::show(Window window)
{
    build();
    binder_.sync();
    if (window == Window::Main) {
        main_->fitToEditor();
        main_->show();
        main_->repaint();
        return;
    }
    if (window != Window::Editor)
        return;
    main_->editorFrame()->show();
    main_->editorFrame()->raise();
    main_->editorFrame()->repaint();
    if (onEditorShown_)
        onEditorShown_();
}

PanelActions AppWindows::panelActions()
{
    PanelActions actions;
    actions.confirmExit = [this] {
        ConfirmExit(program_.link, program_.editor.host(), [this] { program_.recovery.leave(); });
    };
    actions.showReadDialog = [this] { showReadDialog(); };
    actions.showStoreDialog = [this] { showStoreDialog(); };
    actions.findDevice = [this] { program_.search.FindDevice(); };
    return actions;
}

void AppWindows::showReadDialog()
{
    ReadDialog dialog(program_.editor);
    dialog.load();
    ReadDialogWindow window(dialog, binder_, main_.get());
    attach(Window::Read, &window);
    if (dialog.form.open)
        window.exec();
    detach(Window::Read);
}

void AppWindows::showStoreDialog()
{
    StoreDialog dialog(program_.editor);
    dialog.load();
    StoreDialogWindow window(dialog, binder_, main_.get());
    attach(Window::Store, &window);
    if (dialog.form.open)
        window.exec();
    detach(Window::Store);
}

} // namespace qrv::ui
