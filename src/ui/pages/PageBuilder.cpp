#include "ui/pages/PageBuilder.hpp"

#include "ui/pages/Accessible.hpp"
#include "ui/pages/Binder.hpp"
#include "ui/pages/CompareControls.hpp"
#include "ui/pages/Look.hpp"
#include "ui/SessionControls.hpp"
#include "ui/pages/Widgets.hpp"

#include "editor/Describe.hpp"
#include "effects/Pages.hpp"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>

namespace qrv::ui {

namespace {

constexpr int kSliderHeight = 150;
constexpr int kGainSliderHeight = 104;
constexpr int kMinColumnWidth = 56;
constexpr int kSemitoneSliderWidth = 300;

QLabel* fixedLabel(const QString& text, Qt::Alignment alignment = Qt::AlignCenter)
{
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(alignment);
    return label;
}

QLineEdit* valueBox(const QString& name, int width)
{
    auto* box = new QLineEdit;
    box->setObjectName(name);
    box->setAlignment(Qt::AlignCenter);
    box->setFocusPolicy(Qt::StrongFocus);
    box->setFixedWidth(width);
    return box;
}

// A slider at least that high, taller when the window is.
QSlider* verticalSlider(const QString& name, int maximum, int height)
{
    auto* slider = new RisingSlider;
    slider->setObjectName(name);
    slider->setRange(0, maximum);
    slider->setMinimumHeight(height);
    slider->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    return slider;
}

QComboBox* frequencyOrWidthList(const QString& name)
{
    auto* list = new ChoiceList;
    list->setObjectName(name);
    list->setMaxVisibleItems(16);
    list->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return list;
}

// Captions escape a literal '&' as "&&".
QString plainLabel(const char* caption)
{
    return QString::fromLatin1(caption).replace(QStringLiteral("&&"), QStringLiteral("&"));
}

QString frequencyRange()
{
    return rangeText(QString::fromLatin1(catalogue::frequencyList.front()),
                     QString::fromLatin1(catalogue::frequencyList.back()));
}

int widestWord(const QFontMetrics& metrics, const QString& text)
{
    int widest = 0;
    for (const QString& word : text.split(u' ', Qt::SkipEmptyParts))
        widest = std::max(widest, metrics.horizontalAdvance(word));
    return widest;
}

} // namespace

QString elementName(const char* array, int index)
{
    return QString::fromLatin1(array) + u'_' + QString::number(index);
}

int PageBuilder::columnWidth(const PageParameter& parameter) const
{
    const QFontMetrics metrics{QFont()};
    const ValueTables& tables = editor_.state().tables;
    int width = std::max(kMinColumnWidth, widestWord(metrics, QString::fromLatin1(parameter.label)) + 8);
    for (int value : {0, parameter.maximum})
        width = std::max(width, metrics.horizontalAdvance(qs(valueText(tables, parameter.text, value))) + 16);
    return width;
}

int PageBuilder::labelHeight(const PageInfo& page) const
{
    const QFontMetrics metrics{QFont()};
    int height = metrics.height();
    for (const PageParameter& p : page.parameters)
        if (p.kind == ControlKind::VerticalSlider)
            height = std::max(height,
                              metrics
                                  .boundingRect(QRect(0, 0, columnWidth(p), 1000), Qt::AlignHCenter | Qt::TextWordWrap,
                                                QString::fromLatin1(p.label))
                                  .height());
    return height;
}

void PageBuilder::describe(QSlider* slider, QLineEdit* box, const PageParameter& parameter, bool vertical)
{
    const ValueTables& tables = editor_.state().tables;
    const QString name = plainLabel(parameter.label);
    describeSlider(slider, name, box,
                   [&tables, rule = parameter.text, max = parameter.maximum, vertical](int position) {
                       return qs(valueText(tables, rule, vertical ? max - position : position));
                   });
    describeValueBox(box, name + QStringLiteral(" value"), slider->accessibleDescription());
}

QWidget* PageBuilder::sliderColumn(const PageInfo& page, const PageParameter& parameter, int labelHeight)
{
    auto* cell = new QWidget;
    auto* layout = new QVBoxLayout(cell);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);

    const int width = columnWidth(parameter);
    auto* box = valueBox(elementName(page.textName, parameter.index), width - 4);
    bindTypedBox(box, page, parameter);
    layout->addWidget(box, 0, Qt::AlignHCenter);

