#include "ui/pages/Accessible.hpp"

#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QElapsedTimer>
#include <QHash>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QRegularExpression>
#include <QSlider>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace qrv::ui {

namespace {

struct SliderSpeech {
    QPointer<QLineEdit> box;
    PositionText textAt; // with the unit
    QString unit;
};

// Filled by describeSlider/describeList; an entry goes with its widget.
QHash<const QObject*, SliderSpeech>& sliders()
{
    static QHash<const QObject*, SliderSpeech> known;
    return known;
}

QHash<const QObject*, bool>& lists()
{
    static QHash<const QObject*, bool> known;
    return known;
}

QHash<const QObject*, bool>& actionOffers()
{
    static QHash<const QObject*, bool> known;
    return known;
}

// The widget's own actions (its context menu) as accessible actions, by their text.
QStringList offeredActions(const QWidget* widget)
{
    QStringList names;
    if (actionOffers().contains(widget))
        for (const QAction* action : widget->actions())
            if (!action->isSeparator())
                names << QString(action->text()).remove(u'&');
    return names;
}

bool runOffered(QWidget* widget, const QString& name)
{
    if (!actionOffers().contains(widget))
        return false;
    for (QAction* action : widget->actions())
        if (QString(action->text()).remove(u'&') == name) {
            if (action->isEnabled())
                action->trigger();
            return true;
        }
    return false;
}

template <class Table, class Value> void remember(Table& table, QObject* object, Value value)
{
    if (!table.contains(object))
        QObject::connect(object, &QObject::destroyed, [&table, object] { table.remove(object); });
    table.insert(object, std::move(value));
}

class SliderAccessible final : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit SliderAccessible(QSlider* slider) : QAccessibleWidget(slider, QAccessible::Slider) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return shownAt(slider()->value());
        return QAccessibleWidget::text(t);
    }
    void* interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    QStringList actionNames() const override { return QAccessibleWidget::actionNames() + offeredActions(widget()); }
    void doAction(const QString& action) override
    {
        if (!runOffered(widget(), action))
            QAccessibleWidget::doAction(action);
    }

    QVariant currentValue() const override { return numberIn(shownAt(slider()->value())); }
    void setCurrentValue(const QVariant& value) override
    {
        const double wanted = value.toDouble();
        int best = slider()->value();
        double distance = std::numeric_limits<double>::infinity();
        for (int p = slider()->minimum(); p <= slider()->maximum(); ++p)
            if (const double d = std::abs(numberAt(p) - wanted); d < distance) {
                distance = d;
                best = p;
            }
        slider()->setValue(best);
    }
    QVariant maximumValue() const override
    {
        return std::max(numberAt(slider()->minimum()), numberAt(slider()->maximum()));
    }
    QVariant minimumValue() const override
    {
        return std::min(numberAt(slider()->minimum()), numberAt(slider()->maximum()));
    }
    QVariant minimumStepSize() const override
    {
        return slider()->maximum() > slider()->minimum()
            ? std::abs(numberAt(slider()->minimum() + 1) - numberAt(slider()->minimum()))
            : 0.0;
    }

private:
    QSlider* slider() const { return static_cast<QSlider*>(widget()); }
    const SliderSpeech* speech() const
    {
        const auto found = sliders().constFind(object());
        return found == sliders().constEnd() ? nullptr : &found.value();
    }
    // The value box itself while it shows the slider's position, else what it would show.
    QString shownAt(int position) const
    {
        const SliderSpeech* s = speech();
        if (!s)
            return QString::number(position);
        if (position == slider()->value() && s->box && !s->box->text().isEmpty())
            return (s->box->text().trimmed() + s->unit).trimmed();
        return s->textAt(position).trimmed();
    }
    double numberAt(int position) const
    {
        const SliderSpeech* s = speech();
        return s ? numberIn(s->textAt(position)) : position;
    }
};

