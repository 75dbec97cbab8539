// The main window as a desktop program: what screen readers hear of every control, the
// menus over the command panel, and the status bar's account of the link.
#include "UiRig.hpp"

#include "devmem/MemoryDump.hpp"
#include "link/UnitCheck.hpp"

#include "ui/pages/Accessible.hpp"
#include "ui/windows/MainWindow.hpp"
#include "ui/pages/PageBuilder.hpp"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>
#include <QStackedWidget>
#include <QTest>

#include <map>

namespace qrv::test {
namespace {

QString plain(const char* caption)
{
    return QString::fromLatin1(caption).replace(QStringLiteral("&&"), QStringLiteral("&"));
}

QAccessibleInterface* accessible(QWidget* widget)
{
    QAccessibleInterface* found = QAccessible::queryAccessibleInterface(widget);
    EXPECT_TRUE(found) << widget->objectName().toStdString();
    return found;
}

// A slider is named for its label, reads as its value box (plus the unit beside it), and
// tells its range; the box carries the label too.
void expectSliderSpeaks(QSlider* slider, QLineEdit* box, const QString& label, const QString& unit = {})
{
    ASSERT_TRUE(slider && box) << label.toStdString();
    QAccessibleInterface* s = accessible(slider);
    QAccessibleInterface* b = accessible(box);
    ASSERT_TRUE(s && b);
    EXPECT_EQ(s->role(), QAccessible::Slider);
    EXPECT_TRUE(s->text(QAccessible::Name).contains(label)) << s->text(QAccessible::Name).toStdString();
    EXPECT_EQ(s->text(QAccessible::Value), (box->text().trimmed() + unit).trimmed()) << label.toStdString();
    EXPECT_TRUE(s->text(QAccessible::Description).startsWith(QStringLiteral("Range "))) << label.toStdString();
    EXPECT_TRUE(b->text(QAccessible::Name).contains(label)) << label.toStdString();
    EXPECT_EQ(b->text(QAccessible::Value), box->text());
}

void expectListSpeaks(QComboBox* list, const QString& name)
{
    ASSERT_TRUE(list) << name.toStdString();
    QAccessibleInterface* l = accessible(list);
    ASSERT_TRUE(l);
    EXPECT_EQ(l->role(), QAccessible::ComboBox);
    EXPECT_EQ(l->text(QAccessible::Name), name);
    EXPECT_EQ(l->text(QAccessible::Value), list->currentText().trimmed()) << name.toStdString();
    // With no selection to read, a screen reader takes a list's value from its text.
    QAccessibleTextInterface* text = l->textInterface();
    ASSERT_TRUE(text) << name.toStdString();
    EXPECT_EQ(text->text(0, text->characterCount()), list->currentText().trimmed()) << name.toStdString();
    EXPECT_FALSE(l->text(QAccessible::Description).isEmpty()) << name.toStdString();
    EXPECT_EQ(l->childCount(), 1); // the entries
}

// Every page carries the controls of its catalogue entry, each named from the catalogue
// for a screen reader and read as its value box.
TEST(UiPages, EveryPageCarriesItsCatalogueControlsNamedForScreenReaders)
{
    UiRig rig;
    rig.showEditor();
    const ValueTables& tables = rig.state.tables;
    ASSERT_EQ(catalogue::pages().size(), 13u);
    for (const PageInfo& page : catalogue::pages()) {
        SCOPED_TRACE(page.caption);
        choose(rig.find<QComboBox>("Combo1"), effectShowing(page));
        QWidget* frame = rig.windows.editor().pages()->currentWidget();
        ASSERT_EQ(frame->objectName(), ui::elementName("Frame5", page.element));
        EXPECT_EQ(static_cast<QGroupBox*>(frame)->title(), page.caption);
        const QStringList labels = labelTexts(frame);
        for (const PageParameter& p : page.parameters) {
            if (p.kind == ControlKind::CheckBox) {
                auto* check = frame->findChild<QAbstractButton*>(QString::fromLatin1(p.checkName));
                ASSERT_TRUE(check) << p.checkName;
                EXPECT_TRUE(accessible(check)->text(QAccessible::Name).contains(plain(p.label)));
                EXPECT_NE(check->focusPolicy() & Qt::TabFocus, 0);
                continue;
            }
            auto* slider = frame->findChild<QSlider*>(ui::elementName(page.sliderName, p.index));
            auto* box = frame->findChild<QLineEdit*>(ui::elementName(page.textName, p.index));
            expectSliderSpeaks(slider, box, plain(p.label));
            EXPECT_EQ(slider->maximum(), p.maximum);
            EXPECT_FALSE(box->isReadOnly()); // a value can be typed
            EXPECT_FALSE(slider->toolTip().isEmpty());
            EXPECT_TRUE(labels.contains(p.label)) << p.label;
            // The range in the slider's own units, smallest first.
            const QString low = QString::fromStdString(valueText(tables, p.text, 0)).trimmed();
            EXPECT_TRUE(accessible(slider)->text(QAccessible::Description).startsWith("Range " + low + " to "));
        }
        for (const BandRef& band : page.bands) {
            const QString caption = plain(band.caption);
            auto* bandFrame = frame->findChild<QGroupBox*>(ui::elementName("Frame17", band.band));
            ASSERT_TRUE(bandFrame);
            EXPECT_EQ(bandFrame->title(), band.caption);
            auto* gain = bandFrame->findChild<QSlider*>(ui::elementName("Slider15", band.band));
            auto* gainBox = bandFrame->findChild<QLineEdit*>(ui::elementName("Text16", band.band));
            expectSliderSpeaks(gain, gainBox, caption + " Gain", QStringLiteral(" dB"));
            EXPECT_EQ(gain->minimum(), 0);
            EXPECT_EQ(gain->maximum(), 60);
            EXPECT_TRUE(gain->invertedAppearance());
            EXPECT_EQ(gainBox->toolTip(), "Filter Gain");
            auto* frequency = bandFrame->findChild<QComboBox*>(ui::elementName("Combo4", band.band));
            auto* width = bandFrame->findChild<QComboBox*>(ui::elementName("Combo3", band.band));
            expectListSpeaks(frequency, caption + " Frequency");
            expectListSpeaks(width, caption + " Width");
            EXPECT_EQ(frequency->count(), 31);
            EXPECT_EQ(width->count(), 60);
            EXPECT_EQ(width->itemText(59), "3.00 Oct");
            for (const char* fixed : {"Freq", "dB", "Q"})
                EXPECT_TRUE(labelTexts(bandFrame).contains(fixed)) << fixed;
        }
        // Every control of the window has a name, and no two sound alike while this page shows.
        std::map<QString, QString> heardAs; // the name as heard -> the control
        for (QWidget* control : rig.windows.main().findChildren<QWidget*>())
            if (control->isVisible() && (control->focusPolicy() & Qt::TabFocus)) {
                const QString name = accessible(control)->text(QAccessible::Name);
                EXPECT_FALSE(name.trimmed().isEmpty()) << control->objectName().toStdString();
                const auto [other, fresh] =
                    heardAs.emplace(name.toLower().remove(QRegularExpression(QStringLiteral("[^a-z0-9]"))),
                                    control->objectName());
                EXPECT_TRUE(fresh) << name.toStdString() << ": " << other->second.toStdString() << " and "
                                   << control->objectName().toStdString();
            }
        QGroupBox* filters = frameTitled(frame, "Hp/Lp Filters");
        EXPECT_EQ(filters != nullptr, !page.passFilters.empty());
        for (const PassFilterRef& filter : page.passFilters) {
            ASSERT_TRUE(filters);
            auto* list = filters->findChild<QComboBox*>(ui::elementName("Combo2", filter.list));
            expectListSpeaks(list, plain(filter.label));
            EXPECT_EQ(list->itemText(0), " 20.0Hz");
            EXPECT_EQ(list->itemText(30), " 20  KHz");
            EXPECT_TRUE(labelTexts(filters).contains(filter.label)) << filter.label;
        }
    }
    expectListSpeaks(rig.find<QComboBox>("Combo1"), QStringLiteral("Effect"));
    EXPECT_EQ(accessible(rig.find<QWidget>("Shape5"))->text(QAccessible::Name), "Tempo lamp");
    EXPECT_FALSE(accessible(rig.find<QWidget>("Label8"))->text(QAccessible::Name).contains('*'));
    EXPECT_EQ(accessible(rig.find<QWidget>("Label2"))->text(QAccessible::Name),
              "Preset on device = " + rig.find<QLabel>("Label2")->text());
    EXPECT_EQ(accessible(rig.find<QWidget>("Check4"))->text(QAccessible::Name), "Input Phase 180'");
}

TEST(UiAccessibility, SliderValuesInTheBoxUnitsAndOnlyChangesInSightTold)
{
    UiRig rig;
    rig.showEditor();
    choose(rig.find<QComboBox>("Combo1"), 6); // TAP DELAY
    auto* delay = rig.find<QSlider>("Slider2_0");
    delay->setValue(254 - 120);
    QAccessibleInterface* spoken = accessible(delay);
    EXPECT_EQ(spoken->text(QAccessible::Value), "600 ms");
    QAccessibleValueInterface* value = spoken->valueInterface();
    ASSERT_TRUE(value);
    EXPECT_DOUBLE_EQ(value->currentValue().toDouble(), 600);
    EXPECT_DOUBLE_EQ(value->minimumValue().toDouble(), 0);
    EXPECT_DOUBLE_EQ(value->maximumValue().toDouble(), 1270);
    // A screen reader setting a value goes the way a user's move goes, to the unit too.
    value->setCurrentValue(302.0);
    EXPECT_EQ(rig.find<QLineEdit>("Text4_0")->text(), "300 ms");
    EXPECT_EQ(rig.live(6, 0), 60);

    auto* gain = rig.find<QSlider>("Slider15_9");
    gain->setValue(60 - 23);
    EXPECT_EQ(accessible(gain)->text(QAccessible::Value), "-3.5 dB");
    EXPECT_DOUBLE_EQ(accessible(gain)->valueInterface()->currentValue().toDouble(), -3.5);

    // Screen readers are told of what can be seen and of what changed, and of a long
    // operation's progress by tenths; else they fall behind the keys.
    const auto heard = [](const QAccessibleEvent& event) { return ui::screenReadersHear(event); };
    EXPECT_TRUE(heard(QAccessibleValueChangeEvent(delay, 1)));
    QStackedWidget* pages = rig.windows.editor().pages();
    QWidget* hiddenPage = pages->widget(pages->currentIndex() == 0 ? 1 : 0);
    EXPECT_FALSE(heard(QAccessibleValueChangeEvent(hiddenPage->findChild<QSlider*>(), 1)));
    EXPECT_FALSE(heard(QAccessibleValueChangeEvent(hiddenPage->findChild<QComboBox*>(), 1)));
    QAccessible::State enabling;
    enabling.disabled = true;
    EXPECT_FALSE(heard(QAccessibleStateChangeEvent(hiddenPage->findChild<QSlider*>(), enabling)));
    EXPECT_TRUE(heard(QAccessibleStateChangeEvent(delay, enabling)));
    // A box's text and a list's value are told where the focus is; elsewhere a screen reader
    // passes over them, and a page of them would fill its queue.
    auto* box = rig.find<QLineEdit>("Text4_0");
    auto* feedback = pages->currentWidget()->findChild<QComboBox*>();
    ASSERT_TRUE(feedback && feedback->isVisible());
    const QAccessibleTextUpdateEvent typed(box, 0, box->text(), QStringLiteral("310 ms"));
    EXPECT_FALSE(heard(typed));
    EXPECT_FALSE(heard(QAccessibleTextCursorEvent(box, 2)));
    EXPECT_FALSE(heard(QAccessibleValueChangeEvent(feedback, 1)));
    activate(&rig.windows.main());
    box->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([box] { return box->hasFocus(); }, kDeadlineMs));
    EXPECT_TRUE(heard(typed));
    EXPECT_FALSE(heard(QAccessibleTextUpdateEvent(box, 0, box->text(), box->text())));
    // The caret only once the box's focus is told, or the box goes unnamed.
    EXPECT_FALSE(heard(QAccessibleTextCursorEvent(box, 2)));
    EXPECT_TRUE(heard(QAccessibleEvent(box, QAccessible::Focus)));
    EXPECT_TRUE(heard(QAccessibleTextCursorEvent(box, 2)));
    feedback->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([feedback] { return feedback->hasFocus(); }, kDeadlineMs));
    EXPECT_TRUE(heard(QAccessibleValueChangeEvent(feedback, 1)));
    QProgressBar bar;
    bar.setRange(0, 250);
    bar.show();
    int told = 0;
    for (int step = 0; step <= 250; ++step) {
        bar.setValue(step);
        told += heard(QAccessibleValueChangeEvent(&bar, step));
    }
    EXPECT_EQ(told, 11);
}

