// The Qt host: boxes, filters, pointers and repaints as the core asks for them.
#include "UiRig.hpp"

#include "ui/QtHost.hpp"

#include <QApplication>
#include <QLineEdit>
#include <QElapsedTimer>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

namespace qrv::test {
namespace {

TEST(UiQtHost, FiltersBecomeQtFilters)
{
    EXPECT_EQ(ui::qtFileFilter("file preset (*.fxp)|*.fxp"), "file preset (*.fxp)");
    EXPECT_EQ(ui::qtFileFilter("Project|*.prj|All|*.*"), "Project (*.prj);;All (*.*)");
    EXPECT_EQ(ui::qtFileFilter("Both|*.fxp;*.prj"), "Both (*.fxp *.prj)");
    // The dialog matches without regard to case: the project filter shows its own words once.
    EXPECT_EQ(ui::qtFileFilter("file preset (*.prj)|*.Prj"), "file preset (*.prj)");
}

TEST(UiQtHost, BoxesCarryTitleIconAndButtons)
{
    ensureApplication();
    const auto plain = ui::makeMessageBox(nullptr, "  Incorrect value", "Warning", Icon::None);
    EXPECT_EQ(plain->text(), "  Incorrect value");
    EXPECT_EQ(plain->windowTitle(), "Warning");
    EXPECT_EQ(plain->icon(), QMessageBox::NoIcon);
    EXPECT_EQ(plain->standardButtons(), QMessageBox::Ok);

    const auto untitled = ui::makeMessageBox(nullptr, "Time out", kDefaultTitle, Icon::Critical);
    EXPECT_EQ(untitled->windowTitle(), "QRV5173");
    EXPECT_EQ(untitled->icon(), QMessageBox::Critical);
    EXPECT_EQ(ui::boxIcon(Icon::Exclamation), QMessageBox::Warning);
    EXPECT_EQ(ui::boxIcon(Icon::Information), QMessageBox::Information);

    const auto question = ui::makeQuestionBox(nullptr, "Sure?", "Exit", Icon::None, Button::No);
    EXPECT_EQ(question->standardButtons(), QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(question->defaultButton(), question->button(QMessageBox::No));
    const auto yes = ui::makeQuestionBox(nullptr, "Sure?", "Link Rate", Icon::None, Button::Yes);
    EXPECT_EQ(yes->defaultButton(), yes->button(QMessageBox::Yes));
    // The whole title shows beside the window manager's buttons, however short the text.
    const auto store = ui::makeQuestionBox(nullptr, "Sure?", "Save preset to device", Icon::None, Button::Yes);
    QFont title = QApplication::font();
    title.setBold(true);
    EXPECT_GE(store->sizeHint().width(), QFontMetrics(title).horizontalAdvance(store->windowTitle()) + 96);

    // Enter on the Exit box answers No.
    ui::QtHost host;
    QString shown;
    whileModal("QMessageBox", [&](QWidget* box) {
        shown = box->windowTitle();
        QTest::keyClick(box, Qt::Key_Return);
    });
    EXPECT_FALSE(host.askYesNo("               Are you sure ? ", "Exit", Icon::None, Button::No));
    EXPECT_EQ(shown, "Exit");

    whileModal("QMessageBox", [](QWidget* box) { QTest::keyClick(box, Qt::Key_Return); });
    EXPECT_TRUE(host.askYesNo("Overwrite?", "Read Preset", Icon::None, Button::Yes));
}

TEST(UiQtHost, BusyPointerRepaintAndDecimalPointFollowTheWindowAndLocale)
{
    ensureApplication();
    ui::QtHost host;
    QWidget editor, main;
    int shown = 0;
    host.attach(Window::Editor, &editor, [&] { ++shown; });
    host.attach(Window::Main, &main);
    host.setBusy(Window::Editor, true);
    EXPECT_EQ(editor.cursor().shape(), Qt::BusyCursor);
    EXPECT_NE(main.cursor().shape(), Qt::BusyCursor);
    host.setBusy(Window::Editor, false);
    EXPECT_EQ(editor.cursor().shape(), Qt::ArrowCursor);
    host.refresh(Window::Editor);
    host.refresh(Window::Splash); // nothing attached: nothing happens
    EXPECT_EQ(shown, 1);
    host.setBusy(Window::Read, true);

    // The splash window and the progress window, told of every exchange, paint at most
    // 20 times a second; the last state always shows.
    QWidget splash;
    int model = 0, painted = -1, splashPaints = 0, barPaints = 0;
    host.attach(Window::Splash, &splash, [&] {
        painted = model;
        ++splashPaints;
    });
    host.beginProgress("Backup", 100, false);
    auto* bar = host.progressWindow()->findChild<QProgressBar*>("Bar");
    ASSERT_TRUE(bar);
    QObject::connect(bar, &QProgressBar::valueChanged, [&] { ++barPaints; });
    QElapsedTimer spent;
    spent.start();
    for (int exchange = 1; exchange <= 100; ++exchange) {
        model = exchange;
        host.refresh(Window::Splash);
        host.stepProgress(exchange);
    }
    const qint64 paintsAllowed = 1 + spent.elapsed() / ui::PaintPace::kIntervalMs;
    EXPECT_LE(splashPaints, paintsAllowed);
    EXPECT_LE(barPaints, paintsAllowed);
    EXPECT_TRUE(QTest::qWaitFor([&] { return painted == 100 && bar->value() == 100; }, 20000));
    host.endProgress();

    // The decimal point follows the locale.
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(host.decimalPoint(), ',');
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(host.decimalPoint(), '.');
    QLocale::setDefault(before);
}

TEST(UiQtHost, RefreshPaintsAValueBoxBeforeTheExchange)
{
    // The core writes a value box and asks for a refresh before it sends: the widget
    // shows the text at that moment, not after the handler.
    UiRig rig;
    rig.showEditor();
    ui::QtHost host;
    host.attach(Window::Editor, &rig.windows.editor(), [&] { rig.windows.binder().sync(true); });
    rig.form.Text18.at(0).text = "42 %";
    host.refresh(Window::Editor);
    EXPECT_EQ(rig.find<QLineEdit>("Text18_0")->text(), "42 %");
}

} // namespace
} // namespace qrv::test