// A combo box whose name is its own, not the entry it shows; its value is the entry. Its
// text is the entry too: with no selection to offer, screen readers read a list's value
// from its text.
class ListAccessible final : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit ListAccessible(QComboBox* list) : QAccessibleWidget(list, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return shown();
        return QAccessibleWidget::text(t);
    }
    void* interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }
    QString text(int startOffset, int endOffset) const override
    {
        const QString entry = shown();
        if (endOffset < 0 || endOffset > entry.size())
            endOffset = static_cast<int>(entry.size());
        return entry.mid(startOffset, std::max(endOffset - startOffset, 0));
    }
    int characterCount() const override { return static_cast<int>(shown().size()); }
    // Read only, with nothing selected and no caret to move.
    void selection(int, int* startOffset, int* endOffset) const override { *startOffset = *endOffset = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* startOffset, int* endOffset) const override
    {
        *startOffset = *endOffset = offset;
        return {};
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.expandable = true;
        s.expanded = list()->view()->isVisible();
        s.collapsed = !s.expanded;
        return s;
    }
    // The entries, as the popup list that holds them.
    int childCount() const override { return 1; }
    QAccessibleInterface* child(int index) const override
    {
        return index == 0 ? QAccessible::queryAccessibleInterface(list()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        return child && child->object() == list()->view() ? 0 : -1;
    }
    QStringList actionNames() const override
    {
        return QStringList{showMenuAction(), pressAction(), setFocusAction()} + offeredActions(widget());
    }
    void doAction(const QString& action) override
    {
        if (action == showMenuAction() || action == pressAction())
            list()->showPopup();
        else if (!runOffered(widget(), action))
            QAccessibleWidget::doAction(action);
    }

private:
    QComboBox* list() const { return static_cast<QComboBox*>(widget()); }
    QString shown() const { return list()->currentText().trimmed(); }
};

// A check box or a button-style switch that offers its context menu's actions as well.
class SwitchAccessible final : public QAccessibleWidget {
public:
    explicit SwitchAccessible(QAbstractButton* button)
        : QAccessibleWidget(button, qobject_cast<QCheckBox*>(button) ? QAccessible::CheckBox : QAccessible::Button)
    {
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.checkable = button()->isCheckable();
        s.checked = button()->isChecked();
        s.pressed = role() == QAccessible::Button && button()->isChecked();
        return s;
    }
    QStringList actionNames() const override
    {
        return QStringList{pressAction(), toggleAction(), setFocusAction()} + offeredActions(widget());
    }
    void doAction(const QString& action) override
    {
        if (action == pressAction() || action == toggleAction())
            button()->click();
        else if (!runOffered(widget(), action))
            QAccessibleWidget::doAction(action);
    }

private:
    QAbstractButton* button() const { return static_cast<QAbstractButton*>(widget()); }
};

QHash<const QObject*, bool>& busyWindows()
{
    static QHash<const QObject*, bool> known;
    return known;
}

// A window whose state tells whether it is busy with the unit.
class WindowAccessible final : public QAccessibleWidget {
public:
    explicit WindowAccessible(QWidget* window) : QAccessibleWidget(window, QAccessible::Window) {}

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.busy = busyWindows().value(object(), false);
        return s;
    }
};

// Screen readers speak an object of the notification role when it starts showing, without
// moving the focus; they pass over a label's changed name unless it has the focus.
QHash<const QObject*, bool>& heralds()
{
    static QHash<const QObject*, bool> known;
    return known;
}

class HeraldAccessible final : public QAccessibleWidget {
public:
    explicit HeraldAccessible(QWidget* herald) : QAccessibleWidget(herald, QAccessible::Notification) {}
};

// When screen readers were last told anything.
QElapsedTimer& lastTold()
{
    static QElapsedTimer told;
    return told;
}

// Orca skips a notification with more than 50 events queued behind it, and drops one still
// queued when the focus moves during such a flood. So a herald speaks once the program has
// told screen readers nothing for a moment (or has waited long enough), after whatever the
// same change told them: a closed dialog, the focus back, a page of new values.
constexpr int kHeraldQuietMs = 250;
constexpr int kHeraldLongestWaitMs = 1500;

class HeraldQueue final : public QObject {
public:
    static constexpr const char* kName = "announcementQueue";
    explicit HeraldQueue(QWidget* herald) : QObject(herald), herald_(herald)
    {
        setObjectName(kName);
        timer_.setSingleShot(true);
        connect(&timer_, &QTimer::timeout, this, [this] { speakWhenQuiet(); });
    }
    // A source's newer text takes the place of its older one still waiting: the status
    // bar too shows only its newest.
    void add(const QObject* source, const QString& text)
    {
        std::erase_if(pending_, [&](const Pending& waiting) { return waiting.source == source || waiting.text == text; });
        pending_.push_back({source, text});
        if (!timer_.isActive()) {
            waited_.start();
            timer_.start(0);
        }
    }

private:
    void speakWhenQuiet()
    {
        const qint64 quiet = lastTold().isValid() ? lastTold().elapsed() : kHeraldQuietMs;
        if (quiet < kHeraldQuietMs && waited_.elapsed() < kHeraldLongestWaitMs) {
            timer_.start(static_cast<int>(kHeraldQuietMs - quiet));
            return;
        }
        // Shown afresh it is spoken once, whatever has the focus; the texts of one moment
        // are spoken together rather than the last one as often as there were texts.
        QStringList texts;
        for (const Pending& waiting : pending_)
            texts << waiting.text;
        pending_.clear();
        herald_->setAccessibleName(texts.join(QStringLiteral(". ")));
        herald_->hide();
        herald_->show();
    }

