// What a screen reader is told as it happens, the window on any screen, the marks' contrast
// and the help inside the program.
#include "UiRig.hpp"

#include "ui/pages/Accessible.hpp"
#include "ui/windows/EditorWindow.hpp"
#include "ui/windows/HelpWindows.hpp"
#include "ui/pages/Look.hpp"
#include "ui/windows/MainWindow.hpp"
#include "ui/QtHost.hpp"

#include <QAbstractButton>
#include <QAccessible>
#include <QAbstractItemView>
#include <QComboBox>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QAction>
#include <QDockWidget>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QSettings>
#include <QStyle>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTimer>
#include <QStackedWidget>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <filesystem>

namespace qrv::test {
namespace {

// Screen readers hear the status bar as it changes, the long operations and the busy main
// window; the keyboard starts on the effect list.
TEST(UiAccessibility, StatusChangesLongOperationsAndBusyReachAScreenReader)
{
    StartedRig rig;
    ui::MainWindow& main = rig.windows.main();
    EXPECT_EQ(main.focusWidget(), rig.find<QWidget>("Combo1"));

    std::vector<std::pair<QString, QString>> heard; // (source, text)
    ui::observeAnnouncements(
        [&heard](QWidget* source, const QString& text) { heard.emplace_back(source->objectName(), text); });
    const auto said = [&](const char* source, const QString& text) {
        return std::find(heard.begin(), heard.end(), std::pair{QString::fromLatin1(source), text}) != heard.end();
    };
    rig.state.lastOutcome = "Saved Preset/one.fxp";
    rig.windows.binder().sync();
    EXPECT_TRUE(said("StatusOutcome", "Saved Preset/one.fxp"));
    // What a screen reader speaks without the focus: a notification that starts showing.
    auto* herald = main.findChild<QWidget*>(QStringLiteral("announcement"), Qt::FindDirectChildrenOnly);
    ASSERT_NE(herald, nullptr);
    QAccessibleInterface* notification = QAccessible::queryAccessibleInterface(herald);
    EXPECT_EQ(notification->role(), QAccessible::Notification);
    // It waits for a pause in whatever else screen readers are told; what came meanwhile is
    // spoken with it.
    EXPECT_TRUE(QTest::qWaitFor([&] { return notification->text(QAccessible::Name).endsWith("Saved Preset/one.fxp"); }))
        << notification->text(QAccessible::Name).toStdString();
    EXPECT_TRUE(herald->isVisibleTo(&main));
    EXPECT_EQ(herald->size(), QSize(0, 0));
    // A source's newer text takes the place of its older one still waiting.
    ui::announce(rig.find<QWidget>("StatusOutcome"), QStringLiteral("Stored A"));
    ui::announce(rig.find<QWidget>("Combo1"), QStringLiteral("REVERB ROOM"));
    ui::announce(rig.find<QWidget>("StatusOutcome"), QStringLiteral("Stored B"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return notification->text(QAccessible::Name) == "REVERB ROOM. Stored B"; }))
        << notification->text(QAccessible::Name).toStdString();
    // A list's value is read from the entry its popup has selected, also while it is closed.
    auto* effects = rig.find<QComboBox>("Combo1");
    effects->setCurrentIndex(5);
    EXPECT_EQ(effects->view()->selectionModel()->selectedIndexes().value(0).row(), 5);
    // A band's lists are heard by the names that say which band, not by the "Freq" beside them.
    QAccessibleInterface* band = QAccessible::queryAccessibleInterface(rig.find<QComboBox>("Combo4_0"));
    EXPECT_EQ(band->text(QAccessible::Name), QStringLiteral("PEQ 1 Frequency"));
    for (const auto& [label, relation] : band->relations(QAccessible::Label))
        EXPECT_EQ(qobject_cast<QLabel*>(label->object()), nullptr) << label->text(QAccessible::Name).toStdString();
    heard.clear();
    rig.windows.binder().sync(); // nothing new: nothing said
    EXPECT_TRUE(heard.empty());
    // A unit plugged in is offered with a Connect beside the text, and heard.
    rig.state.unitOffer = "/dev/ttyUSB0";
    rig.windows.binder().sync();
    EXPECT_TRUE(said("StatusLink", "QRV5173 found on /dev/ttyUSB0"));
    EXPECT_TRUE(rig.find<QPushButton>("StatusConnect")->isVisibleTo(&main));
    rig.state.unitOffer.clear();
    rig.state.unitMayDiffer = true;
    rig.windows.binder().sync();
    EXPECT_TRUE(said("StatusDiffer", ui::kUnitMayDifferText));

