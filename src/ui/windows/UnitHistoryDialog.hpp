#pragma once

#include "app/AutoBackup.hpp"

#include <QDialog>

#include <filesystem>
#include <optional>
#include <vector>

class QAction;
class QMenu;
class QPushButton;
class QSettings;
class QStandardItemModel;
class QTableView;

namespace qrv {
class Program;
}

namespace qrv::ui {

class Binder;

// The automatic backups of every unit, newest first: when, which unit, and how many of its
// preset slots differ from what the editor holds of the unit now. Restore hands the chosen
// backup to the restore; Pin keeps one past the ten that are kept per unit.
class UnitHistoryDialog final : public QDialog {
    Q_OBJECT
public:
    UnitHistoryDialog(const std::filesystem::path& folder, const UnitBackup& held, const UnitKnowledge& known,
                      QWidget* parent = nullptr);
    // The backup to restore, once the dialog was closed with Restore.
    const std::optional<std::filesystem::path>& chosen() const { return chosen_; }
    QTableView* table() const { return table_; }

private:
    void fill();
    std::optional<BackupEntry> selected() const;
    void selectionChanged();

    std::filesystem::path folder_;
    UnitBackup held_;
    const UnitKnowledge& known_;
    std::vector<BackupEntry> entries_;
    QStandardItemModel* model_ = nullptr;
    QTableView* table_ = nullptr;
    QPushButton* restore_ = nullptr;
    QPushButton* pin_ = nullptr;
    std::optional<std::filesystem::path> chosen_;
};

// File menu: "Unit History…" and the checkable "Back Up Automatically" (remembered in `memory`),
// inserted before `before`.
void addUnitHistory(QMenu* file, QAction* before, Binder& binder, Program& program, QSettings& memory,
                    QWidget* parent);

} // namespace qrv::ui
