#include "ui/windows/UnitHistoryDialog.hpp"

#include "ui/pages/Binder.hpp"
#include "ui/windows/RestoreDialog.hpp"

#include "app/DeviceBackup.hpp"
#include "app/Program.hpp"
#include "backupfile/BackupFile.hpp"

#include <QAction>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

namespace qrv::ui {

namespace {

const char* const kAutomaticBackupKey = "backup/automatic";
constexpr const char* kHistoryTitle = "Unit History";
enum Column { Date, Unit, Differing, Pinned, Columns };

} // namespace

UnitHistoryDialog::UnitHistoryDialog(const std::filesystem::path& folder, const UnitBackup& held,
                                     const UnitKnowledge& known, QWidget* parent)
    : QDialog(parent), folder_(folder), held_(held), known_(known)
{
    setObjectName(QStringLiteral("UnitHistoryDialog"));
    setWindowTitle(QString::fromLatin1(kHistoryTitle));
    auto* layout = new QVBoxLayout(this);
    auto* where = new QLabel(QStringLiteral("Backups the editor made of each unit on its own, in %1. The ten newest "
                                            "of each unit are kept, and every pinned one.")
                                 .arg(qs(folder.string())),
                             this);
    where->setWordWrap(true);
    where->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(where);

    model_ = new QStandardItemModel(0, Columns, this);
    model_->setHorizontalHeaderLabels(
        {QStringLiteral("Date"), QStringLiteral("Unit"), QStringLiteral("Presets differing"), QStringLiteral("Pinned")});
    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("UnitHistoryTable"));
    table_->setAccessibleName(QStringLiteral("Automatic backups"));
    table_->setAccessibleDescription(
        QStringLiteral("Date, unit, how many presets differ from the unit now, and whether the backup is pinned"));
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setTabKeyNavigation(false);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(table_);
    where->setBuddy(table_);

    auto* buttons = new QDialogButtonBox(this);
    restore_ = buttons->addButton(QStringLiteral("&Restore…"), QDialogButtonBox::ActionRole);
    restore_->setObjectName(QStringLiteral("UnitHistoryRestore"));
    restore_->setToolTip(QStringLiteral("Write the selected backup to the unit, all effects or chosen ones"));
    pin_ = buttons->addButton(QStringLiteral("&Pin"), QDialogButtonBox::ActionRole);
    pin_->setObjectName(QStringLiteral("UnitHistoryPin"));
    QPushButton* close = buttons->addButton(QDialogButtonBox::Close);
    close->setObjectName(QStringLiteral("UnitHistoryClose"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(restore_, &QPushButton::clicked, this, [this] {
        if (const auto entry = selected()) {
            chosen_ = entry->file;
            accept();
        }
    });
    connect(table_, &QTableView::activated, restore_, &QPushButton::click);
    connect(pin_, &QPushButton::clicked, this, [this] {
        const auto entry = selected();
        if (!entry)
            return;
        if (const auto problem = setPinned(entry->file, !entry->pinned)) {
            QMessageBox::warning(this, QString::fromLatin1(kHistoryTitle), qs(*problem));
            return;
        }
        const int row = table_->currentIndex().row();
        fill();
        table_->selectRow(row);
    });
    fill();
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &UnitHistoryDialog::selectionChanged);
    table_->selectRow(0);
    selectionChanged();
    table_->setFocus();
    resize(620, 360);
}

void UnitHistoryDialog::fill()
{
    entries_ = listBackups(folder_);
    model_->removeRows(0, model_->rowCount());
    const std::string heldKey = unitKey(held_);
    for (const BackupEntry& entry : entries_) {
        const DecodedBackup decoded = readBackupFile(entry.file);
        const QString unit = qs(entry.unit) + (entry.unit == heldKey ? QStringLiteral(" (this unit)") : QString());
        const QString differing = decoded.unit ? QString::number(presetsDiffering(*decoded.unit, held_, known_))
                                               : QStringLiteral("unreadable: ") + qs(decoded.problem);
        QList<QStandardItem*> row{
            new QStandardItem(QDateTime::fromSecsSinceEpoch(entry.made).toString(QStringLiteral("yyyy-MM-dd HH:mm"))),
            new QStandardItem(unit), new QStandardItem(differing),
            new QStandardItem(entry.pinned ? QStringLiteral("pinned") : QString())};
        model_->appendRow(row);
    }
    table_->resizeColumnsToContents();
}

std::optional<BackupEntry> UnitHistoryDialog::selected() const
{
    const int row = table_->currentIndex().row();
    if (row < 0 || row >= static_cast<int>(entries_.size()))
        return std::nullopt;
    return entries_[static_cast<std::size_t>(row)];
}

void UnitHistoryDialog::selectionChanged()
{
    const auto entry = selected();
    restore_->setEnabled(entry.has_value());
    pin_->setEnabled(entry.has_value());
    pin_->setText(entry && entry->pinned ? QStringLiteral("Un&pin") : QStringLiteral("&Pin"));
    pin_->setToolTip(entry && entry->pinned ? QStringLiteral("Let this backup go once ten newer ones are kept")
                                            : QStringLiteral("Keep this backup however many newer ones are made"));
}

void addUnitHistory(QMenu* file, QAction* before, Binder& binder, Program& program, QSettings& memory,
                    QWidget* parent)
{
    auto* history = new QAction(QStringLiteral("Unit &History…"), file);
    history->setObjectName(QStringLiteral("Menu_UnitHistory"));
    history->setStatusTip(QStringLiteral("The backups the editor made of the unit on its own; restore one"));
    file->insertAction(before, history);
    QObject::connect(history, &QAction::triggered, parent, [&binder, &program, parent] {
        UnitHistoryDialog dialog(program.autoBackup.folder(), program.reading.held(), program.state.known, parent);
        if (dialog.exec() != QDialog::Accepted || !dialog.chosen())
            return;
        binder.handle([&] {
            restoreDeviceFrom(program.editor, *dialog.chosen(),
                              [parent](const UnitBackup& backup) { return chooseEffectsToRestore(backup, parent); });
        });
    });

    auto* automatic = new QAction(QStringLiteral("Back Up &Automatically"), file);
    automatic->setObjectName(QStringLiteral("Menu_BackUpAutomatically"));
    automatic->setCheckable(true);
    automatic->setChecked(memory.value(QString::fromLatin1(kAutomaticBackupKey), true).toBool());
    automatic->setStatusTip(QStringLiteral("Read and back up every unit on its own while it is idle"));
    program.autoBackup.setEnabled(automatic->isChecked());
    file->insertAction(before, automatic);
    QObject::connect(automatic, &QAction::toggled, parent, [&program, &memory](bool on) {
        program.autoBackup.setEnabled(on);
        memory.setValue(QString::fromLatin1(kAutomaticBackupKey), on);
    });
}

} // namespace qrv::ui