    ui::QtHost host;
    host.attach(Window::Main, &main);
    QAccessibleInterface* window = QAccessible::queryAccessibleInterface(&main);
    host.beginProgress("Back Up Device", 4, true);
    EXPECT_TRUE(said("StatusActivity", "Back Up Device: started"));
    EXPECT_TRUE(window->state().busy);
    host.setBusy(Window::Main, true);
    host.setBusy(Window::Main, false); // the operation still runs
    EXPECT_TRUE(window->state().busy);
    host.endProgress();
    EXPECT_FALSE(window->state().busy);
    EXPECT_TRUE(said("StatusActivity", "Back Up Device: finished"));
    EXPECT_EQ(window->role(), QAccessible::Window);
    ui::observeAnnouncements({});
}

// The marker and the frames keep their contrast in a light and a dark palette, and the
// "differs" frame leaves the list its whole text.
TEST(UiLook, MarksKeepTheirContrastInLightAndDarkPalettes)
{
    QPalette light = QStyleFactory::create(QStringLiteral("Fusion"))->standardPalette();
    QPalette dark = light;
    for (auto [role, colour] : {std::pair{QPalette::Window, QColor(53, 53, 53)},
                                {QPalette::Base, QColor(35, 35, 35)}, {QPalette::Button, QColor(53, 53, 53)}})
        dark.setColor(role, colour);
    for (const QPalette& palette : {light, dark}) {
        for (QPalette::ColorRole role : {QPalette::Window, QPalette::Base, QPalette::Button})
            EXPECT_GE(ui::contrastRatio(ui::differsFrameColour(palette), palette.color(role)), ui::kMarkContrast);
        EXPECT_GE(ui::contrastRatio(ui::changedMarkerColour(palette), palette.color(QPalette::Window)),
                  ui::kMarkContrast);
    }
    // The old amber failed on white, the old red on a dark window.
    EXPECT_LT(ui::contrastRatio(QColor(0xe6, 0x95, 0x00), Qt::white), ui::kMarkContrast);
    EXPECT_LT(ui::contrastRatio(QColor(0xc0, 0x00, 0x00), QColor(53, 53, 53)), ui::kMarkContrast);

    UiRig rig;
    rig.showEditor();
    choose(rig.find<QComboBox>("Combo1"), 6); // TAP DELAY
    auto* width = rig.find<QComboBox>("Combo3_9");
    choose(width, 59); // "3.00 Oct", the widest entry
    const QSize before = width->size();
    rig.form.differing.insert("Combo3_9");
    rig.windows.binder().sync();
    EXPECT_TRUE(width->property("differs").toBool());
    EXPECT_EQ(width->size(), before);
    EXPECT_TRUE(width->styleSheet().isEmpty()); // the look that sized it stays
    auto* frame = width->findChild<QWidget*>(QStringLiteral("DiffersFrame"));
    ASSERT_TRUE(frame);
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(frame->geometry(), width->rect());
    // Dashed, where the style draws the keyboard focus solid.
    EXPECT_NE(ui::differsFramePen(width->palette()).style(), Qt::SolidLine);

    // Beside the Effect lever and the Rotary switch the word that holds stands out, the
    // other is greyed, and they change places with the switch.
    const auto holds = [](const QLabel* word) { return word->isEnabled() && word->font().bold(); };
    choose(rig.find<QComboBox>("Combo1"), 11); // ROTARY
    auto* rotor = rig.find<QAbstractButton>("Check2");
    const QList<QLabel*> words = rotor->parentWidget()->findChildren<QLabel*>();
    const auto word = [&words](const char* text) {
        return *std::find_if(words.begin(), words.end(), [text](QLabel* l) { return l->text() == text; });
    };
    for (QAbstractButton* lever : {rotor, rig.find<QAbstractButton>("Check1")}) {
        const bool isRotor = lever == rotor;
        QLabel* off = isRotor ? word("Slow") : rig.find<QLabel>("Label3");
        QLabel* on = isRotor ? word("Fast") : rig.find<QLabel>("Label4");
        for (int click = 0; click < 2; ++click) {
            SCOPED_TRACE(lever->objectName().toStdString() + " " + std::to_string(click));
            QTest::mouseClick(lever, Qt::LeftButton);
            rig.windows.binder().sync();
            EXPECT_NE(holds(on), holds(off));
            EXPECT_EQ(holds(on), lever->isChecked());
        }
    }
}

// The window opens wholly on the screen's free area and comes back where it was left, with
// its panels.
TEST(UiWindow, OpensOnTheScreenAndRemembersItsPlaceSizeAndPanels)
{
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("layout.ini"));
    const auto remember = [](ui::MainWindow& main) { fire(main.findChild<QTimer*>(QStringLiteral("RememberLayout"))); };
    {
        UiRig rig;
        rig.windows.setLayoutMemory(std::make_unique<QSettings>(file, QSettings::IniFormat));
        rig.showEditor();
        ui::MainWindow& main = rig.windows.main();
        const QRect room = main.screen()->availableGeometry();
        EXPECT_TRUE(room.contains(main.frameGeometry()));
        main.move(room.topLeft() + QPoint(5000, -300)); // off the screen
        main.keepOnScreen(false);
        EXPECT_TRUE(room.contains(main.frameGeometry()));
        main.move(room.topLeft() + QPoint(10, 12));
        remember(main);
        EXPECT_EQ(QSettings(file, QSettings::IniFormat).value("window/geometry").toByteArray(), main.saveGeometry());
    }
    {
        UiRig rig;
        rig.windows.setLayoutMemory(std::make_unique<QSettings>(file, QSettings::IniFormat));
        rig.showEditor();
        // Wholly on the test screen, which is smaller than the editor.
        EXPECT_TRUE(rig.windows.main().screen()->availableGeometry().contains(rig.windows.main().frameGeometry()));
        rig.windows.main().findChild<QAction*>(QStringLiteral("Menu_PresetLibrary"))->trigger();
        remember(rig.windows.main());
    }
    UiRig rig;
    rig.windows.setLayoutMemory(std::make_unique<QSettings>(file, QSettings::IniFormat));
    rig.showEditor();
    EXPECT_TRUE(rig.windows.main().findChild<QDockWidget*>(QStringLiteral("PresetLibrary"))->isVisible());
    EXPECT_TRUE(rig.windows.main().screen()->availableGeometry().contains(rig.windows.main().frameGeometry()));
}