    Slider& control = editor_.slider(page, parameter);
    auto* slider = verticalSlider(elementName(page.sliderName, parameter.index), control.max, kSliderHeight);
    bindPageSlider(slider, page, parameter);
    describe(slider, box, parameter, true);
    layout->addWidget(inOrder(slider), 1, Qt::AlignHCenter);
    inOrder(box);

    auto* label = fixedLabel(QString::fromLatin1(parameter.label), Qt::AlignHCenter | Qt::AlignTop);
    label->setWordWrap(true);
    label->setFixedSize(width, labelHeight);
    layout->addWidget(label, 0, Qt::AlignHCenter);
    return cell;
}

QWidget* PageBuilder::semitones(const PageInfo& page, const PageParameter& parameter)
{
    auto* cell = new QWidget;
    auto* layout = new QVBoxLayout(cell);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);

    auto* box = valueBox(elementName(page.textName, parameter.index), 120);
    bindTypedBox(box, page, parameter);
    layout->addWidget(box, 0, Qt::AlignHCenter);
    layout->addWidget(fixedLabel(QString::fromLatin1(parameter.label)), 0, Qt::AlignHCenter);

    auto* row = new QHBoxLayout;
    row->addWidget(fixedLabel(QStringLiteral("-12")));
    Slider& control = editor_.slider(page, parameter);
    auto* slider = new LevelSlider;
    slider->setObjectName(elementName(page.sliderName, parameter.index));
    slider->setRange(0, control.max);
    slider->setTickPosition(QSlider::TicksBelow);
    slider->setTickInterval(3);
    slider->setPageStep(3);
    slider->setFixedWidth(kSemitoneSliderWidth);
    bindPageSlider(slider, page, parameter);
    describe(slider, box, parameter, false);
    row->addWidget(inOrder(slider));
    inOrder(box);
    row->addWidget(fixedLabel(QStringLiteral("+12")));
    layout->addLayout(row);
    layout->addStretch();
    return cell;
}

QWidget* PageBuilder::checkControl(const PageInfo& page, const PageParameter& parameter)
{
    if (parameter.index == kNoIndex)
        return rotorSwitch(page, parameter);
    auto* check = new QCheckBox(QString::fromLatin1(parameter.label));
    check->setObjectName(QString::fromLatin1(parameter.checkName));
    const QString label = plainLabel(parameter.label);
    check->setAccessibleName(parameter.boxCaption ? plainLabel(parameter.boxCaption) + u' ' + label : label);
    check->setAccessibleDescription(QStringLiteral("Ticked or clear"));
    binder_.check(
        check, editor_.form().*parameter.check,
        [&editor = editor_, element = page.element, index = parameter.index] { editor.checkClick(element, index); });
    check->setToolTip(qs(parameterToolTip(editor_.state().tables, parameter)));
    markWhenDiffers(binder_, check, editor_.form());
    addResetActions(binder_, editor_, check, parameter.column);
    inOrder(check);
    if (!parameter.boxCaption)
        return check;
    auto* frame = new QGroupBox(QString::fromLatin1(parameter.boxCaption));
    auto* layout = new QVBoxLayout(frame);
    layout->addWidget(check);
    return frame;
}

QWidget* PageBuilder::rotorSwitch(const PageInfo& page, const PageParameter& parameter)
{
    auto* frame = new QGroupBox(QString::fromLatin1(parameter.boxCaption));
    auto* layout = new QHBoxLayout(frame);
    QLabel* slow = fixedLabel(QStringLiteral("Slow"));
    layout->addWidget(slow);
    auto* button = new RedButton;
    button->setObjectName(QString::fromLatin1(parameter.checkName));
    button->setAccessibleName(plainLabel(parameter.label) + u' ' + plainLabel(parameter.boxCaption));
    button->setAccessibleDescription(QStringLiteral("Pressed in: fast; out: slow"));
    binder_.check(
        button, editor_.form().*parameter.check,
        [&editor = editor_, element = page.element, index = parameter.index] { editor.checkClick(element, index); });
    button->setToolTip(qs(parameterToolTip(editor_.state().tables, parameter)));
    addResetActions(binder_, editor_, button, parameter.column);
    layout->addWidget(inOrder(button));
    QLabel* fast = fixedLabel(QStringLiteral("Fast"));
    layout->addWidget(fast);
    // The pressed and raised button differ only by a bevel: the words say which holds.
    binder_.custom(frame, [frame, slow, fast, &control = editor_.form().*parameter.check]() -> QWidget* {
        return showStateWords(slow, fast, control.value != 0) ? frame : nullptr;
    });
    return frame;
}

