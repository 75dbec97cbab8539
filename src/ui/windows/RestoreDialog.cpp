#include "ui/windows/RestoreDialog.hpp"

#include "app/DeviceBackup.hpp"
#include "editor/Catalogue.hpp"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace qrv::ui {

namespace {

QString effectCaption(const EffectBackup& effect, int e)
{
    const auto stored = std::count_if(effect.presets.begin(), effect.presets.end(),
                                      [](const SlotBackup& slot) { return slot.stored(); });
    return QStringLiteral("%1  (%2 stored %3)")
        .arg(QString::fromLatin1(catalogue::effect(e).listText))
        .arg(stored)
        .arg(stored == 1 ? QStringLiteral("preset") : QStringLiteral("presets"));
}

} // namespace

RestoreDialog::RestoreDialog(const UnitBackup& backup, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("RestoreDialog"));
    setWindowTitle(QString::fromLatin1(kRestoreDeviceTitle));
    auto* layout = new QVBoxLayout(this);

    auto* warning = new QLabel(QString::fromLatin1(kRestoreWarningText), this);
    warning->setObjectName(QStringLiteral("RestoreWarning"));
    warning->setWordWrap(true);
    QFont bold = warning->font();
    bold.setBold(true);
    warning->setFont(bold);
    layout->addWidget(warning);
    auto* whole = new QLabel(QStringLiteral("With all sixteen effects ticked, the unit's current effect and effect "
                                            "switch are restored too."),
                             this);
    whole->setWordWrap(true);
    layout->addWidget(whole);

    auto* grid = new QGridLayout;
    constexpr int kRows = kEffectCount / 2;
    for (int e = 0; e < kEffectCount; ++e) {
        auto* box = new QCheckBox(effectCaption(backup.effects[static_cast<std::size_t>(e)], e), this);
        box->setObjectName(QStringLiteral("RestoreEffect_%1").arg(e));
        box->setChecked(true);
        connect(box, &QCheckBox::toggled, this, [this] { updateOk(); });
        boxes_[static_cast<std::size_t>(e)] = box;
        grid->addWidget(box, e % kRows, e / kRows);
    }
    layout->addLayout(grid);

    auto* selection = new QHBoxLayout;
    auto* all = new QPushButton(QStringLiteral("Select &All"), this);
    all->setObjectName(QStringLiteral("SelectAll"));
    auto* none = new QPushButton(QStringLiteral("Select &None"), this);
    none->setObjectName(QStringLiteral("SelectNone"));
    connect(all, &QPushButton::clicked, this, [this] { tickAll(true); });
    connect(none, &QPushButton::clicked, this, [this] { tickAll(false); });
    selection->addWidget(all);
    selection->addWidget(none);
    selection->addStretch();
    layout->addLayout(selection);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ok_ = buttons->button(QDialogButtonBox::Ok);
    ok_->setText(QStringLiteral("&Restore"));
    ok_->setObjectName(QStringLiteral("RestoreOk"));
    // A restore overwrites the unit: Enter alone must not start one.
    ok_->setAutoDefault(false);
    buttons->button(QDialogButtonBox::Cancel)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    updateOk();
}

std::set<int> RestoreDialog::chosen() const
{
    std::set<int> out;
    for (int e = 0; e < kEffectCount; ++e)
        if (boxes_[static_cast<std::size_t>(e)]->isChecked())
            out.insert(e);
    return out;
}

void RestoreDialog::tickAll(bool ticked)
{
    for (QCheckBox* box : boxes_)
        box->setChecked(ticked);
}

void RestoreDialog::updateOk()
{
    ok_->setEnabled(std::any_of(boxes_.begin(), boxes_.end(), [](const QCheckBox* box) { return box->isChecked(); }));
}

std::set<int> chooseEffectsToRestore(const UnitBackup& backup, QWidget* parent)
{
    RestoreDialog dialog(backup, parent);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.chosen();
}

} // namespace qrv::ui
