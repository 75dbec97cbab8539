// Every task by keyboard and by screen reader: the Tab order of the pages, the accessible
// actions of the controls, the dialogs' keys, and what a screen reader is told as it happens.
#include "UiRig.hpp"

#include "devmem/PresetDialogs.hpp"
#include "ui/PageBuilder.hpp"

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QStackedWidget>
#include <QTest>

namespace qrv::test {
namespace {

using Bytes = std::vector<uint8_t>;

bool isControl(const QWidget* w)
{
    return qobject_cast<const QSlider*>(w) || qobject_cast<const QComboBox*>(w) ||
        qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QLineEdit*>(w);
}

// The value box that belongs to a slider.
QString boxOf(const PageInfo& page, const QString& slider)
{
    const QString index = slider.section(u'_', 1);
    if (slider.startsWith(QStringLiteral("Slider15_")))
        return QStringLiteral("Text16_") + index;
    return QString::fromLatin1(page.textName) + u'_' + index;
}

TEST(UiKeyboard, TabGoesThroughEveryPageInReadingOrderEachSliderFollowedByItsValueBox)
{
    UiRig rig;
    rig.showEditor();
    activate(&rig.windows.main());
    auto* effects = rig.find<QComboBox>("Combo1");
    for (const PageInfo& page : catalogue::pages()) {
        SCOPED_TRACE(page.caption);
        choose(effects, effectShowing(page));
        QWidget* frame = rig.windows.editor().pages()->currentWidget();
        QList<QWidget*> wanted;
        for (QWidget* w : frame->findChildren<QWidget*>())
            if (isControl(w) && w->isVisible())
                wanted << w;
        effects->setFocus();
        // Tab from the effect list until the focus has been through the page and left it.
        QList<QWidget*> visited;
        for (int i = 0; i < 300; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* focus = QApplication::focusWidget();
            ASSERT_TRUE(focus);
            if (frame->isAncestorOf(focus))
                visited << focus;
            else if (!visited.isEmpty())
                break;
        }
        EXPECT_EQ(QSet<QWidget*>(visited.begin(), visited.end()), QSet<QWidget*>(wanted.begin(), wanted.end()));
        EXPECT_EQ(visited.size(), wanted.size()); // each once
        int lastColumn = -1;
        for (qsizetype i = 0; i < visited.size(); ++i) {
            const auto* slider = qobject_cast<QSlider*>(visited[i]);
            if (!slider)
                continue;
            ASSERT_LT(i + 1, visited.size());
            EXPECT_EQ(visited[i + 1]->objectName(), boxOf(page, slider->objectName())) << slider->objectName().toStdString();
            // The top row's columns are read left to right.
            if (!slider->objectName().startsWith(QStringLiteral("Slider15_"))) {
                const int x = slider->mapTo(frame, QPoint(0, 0)).x();
                EXPECT_GT(x, lastColumn) << slider->objectName().toStdString();
                lastColumn = x;
            }
        }
    }
}

// What a screen reader's action sends, compared with what a click sends for the same change.
TEST(UiAccessibility, ToggleOnEveryCheckBoxSendsWhatAClickSends)
{
    UiRig rig;
    rig.showEditor();
    auto* effects = rig.find<QComboBox>("Combo1");
    QSet<QString> done;
    for (const PageInfo& page : catalogue::pages()) {
        choose(effects, effectShowing(page));
        QWidget* frame = rig.windows.editor().pages()->currentWidget();
        QList<QAbstractButton*> checks = frame->findChildren<QAbstractButton*>();
        checks << rig.find<QAbstractButton>("Check1"); // Effect ON
        for (QAbstractButton* check : checks) {
            if (!check->isCheckable() || done.contains(check->objectName() + page.caption))
                continue;
            done.insert(check->objectName() + page.caption);
            SCOPED_TRACE(check->accessibleName().toStdString());
            QAccessibleActionInterface* actions = QAccessible::queryAccessibleInterface(check)->actionInterface();
            ASSERT_TRUE(actions);
            ASSERT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::toggleAction()));
            const bool before = check->isChecked();
            const auto sentBy = [&](const std::function<void()>& act) {
                rig.port.clearLog();
                rig.host.answer(true); // the rate link asks before it copies
                act();
                rig.host.answers.clear();
                return rig.port.sent().empty() ? Bytes{} : rig.port.sent().back().bytes;
            };
            const auto toggle = [&] { actions->doAction(QAccessibleActionInterface::toggleAction()); };
            const auto click = [&] { check->click(); };
            const Bytes toggledOnce = sentBy(toggle);
            EXPECT_EQ(check->isChecked(), !before);
            EXPECT_FALSE(toggledOnce.empty());
            const Bytes clickedBack = sentBy(click);
            EXPECT_EQ(check->isChecked(), before);
            EXPECT_EQ(sentBy(click), toggledOnce);
            EXPECT_EQ(sentBy(toggle), clickedBack);
        }
    }
    EXPECT_GE(done.size(), 8);
}

} // namespace
} // namespace qrv::test
