#pragma once

#include "storage/PresetLibrary.hpp"

#include <QDockWidget>

#include <QHash>
#include <QSet>

#include <deque>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <vector>

class QAction;
class QMenu;
class QLabel;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace qrv::ui {

class MainWindow;

// "Preset Library": the preset and project files of the Preset folder and its subfolders
// with the effect of each. Activating one (double click, Enter) hands its path to the
// loader. While shown, the list follows the folder on disk: it watches folders, not files,
// lists off the window's thread and changes only the entries that changed.
class PresetLibraryPanel final : public QDockWidget {
    Q_OBJECT
public:
    // folder: where the files are kept, asked again at every scan.
    PresetLibraryPanel(std::function<std::filesystem::path()> folder,
                       std::function<void(const std::filesystem::path&)> load, QWidget* parent = nullptr);

    ~PresetLibraryPanel() override;

    QTreeWidget* list() const { return list_; }
    int listedFiles() const { return static_cast<int>(fileItems_.size()); }
    int watchCount() const;
    // Reads the whole folder again now (off the window's thread).
    void rescan();

signals:
    // The list holds what was on disk at the last look.
    void rescanned();

protected:
    void changeEvent(QEvent* event) override;

private:
    void fitEffectColumn();
    void folderChanged(const QString& path);
    void startListing();
    void received(const std::shared_ptr<LibraryUpdate>& update);
    void applySome();
    void apply(LibraryFolderChange& change);
    void finishUpdate();
    QTreeWidgetItem* folderItem(const std::filesystem::path& relative);
    void place(QTreeWidgetItem* parent, QTreeWidgetItem* item, bool folder);
    void removeItem(QTreeWidgetItem* item);
    void showMessage();
    void showList();
    void activate(QTreeWidgetItem* item);

    class FolderWatch;
    std::function<std::filesystem::path()> folder_;
    std::function<void(const std::filesystem::path&)> load_;
    std::filesystem::path shownFolder_;
    QString shownRoot_; // the same, as the entries show it
    std::unique_ptr<PresetLibrary> library_; // used by one listing at a time, off the window's thread
    std::future<void> listing_;
    bool wholeWanted_ = false;
    std::vector<std::filesystem::path> dirty_; // folders to look at again, relative
    std::deque<LibraryFolderChange> pending_;  // listed, not yet in the list
    bool folderFound_ = false;
    QHash<QString, QTreeWidgetItem*> folderItems_, fileItems_; // by relative path
    QLabel* message_;
    QTreeWidget* list_ = nullptr;
    FolderWatch* watch_;
    QTimer* settle_;
    QTimer* applier_;
    bool loading_ = false;
    bool largeUpdate_ = false; // many files listed: their data is given back at the end
    std::shared_ptr<LibraryUpdate> afterLoad_; // listed during a load
};

// Docks the panel, hidden, at the main window's side; the menu gets its show/hide entry
// before `before`.
void addPresetLibrary(MainWindow* main, QMenu* menu, QAction* before, PresetLibraryPanel* panel);
// Docks a panel, hidden, at the main window's side, with its show/hide entry (text and key
// set beforehand) in the menu before `before`: shown, it takes the focus and the window
// widens for it; the main window remembers whether it was open.
void dockPanel(MainWindow* main, QMenu* menu, QAction* before, QDockWidget* panel);

} // namespace qrv::ui