    struct Pending {
        const QObject* source; // only compared
        QString text;
    };
    QWidget* herald_;
    std::vector<Pending> pending_;
    QTimer timer_;
    QElapsedTimer waited_;
};

// The window's herald: an empty widget of no size that only screen readers meet.
HeraldQueue* heraldOf(QWidget* window)
{
    static const QString name = QStringLiteral("announcement");
    if (auto* herald = window->findChild<QWidget*>(name, Qt::FindDirectChildrenOnly))
        return static_cast<HeraldQueue*>(
            herald->findChild<QObject*>(QString::fromLatin1(HeraldQueue::kName), Qt::FindDirectChildrenOnly));
    // Known as a herald before it joins the window, so that its first interface is a herald's.
    auto* herald = new QWidget;
    herald->setObjectName(name);
    remember(heralds(), herald, true);
    herald->setParent(window);
    herald->setFixedSize(0, 0);
    herald->setFocusPolicy(Qt::NoFocus);
    herald->hide();
    return new HeraldQueue(herald);
}

QAccessibleInterface* programAccessible(const QString&, QObject* object)
{
    if (heralds().contains(object))
        return new HeraldAccessible(static_cast<QWidget*>(object));
    if (busyWindows().contains(object))
        return new WindowAccessible(static_cast<QWidget*>(object));
    if (sliders().contains(object))
        return new SliderAccessible(static_cast<QSlider*>(object));
    if (lists().contains(object))
        return new ListAccessible(static_cast<QComboBox*>(object));
    if (auto* button = qobject_cast<QAbstractButton*>(object); button && actionOffers().contains(object))
        return new SwitchAccessible(button);
    return nullptr;
}

// The tenth of its range each progress bar was last heard at.
QHash<const QObject*, int>& progressTenths()
{
    static QHash<const QObject*, int> known;
    return known;
}

bool nextTenth(QProgressBar* bar)
{
    const int span = bar->maximum() - bar->minimum();
    const int tenth = span > 0 ? (bar->value() - bar->minimum()) * 10 / span : 0;
    if (progressTenths().contains(bar) && progressTenths().value(bar) == tenth)
        return false;
    remember(progressTenths(), bar, tenth);
    return true;
}

// The widget screen readers were last told has the focus (only compared).
const QObject*& focusTold()
{
    static const QObject* told = nullptr;
    return told;
}

// Qt calls this instead of telling the screen readers itself.
void tellScreenReaders(QAccessibleEvent* event)
{
    // Qt has let a table follow its model before; the bridge passes over the event itself.
    if (event->type() == QAccessible::TableModelChanged || !screenReadersHear(*event))
        return;
    QAccessible::installUpdateHandler(nullptr);
    QAccessible::updateAccessibility(event);
    QAccessible::installUpdateHandler(tellScreenReaders);
    lastTold().start();
}

} // namespace

void installAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(programAccessible);
        QAccessible::installUpdateHandler(tellScreenReaders);
        return true;
    }();
    (void)installed;
}

bool screenReadersHear(const QAccessibleEvent& event)
{
    auto* widget = qobject_cast<QWidget*>(event.object());
    if (!widget)
        return true;
    switch (event.type()) {
    case QAccessible::ValueChanged:
        if (auto* bar = qobject_cast<QProgressBar*>(widget))
            return widget->isVisible() && nextTenth(bar);
        // A list away from the focus is passed over, yet reaches a screen reader as two events.
        if (auto* list = qobject_cast<QComboBox*>(widget))
            return list->hasFocus() || list->view()->hasFocus();
        return widget->isVisible();
    // A box's text is spoken only where the focus is; a slider's value tells the rest.
    case QAccessible::TextUpdated: {
        const auto& update = static_cast<const QAccessibleTextUpdateEvent&>(event);
        return widget->hasFocus() && update.textInserted() != update.textRemoved();
    }
    case QAccessible::TextInserted:
    case QAccessible::TextRemoved:
        return widget->hasFocus();
    case QAccessible::Selection:
    case QAccessible::SelectionAdd:
    case QAccessible::SelectionRemove:
    case QAccessible::SelectionWithin:
        return widget->isVisible();
    case QAccessible::StateChanged:
        // A disabled area disables every control in it, those of hidden pages too.
        return widget->isVisible() || !static_cast<const QAccessibleStateChangeEvent&>(event).changedStates().disabled;
    case QAccessible::Focus:
        focusTold() = widget;
        return true;
    // Qt reports a box's caret before the box's focus: a screen reader then takes the box as
    // focused already and names it only at the next visit.
    case QAccessible::TextCaretMoved:
    case QAccessible::TextSelectionChanged:
        return widget->hasFocus() && focusTold() == widget;
    default:
        return true;
    }
}