QAction* menuAction(ui::MainWindow& main, int button)
{
    return main.findChild<QAction*>(QStringLiteral("Menu_Command2_%1").arg(button));
}

TEST(UiMenus, HoldEveryPanelCommandWithItsTipAndAKey)
{
    UiRig rig;
    rig.showEditor();
    ui::MainWindow& main = rig.windows.main();
    QStringList titles;
    for (QAction* menu : main.menuBar()->actions())
        titles << menu->text();
    EXPECT_EQ(titles, (QStringList{"&File", "&Edit", "&View", "&Device", "&Help"}));
    QSet<QString> keys;
    for (const auto& [index, button] : rig.form.Command2) {
        SCOPED_TRACE(index);
        QAction* action = menuAction(main, index);
        ASSERT_TRUE(action);
        EXPECT_TRUE(action->associatedObjects().size() >= 1); // it sits in a menu
        QString text = action->text();
        text.remove(u'&').remove(u'…');
        EXPECT_EQ(text, QString::fromStdString(button.caption).simplified());
        EXPECT_EQ(action->statusTip(), QString::fromStdString(button.toolTip));
        EXPECT_EQ(action->isVisible(), button.visible);
        ASSERT_FALSE(action->shortcut().isEmpty());
        EXPECT_FALSE(keys.contains(action->shortcut().toString())) << action->shortcut().toString().toStdString();
        keys.insert(action->shortcut().toString());
    }
    // Undo and Redo of the editor, and the reopen button, are in the menus too.
    EXPECT_EQ(main.editMenu()->actions().mid(0, 2),
              (QList<QAction*>{rig.windows.editor().undoAction(), rig.windows.editor().redoAction()}));
    ASSERT_TRUE(main.findChild<QAction*>("Menu_Command3"));
    EXPECT_EQ(main.findChild<QAction*>("Menu_Command3")->associatedObjects().front(), main.deviceMenu());
    EXPECT_EQ(menuAction(main, 1)->shortcut(), QKeySequence(QKeySequence::Save));
    EXPECT_EQ(menuAction(main, 2)->shortcut(), QKeySequence(QKeySequence::Open));
    EXPECT_TRUE(ui::aboutText().contains(QRegularExpression("version \\d+\\.\\d+(.|\\n)*GPL-3.0-or-later")));

    // The menu runs the panel's own handler (what Reload does is the core's test).
    rig.host.answer(false);
    menuAction(main, 5)->trigger();
    ASSERT_FALSE(rig.host.boxes.empty());
    EXPECT_EQ(rig.host.boxes.back().title, "Reload Current Effect");

    // Exit, from the menu or the window's close, asks; No keeps everything. The editor's own
    // close does nothing and asks nothing.
    rig.port.clearLog();
    rig.host.answer(false);
    menuAction(main, 0)->trigger();
    EXPECT_EQ(rig.host.boxes.back().title, "Exit");
    rig.host.answer(false);
    const auto shown = rig.host.boxes.size();
    EXPECT_FALSE(main.close());
    ASSERT_EQ(rig.host.boxes.size(), shown + 1);
    EXPECT_TRUE(main.isVisible());
    EXPECT_EQ(rig.host.boxes.back().title, "Exit");
    EXPECT_EQ(rig.host.boxes.back().text, "               Are you sure ? ");
    EXPECT_EQ(rig.host.boxes.back().defaultButton, Button::No);
    EXPECT_FALSE(rig.windows.editor().close());
    EXPECT_TRUE(rig.windows.editor().isVisible());
    EXPECT_EQ(rig.host.boxes.size(), shown + 1);
    EXPECT_TRUE(rig.port.sent().empty());
}

