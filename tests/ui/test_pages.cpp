// The pages built from the catalogue: every control by its name and caption, laid out
// without clipping, and a picture of each for the eye.
#include "UiRig.hpp"

#include "ui/windows/MainWindow.hpp"
#include "ui/pages/PageBuilder.hpp"
#include "ui/pages/Widgets.hpp"

#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QStackedWidget>

namespace qrv::test {
namespace {

TEST(UiPages, PageExtrasStandInTheirFrames)
{
    UiRig rig;
    auto* tap = rig.find<QGroupBox>("Frame5_6");
    QGroupBox* stereo = frameTitled(tap, "Stereo/Mono");
    ASSERT_TRUE(stereo);
    EXPECT_EQ(stereo->findChild<QCheckBox*>("Check3")->text(), "Mono");
    EXPECT_EQ(tap->findChild<QPushButton*>("Command1")->text(), "Tap");
    EXPECT_TRUE(tap->findChild<ui::Lamp*>("Shape5"));


    auto* phaser = rig.find<QGroupBox>("Frame5_9");
    EXPECT_EQ(frameTitled(phaser, "Input Phase")->findChild<QCheckBox*>("Check4")->text(), "180'");
    EXPECT_EQ(frameTitled(phaser, "Feedback Phase")->findChild<QCheckBox*>("Check5")->text(), "180'");

    QGroupBox* rotorFrame = frameTitled(rig.find<QGroupBox>("Frame5_11"), "Switch");
    ASSERT_TRUE(rotorFrame);
    auto* rotor = rotorFrame->findChild<ui::RedButton*>("Check2");
    ASSERT_TRUE(rotor);
    EXPECT_EQ(rotor->size(), QSize(140, 71));
    EXPECT_TRUE(rotor->isCheckable());
    EXPECT_TRUE(labelTexts(rotorFrame).contains("Slow"));
    EXPECT_TRUE(labelTexts(rotorFrame).contains("Fast"));

    auto* pitch = rig.find<QGroupBox>("Frame5_15");
    for (const char* fixed : {"-12", "+12", "Semi-Tones", "Chorus %"})
        EXPECT_TRUE(labelTexts(pitch).contains(fixed)) << fixed;
    EXPECT_EQ(pitch->findChild<QSlider*>("Slider10_0")->orientation(), Qt::Horizontal);
    EXPECT_EQ(pitch->findChild<QSlider*>("Slider10_1")->orientation(), Qt::Vertical);
}

TEST(UiPages, HeaderCarriesTheEffectListSwitchAndPresetCaption)
{
    UiRig rig;
    auto* effects = rig.find<QComboBox>("Combo1");
    ASSERT_EQ(effects->count(), 16);
    EXPECT_EQ(effects->itemText(5), "VOCAL_ECHO");
    EXPECT_EQ(effects->itemText(15), "PITCH SHIFTER");
    EXPECT_EQ(rig.find<QGroupBox>("Frame9")->title(), "Effect change");
    EXPECT_EQ(rig.find<QGroupBox>("Frame1")->title(), "Effect");
    EXPECT_TRUE(rig.find<QGroupBox>("Frame1")->findChild<QAbstractButton*>("Check1"));
    EXPECT_EQ(rig.find<QLabel>("Label9")->text(), "Preset on device = ");
    EXPECT_EQ(rig.find<QLabel>("Label8")->text(), "*");
    EXPECT_EQ(rig.windows.editor().windowTitle(), "QRV5173 Edit");
}

// Every label shows its whole caption in the space the layout gave it.
void expectNothingClipped(const QWidget* page)
{
    for (const QLabel* label : page->findChildren<QLabel*>()) {
        if (label->text().isEmpty())
            continue;
        const QSize room = label->contentsRect().size();
        if (label->wordWrap()) {
            EXPECT_LE(label->heightForWidth(label->width()), label->height()) << label->text().toStdString();
            const QFontMetrics metrics(label->font());
            for (const QString& word : label->text().split(u' ', Qt::SkipEmptyParts))
                EXPECT_LE(metrics.horizontalAdvance(word), room.width()) << word.toStdString();
        } else {
            EXPECT_LE(label->sizeHint().width(), label->width()) << label->text().toStdString();
        }
    }
    for (const QLineEdit* box : page->findChildren<QLineEdit*>()) {
        if (box->text().isEmpty())
            continue;
        const int room = box->contentsRect().width() - 4;
        EXPECT_LE(QFontMetrics(box->font()).horizontalAdvance(box->text()), room) << box->objectName().toStdString();
    }
}

QString fileName(const PageInfo& page)
{
    QString slug = QString::fromLatin1(page.caption).toLower();
    slug.remove(QStringLiteral(" edit"));
    slug.replace(QRegularExpression("[^a-z0-9]+"), QStringLiteral("-"));
    return QStringLiteral("page-%1-%2.png").arg(page.element, 2, 10, QLatin1Char('0')).arg(slug);
}

TEST(UiPages, EveryPageFitsTheScreenAndIsDrawnToAPicture)
{
    UiRig rig;
    rig.state.DemoMode = true; // the widest values without a device
    rig.showEditor();
    // The main window with the editor fits a 1024 x 768 screen, frames included, and at
    // the size it takes on a screen large enough it shows the whole editor without scrolling.
    ui::MainWindow& main = rig.windows.main();
    const QSize least = main.sizeForEditor(rig.windows.editor().minimumSizeHint());
    EXPECT_LE(least.width() + 16, 1024);
    EXPECT_LE(least.height() + 60, 768);
    main.resize(main.sizeForEditor(rig.windows.editor().sizeHint()));
    QApplication::processEvents();
    auto* area = main.findChild<QScrollArea*>("EditorArea");
    EXPECT_FALSE(area->horizontalScrollBar()->isVisible());
    EXPECT_FALSE(area->verticalScrollBar()->isVisible());
    for (const auto& [index, button] : rig.form.Command2)
        EXPECT_TRUE(rig.windows.editor().rect().contains(
            rig.find<QPushButton>(ui::elementName("Command2", index))->geometry()));
    // A larger window (maximised) leaves the editor at its own size, in the middle at the top.
    main.resize(main.size() + QSize(600, 400));
    QApplication::processEvents();
    const QWidget& editor = rig.windows.editor();
    EXPECT_EQ(editor.size(), editor.sizeHint().expandedTo(editor.minimumSize()));
    EXPECT_EQ(editor.y(), 0);
    EXPECT_LE(std::abs(2 * editor.x() + editor.width() - area->viewport()->width()), 1);

    const QDir folder(QStringLiteral(QRV_RENDER_DIR));
    for (const PageInfo& page : catalogue::pages()) {
        SCOPED_TRACE(page.caption);
        const int effect = effectShowing(page);
        // The longest value texts: every slider at the top.
        for (const PageParameter& p : page.parameters)
            if (p.kind != ControlKind::CheckBox)
                rig.state.store.at(effect, p.column) = static_cast<uint8_t>(p.maximum);
        choose(rig.find<QComboBox>("Combo1"), effect);
        QApplication::processEvents();
        expectNothingClipped(rig.windows.editor().pages()->currentWidget());
        EXPECT_LE(rig.windows.editor().pages()->currentWidget()->minimumSizeHint().width() + 32, 1024);
        const QImage picture = rig.windows.editor().grab().toImage();
        EXPECT_TRUE(picture.save(folder.filePath(fileName(page)))) << fileName(page).toStdString();
    }
}

} // namespace
} // namespace qrv::test
