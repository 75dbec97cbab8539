#include "ui/pages/Binder.hpp"

#include "ui/pages/Widgets.hpp"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>

#include <algorithm>
#include <memory>

namespace qrv::ui {

namespace {

QStringList textsOf(const std::vector<std::string>& items)
{
    QStringList texts;
    texts.reserve(static_cast<qsizetype>(items.size()));
    for (const std::string& item : items)
        texts << qs(item);
    return texts;
}

// A widget that the model shows and hides keeps its place, so nothing else moves.
void keepPlaceWhenHidden(QWidget* widget)
{
    QSizePolicy policy = widget->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    widget->setSizePolicy(policy);
}

// Returns whether the widget changed.
bool showIf(QWidget* widget, bool visible)
{
    if (widget->isHidden() == !visible)
        return false;
    widget->setVisible(visible);
    return true;
}

} // namespace

bool Binder::handle(const std::function<void()>& handler, QObject* source)
{
    if (mayEnter(source))
        enter(handler);
    else if (background_)
        deferred_.push_back(handler);
    else
        return false;
    return true;
}

bool Binder::runInBackground(const void* who, const std::function<void()>& work)
{
    // A turn asked for and not taken soon (the work was turned off meanwhile) lapses.
    constexpr qint64 kTurnKeptMs = 1000;
    if (depth_ > 0) {
        if (!nextTurn_ || nextTurnAsked_.elapsed() > kTurnKeptMs) {
            nextTurn_ = who;
            nextTurnAsked_.start();
        }
        return false;
    }
    if (nextTurn_ && nextTurn_ != who && nextTurnAsked_.elapsed() <= kTurnKeptMs)
        return false;
    nextTurn_ = nullptr;
    background_ = true;
    enter([this, &work] {
        work();
        background_ = false;
    });
    background_ = false;
    return true;
}

bool Binder::requestClose(QWidget* window, const std::function<bool()>& ask, std::function<void()> retry)
{
    if (depth_ == 0) {
        bool answer = false;
        enter([&] { answer = ask(); });
        return answer;
    }
    // Asked again as a fresh event once the core is free, so the window closes normally.
    keep({window, [] { return true; }, [window, retry = std::move(retry)] { QTimer::singleShot(0, window, retry); }});
    return false;
}

bool Binder::mayEnter(QObject* source) const
{
    if (depth_ == 0)
        return true;
    if (linkWaiting_)
        return false;
    // The core waits on a modal window it opened: that window's own controls may act.
    const auto* widget = qobject_cast<const QWidget*>(source);
    const QWidget* modal = QApplication::activeModalWidget();
    return widget && modal && widget->window() == modal;
}

void Binder::enter(const std::function<void()>& handler)
{
    ++depth_;
    // An exception must not reach Qt's event loop, which would end the program without a word.
    try {
        if (handler)
            handler();
    } catch (const std::exception& error) {
        QMessageBox::critical(
            nullptr, QStringLiteral("QRV5173"),
            QStringLiteral("An unexpected error stopped this action: %1").arg(QString::fromUtf8(error.what())));
    }
    --depth_;
    if (depth_ == 0)
        runWishes();
    while (depth_ == 0 && !deferred_.empty()) {
        const std::function<void()> next = std::move(deferred_.front());
        deferred_.erase(deferred_.begin());
        enter(next);
    }
    if (depth_ == 0 && afterCoreDue_ && !runningAfterCore_ && afterCoreDue_()) {
        runningAfterCore_ = true;
        enter(afterCore_);
        runningAfterCore_ = false;
    }
    sync();
}

void Binder::offer(QObject* source, std::function<int()> modelValue, std::function<void()> apply, bool ready)
{
    if (ready && mayEnter(source)) {
        enter(apply);
        return;
    }
    const auto same =
        std::find_if(wishes_.begin(), wishes_.end(), [source](const Wish& w) { return w.source == source; });
    if (same != wishes_.end()) {
        // The first wish's view of the model stays the measure of whether the core moved on.
        same->apply = std::move(apply);
        same->ready = same->ready || ready;
        return;
    }
    const int baseline = modelValue();
    keep({source, [modelValue = std::move(modelValue), baseline] { return modelValue() == baseline; }, std::move(apply),
          ready});
}

void Binder::keep(Wish wish)
{
    const auto same =
        std::find_if(wishes_.begin(), wishes_.end(), [&wish](const Wish& w) { return w.source == wish.source; });
    if (same != wishes_.end())
        *same = std::move(wish);
    else
        wishes_.push_back(std::move(wish));
}

void Binder::runWishes()
{
    if (runningWishes_)
        return;
    runningWishes_ = true;
    for (;;) {
        const auto next = std::find_if(wishes_.begin(), wishes_.end(), [](const Wish& w) { return w.ready; });
        if (next == wishes_.end())
            break;
        Wish wish = std::move(*next);
        wishes_.erase(next);
        if (!wish.source.isNull() && wish.stillCurrent())
            enter(wish.apply);
    }
    runningWishes_ = false;
}

bool Binder::held(const QObject* widget) const
{
    return std::any_of(wishes_.begin(), wishes_.end(), [widget](const Wish& w) { return w.source == widget; });
}

void Binder::sync(bool paintNow)
{
    std::erase_if(bindings_, [](const Binding& binding) { return binding.guard.isNull(); });
    std::vector<QWidget*> changed;
    for (std::size_t i = 0; i < bindings_.size(); ++i) {
        const QObject* guard = bindings_[i].guard;
        // A widget the user has moved since the core last looked shows the user's wish.
        if (!guard || held(guard))
            continue;
        if (QWidget* widget = bindings_[i].show())
            changed.push_back(widget);
    }
    if (!paintNow)
        return;
    for (QWidget* widget : changed)
        if (widget->isVisible())
            widget->repaint();
        else if (QWidget* parent = widget->parentWidget(); parent && parent->isVisible())
            parent->repaint();
}

void Binder::slider(QSlider* widget, Slider& control, std::function<void()> onMove, std::function<void()> onRelease)
{
    if (onRelease) {
        // Queued behind the move it ends when the link is busy, so both reach the core in order.
        auto* releaseKey = new QObject(widget);
        QObject::connect(widget, &QSlider::sliderReleased, widget, [this, releaseKey, onRelease] {
            if (depth_ == 0)
                enter(onRelease);
            else
                keep({releaseKey, [] { return true; }, onRelease});
        });
    }
    QObject::connect(widget, &QSlider::valueChanged, widget, [this, widget, &control, onMove](int) {
        offer(
            widget, [&control] { return control.position; },
            [widget, &control, onMove] {
                control.position = widget->value();
                if (onMove)
                    onMove();
            });
    });
    custom(widget, [widget, &control]() -> QWidget* {
        if (widget->maximum() == control.max && widget->value() == control.position)
            return nullptr;
        const QSignalBlocker blocker(widget);
        widget->setRange(0, control.max);
        widget->setValue(control.position);
        return widget;
    });
}

void Binder::textBox(QLineEdit* widget, TextBox& control)
{
    custom(widget, [widget, &control]() -> QWidget* {
        const QString text = qs(control.text);
        const QString tip = qs(control.toolTip);
        if (widget->text() == text && widget->toolTip() == tip)
            return nullptr;
        const QSignalBlocker blocker(widget);
        widget->setText(text);
        widget->setCursorPosition(0);
        widget->setToolTip(tip);
        return widget;
    });
}

void Binder::editableText(QLineEdit* widget, TextBox& control)
{
    QObject::connect(widget, &QLineEdit::textEdited, widget,
                     [&control](const QString& text) { control.text = text.toStdString(); });
    custom(widget, [widget, &control]() -> QWidget* {
        const QString text = qs(control.text);
        const QString tip = qs(control.toolTip);
        if (widget->text() == text && widget->toolTip() == tip)
            return nullptr;
        const QSignalBlocker blocker(widget);
        widget->setText(text);
        widget->setToolTip(tip);
        return widget;
    });
}

namespace {

// Keeps a list widget's entries, selection and tool tip equal to its control's. The
// entries last shown are kept so that a sync compares plain strings.
template <class Widget>
std::function<QWidget*()> listSync(Widget* widget, const ListBox& control, int (Widget::*current)() const,
                                   void (Widget::*setCurrent)(int))
{
    auto shown = std::make_shared<std::vector<std::string>>();
    return [=, &control]() -> QWidget* {
        bool changed = false;
        const QSignalBlocker blocker(widget);
        if (*shown != control.items) {
            widget->clear();
            widget->addItems(textsOf(control.items));
            *shown = control.items;
            changed = true;
        }
        if ((widget->*current)() != control.index) {
            (widget->*setCurrent)(control.index);
            changed = true;
        }
        const QString tip = qs(control.toolTip);
        if (widget->toolTip() != tip) {
            widget->setToolTip(tip);
            changed = true;
        }
        return changed ? widget : nullptr;
    };
}

// Keeps a captioned widget's visibility and caption equal to its control's.
template <class Widget, class Control>
std::function<QWidget*()> captionSync(Widget* widget, const Control& control, QString (Widget::*caption)() const,
                                      void (Widget::*setCaption)(const QString&))
{
    return [=, &control]() -> QWidget* {
        bool changed = showIf(widget, control.visible);
        const QString text = qs(control.caption);
        if ((widget->*caption)() != text) {
            (widget->*setCaption)(text);
            changed = true;
        }
        return changed ? widget : nullptr;
    };
}

} // namespace

void Binder::check(QAbstractButton* widget, CheckBox& control, std::function<void()> onClick)
{
    // Toggled, not clicked: a screen reader's Toggle changes the state without a click.
    // The model's own changes are made with the signals blocked.
    QObject::connect(widget, &QAbstractButton::toggled, widget, [this, widget, &control, onClick] {
        offer(
            widget, [&control] { return control.value; },
            [widget, &control, onClick] {
                control.value = widget->isChecked() ? 1 : 0;
                if (onClick)
                    onClick();
            });
    });
    custom(widget, [widget, &control]() -> QWidget* {
        const bool checked = control.value != 0;
        if (widget->isChecked() == checked)
            return nullptr;
        const QSignalBlocker blocker(widget);
        widget->setChecked(checked);
        return widget;
    });
}

void Binder::list(QComboBox* widget, ListBox& control, std::function<void()> onChoice, int settleMs)
{
    auto choose = [widget, &control, onChoice] {
        control.index = widget->currentIndex();
        if (onChoice)
            onChoice();
    };
    QTimer* settle = nullptr;
    if (settleMs > 0) {
        settle = new QTimer(widget);
        settle->setObjectName(QStringLiteral("settle"));
        settle->setSingleShot(true);
        settle->setInterval(settleMs);
        QObject::connect(settle, &QTimer::timeout, widget, [this, widget] {
            for (Wish& wish : wishes_)
                if (wish.source == widget)
                    wish.ready = true;
            if (depth_ == 0) {
                runWishes();
                sync();
            }
        });
    }
    QObject::connect(widget, &QComboBox::activated, widget, [this, widget, &control, choose, settle](int) {
        offer(
            widget, [&control] { return control.index; }, choose, settle == nullptr);
        if (settle)
            settle->start();
    });
    custom(widget, listSync(widget, control, &QComboBox::currentIndex, &QComboBox::setCurrentIndex));
}

void Binder::list(QListWidget* widget, ListBox& control, std::function<void()> onChoice,
                  std::function<void()> onDoubleClick)
{
    QObject::connect(widget, &QListWidget::currentRowChanged, widget, [this, widget, &control, onChoice](int) {
        offer(
            widget, [&control] { return control.index; },
            [widget, &control, onChoice] {
                control.index = widget->currentRow();
                if (onChoice)
                    onChoice();
            });
    });
    QObject::connect(widget, &QListWidget::itemDoubleClicked, widget,
                     [this, widget, &control, onDoubleClick](QListWidgetItem* item) {
                         handle(
                             [widget, item, &control, onDoubleClick] {
                                 control.index = widget->row(item);
                                 if (onDoubleClick)
                                     onDoubleClick();
                             },
                             widget);
                     });
    custom(widget, listSync(widget, control, &QListWidget::currentRow, &QListWidget::setCurrentRow));
}

void Binder::label(QLabel* widget, Label& control)
{
    keepPlaceWhenHidden(widget);
    custom(widget, captionSync(widget, control, &QLabel::text, &QLabel::setText));
}

void Binder::frame(QGroupBox* widget, GroupFrame& control)
{
    keepPlaceWhenHidden(widget);
    custom(widget, captionSync(widget, control, &QGroupBox::title, &QGroupBox::setTitle));
}

void Binder::button(QAbstractButton* widget, CommandButton& control, std::function<void()> onClick)
{
    keepPlaceWhenHidden(widget);
    QObject::connect(widget, &QAbstractButton::clicked, widget, [this, widget, onClick] { handle(onClick, widget); });
    custom(widget, [widget, &control]() -> QWidget* {
        bool changed = showIf(widget, control.visible);
        const QString caption = qs(control.caption);
        const QString tip = qs(control.toolTip);
        if (widget->text() != caption || widget->toolTip() != tip) {
            widget->setText(caption);
            widget->setToolTip(tip);
            changed = true;
        }
        return changed ? widget : nullptr;
    });
}

void Binder::shape(Lamp* widget, Shape& control)
{
    custom(widget, [widget, &control]() -> QWidget* {
        const QColor colour(control.colour.red, control.colour.green, control.colour.blue);
        if (widget->colour() == colour)
            return nullptr;
        widget->setColour(colour);
        return widget;
    });
}

void Binder::progress(QProgressBar* widget, ProgressBar& control)
{
    keepPlaceWhenHidden(widget);
    custom(widget, [widget, &control]() -> QWidget* {
        bool changed = showIf(widget, control.visible);
        if (widget->maximum() != control.max || widget->value() != control.value) {
            widget->setRange(0, control.max);
            widget->setValue(control.value);
            changed = true;
        }
        return changed ? widget : nullptr;
    });
}

void Binder::timer(QTimer* widget, Timer& control, std::function<void()> onTick)
{
    // A coarse timer may fire 5 % early; the model's intervals are meant as given.
    widget->setTimerType(Qt::PreciseTimer);
    QObject::connect(widget, &QTimer::timeout, widget, [this, widget, &control, onTick] {
        if (depth_ == 0)
            enter(onTick);
        else // one tick once the core is free, if the core still wants ticks then
            keep({widget, [&control] { return control.enabled && control.interval > 0; }, onTick});
    });
    custom(widget, [widget, &control]() -> QWidget* {
        const bool run = control.enabled && control.interval > 0;
        if (!run)
            widget->stop();
        else if (!widget->isActive() || widget->interval() != control.interval)
            widget->start(control.interval);
        return nullptr;
    });
}

void Binder::custom(QObject* guard, std::function<QWidget*()> show)
{
    bindings_.push_back({guard, std::move(show)});
}

} // namespace qrv::ui