TEST(UiStatusBar, TellsTheLinkAndTheLastOutcome)
{
    UiRig rig;
    rig.showEditor();
    ui::MainWindow& main = rig.windows.main();
    const auto status = [&] {
        rig.windows.binder().sync();
        return main.statusText();
    };
    // Nothing is lost before the start-up's first connection.
    rig.program.splash.loaded = true;
    EXPECT_EQ(status(), "Connecting…");
    rig.state.searching = true;
    EXPECT_EQ(status(), "Connecting…");
    rig.state.searching = false;
    rig.program.splash.loaded = false;
    rig.state.PortOk = true;
    EXPECT_EQ(status(), "Connected – loopback");
    EXPECT_EQ(main.windowTitle(), "QRV5173 - [QRV5173 Edit]");
    rig.state.unitMayDiffer = true;
    EXPECT_EQ(status(), "Unit may differ from the editor | Connected – loopback");
    rig.state.unitMayDiffer = false;
    rig.state.searching = true;
    EXPECT_EQ(status(), "Link lost – searching…");
    rig.state.searching = false;
    rig.state.LinkUp = false; // lowered while the core sets controls silently
    EXPECT_EQ(status(), "Connected – loopback");
    rig.state.PortOk = false;
    EXPECT_EQ(status(), "Link lost");
    rig.state.resendAttempt = 3;
    rig.state.PortOk = true;
    EXPECT_EQ(status(), "No answer – retrying (attempt 3 of 6)");
    rig.state.resendAttempt = 0;
    rig.state.DemoMode = true;
    rig.state.portAdvice = "/dev/ttyUSB0 is in use by another program: close it and try again";
    EXPECT_EQ(status(), "Demo mode – /dev/ttyUSB0 is in use by another program: close it and try again");
    rig.state.portAdvice.clear();
    rig.state.unitMayDiffer = true; // as demo mode sets it: no unit, so nothing to differ
    EXPECT_EQ(status(), "Demo mode – nothing is sent");
    rig.state.lastOutcome = "Saved Preset/chorus1.fxp";
    EXPECT_EQ(status(), "Saved Preset/chorus1.fxp | Demo mode – nothing is sent");
    rig.state.unitMayDiffer = false;

    // The busy caption of a project load shows in the title.
    rig.form.caption = "QRV5173 Edit - Please wait, loading project .......";
    status();
    EXPECT_EQ(main.windowTitle(), "QRV5173 - [QRV5173 Edit - Please wait, loading project .......]");

    // ReConnect tells whether it found the unit (the one the editor read).
    rig.state.DemoMode = false;
    rig.state.LinkUp = true;
    ASSERT_TRUE(DumpDeviceMemory(rig.editor, rig.program.splash));
    rig.state.PortOk = false;
    QTest::mouseClick(rig.find<QPushButton>("Command2_9"), Qt::LeftButton);
    EXPECT_EQ(status(), "Reconnected | Connected – " + QString::fromStdString(rig.port.portName()));
    // The header's ReConnect reopens the port and sends no probe, only the reads that tell
    // whether the unit there is still the one the editor read.
    const bool linkUp = rig.state.LinkUp;
    const int opens = rig.port.openCount();
    rig.port.clearLog();
    auto* reopen = rig.find<QPushButton>("Command3");
    EXPECT_EQ(reopen->text(), "ReConnect");
    QTest::mouseClick(reopen, Qt::LeftButton);
    EXPECT_GT(rig.port.openCount(), opens);
    EXPECT_TRUE(rig.port.isOpen());
    EXPECT_TRUE(rig.frames(Cmd::Probe).empty());
    EXPECT_TRUE(rig.frames(Cmd::WriteByte).empty());
    EXPECT_FALSE(rig.frames(Cmd::ReadByte).empty());
    EXPECT_FALSE(rig.state.unitChanged);
    EXPECT_FALSE(rig.state.DemoMode);
    EXPECT_EQ(rig.state.LinkUp, linkUp);
}

