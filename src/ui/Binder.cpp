#include "Binder.hpp"

#include "Widgets.hpp"

#include <QAbstractButton>
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

void Binder::handle(const std::function<void()>& handler)
{
    // An exception must not reach Qt's event loop, which would end the program without a word.
    try {
        if (handler)
            handler();
    } catch (const std::exception& error) {
        QMessageBox::critical(
            nullptr, QStringLiteral("QRV5173"),
            QStringLiteral("An unexpected error stopped this action: %1").arg(QString::fromUtf8(error.what())));
    }
    sync();
}

void Binder::sync(bool paintNow)
{
    std::erase_if(bindings_, [](const Binding& binding) { return binding.guard.isNull(); });
    std::vector<QWidget*> changed;
    for (std::size_t i = 0; i < bindings_.size(); ++i)
        if (!bindings_[i].guard.isNull())
            if (QWidget* widget = bindings_[i].show())
                changed.push_back(widget);
    if (!paintNow)
        return;
    for (QWidget* widget : changed)
        if (widget->isVisible())
            widget->repaint();
        else if (QWidget* parent = widget->parentWidget(); parent && parent->isVisible())
            parent->repaint();
}

void Binder::slider(QSlider* widget, Slider& control, std::function<void()> onMove)
{
    QObject::connect(widget, &QSlider::valueChanged, widget, [this, &control, onMove](int position) {
        control.position = position;
        handle(onMove);
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
    QObject::connect(widget, &QAbstractButton::clicked, widget, [this, &control, onClick](bool checked) {
        control.value = checked ? 1 : 0;
        handle(onClick);
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

void Binder::list(QComboBox* widget, ListBox& control, std::function<void()> onChoice)
{
    QObject::connect(widget, &QComboBox::activated, widget, [this, &control, onChoice](int index) {
        control.index = index;
        handle(onChoice);
    });
    custom(widget, listSync(widget, control, &QComboBox::currentIndex, &QComboBox::setCurrentIndex));
}

void Binder::list(QListWidget* widget, ListBox& control, std::function<void()> onChoice,
                  std::function<void()> onDoubleClick)
{
    QObject::connect(widget, &QListWidget::currentRowChanged, widget, [this, &control, onChoice](int row) {
        control.index = row;
        handle(onChoice);
    });
    QObject::connect(widget, &QListWidget::itemDoubleClicked, widget,
                     [this, widget, &control, onDoubleClick](QListWidgetItem* item) {
                         control.index = widget->row(item);
                         handle(onDoubleClick);
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
    QObject::connect(widget, &QAbstractButton::clicked, widget, [this, onClick] { handle(onClick); });
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
    QObject::connect(widget, &QTimer::timeout, widget, [this, onTick] { handle(onTick); });
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
