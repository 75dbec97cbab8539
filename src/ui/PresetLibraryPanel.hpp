#pragma once

#include "storage/PresetLibrary.hpp"

#include <QDockWidget>

#include <filesystem>
#include <functional>
#include <vector>

class QAction;
class QFileSystemWatcher;
class QMenu;
class QLabel;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace qrv::ui {

class MainWindow;

// "Preset Library": the preset and project files of the Preset folder and its subfolders
// with the effect of each. Activating one (double click, Enter) hands its path to the
// loader. While shown, the list follows the folder on disk.
class PresetLibraryPanel final : public QDockWidget {
    Q_OBJECT
public:
    // folder: where the files are kept, asked again at every scan.
    PresetLibraryPanel(std::function<std::filesystem::path()> folder,
                       std::function<void(const std::filesystem::path&)> load, QWidget* parent = nullptr);

    QTreeWidget* list() const { return list_; }
    QFileSystemWatcher* watcher() const { return watcher_; }
    // Reads the folder again now.
    void rescan();

signals:
    // The list was read again from disk.
    void rescanned();

private:
    void scheduleRescan();
    void fill(const LibraryScan& scan);
    void watch(const LibraryScan& scan);
    void activate(QTreeWidgetItem* item);

    std::function<std::filesystem::path()> folder_;
    std::function<void(const std::filesystem::path&)> load_;
    std::filesystem::path shownFolder_;
    std::vector<LibraryFile> files_;
    QLabel* message_;
    QTreeWidget* list_;
    QFileSystemWatcher* watcher_;
    QTimer* settle_;
    bool loading_ = false;
    bool rescanAfterLoad_ = false;
};

// Docks the panel, hidden, at the main window's side; the menu gets its show/hide entry
// before `before`.
void addPresetLibrary(MainWindow* main, QMenu* menu, QAction* before, PresetLibraryPanel* panel);

} // namespace qrv::ui
