#pragma once

#include "devmem/Backup.hpp"

#include <QDialog>

#include <array>
#include <set>

class QCheckBox;
class QPushButton;

namespace qrv::ui {

// Which effects of a backup to write to the unit: one box per effect, all ticked at first,
// with the warning of what a restore overwrites. OK is offered only while a box is ticked.
class RestoreDialog final : public QDialog {
    Q_OBJECT
public:
    explicit RestoreDialog(const UnitBackup& backup, QWidget* parent = nullptr);

    std::set<int> chosen() const;
    QPushButton* okButton() const { return ok_; }

private:
    void tickAll(bool ticked);
    void updateOk();

    std::array<QCheckBox*, kEffectCount> boxes_{};
    QPushButton* ok_ = nullptr;
};

// Runs the dialog: the ticked effects, or none when the user cancelled.
std::set<int> chooseEffectsToRestore(const UnitBackup& backup, QWidget* parent);

} // namespace qrv::ui
