#include "ui/windows/PresetDialogWindows.hpp"

#include "ui/pages/Binder.hpp"
#include "ui/pages/Accessible.hpp"
#include "ui/pages/PageBuilder.hpp"
#include "ui/pages/Widgets.hpp"

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace qrv::ui {

namespace {

constexpr int kCancel = 0;

QString slotSpoken(int row, const QString& name)
{
    const QString shown = name.trimmed();
    return QStringLiteral("%1 – %2").arg(row + 1).arg(shown.isEmpty() ? QStringLiteral("(no name)") : shown);
}

QLabel* boundLabel(Binder& binder, Label& control, const QString& name)
{
    auto* label = new QLabel;
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    binder.label(label, control);
    return label;
}

// The slot list with the slot numbers beside it, one number per row.
QWidget* slotList(Binder& binder, ListBox& list, Label& numbers, const QString& description,
                  std::function<void()> onClick, std::function<void()> onDoubleClick)
{
    auto* box = new QWidget;
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);

    auto* widget = new QListWidget;
    widget->setObjectName(QStringLiteral("List1"));
    widget->setUniformItemSizes(true);
    widget->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QFont fixed(QStringLiteral("DejaVu Sans Mono"));
    fixed.setStyleHint(QFont::Monospace);
    fixed.setPointSizeF(widget->font().pointSizeF());
    widget->setFont(fixed);
    widget->setAccessibleName(QStringLiteral("Preset slots"));
    widget->setAccessibleDescription(description);
    const QFontMetrics metrics(fixed);
    const int frame = 2 * widget->frameWidth();
    widget->setFixedSize(metrics.horizontalAdvance(QStringLiteral("WWWWWWWWWW")) + frame,
                         kSlotCount * metrics.lineSpacing() + frame + 2);
    binder.list(widget, list, onClick, std::move(onDoubleClick));
    // Read with its number, which the label beside shows: "1 – CONCERT", "2 – Empty".
    binder.custom(widget, [widget]() -> QWidget* {
        for (int row = 0; row < widget->count(); ++row) {
            QListWidgetItem* item = widget->item(row);
            const QString spoken = slotSpoken(row, item->text());
            if (item->data(Qt::AccessibleTextRole).toString() != spoken)
                item->setData(Qt::AccessibleTextRole, spoken);
        }
        return nullptr;
    });
    if (onClick) {
        // A click on the entry that is already current is a choice too.
        QObject::connect(widget, &QListWidget::itemClicked, widget,
                         [&binder, &list, widget, onClick](QListWidgetItem* item) {
                             binder.handle(
                                 [&] {
                                     list.index = widget->row(item);
                                     onClick();
                                 },
                                 widget);
                         });
    }

    auto* label = boundLabel(binder, numbers, QStringLiteral("Label1"));
    label->setFont(fixed);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignRight | Qt::AlignTop);
    label->setFixedWidth(metrics.horizontalAdvance(QStringLiteral("00")) + 2);
    label->setContentsMargins(0, widget->frameWidth() + 1, 0, 0);
    row->addWidget(label, 0, Qt::AlignTop);
    row->addWidget(widget, 0, Qt::AlignTop);
    return box;
}

QHBoxLayout* buttons(Binder& binder, ControlArray<CommandButton>& controls, std::function<void(int)> onClick)
{
    auto* row = new QHBoxLayout;
    row->addStretch();
    for (auto& [index, control] : controls) {
        auto* button = new QPushButton;
        button->setObjectName(elementName("Command1", index));
        // Enter presses the focused button, elsewhere the dialog's action ("Load", "Store").
        button->setAutoDefault(true);
        button->setDefault(index != kCancel);
        binder.button(button, control, [onClick, i = index] { onClick(i); });
        row->insertWidget(1, button); // higher indices to the left: "Load" before "Cancel"
    }
    return row;
}

QProgressBar* progressBar(Binder& binder, ProgressBar& control)
{
    auto* bar = new QProgressBar;
    bar->setObjectName(QStringLiteral("ProgressBar1"));
    bar->setTextVisible(false);
    binder.progress(bar, control);
    return bar;
}

// Closes the dialog once its model says it has unloaded itself.
void closeWhenUnloaded(Binder& binder, QDialog* window, const bool& open)
{
    binder.custom(window, [window, &open]() -> QWidget* {
        if (!open && window->isVisible())
            window->done(QDialog::Accepted);
        return nullptr;
    });
}

// A fixed size wide enough for the whole title beside the window manager's buttons.
void fitTitle(QDialog* dialog)
{
    const QFontMetrics metrics(QApplication::font("QMdiSubWindowTitleBar"));
    const int titleWidth = metrics.horizontalAdvance(dialog->windowTitle()) + 160;
    const QSize hint = dialog->sizeHint();
    dialog->setFixedSize(std::max(hint.width(), titleWidth), hint.height());
}

} // namespace

