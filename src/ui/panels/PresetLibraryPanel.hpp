#pragma once

#include "storage/PresetLibrary.hpp"

#include <QDockWidget>
#include <QTreeView>

#include <deque>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <vector>

class QAction;
class QKeySequence;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QTimer;
class QTreeView;

namespace qrv::ui {

class MainWindow;

class LibraryFilter;
class LibraryModel;

// "Preset Library": the preset and project files of the Preset folder and its subfolders
// with the effect of each and the file each is identical to. Activating one (double click,
// Enter) hands its path to the loader; presets drag out as files. A search and an effect
// narrow the list. While shown, the list follows the folder on disk: it watches folders, not
// files, lists off the window's thread and changes only the entries that changed.
class PresetLibraryPanel final : public QDockWidget {
    Q_OBJECT
public:
    // folder: where the files are kept, asked again at every scan.
    PresetLibraryPanel(std::function<std::filesystem::path()> folder,
                       std::function<void(const std::filesystem::path&)> load, QWidget* parent = nullptr);

    ~PresetLibraryPanel() override;

    QTreeView* list() const { return list_; }
    LibraryModel* model() const { return model_; }
    int listedFiles() const;
    int watchCount() const;
    // Reads the whole folder again now (off the window's thread).
    void rescan();
    // An entry of the list's menu, with its key, that hands `compare` the selected files.
    void addCompare(const QString& text, const QKeySequence& key,
                    std::function<void(const std::vector<std::filesystem::path>&)> compare);

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
    void finishUpdate();
    void filterChanged();
    void openFolders();
    void showMessage();
    void showList();
    void activate(const QModelIndex& index);

    class FolderWatch;
    std::function<std::filesystem::path()> folder_;
    std::function<void(const std::filesystem::path&)> load_;
    std::filesystem::path shownFolder_;
    std::unique_ptr<PresetLibrary> library_; // used by one listing at a time, off the window's thread
    std::future<void> listing_;
    bool wholeWanted_ = false;
    std::vector<std::filesystem::path> dirty_; // folders to look at again, relative
    std::deque<LibraryFolderChange> pending_;  // listed, not yet in the list
    std::vector<LibraryIdentical> identicalPending_; // after the changes
    bool folderFound_ = false;
    LibraryModel* model_;
    LibraryFilter* filter_;
    QLabel* message_;
    QLineEdit* search_;
    QComboBox* effect_;
    QTreeView* list_ = nullptr;
    FolderWatch* watch_;
    QTimer* countTold_ = nullptr; // says how many files a search or filter shows, once typing pauses
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

// A panel's list: come back to, it has a screen reader say the row it is on, not only its own name.
class PanelTree : public QTreeView {
public:
    using QTreeView::QTreeView;

protected:
    void focusInEvent(QFocusEvent* event) override;
};
// One heap for all threads, set before any starts: the gaps a Library listing's thread
// would leave in a heap of its own stay, while the window's thread fills them when shared.
void shareOneHeap();
// Says what a panel's key did, or why not: in the window's status bar for a while, and to
// a screen reader, once while the same text still shows.
void tellFromPanel(QWidget* panel, const QString& text);

} // namespace qrv::ui