TEST(UiHelp, ListsEveryKeyOfTheMenusAndTheControls)
{
    UiRig rig;
    rig.showEditor();
    ui::MainWindow& main = rig.windows.main();
    const QList<ui::KeyLine> keys = ui::keyboardShortcuts(&main);
    QStringList actions;
    for (QAction* action : main.findChildren<QAction*>())
        if (!action->shortcuts().isEmpty() && action->isVisible())
            for (const QKeySequence& key : action->shortcuts())
                actions << key.toString(QKeySequence::NativeText);
    QString all;
    for (const auto& [key, what] : keys)
        all += key + u'\n';
    for (const QString& key : actions)
        EXPECT_TRUE(all.contains(key)) << key.toStdString();
    for (const char* control : {"Tab", "Escape (in a value box)", "Enter (in a dialog)"})
        EXPECT_TRUE(all.contains(QString::fromLatin1(control))) << control;
    QStringList entries;
    for (QAction* action : main.helpMenu()->actions())
        entries << action->text();
    EXPECT_TRUE(entries.contains("&User Guide"));
    EXPECT_TRUE(entries.contains("&Keyboard Shortcuts"));
    EXPECT_FALSE(ui::userGuidePath().isEmpty()); // the guide in the source tree

    // A browser that takes the guide leaves the program alone; without one, the guide opens
    // inside it, once however often asked.
    QUrl asked;
    EXPECT_EQ(ui::openUserGuide(&main, [&asked](const QUrl& url) { asked = url; return true; }), nullptr);
    EXPECT_EQ(asked.toLocalFile(), ui::userGuidePath());
    const auto noBrowser = [](const QUrl&) { return false; };
    QWidget* guide = ui::openUserGuide(&main, noBrowser);
    ASSERT_TRUE(guide);
    EXPECT_TRUE(guide->isVisible());
    auto* text = guide->findChild<QTextBrowser*>(QStringLiteral("GuideText"));
    ASSERT_TRUE(text);
    EXPECT_EQ(text->documentTitle(), QStringLiteral("QRV5173 Editor – User Guide"));
    EXPECT_TRUE(text->toPlainText().contains(QStringLiteral("opens this guide")));
    EXPECT_EQ(ui::openUserGuide(&main, noBrowser), guide);
}

} // namespace
} // namespace qrv::test