QWidget* PageBuilder::tapBox()
{
    FrmMain& form = editor_.form();
    auto* frame = new QGroupBox;
    auto* layout = new QHBoxLayout(frame);
    auto* tap = new QPushButton(qs(form.Command1.caption));
    tap->setObjectName(QStringLiteral("Command1"));
    tap->setMinimumSize(64, 40);
    binder_.button(tap, form.Command1, [&editor = editor_] { tapClick(editor); });
    layout->addWidget(inOrder(tap));
    auto* lamp = new Lamp;
    lamp->setObjectName(QStringLiteral("Shape5"));
    lamp->setAccessibleName(QStringLiteral("Tempo lamp"));
    lamp->setAccessibleDescription(QStringLiteral("Flashes with the tapped tempo"));
    binder_.shape(lamp, form.Shape5);
    layout->addWidget(lamp);
    return frame;
}

QGroupBox* PageBuilder::band(const BandRef& band)
{
    FrmMain& form = editor_.form();
    const int k = band.band;
    const int column = editor_.state().tables.filterTableA.at(static_cast<std::size_t>(k));
    auto* frame = new QGroupBox(QString::fromLatin1(band.caption));
    frame->setObjectName(elementName("Frame17", k));
    binder_.frame(frame, form.Frame17.at(k));
    auto* grid = new QGridLayout(frame);
    grid->setVerticalSpacing(3);

    const QFontMetrics metrics{QFont()};
    auto* gainBox = valueBox(elementName("Text16", k), metrics.horizontalAdvance(QStringLiteral("-14.5")) + 16);
    bindValueBox(binder_, gainBox, form.Text16.at(k), form, [&editor = editor_, k] { editor.typedGain(k); });
    addResetActions(binder_, editor_, gainBox, column);
    grid->addWidget(gainBox, 0, 0, Qt::AlignHCenter);
    Slider& gain = form.Slider15.at(k);
    auto* slider = verticalSlider(elementName("Slider15", k), gain.max, kGainSliderHeight);
    binder_.slider(
        slider, gain, [&editor = editor_, k] { editor.gainSliderEvent(k); },
        [&editor = editor_] { editor.sliderReleased(); });
    slider->setToolTip(qs(bandToolTip(band, 0)));
    addResetActions(binder_, editor_, slider, column);
    const QString caption = plainLabel(band.caption);
    const char point = editor_.host().decimalPoint();
    describeSlider(
        slider, caption + QStringLiteral(" Gain"), gainBox,
        [max = gain.max, point](int position) { return qs(gainText(max - position, point)); }, QStringLiteral("dB"));
    describeValueBox(gainBox, caption + QStringLiteral(" Gain value"), slider->accessibleDescription());
    grid->addWidget(inOrder(slider), 1, 0, 4, 1, Qt::AlignHCenter);
    inOrder(gainBox);
    grid->addWidget(fixedLabel(QStringLiteral("dB")), 5, 0, Qt::AlignHCenter);

    grid->addWidget(fixedLabel(QStringLiteral("Freq"), Qt::AlignLeft | Qt::AlignBottom), 1, 1);
    auto* frequency = frequencyOrWidthList(elementName("Combo4", k));
    binder_.list(frequency, form.Combo4.at(k), [&editor = editor_, k] { editor.frequencyListClick(k); });
    markWhenDiffers(binder_, frequency, form);
    addResetActions(binder_, editor_, frequency, column + 1);
    // No buddy: a screen reader would speak the label's "Freq" for the name that says which band.
    describeList(frequency, caption + QStringLiteral(" Frequency"), frequencyRange());
    grid->addWidget(inOrder(frequency), 2, 1);
    grid->addWidget(fixedLabel(QStringLiteral("Q"), Qt::AlignLeft | Qt::AlignBottom), 3, 1);
    auto* width = frequencyOrWidthList(elementName("Combo3", k));
    binder_.list(width, form.Combo3.at(k), [&editor = editor_, k] { editor.widthListClick(k); });
    markWhenDiffers(binder_, width, form);
    addResetActions(binder_, editor_, width, column + 2);
    describeList(width, caption + QStringLiteral(" Width"),
                 rangeText(qs(catalogue::widthEntry(0)), qs(catalogue::widthEntry(catalogue::kWidthCount - 1))));
    grid->addWidget(inOrder(width), 4, 1);
    grid->setRowStretch(5, 1);
    return frame;
}