QString nameLengthText(int length)
{
    return length >= kNameLength ? QStringLiteral("%1 of %1 characters: the name is full").arg(kNameLength)
                                 : QStringLiteral("%1 of %2 characters").arg(length).arg(kNameLength);
}

ReadDialogWindow::ReadDialogWindow(ReadDialog& dialog, Binder& binder, QWidget* parent)
    : QDialog(parent), dialog_(dialog), binder_(binder)
{
    FrmRead& form = dialog_.form;
    setObjectName(QStringLiteral("FrmRead"));
    setWindowTitle(qs(form.caption));
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    QLabel* heading = boundLabel(binder_, form.Label3, QStringLiteral("Label3"));
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    layout->addWidget(heading);
    layout->addWidget(slotList(binder_, form.List1, form.Label1,
                               QStringLiteral("The eight stored presets of the current effect, slot 1 first. Double "
                                              "click or Load reads the chosen one into the editor."),
                               {}, [this] { dialog_.listDoubleClick(); }),
                      0, Qt::AlignHCenter);
    layout->addWidget(progressBar(binder_, form.ProgressBar1));
    layout->addLayout(buttons(binder_, form.Command1, [this](int i) { dialog_.commandClick(i); }));
    closeWhenUnloaded(binder_, this, form.open);
    binder_.sync();
    fitTitle(this);
}

void ReadDialogWindow::reject()
{
    binder_.handle([this] { dialog_.commandClick(kCancel); }, this);
    if (isVisible())
        QDialog::reject();
}

StoreDialogWindow::StoreDialogWindow(StoreDialog& dialog, Binder& binder, QWidget* parent)
    : QDialog(parent), dialog_(dialog), binder_(binder)
{
    FrmStore& form = dialog_.form;
    setObjectName(QStringLiteral("FrmStore"));
    setWindowTitle(qs(form.caption));
    setModal(true);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(
        slotList(
            binder_, form.List1, form.Label1,
            QStringLiteral("The eight stored presets of the current effect, slot 1 first. A click chooses the slot to "
                           "store into; a double click also takes its name."),
            [this] { dialog_.listClick(); }, [this] { dialog_.listDoubleClick(); }),
        0, Qt::AlignTop);

    auto* side = new QVBoxLayout;
    QLabel* positionLabel = boundLabel(binder_, form.Label2.at(0), elementName("Label2", 0));
    side->addWidget(positionLabel);
    auto* position = new ChoiceList;
    position->setObjectName(QStringLiteral("Combo1"));
    positionLabel->setBuddy(position);
    describeList(position, QStringLiteral("Select position"), QStringLiteral("The slot the preset is stored into"));
    binder_.list(position, form.Combo1, [] {});
    side->addWidget(position, 0, Qt::AlignLeft);
    side->addSpacing(6);
    QLabel* nameLabel = boundLabel(binder_, form.Label2.at(1), elementName("Label2", 1));
    side->addWidget(nameLabel);
    auto* name = new QLineEdit;
    name->setObjectName(QStringLiteral("Text1"));
    nameLabel->setBuddy(name);
    name->setAccessibleName(QStringLiteral("Edit Name"));
    name->setMaxLength(kNameLength); // the unit keeps eight characters
    binder_.editableText(name, form.Text1);
    side->addWidget(name);
    // The box takes no more than the unit keeps, and says so.
    auto* count = new QLabel;
    count->setObjectName(QStringLiteral("NameLength"));
    side->addWidget(count);
    const auto showCount = [name, count] {
        const QString text = nameLengthText(static_cast<int>(name->text().size()));
        count->setText(text);
        name->setAccessibleDescription(text);
    };
    connect(name, &QLineEdit::textChanged, count, showCount);
    binder_.custom(count, [showCount]() -> QWidget* {
        showCount();
        return nullptr;
    });
    side->addStretch();
    side->addWidget(progressBar(binder_, form.ProgressBar1));
    side->addLayout(buttons(binder_, form.Command1, [this](int i) { dialog_.commandClick(i); }));
    layout->addLayout(side);
    closeWhenUnloaded(binder_, this, form.open);
    binder_.sync();
    fitTitle(this);
    // The keyboard starts on the name, ready to be typed over; Enter then stores.
    name->setFocus(Qt::OtherFocusReason);
    name->selectAll();
}

void StoreDialogWindow::reject()
{
    binder_.handle([this] { dialog_.commandClick(kCancel); }, this);
    if (isVisible())
        QDialog::reject();
}

} // namespace qrv::ui
