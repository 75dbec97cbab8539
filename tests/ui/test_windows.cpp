// The windows around the editor: the splash window that brings the program up, the
// main window's close, the command panel and the two preset dialogs.
#include "UiRig.hpp"

#include "app/DeviceBackup.hpp"
#include "app/StartUp.hpp"
#include "ui/QtHost.hpp"
#include "ui/windows/RestoreDialog.hpp"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QStackedWidget>
#include <QTest>

namespace qrv::test {
namespace {


TEST(UiStartUp, SplashKeepsItsSizeThenTheConnectedStartUpOpensTheEditorOnTheDevicesEffect)
{
    StartRig rig;
    rig.device.poke(Addr::CurrentEffect, 9); // PHASER
    bool shown = false;
    rig.windows.setOnEditorShown([&] { shown = true; });
    rig.load();
    ASSERT_TRUE(rig.splash);
    EXPECT_TRUE(rig.splash->isVisible());
    EXPECT_EQ(rig.splash->objectName(), "frmSplash");
    EXPECT_EQ(rig.splash->size(), QSize(751, 424));
    EXPECT_EQ(rig.splash->findChild<QLabel*>("Label2")->text(), "QRV5173 effect processor");
    EXPECT_FALSE(rig.splash->findChild<QLabel*>("Label1")->isVisible());
    EXPECT_FALSE(rig.windows.main().isVisible());

    rig.splash->resize(600, 300);
    QApplication::processEvents();
    EXPECT_EQ(rig.splash->size(), QSize(751, 424));
    EXPECT_EQ(rig.state.programFolder, rig.folder.path);

    // The status label as the port search shows it.
    rig.program.splash.Label1.visible = true;
    rig.windows.binder().sync();
    const QImage picture = rig.splash->grab().toImage();
    EXPECT_EQ(picture.size(), QSize(751, 424));
    EXPECT_TRUE(picture.save(QDir(QStringLiteral(QRV_RENDER_DIR)).filePath(QStringLiteral("splash.png"))));

    EXPECT_FALSE(shown);
    rig.startUp();
    EXPECT_TRUE(shown);
    EXPECT_FALSE(rig.windows.splash());
    EXPECT_TRUE(rig.windows.main().isVisible());
    EXPECT_TRUE(rig.windows.editor().isVisible());
    EXPECT_FALSE(rig.state.DemoMode);
    EXPECT_EQ(rig.find<QComboBox>("Combo1")->currentText(), "PHASER");
    EXPECT_EQ(rig.windows.editor().pages()->currentWidget()->objectName(), "Frame5_9");
    const int rate = rig.device.peek(Addr::live(9, 0));
    EXPECT_EQ(rig.find<QLineEdit>("Text7_0")->text(), QString::number(rate) + " %");
    const int slot = rig.device.peek(Addr::slotNumber(9));
    EXPECT_TRUE(rig.find<QLabel>("Label2")->text().startsWith(QString::number(slot + 1) + " - "));
    EXPECT_FALSE(rig.find<QLabel>("Label8")->isVisible());
    EXPECT_TRUE(rig.windows.editor().findChild<QTimer*>("TimerCompare")->isActive());

    // The command panel: ten buttons with their captions, tips and places.
    const std::vector<std::pair<const char*, const char*>> expected = {
        {"Exit", "Exit"},
        {"Save Preset   To PC", "Save Current Effetc edit to PC"},
        {"Load Preset From PC", "Load Effetc edit from PC"},
        {"Save Project  To PC", "Save All effects edit to PC"},
        {"Load Project From PC", "Load All effects edit from PC"},
        {"Reload Current Effect", "Reload current effect with the start configuration"},
        {"Reload All Effect", "Reload all effects with the start configuration"},
        {"Load Preset From Device", "Load Preset From Device"},
        {"  Save Current Preset  To Device", "Save Current Preset To Device"},
        {"  ReConnect", "ReConnect device"},
    };
    const int lefts[] = {120, 1080, 2400, 3840, 5160, 6600, 7920, 9720, 11640, 13560};
    const int widths[] = {855, 1215, 1215, 1215, 1215, 1215, 1215, 1815, 1815, 1095};
    for (int i = 0; i < 10; ++i) {
        SCOPED_TRACE(i);
        auto* button = rig.find<QPushButton>(QStringLiteral("Command2_%1").arg(i));
        ASSERT_TRUE(button);
        EXPECT_EQ(button->text(), expected[static_cast<std::size_t>(i)].first);
        EXPECT_EQ(button->toolTip(), expected[static_cast<std::size_t>(i)].second);
        EXPECT_EQ(button->geometry(), QRect(lefts[i] / 15, 8, widths[i] / 15, 33));
        EXPECT_EQ(button->isVisible(), i != 6);
    }
}

// While the splash window shows, its bar is the only one; a later read gets its window,
// which says it is estimating until the time left is measured.
TEST(UiStartUp, OneProgressBarWhileTheSplashShows)
{
    ensureApplication();
    ui::QtHost host;
    QWidget splash;
    host.attach(Window::Splash, &splash);
    splash.show();
    host.beginProgress("Reading the unit", 10, false);
    EXPECT_FALSE(host.progressWindow());
    host.stepProgress(5);
    host.endProgress();
    splash.hide();
    host.beginProgress("Reading the unit", 10, true);
    ASSERT_TRUE(host.progressWindow());
    EXPECT_TRUE(host.progressWindow()->isVisible());
    auto* bar = host.progressWindow()->findChild<QProgressBar*>("Bar");
    host.stepProgress(1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return bar->value() == 1; }, 20000));
    EXPECT_EQ(host.progressWindow()->findChild<QLabel*>("TimeLeft")->text(), "Estimating the time left…");
    host.endProgress();
}

