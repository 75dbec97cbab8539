#include "ui/windows/AppWindows.hpp"

#include "ui/pages/Accessible.hpp"
#include "ui/windows/EditorWindow.hpp"
#include "ui/windows/HelpWindows.hpp"
#include "ui/pages/Look.hpp"
#include "ui/windows/MainWindow.hpp"
#include "ui/windows/PresetDialogWindows.hpp"
#include "ui/windows/SideBySideWindow.hpp"
#include "ui/panels/PresetLibraryPanel.hpp"
#include "ui/panels/UnitPresetsPanel.hpp"
#include "ui/QtHost.hpp"
#include "ui/windows/RestoreDialog.hpp"
#include "ui/windows/UnitHistoryDialog.hpp"
#include "ui/windows/SplashWindow.hpp"

#include "app/DeviceBackup.hpp"
#include "app/Exit.hpp"
#include "app/PortWatch.hpp"
#include "app/StartUp.hpp"
#include "app/UnitChange.hpp"
#include "devmem/PresetDialogs.hpp"
#include "storage/PresetFiles.hpp"
#include "state/Notice.hpp"
#include "storage/PresetLibrary.hpp"

#include <QAction>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QTreeWidget>

#include <ctime>

namespace qrv::ui {

namespace {

enum class Menu { File, Edit, Device };

// A command panel button in the menus, with the platform's key for it where there is one.
struct MenuCommand {
    int button;
    Menu menu;
    const char* text;
    QKeySequence::StandardKey standard;
    QKeyCombination fallback;
    bool separatorBefore = false;
};

const MenuCommand kMenuCommands[] = {
    {1, Menu::File, "&Save Preset To PC…", QKeySequence::Save, Qt::CTRL | Qt::Key_S},
    {2, Menu::File, "&Load Preset From PC…", QKeySequence::Open, Qt::CTRL | Qt::Key_O},
    {3, Menu::File, "Save Pro&ject To PC…", QKeySequence::SaveAs, Qt::CTRL | Qt::SHIFT | Qt::Key_S},
    {4, Menu::File, "Load P&roject From PC…", QKeySequence::UnknownKey, Qt::CTRL | Qt::SHIFT | Qt::Key_O},
    {0, Menu::File, "E&xit", QKeySequence::Quit, Qt::CTRL | Qt::Key_Q, true},
    {5, Menu::Edit, "&Reload Current Effect", QKeySequence::Refresh, Qt::Key_F5},
    {6, Menu::Edit, "Reload &All Effect", QKeySequence::UnknownKey, Qt::CTRL | Qt::SHIFT | Qt::Key_F5},
    {7, Menu::Device, "&Load Preset From Device…", QKeySequence::UnknownKey, Qt::CTRL | Qt::Key_D},
    {8, Menu::Device, "&Save Current Preset To Device…", QKeySequence::UnknownKey, Qt::CTRL | Qt::SHIFT | Qt::Key_D},
    {9, Menu::Device, "Re&Connect", QKeySequence::UnknownKey, Qt::CTRL | Qt::SHIFT | Qt::Key_R, true},
};

QList<QKeySequence> keysFor(const MenuCommand& command)
{
    QList<QKeySequence> keys;
    if (command.standard != QKeySequence::UnknownKey)
        keys = QKeySequence::keyBindings(command.standard);
    if (keys.isEmpty())
        keys << QKeySequence(command.fallback);
    return keys;
}

} // namespace

AppWindows::AppWindows(Program& program, QtHost* qtHost) : program_(program), qtHost_(qtHost)
{
    installAccessibility();
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
    buildShell();
    editor_->buildRemainingPages();
}

void AppWindows::buildInTurns()
{
    if (!main_)
        buildShell();
    else if (!editor_->buildNextPage())
        return;
    QTimer::singleShot(0, main_.get(), [this] { buildInTurns(); });
}

void AppWindows::buildShell()
{
    if (main_)
        return;
    if (program_.form.Command2.empty())
        setupCommandPanel(program_.form);
    auto editor = std::make_unique<EditorWindow>(program_.editor, binder_, EditorWindow::PageBuilding::OnRequest);
    editor_ = editor.get();
    editor_->setCommandHandler([this](int index) { commandPanelClick(program_.editor, panelActions(), index); });
    editor_->setReopenHandler([this] { program_.search.reopenPort(); });
    main_ = std::make_unique<MainWindow>(editor.release());
    main_->setCloseRequest([this] {
        return binder_.requestClose(
            main_.get(), [this] { return mainWindowCloseRequest(program_); }, [this] { main_->close(); });
    });
    editor_->setCloseRequest([] { return editorWindowCloseRequest(); });
    editor_->hide();
    buildMenus();
    buildLibrary();
    buildUnitPresets();
    buildPortWatch();
    binder_.setAfterCore([this] { return program_.state.readAgainPending; }, [this] { readChangedUnit(program_); });
    if (layoutMemory_)
        main_->setLayoutMemory(std::move(layoutMemory_));
    binder_.custom(main_.get(), [this]() -> QWidget* {
        const ProgramState& state = program_.state;
        const QString before = main_->windowTitle() + main_->statusText();
        main_->showEditorCaption(qs(program_.form.caption));
        // Edits the unit missed while away are as good as a unit that may differ; in demo mode
        // there is no unit to differ, and the link already says nothing is sent.
        const bool missed = state.awaitingUnit && !unsentEdits(program_).empty();
        main_->showStatus(linkStatusText(state, program_.link.port().portName(), program_.splash.loaded),
                          (state.unitMayDiffer || missed) && !state.DemoMode, qs(state.lastOutcome));
        main_->showConnectOffer(!state.unitOffer.empty());
        return before == main_->windowTitle() + main_->statusText() ? nullptr : main_.get();
    });
    // The lever's words: the state it is in stands out, the other is greyed.
    auto* offWord = editor_->findChild<QLabel*>(QStringLiteral("Label3"));
    auto* onWord = editor_->findChild<QLabel*>(QStringLiteral("Label4"));
    binder_.custom(editor_, [this, offWord, onWord]() -> QWidget* {
        return showStateWords(offWord, onWord, program_.form.Check1.value != 0) ? editor_ : nullptr;
    });
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
    // The windows are built a piece per event-loop turn while the splash window waits.
    QTimer::singleShot(0, splash_, [this] { buildInTurns(); });
}

void AppWindows::show(Window window)
{
    build();
    binder_.sync();
    if (window == Window::Main) {
        main_->show();
        main_->repaint();
        return;
    }
    if (window != Window::Editor)
        return;
    editor_->show();
    main_->fitToEditor();
    // The keyboard starts where the work does: on the effect list.
    if (auto* effects = editor_->findChild<QWidget*>(QStringLiteral("Combo1")))
        effects->setFocus(Qt::OtherFocusReason);
    main_->repaint();
    if (onEditorShown_)
        onEditorShown_();
}

QSettings& settings()
{
    static QSettings memory(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("QRV5173"),
                            QStringLiteral("editor"));
    return memory;
}

void AppWindows::buildMenus()
{
    // Undo and Redo belong to the editor window, which keeps their keys; the menu offers them too.
    main_->editMenu()->addAction(editor_->undoAction());
    main_->editMenu()->addAction(editor_->redoAction());
    main_->editMenu()->addSeparator();
    main_->editMenu()->addAction(editor_->compareAction());
    main_->editMenu()->addAction(editor_->compareWithAction());
    main_->editMenu()->addSeparator();
    QMenu* menus[] = {main_->fileMenu(), main_->editMenu(), main_->deviceMenu()};
    for (const MenuCommand& command : kMenuCommands) {
        QMenu* menu = menus[static_cast<int>(command.menu)];
        if (command.separatorBefore)
            menu->addSeparator();
        auto* action = menu->addAction(QString::fromUtf8(command.text));
        action->setObjectName(QStringLiteral("Menu_Command2_%1").arg(command.button));
        action->setShortcuts(keysFor(command));
        if (command.button == 0)
            action->setMenuRole(QAction::QuitRole);
        QObject::connect(action, &QAction::triggered, main_.get(), [this, index = command.button] {
            binder_.handle([this, index] { commandPanelClick(program_.editor, panelActions(), index); });
        });
        // The same tip as the panel's button, and offered exactly while the button is.
        const CommandButton& button = program_.form.Command2.at(command.button);
        binder_.custom(action, [action, &button]() -> QWidget* {
            action->setStatusTip(qs(button.toolTip));
            action->setVisible(button.visible);
            return nullptr;
        });
    }
    auto* reopen = main_->deviceMenu()->addAction(QStringLiteral("Re&open Port"));
    reopen->setObjectName(QStringLiteral("Menu_Command3"));
    reopen->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_R));
    const CommandButton& reopenButton = program_.form.Command3;
    reopen->setStatusTip(qs(reopenButton.toolTip));
    QObject::connect(reopen, &QAction::triggered, main_.get(),
                     [this] { binder_.handle([this] { program_.search.reopenPort(); }); });

    // The whole unit to and from a file; without a unit they say so.
    main_->deviceMenu()->addSeparator();
    auto* backUp = main_->deviceMenu()->addAction(QStringLiteral("Back &Up Device…"));
    backUp->setObjectName(QStringLiteral("Menu_BackUpDevice"));
    backUp->setStatusTip(QStringLiteral("Save everything the unit holds (its stored presets too) to a file"));
    QObject::connect(backUp, &QAction::triggered, main_.get(),
                     [this] { binder_.handle([this] { backUpDevice(program_.editor, std::time(nullptr)); }); });
    auto* restore = main_->deviceMenu()->addAction(QStringLiteral("Res&tore Device…"));
    restore->setObjectName(QStringLiteral("Menu_RestoreDevice"));
    restore->setStatusTip(QStringLiteral("Write a backup file to the unit, all effects or chosen ones"));
    QObject::connect(restore, &QAction::triggered, main_.get(), [this] {
        binder_.handle([this] {
            restoreDevice(program_.editor,
                          [this](const UnitBackup& backup) { return chooseEffectsToRestore(backup, main_.get()); });
        });
    });

    // Byte by byte in the original order: slower, for a unit whose block reads are in doubt.
    auto* exact = main_->deviceMenu()->addAction(QStringLiteral("E&xact Exchange Order"));
    exact->setObjectName(QStringLiteral("Menu_ExactOrder"));
    exact->setCheckable(true);
    exact->setChecked(program_.state.exactOrder);
    exact->setStatusTip(QStringLiteral("Read and write the unit byte by byte in the original order (slower)"));
    QObject::connect(exact, &QAction::toggled, main_.get(), [this](bool on) {
        program_.state.exactOrder = on;
        settings().setValue(QString::fromLatin1(kExactOrderKey), on);
    });

    auto* about = main_->helpMenu()->addAction(QStringLiteral("&About QRV5173"));
    about->setObjectName(QStringLiteral("Menu_About"));
    about->setMenuRole(QAction::AboutRole);
    QObject::connect(about, &QAction::triggered, main_.get(),
                     [this] { QMessageBox::about(main_.get(), QStringLiteral("About QRV5173"), aboutText()); });
    addHelpEntries(main_.get(), main_->helpMenu());
    main_->addKeyboardNavigation();
}