TEST(UiUnitCheck, AnotherUnitFoundDuringAnEditIsReadOnceTheEditHasReturned)
{
    UiRig rig;
    rig.showEditor();
    ASSERT_TRUE(DumpDeviceMemory(rig.editor, rig.program.splash));
    // The cable goes with the next frame; meanwhile another unit is put on the line.
    rig.framesUntilUnplug = 1;
    rig.link.setDeviceSearch([&rig] {
        rig.port.plugIn();
        return rig.program.search.FindDevice();
    });
    rig.device = DeviceModel();
    rig.device.poke(Addr::CurrentEffect, 5);
    rig.host.answer(false); // keep the editor's values without sending them

    // An edit that reaches the core through the window's gate, as every event does.
    const auto edit = [&rig](uint8_t value) {
        rig.windows.binder().handle([&rig, value] { rig.editor.storeAndSend(0, value); });
    };
    edit(40);
    ASSERT_FALSE(rig.host.boxes.empty());
    EXPECT_EQ(rig.host.boxes.front().text, kOtherLiveValuesText);
    EXPECT_FALSE(rig.state.unitChanged);
    EXPECT_FALSE(rig.state.readAgainPending);
    EXPECT_EQ(rig.state.currentEffect, 5);
    // Later events do not ask again.
    const std::size_t boxes = rig.host.boxes.size();
    edit(41);
    EXPECT_EQ(rig.host.boxes.size(), boxes);
}

} // namespace
} // namespace qrv::test