QGroupBox* PageBuilder::passFilters(std::span<const PassFilterRef> lists)
{
    FrmMain& form = editor_.form();
    auto* frame = new QGroupBox(QStringLiteral("Hp/Lp Filters"));
    auto* grid = new QGridLayout(frame);
    grid->setVerticalSpacing(3);
    grid->setHorizontalSpacing(12);
    int n = 0;
    for (const PassFilterRef& ref : lists) {
        const int row = (n / 2) * 2, column = n % 2;
        QLabel* label = fixedLabel(QString::fromLatin1(ref.label), Qt::AlignLeft | Qt::AlignBottom);
        grid->addWidget(label, row, column);
        auto* list = frequencyOrWidthList(elementName("Combo2", ref.list));
        binder_.list(list, form.Combo2.at(ref.list), [&editor = editor_, j = ref.list] { editor.passFilterClick(j); });
        markWhenDiffers(binder_, list, form);
        addResetActions(binder_, editor_, list,
                        editor_.state().tables.filterTableB.at(static_cast<std::size_t>(ref.list)));
        describeList(list, plainLabel(ref.label), frequencyRange());
        label->setBuddy(list);
        grid->addWidget(inOrder(list), row + 1, column);
        ++n;
    }
    grid->setRowStretch(grid->rowCount(), 1);
    return frame;
}

void PageBuilder::bindTypedBox(QLineEdit* box, const PageInfo& page, const PageParameter& parameter)
{
    bindValueBox(
        binder_, box, editor_.valueBox(page, parameter), editor_.form(),
        [&editor = editor_, element = page.element, index = parameter.index] { editor.typedValue(element, index); });
    addResetActions(binder_, editor_, box, parameter.column);
}

void PageBuilder::bindPageSlider(QSlider* slider, const PageInfo& page, const PageParameter& parameter)
{
    binder_.slider(
        slider, editor_.slider(page, parameter),
        [&editor = editor_, element = page.element, index = parameter.index] { editor.sliderEvent(element, index); },
        // A drag is one step of the history: the release ends it.
        [&editor = editor_] { editor.sliderReleased(); });
    slider->setToolTip(qs(parameterToolTip(editor_.state().tables, parameter)));
    addResetActions(binder_, editor_, slider, parameter.column);
}

QGroupBox* PageBuilder::build(const PageInfo& page)
{
    auto* frame = new QGroupBox(QString::fromLatin1(page.caption));
    frame->setObjectName(elementName("Frame5", page.element));
    auto* layout = new QVBoxLayout(frame);
    layout->setSpacing(10);

    // Centred in a wider window; the slider columns grow with its height.
    auto* top = new QHBoxLayout;
    top->setSpacing(6);
    top->addStretch();
    const int labels = labelHeight(page);
    for (const PageParameter& p : page.parameters) {
        if (p.kind == ControlKind::VerticalSlider)
            top->addWidget(sliderColumn(page, p, labels));
        else if (p.kind == ControlKind::HorizontalSlider)
            top->addWidget(semitones(page, p), 0, Qt::AlignTop);
    }
    auto* extras = new QVBoxLayout;
    extras->setSpacing(8);
    for (const PageParameter& p : page.parameters)
        if (p.kind == ControlKind::CheckBox)
            extras->addWidget(checkControl(page, p), 0, Qt::AlignLeft);
    if (page.element == kTapDelayPage)
        extras->addWidget(tapBox(), 0, Qt::AlignLeft);
    extras->addStretch();
    top->addSpacing(12);
    top->addLayout(extras);
    top->addStretch();
    layout->addLayout(top, 1);

    auto* bottom = new QHBoxLayout;
    bottom->setSpacing(8);
    bottom->addStretch();
    for (const BandRef& b : page.bands)
        bottom->addWidget(band(b), 0, Qt::AlignTop);
    if (!page.passFilters.empty())
        bottom->addWidget(passFilters(page.passFilters), 0, Qt::AlignTop);
    bottom->addStretch();
    layout->addLayout(bottom);
    for (std::size_t i = 1; i < tabOrder_.size(); ++i)
        QWidget::setTabOrder(tabOrder_[i - 1], tabOrder_[i]);
    tabOrder_.clear();
    return frame;
}

} // namespace qrv::ui