void describeSlider(QSlider* slider, const QString& name, QLineEdit* box, PositionText textAt, const QString& unit)
{
    const QString suffix = unit.isEmpty() ? QString() : u' ' + unit;
    textAt = [textAt, suffix](int position) { return textAt(position) + suffix; };
    remember(sliders(), slider, SliderSpeech{box, textAt, suffix});
    slider->setAccessibleName(name);
    slider->setAccessibleDescription(rangeText(textAt(slider->minimum()), textAt(slider->maximum())));
}

void offerAccessibleActions(QWidget* widget)
{
    remember(actionOffers(), widget, true);
}

void describeValueBox(QLineEdit* box, const QString& name, const QString& range)
{
    box->setAccessibleName(name);
    box->setAccessibleDescription(range);
}

void describeList(QComboBox* list, const QString& name, const QString& description)
{
    remember(lists(), list, true);
    list->setAccessibleName(name);
    list->setAccessibleDescription(description);
    // The popup and its entries are read as this list's, not as an unnamed one.
    list->view()->setAccessibleName(name);
    list->view()->window()->setAccessibleName(name);
    // Screen readers take a list's value from the entry its popup has selected, also while
    // the popup is closed: it follows the list.
    const auto select = [list] {
        if (auto* selection = list->view()->selectionModel())
            selection->setCurrentIndex(list->model()->index(list->currentIndex(), list->modelColumn()),
                                       QItemSelectionModel::ClearAndSelect);
    };
    QObject::connect(list, &QComboBox::currentIndexChanged, list, select);
    select();
}

std::function<void(QWidget*, const QString&)>& announcementObserver()
{
    static std::function<void(QWidget*, const QString&)> observer;
    return observer;
}

void observeAnnouncements(std::function<void(QWidget* source, const QString& text)> observer)
{
    announcementObserver() = std::move(observer);
}

void announce(QWidget* source, const QString& text)
{
    if (!source || text.isEmpty())
        return;
    if (announcementObserver())
        announcementObserver()(source, text);
    QAccessibleEvent named(source, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&named);
    heraldOf(source->window())->add(source, text);
}

void reportBusyState(QWidget* window)
{
    remember(busyWindows(), window, false);
}

void setBusyState(QWidget* window, bool busy)
{
    if (!window || !busyWindows().contains(window) || busyWindows().value(window) == busy)
        return;
    busyWindows()[window] = busy;
    QAccessible::State changed;
    changed.busy = true;
    QAccessibleStateChangeEvent event(window, changed);
    QAccessible::updateAccessibility(&event);
}

bool busyState(const QWidget* window)
{
    return busyWindows().value(window, false);
}

double numberIn(const QString& text)
{
    static const QRegularExpression number(QStringLiteral("[-+]?\\d+(?:[.,]\\d+)?"));
    const QRegularExpressionMatch match = number.match(text);
    if (!match.hasMatch())
        return 0;
    QString digits = match.captured();
    digits.replace(u',', u'.');
    double value = digits.toDouble();
    const QString rest = text.mid(match.capturedEnd());
    if (rest.contains(QStringLiteral("+33%")))
        value += 1.0 / 3;
    else if (rest.contains(QStringLiteral("+66%")))
        value += 2.0 / 3;
    return value;
}

QString rangeText(const QString& first, const QString& last)
{
    // A vertical slider runs from its largest value at the top: name the smaller end first.
    const bool rising = numberIn(first) <= numberIn(last);
    return QStringLiteral("Range %1 to %2").arg((rising ? first : last).trimmed(), (rising ? last : first).trimmed());
}

} // namespace qrv::ui