TEST(UiStartUp, WithoutADeviceTheDemoAnswerShowsAnEmptyEditor)
{
    StartRig rig;
    rig.port.close();
    rig.port.setOpenable([](const std::string&) { return false; });
    rig.host.answer(true);
    rig.load();
    rig.startUp();
    ASSERT_FALSE(rig.host.boxes.empty());
    EXPECT_EQ(rig.host.boxes.back().text, kDemoQuestionText);
    EXPECT_TRUE(rig.state.DemoMode);
    EXPECT_TRUE(rig.windows.editor().isVisible());
    EXPECT_EQ(rig.find<QComboBox>("Combo1")->currentText(), "REVERB HALL");
    EXPECT_EQ(rig.find<QLineEdit>("Text18_0")->text(), "0 %");
    EXPECT_EQ(rig.find<QLabel>("Label2")->text(), "1 - ");
    // The unit's backup and restore say there is no unit.
    rig.host.boxes.clear();
    for (const char* name : {"Menu_BackUpDevice", "Menu_RestoreDevice"}) {
        auto* action = rig.windows.main().findChild<QAction*>(name);
        ASSERT_TRUE(action) << name;
        EXPECT_EQ(action->associatedObjects().front(), static_cast<QObject*>(rig.windows.main().deviceMenu()));
        action->trigger();
    }
    ASSERT_EQ(rig.host.boxes.size(), 2u);
    EXPECT_EQ(rig.host.boxes[0].title, kBackUpDeviceTitle);
    EXPECT_EQ(rig.host.boxes[1].title, kRestoreDeviceTitle);
    EXPECT_NE(rig.host.boxes[1].text.find("demo mode"), std::string::npos);
    EXPECT_TRUE(rig.host.dialogs.empty());
    EXPECT_TRUE(rig.port.sent().empty());
}

// The whole title fits beside the window manager's buttons, at the default font made bold.
void expectWholeTitle(const QWidget* dialog)
{
    QFont title = QApplication::font();
    title.setBold(true);
    EXPECT_GE(dialog->width(), QFontMetrics(title).horizontalAdvance(dialog->windowTitle()) + 96)
        << dialog->windowTitle().toStdString();
}