void AppWindows::buildLibrary()
{
    // A file chosen there loads as through Load Preset/Project From PC, past the file dialog.
    library_ = new PresetLibraryPanel([this] { return presetFolderPath(program_.state); },
                                      [this](const std::filesystem::path& path) {
                                          binder_.handle([this, &path] { LoadLibraryFile(program_.editor, path); },
                                                         library_->list());
                                      },
                                      main_.get());
    library_->addCompare(QString::fromLatin1(kCompareSideBySideText), compareSideBySideKey(),
                         [this](const std::vector<std::filesystem::path>& files) {
                             binder_.handle([this, files] {
                                 compareFiles(main_.get(), binder_, program_.editor, files);
                             });
                         });
    // In the File menu after the file loads, before Exit and its separator.
    QMenu* file = main_->fileMenu();
    const QList<QAction*> actions = file->actions();
    QAction* before = nullptr;
    for (qsizetype i = 0; i < actions.size(); ++i)
        if (actions[i]->objectName() == QStringLiteral("Menu_Command2_0"))
            before = i > 0 && actions[i - 1]->isSeparator() ? actions[i - 1] : actions[i];
    addPresetLibrary(main_.get(), file, before, library_);
    addUnitHistory(file, before, binder_, program_, settings(), main_.get());
}

