#include "ui/windows/EditorWindow.hpp"

#include "ui/pages/Accessible.hpp"
#include "ui/pages/Binder.hpp"
#include "ui/pages/CompareControls.hpp"
#include "ui/pages/Look.hpp"
#include "ui/pages/PageBuilder.hpp"
#include "ui/SessionControls.hpp"
#include "ui/pages/Widgets.hpp"

#include "effects/Pages.hpp"
#include "storage/CommandPanel.hpp"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <tuple>

namespace qrv::ui {

namespace {

QLabel* boundLabel(Binder& binder, Label& control, const char* name)
{
    auto* label = new QLabel;
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    binder.label(label, control);
    return label;
}

} // namespace

EditorWindow::EditorWindow(Editor& editor, Binder& binder, PageBuilding pageBuilding, QWidget* parent)
    : QWidget(parent), editor_(editor), binder_(binder)
{
    FrmMain& form = editor_.form();
    setObjectName(QStringLiteral("FrmMain"));
    setWindowTitle(qs(form.caption));
    // The caption changes while a project loads; the main window's title shows it.
    binder_.custom(this, [this, &form]() -> QWidget* {
        const QString title = qs(form.caption);
        if (windowTitle() == title)
            return nullptr;
        setWindowTitle(title);
        return this;
    });

    buildCommandPanel();
    auto* layout = new QVBoxLayout(this);
    int panelBottom = 0;
    for (const auto& [index, button] : form.Command2)
        panelBottom = std::max(panelBottom, (button.top + button.height) / kTwipsPerPixel);
    layout->setContentsMargins(8, panelBottom + 8, 8, 8);
    layout->setSpacing(6);
    layout->addWidget(buildHeader());
    layout->addWidget(compareBanner(binder_, editor_));

    pages_ = new QStackedWidget;
    pages_->setObjectName(QStringLiteral("Pages"));
    // The compared version is only heard and seen; the pages stay enabled so that the focus stays.
    holdWhileComparing(pages_, editor_);
    binder_.custom(pages_, [this, &form]() -> QWidget* {
        const auto found = pageByElement_.find(form.frontPage);
        if (found == pageByElement_.end() || pages_->currentWidget() == found->second)
            return nullptr;
        pages_->setCurrentWidget(found->second);
        return pages_;
    });
    layout->addWidget(pages_, 1);

    const std::pair<Timer*, std::function<void()>> timers[] = {
        {&form.Timer1, [this] { tapTick(editor_); }},
        {&form.Timer2, [this] { lampTick(editor_); }},
        {&form.TimerCompare, [this] { compareTick(editor_); }},
    };
    const char* names[] = {"Timer1", "Timer2", "TimerCompare"};
    for (std::size_t i = 0; i < std::size(timers); ++i) {
        auto* timer = new QTimer(this);
        timer->setObjectName(QString::fromLatin1(names[i]));
        binder_.timer(timer, *timers[i].first, timers[i].second);
    }

    std::tie(undoAction_, redoAction_) = addUndoRedo(this, binder_, editor_);
    std::tie(compareAction_, compareWithAction_) = addCompareActions(this, binder_, editor_);

    if (pageBuilding == PageBuilding::AllNow)
        buildRemainingPages();
    binder_.sync();
    // Wide enough for the whole command panel, whatever the pages need.
    int panelRight = 0;
    for (const auto& [index, button] : form.Command2)
        panelRight = std::max(panelRight, (button.left + button.width) / kTwipsPerPixel);
    setMinimumWidth(panelRight + 8);
}

bool EditorWindow::buildNextPage()
{
    const auto all = catalogue::pages();
    const auto built = static_cast<std::size_t>(pages_->count());
    if (built == all.size())
        return false;
    const PageInfo& page = all[built];
    QWidget* widget = PageBuilder(editor_, binder_).build(page);
    pages_->addWidget(widget);
    pageByElement_[page.element] = widget;
    binder_.sync();
    return built + 1 < all.size();
}

void EditorWindow::buildRemainingPages()
{
    while (buildNextPage()) {}
}

void EditorWindow::buildCommandPanel()
{
    for (auto& [index, control] : editor_.form().Command2) {
        auto* button = new WrapButton(this);
        button->setObjectName(elementName("Command2", index));
        button->setGeometry(control.left / kTwipsPerPixel, control.top / kTwipsPerPixel, control.width / kTwipsPerPixel,
                            control.height / kTwipsPerPixel);
        QFont small = button->font();
        small.setPointSizeF(small.pointSizeF() * 0.9);
        button->setFont(small);
        binder_.button(button, control, [this, i = index] {
            if (commandHandler_)
                commandHandler_(i);
        });
    }
    findChild<QPushButton*>(elementName("Command2", kFindDeviceButton))
        ->setAccessibleName(QStringLiteral("ReConnect device"));
}

QWidget* EditorWindow::buildHeader()
{
    FrmMain& form = editor_.form();
    auto* header = new QWidget;
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(10);

    auto* change = new QGroupBox;
    change->setObjectName(QStringLiteral("Frame9"));
    binder_.frame(change, form.Frame9);
    auto* changeLayout = new QVBoxLayout(change);
    auto* effects = new ChoiceList;
    effects->setObjectName(QStringLiteral("Combo1"));
    describeList(effects, QStringLiteral("Effect"), QStringLiteral("The effect to edit and play"));
    effects->setMaxVisibleItems(16);
    effects->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    // Quick steps through the list select only where the user stops.
    constexpr int kEffectListSettleMs = 250;
    binder_.list(
        effects, form.Combo1, [this] { editor_.effectListClick(); }, kEffectListSettleMs);
    changeLayout->addWidget(effects);
    changeLayout->addStretch();
    row->addWidget(change);

    auto* effect = new QGroupBox;
    effect->setObjectName(QStringLiteral("Frame1"));
    binder_.frame(effect, form.Frame1);
    auto* switchLayout = new QGridLayout(effect);
    switchLayout->setVerticalSpacing(0);
    auto* lever = new LeverSwitch;
    lever->setObjectName(QStringLiteral("Check1"));
    lever->setAccessibleName(QStringLiteral("Effect ON"));
    lever->setAccessibleDescription(QStringLiteral("Ticked: the effect is on; clear: off"));
    binder_.check(lever, form.Check1, [this] { editor_.effectSwitchClick(); });
    switchLayout->addWidget(lever, 0, 0, 2, 1);
    switchLayout->addWidget(boundLabel(binder_, form.Label3, "Label3"), 0, 1, Qt::AlignLeft | Qt::AlignTop);
    switchLayout->addWidget(boundLabel(binder_, form.Label4, "Label4"), 1, 1, Qt::AlignLeft | Qt::AlignBottom);
    switchLayout->setColumnMinimumWidth(1, 34);
    row->addWidget(effect);

    auto* preset = new QHBoxLayout;
    preset->setSpacing(2);
    preset->addWidget(boundLabel(binder_, form.Label9, "Label9"));
    QLabel* caption = boundLabel(binder_, form.Label2, "Label2");
    caption->setMinimumWidth(QFontMetrics(caption->font()).horizontalAdvance(QStringLiteral("8 - WWWWWWWW")));
    QFont bold = caption->font();
    bold.setBold(true);
    caption->setFont(bold);
    preset->addWidget(caption);
    // Read out with what it is; the model sets only the caption.
    binder_.custom(caption, [caption, heading = qs(form.Label9.caption)]() -> QWidget* {
        const QString name = heading.trimmed() + u' ' + caption->text();
        if (caption->accessibleName() == name)
            return nullptr;
        caption->setAccessibleName(name);
        return caption;
    });
    QLabel* marker = boundLabel(binder_, form.Label8, "Label8");
    QFont big = marker->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.5);
    marker->setFont(big);
    // Red, as dark or as light as the palette needs to keep it readable.
    followPalette(marker, [marker] {
        QPalette palette = QApplication::palette(marker);
        palette.setColor(QPalette::WindowText, changedMarkerColour(palette));
        marker->setPalette(palette);
    });
    marker->setAccessibleName(QStringLiteral("Changed: the edit differs from the preset on the device"));
    binder_.custom(marker, [marker, &form]() -> QWidget* {
        const QString tip = qs(form.markerToolTip);
        if (marker->toolTip() == tip)
            return nullptr;
        marker->setToolTip(tip);
        return nullptr;
    });
    preset->addWidget(marker);
    preset->addSpacing(6);
    preset->addWidget(compareButton(binder_, editor_));
    row->addLayout(preset);
    row->addStretch();

    auto* reopen = new QPushButton;
    reopen->setObjectName(QStringLiteral("Command3"));
    // Both ReConnect buttons say which one they are: this one reopens the port, the
    // command panel's searches for the unit.
    reopen->setAccessibleName(QStringLiteral("ReConnect port"));
    binder_.button(reopen, form.Command3, [this] {
        if (reopenHandler_)
            reopenHandler_();
    });
    row->addWidget(reopen);

    auto* progress = new QProgressBar;
    progress->setObjectName(QStringLiteral("ProgressBar1"));
    progress->setFixedWidth(160);
    progress->setTextVisible(false);
    progress->setAccessibleName(QStringLiteral("Progress"));
    binder_.progress(progress, form.ProgressBar1);
    row->addWidget(progress);
    return header;
}

void EditorWindow::closeEvent(QCloseEvent* event)
{
    if (closeRequest_ && closeRequest_())
        event->accept();
    else
        event->ignore();
}

} // namespace qrv::ui