void clickRow(QListWidget* list, int row, bool twice = false)
{
    const QPoint at = list->visualItemRect(list->item(row)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    if (twice)
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

// The frames and bytes of storing and loading are the core's tests; here the dialogs'
// wiring: names for screen readers, mouse and keys, and what the page shows afterwards.
TEST(UiPresetDialogs, StoreAndLoadByMouseAndKeysCancelTouchesNothing)
{
    StartedRig rig;
    choose(rig.find<QComboBox>("Combo1"), 2);
    rig.state.presetNames[2][1] = " CONCERT";
    rig.state.presetDirectory[2][1] = "85";
    rig.port.clearLog();

    // Cancel by mouse, by Enter on the focused button and by Escape: nothing asked or sent,
    // and the focus is back where it was when the dialog opened.
    auto* effects = rig.find<QComboBox>("Combo1");
    for (const auto& [button, dialogName] : {std::pair{"Command2_7", "FrmRead"}, std::pair{"Command2_8", "FrmStore"}})
        for (const auto key : {Qt::Key_unknown, Qt::Key_Return, Qt::Key_Escape}) {
            activate(effects->window());
            effects->setFocus();
            whileModal(dialogName, [&](QWidget* dialog) {
                activate(dialog);
                auto* cancel = dialog->findChild<QPushButton*>("Command1_0");
                ASSERT_TRUE(cancel);
                cancel->setFocus();
                if (key == Qt::Key_unknown)
                    QTest::mouseClick(cancel, Qt::LeftButton);
                else
                    QTest::keyClick(cancel, key);
            });
            rig.windows.main().findChild<QAction*>(QStringLiteral("Menu_") + button)->trigger();
            EXPECT_FALSE(QApplication::activeModalWidget()) << button << " " << key;
            EXPECT_TRUE(QTest::qWaitFor([effects] { return effects->hasFocus(); }, kDeadlineMs)) << button << " " << key;
        }
    whileModal("QMessageBox", [](QWidget* box) { QTest::keyClick(box, Qt::Key_Return); });
    QMessageBox::information(&rig.windows.main(), "QRV5173", "Stored");
    EXPECT_TRUE(QTest::qWaitFor([effects] { return effects->hasFocus(); }, kDeadlineMs));
    EXPECT_TRUE(rig.host.boxes.empty());
    EXPECT_TRUE(rig.port.sent().empty());

    bool seen = false;
    whileModal("FrmStore", [&](QWidget* dialog) {
        seen = true;
        activate(dialog);
        EXPECT_EQ(dialog->windowTitle(), "Save Current Preset To Device");
        expectWholeTitle(dialog);
        auto* names = dialog->findChild<QListWidget*>("List1");
        ASSERT_EQ(names->count(), 8);
        EXPECT_EQ(names->toolTip(), "Double click to select a preset");
        EXPECT_EQ(names->accessibleName(), "Preset slots");
        EXPECT_TRUE(names->accessibleDescription().contains("A click chooses the slot"));
        EXPECT_EQ(QAccessible::queryAccessibleInterface(names)->child(1)->text(QAccessible::Name), "2 – CONCERT");
        EXPECT_EQ(dialog->findChild<QLabel*>("Label1")->text(), "01 02 03 04 05 06 07 08");
        auto* position = dialog->findChild<QComboBox*>("Combo1");
        EXPECT_EQ(QAccessible::queryAccessibleInterface(position)->text(QAccessible::Name), "Select position");
        auto* name = dialog->findChild<QLineEdit*>("Text1");
        EXPECT_EQ(dialog->findChild<QLabel*>("Label2_1")->buddy(), name);
        const QString typed = name->text();

        // A click chooses the slot, also where the list already stood; a double click takes
        // the name as well.
        names->setCurrentRow(3);
        choose(position, 0);
        clickRow(names, 3);
        EXPECT_EQ(position->currentText(), "4");
        EXPECT_EQ(name->text(), typed);
        clickRow(names, 5, true);
        EXPECT_EQ(position->currentText(), "6");
        EXPECT_EQ(name->text(), names->item(5)->text());
        clickRow(names, 1);

        auto* count = dialog->findChild<QLabel*>("NameLength");
        name->setFocus();
        name->clear();
        QTest::keyClicks(name, "Ballad");
        EXPECT_EQ(count->text(), "6 of 8 characters");
        QTest::keyClicks(name, "XYZ");
        EXPECT_EQ(name->text(), "BalladXY");
        EXPECT_EQ(count->text(), "8 of 8 characters: the name is full");
        EXPECT_EQ(name->accessibleDescription(), count->text());
        dialog->grab().save(QDir(QStringLiteral(QRV_RENDER_DIR)).filePath(QStringLiteral("dialog-store.png")));
        rig.host.answer(true);
        QTest::keyClick(name, Qt::Key_Return);
    });
    QTest::mouseClick(rig.find<QPushButton>("Command2_8"), Qt::LeftButton);
    ASSERT_TRUE(seen);
    EXPECT_FALSE(QApplication::activeModalWidget());
    ASSERT_FALSE(rig.host.boxes.empty());
    EXPECT_EQ(rig.host.boxes.back().title, "Save preset to device");
    EXPECT_EQ(rig.host.boxes.back().text, "               Are you sure ? ");
    EXPECT_EQ(rig.host.boxes.back().detail, "Slot 2 – CONCERT is replaced by BalladXY.");
    EXPECT_EQ(rig.device.peek(Addr::name(2, 1, 0)), 'B');
    EXPECT_EQ(rig.find<QLabel>("Label2")->text(), "2 - BalladXY");
    EXPECT_TRUE(rig.windows.main().statusText().startsWith("Stored BalladXY in slot 2 | "))
        << rig.windows.main().statusText().toStdString();

    // Enter in the load dialog's list loads the highlighted slot into the page.
    rig.device.poke(Addr::stored(2, 1, 0), 17);
    seen = false;
    whileModal("FrmRead", [&](QWidget* dialog) {
        seen = true;
        activate(dialog);
        EXPECT_EQ(dialog->windowTitle(), "Load Preset From Device");
        expectWholeTitle(dialog);
        EXPECT_EQ(dialog->findChild<QLabel*>("Label3")->text(), "Memory Preset");
        EXPECT_FALSE(dialog->findChild<QProgressBar*>("ProgressBar1")->isVisible());
        auto* names = dialog->findChild<QListWidget*>("List1");
        EXPECT_EQ(names->toolTip(), "Double click to load a preset");
        EXPECT_EQ(names->accessibleName(), "Preset slots");
        EXPECT_TRUE(names->accessibleDescription().contains("Double click or Load"));
        names->setFocus();
        names->setCurrentRow(1);
        dialog->grab().save(QDir(QStringLiteral(QRV_RENDER_DIR)).filePath(QStringLiteral("dialog-read.png")));
        rig.host.answer(true);
        QTest::keyClick(names, Qt::Key_Return);
    });
    QTest::mouseClick(rig.find<QPushButton>("Command2_7"), Qt::LeftButton);
    ASSERT_TRUE(seen);
    EXPECT_FALSE(QApplication::activeModalWidget());
    EXPECT_EQ(rig.host.boxes.back().text, "Overwrite current editing with the preset 2, are you sure ? ");
    EXPECT_EQ(rig.host.boxes.back().detail, "Slot 2 – BalladXY replaces the edit.");
    EXPECT_EQ(rig.stored(0), 17);
    EXPECT_EQ(rig.live(2, 0), 17);
    const PageInfo& page = catalogue::pageOfEffect(2);
    const PageParameter& depth = *std::find_if(page.parameters.begin(), page.parameters.end(),
                                               [](const PageParameter& p) { return p.column == 0; });
    EXPECT_EQ(rig.find<QLineEdit>(QStringLiteral("%1_%2").arg(page.textName).arg(depth.index))->text().toStdString(),
              valueText(rig.state.tables, depth.text, 17));
    EXPECT_TRUE(rig.find<QLabel>("Label2")->text().startsWith("2 - "));
    EXPECT_TRUE(rig.windows.main().statusText().contains(QStringLiteral(" from slot 2 | ")));
}

TEST(UiRestoreDialog, ReturnsTheTickedEffectsAndOffersRestoreOnlyWhileOneIsTicked)
{
    ensureApplication();
    UnitBackup backup;
    backup.effects[3].presets[1].directory = Addr::SlotUsed;
    whileModal("RestoreDialog", [](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
    EXPECT_TRUE(ui::chooseEffectsToRestore(backup, nullptr).empty());

    bool seen = false;
    whileModal("RestoreDialog", [&](QWidget* dialog) {
        seen = true;
        EXPECT_EQ(dialog->windowTitle(), kRestoreDeviceTitle);
        EXPECT_EQ(dialog->findChild<QLabel*>("RestoreWarning")->text(), kRestoreWarningText);
        auto* ok = dialog->findChild<QPushButton*>("RestoreOk");
        ASSERT_TRUE(ok);
        EXPECT_EQ(dialog->findChildren<QCheckBox*>().size(), kEffectCount);
        EXPECT_EQ(dialog->findChild<QCheckBox*>("RestoreEffect_3")->text(), "REVERB VOCAL  (1 stored preset)");
        EXPECT_TRUE(ok->isEnabled());
        QTest::mouseClick(dialog->findChild<QPushButton*>("SelectNone"), Qt::LeftButton);
        EXPECT_FALSE(ok->isEnabled());
        QTest::mouseClick(ok, Qt::LeftButton);
        EXPECT_TRUE(dialog->isVisible());
        QTest::mouseClick(dialog->findChild<QCheckBox*>("RestoreEffect_12"), Qt::LeftButton);
        EXPECT_TRUE(ok->isEnabled());
        QTest::mouseClick(dialog->findChild<QPushButton*>("SelectAll"), Qt::LeftButton);
        QTest::mouseClick(dialog->findChild<QCheckBox*>("RestoreEffect_0"), Qt::LeftButton);
        QTest::mouseClick(dialog->findChild<QCheckBox*>("RestoreEffect_15"), Qt::LeftButton);
        QTest::mouseClick(ok, Qt::LeftButton);
    });
    const std::set<int> chosen = ui::chooseEffectsToRestore(backup, nullptr);
    ASSERT_TRUE(seen);
    EXPECT_EQ(chosen, (std::set<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}));
}

} // namespace
} // namespace qrv::test