void AppWindows::buildUnitPresets()
{
    unitPresets_ = new UnitPresetsPanel(program_.editor, binder_, [this] { return presetFolderPath(program_.state); },
                                        main_.get());
    addUnitPresets(main_.get(), main_->viewMenu(), main_->editMenu(), unitPresets_);
}

namespace {
const char* const kConnectAutomaticallyKey = "link/connectAutomatically";
}

void AppWindows::buildPortWatch()
{
    if (!portWatch_)
        return;
    QObject::connect(main_->connectButton(), &QPushButton::clicked, main_.get(),
                     [this] { binder_.handle([this] { portWatch_->connectOffered(); }); });
    ProgramState& state = program_.state;
    if (watchSettings_)
        state.connectAutomatically = watchSettings_->value(QString::fromLatin1(kConnectAutomaticallyKey), false).toBool();
    // Beside ReConnect, before the port's reopening.
    QAction* reopen = main_->deviceMenu()->findChild<QAction*>(QStringLiteral("Menu_Command3"));
    auto* automatic = new QAction(QStringLiteral("Connect &Automatically"), main_->deviceMenu());
    automatic->setObjectName(QStringLiteral("Menu_ConnectAutomatically"));
    automatic->setCheckable(true);
    automatic->setChecked(state.connectAutomatically);
    automatic->setStatusTip(QStringLiteral("Connect to a QRV5173 as soon as it is plugged in, without asking"));
    main_->deviceMenu()->insertAction(reopen, automatic);
    QObject::connect(automatic, &QAction::toggled, main_.get(), [this](bool on) {
        program_.state.connectAutomatically = on;
        if (watchSettings_) {
            watchSettings_->setValue(QString::fromLatin1(kConnectAutomaticallyKey), on);
            watchSettings_->sync();
        }
        // A unit offered now is taken at once.
        if (on && !program_.state.unitOffer.empty())
            binder_.handle([this] { portWatch_->connectOffered(); });
    });
}

QString aboutText()
{
    return QStringLiteral("QRV5173 editor, version %1\n\nEdits the effects of a QRV5173 effect processor "
                          "connected to a USB serial port, and keeps its presets and projects on the PC.\n\n%2")
        .arg(QStringLiteral(QRV_VERSION), QString::fromUtf8(qrv::kCopyrightNotice).trimmed());
}

PanelActions AppWindows::panelActions()
{
    PanelActions actions;
    actions.confirmExit = [this] {
        ConfirmExit(program_.link, program_.editor.host(), [this] { program_.recovery.leave(); });
    };
    actions.showReadDialog = [this] { showReadDialog(); };
    actions.showStoreDialog = [this] { showStoreDialog(); };
    actions.findDevice = [this] {
        ProgramState& state = program_.state;
        const bool awaiting = state.awaitingUnit;
        const bool found = program_.search.FindDevice();
        state.lastOutcome = found ? "Reconnected" : "ReConnect found no unit";
        // The unit that went away gets what it missed.
        if (found && awaiting && !state.unitChanged)
            state.lastOutcome = reconnectedText(sendUnsentEdits(program_));
    };
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
