#include "ui/panels/PresetLibraryPanel.hpp"

#include "ui/panels/LibraryModel.hpp"
#include "ui/pages/Accessible.hpp"

#include "ui/windows/EditorWindow.hpp"
#include "ui/windows/MainWindow.hpp"

#include "devmem/UnitSlots.hpp"
#include "editor/Catalogue.hpp"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QHeaderView>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#ifdef Q_OS_LINUX
#include <QSocketNotifier>

#include <sys/inotify.h>
#include <unistd.h>
#else
#include <QFileSystemWatcher>
#endif

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <algorithm>
#include <memory>
#include <utility>

namespace qrv::ui {

namespace fs = std::filesystem;

namespace {

// Several events of one save or copy make one look.
constexpr int kSettleMs = 100;
// Typing that pauses this long has its result count said, rather than one count a key.
constexpr int kCountToldMs = 600;
// The longest the window's thread spends on the list before it serves its other events.
constexpr int kApplySliceMs = 10;
// Files taken into the model at a time: one notice to the views for each such batch.
constexpr std::size_t kBatch = 256;

} // namespace

// One watch a folder: it tells of files created, removed, renamed and rewritten in place in
// the folder, which a folder watch of QFileSystemWatcher does not (it needs one a file).
class PresetLibraryPanel::FolderWatch final : public QObject {
public:
    FolderWatch(std::function<void(const QString&)> changed, QObject* parent)
        : QObject(parent), changed_(std::move(changed))
    {
#ifdef Q_OS_LINUX
        fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (fd_ >= 0) {
            auto* notifier = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
            connect(notifier, &QSocketNotifier::activated, this, [this] { readEvents(); });
        }
#else
        watcher_ = new QFileSystemWatcher(this);
        connect(watcher_, &QFileSystemWatcher::directoryChanged, this, [this](const QString& path) { changed_(path); });
#endif
    }
    ~FolderWatch() override
    {
#ifdef Q_OS_LINUX
        if (fd_ >= 0)
            ::close(fd_);
#endif
    }

    // Watches exactly these folders.
    void follow(const QStringList& folders)
    {
        const QSet<QString> wanted(folders.begin(), folders.end());
        for (const QString& path : QStringList(watched_.keys()))
            if (!wanted.contains(path))
                remove(path);
        for (const QString& path : folders)
            if (!watched_.contains(path))
                add(path);
    }
    int count() const { return static_cast<int>(watched_.size()); }

private:
#ifdef Q_OS_LINUX
    void add(const QString& path)
    {
        if (fd_ < 0)
            return;
        const int wd = inotify_add_watch(fd_, QFile::encodeName(path).constData(),
                                         IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE |
                                             IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR);
        if (wd < 0)
            return;
        watched_.insert(path, wd);
        paths_.insert(wd, path);
    }
    void remove(const QString& path)
    {
        const int wd = watched_.take(path);
        // A folder removed with its watch may have given its number to another one already.
        if (paths_.value(wd) == path) {
            paths_.remove(wd);
            inotify_rm_watch(fd_, wd);
        }
    }
    void readEvents()
    {
        alignas(inotify_event) char buffer[16384];
        QSet<QString> folders;
        for (;;) {
            const ssize_t got = ::read(fd_, buffer, sizeof buffer);
            if (got <= 0)
                break;
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if (const auto path = paths_.constFind(event->wd); path != paths_.cend()) {
                    folders.insert(*path);
                    if (event->mask & IN_IGNORED) { // the folder and its watch are gone
                        watched_.remove(*path);
                        paths_.erase(path);
                    }
                }
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        for (const QString& folder : folders)
            changed_(folder);
    }
    int fd_ = -1;
    QHash<int, QString> paths_;
#else
    void add(const QString& path)
    {
        if (watcher_->addPath(path))
            watched_.insert(path, 0);
    }
    void remove(const QString& path)
    {
        watched_.remove(path);
        watcher_->removePath(path);
    }
    QFileSystemWatcher* watcher_;
#endif
    std::function<void(const QString&)> changed_;
    QHash<QString, int> watched_;
};

PresetLibraryPanel::PresetLibraryPanel(std::function<fs::path()> folder, std::function<void(const fs::path&)> load,
                                       QWidget* parent)
    : QDockWidget(QStringLiteral("Preset Library"), parent), folder_(std::move(folder)), load_(std::move(load)),
      library_(std::make_unique<PresetLibrary>()), model_(new LibraryModel(this)), filter_(new LibraryFilter(model_, this))
{
    setObjectName(QStringLiteral("PresetLibrary"));
    setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);

    auto* body = new QWidget;
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(4, 4, 4, 4);
    message_ = new QLabel;
    message_->setObjectName(QStringLiteral("LibraryMessage"));
    message_->setTextFormat(Qt::PlainText);
    message_->setWordWrap(true);
    // Reachable by keyboard, so that the key that opens the panel has a place to put the focus.
    message_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    message_->setFocusPolicy(Qt::StrongFocus);
    layout->addWidget(message_);

    search_ = new QLineEdit;
    search_->setObjectName(QStringLiteral("LibrarySearch"));
    search_->setPlaceholderText(QStringLiteral("Search names and effects"));
    search_->setAccessibleName(QStringLiteral("Search the Preset Library"));
    search_->setClearButtonEnabled(true);
    effect_ = new QComboBox;
    effect_->setObjectName(QStringLiteral("LibraryEffect"));
    // Named before it has entries: adding one makes its accessible interface for good.
    describeList(effect_, QStringLiteral("Show the files of"),
                 QStringLiteral("All effects, or one effect whose presets alone are listed"));
    effect_->addItem(QStringLiteral("All effects"), -1);
    for (int effect = 0; effect < kEffectCount; ++effect)
        effect_->addItem(QString::fromUtf8(catalogue::effect(effect).listText), effect);
    auto* narrow = new QHBoxLayout;
    narrow->addWidget(search_, 1);
    narrow->addWidget(effect_);
    layout->addLayout(narrow);

    list_ = new PanelTree;
    list_->setObjectName(QStringLiteral("LibraryList"));
    list_->setModel(filter_);
    list_->setRootIsDecorated(true);
    list_->setUniformRowHeights(true);
    list_->setAllColumnsShowFocus(true);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setDragEnabled(true);
    list_->setDragDropMode(QAbstractItemView::DragOnly);
    // The names keep a width the user can change; the file each is identical to takes the
    // rest, beyond the panel's edge if need be.
    list_->header()->setStretchLastSection(true);
    list_->header()->setSectionResizeMode(LibraryModel::FileColumn, QHeaderView::Interactive);
    // As wide as the widest effect text: sized to its contents, the column would be measured
    // again over a thousand rows at every change.
    list_->header()->setSectionResizeMode(LibraryModel::EffectColumn, QHeaderView::Fixed);
    fitEffectColumn();
    list_->setAccessibleName(QStringLiteral("Preset Library"));
    list_->setAccessibleDescription(
        QStringLiteral("Preset and project files of the Preset folder and its subfolders, with the effect of each "
                       "and the file each is identical to. Double click or Enter loads the file; presets can be "
                       "dragged onto the unit's slots, or copied with Ctrl+C and pasted there with Ctrl+V."));
    list_->setToolTip(QStringLiteral("Double click or Enter loads the file"));
    // The keyboard's drag: the files as a drag carries them, for a slot of Unit Presets or a file manager.
    auto* copy = new QAction(QStringLiteral("Copy Files"), list_);
    copy->setObjectName(QStringLiteral("LibraryCopy"));
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    connect(copy, &QAction::triggered, this, [this] {
        QModelIndexList rows;
        for (const QModelIndex& row : list_->selectionModel()->selectedRows())
            rows << filter_->mapToSource(row);
        QMimeData* files = model_->mimeData(rows);
        if (!files)
            return;
        const qsizetype count = files->urls().size();
        QGuiApplication::clipboard()->setMimeData(files);
        tellFromPanel(list_, QStringLiteral("Copied %1: paste %2 onto a slot or an effect in Unit Presets")
                                 .arg(QString::fromStdString(countText(static_cast<std::size_t>(count), "preset file")),
                                      count == 1 ? QStringLiteral("it") : QStringLiteral("them")));
    });
    list_->addAction(copy);
    list_->setContextMenuPolicy(Qt::ActionsContextMenu);
    list_->hide();
    layout->addWidget(list_, 1);
    layout->addStretch(); // keeps the message at the top while there is no list
    setWidget(body);
    setMinimumWidth(220);

    watch_ = new FolderWatch([this](const QString& path) { folderChanged(path); }, this);
    settle_ = new QTimer(this);
    settle_->setObjectName(QStringLiteral("settle"));
    settle_->setSingleShot(true);
    settle_->setInterval(kSettleMs);
    connect(settle_, &QTimer::timeout, this, [this] { startListing(); });
    applier_ = new QTimer(this);
    applier_->setSingleShot(true);
    applier_->setInterval(0);
    connect(applier_, &QTimer::timeout, this, [this] { applySome(); });
    connect(list_, &QTreeView::activated, this, [this](const QModelIndex& index) { activate(index); });
    // A folder is shown open until the user closes it, and stays as the user left it.
    connect(model_, &LibraryModel::folderAdded, this,
            [this](const QModelIndex& folder) { list_->expand(filter_->mapFromSource(folder)); });
    for (const bool open : {true, false})
        connect(list_, open ? &QTreeView::expanded : &QTreeView::collapsed, this, [this, open](const QModelIndex& index) {
            if (!filter_->active()) // a search opens what it shows, not for the user
                LibraryModel::entryAt(filter_->mapToSource(index))->folded = !open;
        });
    countTold_ = new QTimer(this);
    countTold_->setSingleShot(true);
    countTold_->setInterval(kCountToldMs);
    connect(countTold_, &QTimer::timeout, this, [this] { announce(message_, message_->text()); });
    connect(search_, &QLineEdit::textChanged, this, [this] { filterChanged(); });
    connect(effect_, &QComboBox::currentIndexChanged, this, [this] { filterChanged(); });
    // Hidden, the panel neither reads nor follows the folder; shown, it looks at all of it again.
    connect(this, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        if (visible)
            rescan();
    });
}

void PresetLibraryPanel::fitEffectColumn()
{
    QFont italic = list_->font();
    italic.setItalic(true);
    const QFontMetrics plain(list_->font()), slanted(italic);
    int widest = list_->header()->fontMetrics().horizontalAdvance(
        model_->headerData(LibraryModel::EffectColumn, Qt::Horizontal, Qt::DisplayRole).toString());
    for (int effect = 0; effect < kEffectCount; ++effect)
        widest = std::max(widest, plain.horizontalAdvance(QString::fromUtf8(catalogue::effect(effect).listText)));
    widest = std::max(widest, plain.horizontalAdvance(QStringLiteral("Project")));
    for (const char* problem : {"Damaged file", "Unreadable file"})
        widest = std::max(widest, slanted.horizontalAdvance(QString::fromUtf8(problem)));
    list_->header()->resizeSection(LibraryModel::EffectColumn,
                                   widest + 4 * list_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 12);
    list_->header()->resizeSection(LibraryModel::FileColumn, 16 * plain.averageCharWidth());
}

void PresetLibraryPanel::changeEvent(QEvent* event)
{
    QDockWidget::changeEvent(event);
    if (list_ && (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange))
        fitEffectColumn();
}

PresetLibraryPanel::~PresetLibraryPanel()
{
    if (listing_.valid())
        listing_.wait(); // it uses library_
}

int PresetLibraryPanel::listedFiles() const
{
    return static_cast<int>(model_->fileCount());
}

int PresetLibraryPanel::watchCount() const
{
    return watch_->count();
}

void PresetLibraryPanel::rescan()
{
    wholeWanted_ = true;
    startListing();
}

void PresetLibraryPanel::folderChanged(const QString& path)
{
    if (!isVisible())
        return;
    const fs::path changed(QFile::encodeName(path).toStdString());
    // The Preset folder's parent tells when the folder comes, goes or is renamed: a look at
    // the Preset folder sees that.
    const fs::path relative = changed == shownFolder_.parent_path() ? fs::path() : changed.lexically_relative(shownFolder_);
    if (relative == ".")
        dirty_.push_back({});
    else
        dirty_.push_back(relative);
    if (!settle_->isActive())
        settle_->start();
}

void PresetLibraryPanel::startListing()
{
    settle_->stop();
    // One listing at a time, none while its last result is still going into the list, and
    // none under a load (the end of either looks again).
    if (loading_ || listing_.valid() || !pending_.empty() || applier_->isActive())
        return;
    if (!wholeWanted_ && dirty_.empty())
        return;
    const fs::path folder = folder_();
    const bool whole = wholeWanted_ || folder != shownFolder_;
    std::sort(dirty_.begin(), dirty_.end());
    dirty_.erase(std::unique(dirty_.begin(), dirty_.end()), dirty_.end());
    std::vector<fs::path> folders = whole ? std::vector<fs::path>() : std::move(dirty_);
    dirty_.clear();
    wholeWanted_ = false;
    shownFolder_ = folder;
    listing_ = std::async(std::launch::async, [this, folder, whole, folders = std::move(folders)] {
        std::shared_ptr<LibraryUpdate> update;
        try {
            update = std::make_shared<LibraryUpdate>(whole ? library_->scanAll(folder)
                                                           : library_->rescanFolders(folders));
            // Sorted here, the list takes new files in the order they come.
            for (LibraryFolderChange& change : update->changes)
                std::sort(change.filesAdded.begin(), change.filesAdded.end(),
                          [](const LibraryFile& a, const LibraryFile& b) {
                              return compareLibraryNames(a.name, b.name) < 0;
                          });
        } catch (const std::exception&) {
            // What was listed can no longer be trusted: the next look starts over.
            library_ = std::make_unique<PresetLibrary>();
            update.reset();
        }
        QMetaObject::invokeMethod(this, [this, update] { received(update); }, Qt::QueuedConnection);
    });
}

void PresetLibraryPanel::received(const std::shared_ptr<LibraryUpdate>& listed)
{
    listing_.get();
    if (loading_) {
        // The list stays as it is under the user's double click until the load is over.
        afterLoad_ = listed;
        return;
    }
    if (!listed || listed->startedOver) {
        pending_.clear();
        identicalPending_.clear();
        model_->clear();
    }
    model_->setRoot(shownFolder_);
    if (!listed) {
        // The next look lists everything afresh.
        wholeWanted_ = true;
        showMessage();
        emit rescanned();
        return;
    }
    LibraryUpdate& update = *listed;
    folderFound_ = update.folderFound;
    // Shown while it is short, the list costs the window little; its entries follow in slices.
    if (folderFound_)
        showList();
    QStringList folders;
    // The folder's parent tells when the folder comes, goes or is renamed.
    std::error_code error;
    if (const fs::path parent = shownFolder_.parent_path(); fs::is_directory(parent, error))
        folders << shownName(parent);
    for (const fs::path& folder : update.folders)
        folders << shownName(folder.empty() ? shownFolder_ : shownFolder_ / folder);
    watch_->follow(folders);
    std::size_t files = 0;
    for (LibraryFolderChange& change : update.changes) {
        files += change.filesAdded.size() + change.filesChanged.size();
        pending_.push_back(std::move(change));
    }
    std::ranges::move(update.identicalChanged, std::back_inserter(identicalPending_));
    largeUpdate_ = largeUpdate_ || files >= 1000;
    applySome();
}

// Takes listed changes into the list a slice at a time, so that the window keeps serving its events.
void PresetLibraryPanel::applySome()
{
    if (loading_)
        return; // the end of the load goes on
    QElapsedTimer slice;
    slice.start();
    while (!pending_.empty() && slice.elapsed() < kApplySliceMs) {
        LibraryFolderChange& change = pending_.front();
        model_->apply(change, kBatch);
        if (change.filesAdded.empty() && change.filesChanged.empty() && change.filesRemoved.empty())
            pending_.pop_front();
    }
    while (pending_.empty() && !identicalPending_.empty() && slice.elapsed() < kApplySliceMs) {
        for (std::size_t n = 0; n < kBatch && !identicalPending_.empty(); ++n) {
            model_->markIdentical(identicalPending_.back());
            identicalPending_.pop_back();
        }
    }
    if (!pending_.empty() || !identicalPending_.empty()) {
        applier_->start();
        return;
    }
    finishUpdate();
}

void PresetLibraryPanel::finishUpdate()
{
    showMessage();
#ifdef __GLIBC__
    // What a large listing read and let go goes back to the system rather than stay with
    // the heap.
    if (std::exchange(largeUpdate_, false))
        malloc_trim(0);
#endif
    // Whatever changed meanwhile comes next.
    if (!dirty_.empty() || wholeWanted_)
        settle_->start();
    emit rescanned();
}

void PresetLibraryPanel::filterChanged()
{
    filter_->setFilter(search_->text().trimmed(), effect_->currentData().toInt());
    openFolders();
    showMessage();
    countTold_->start();
}

// The proxy forgets which folders were open as they leave the list: a search shows every
// match, the whole list shows the folders as the user left them.
void PresetLibraryPanel::openFolders()
{
    if (filter_->active()) {
        list_->expandAll();
        return;
    }
    list_->reset(); // one layout for all the folders below, not one each
    const std::function<void(const LibraryEntry&)> open = [&](const LibraryEntry& folder) {
        for (const auto& entry : folder.entries) {
            if (!entry->folder)
                break; // the files follow the folders
            if (!entry->folded)
                list_->expand(filter_->mapFromSource(model_->indexOf(*entry)));
            open(*entry);
        }
    };
    open(model_->tree().root());
}

void PresetLibraryPanel::showMessage()
{
    const QString where = QDir::toNativeSeparators(shownName(shownFolder_));
    if (!folderFound_) {
        message_->setText(QStringLiteral("There is no Preset folder at %1. Saving a preset or a project to the PC "
                                         "makes it.")
                              .arg(where));
        list_->hide();
        return;
    }
    const std::size_t files = model_->fileCount();
    // Grouped digits as in "10,003", also where the locale is C.
    const QLocale locale = QLocale().language() == QLocale::C ? QLocale(QLocale::English) : QLocale();
    if (files == 0) {
        message_->setText(QStringLiteral("No preset or project files in %1 yet.").arg(where));
    } else if (filter_->active()) {
        message_->setText(QStringLiteral("%1 of %2 files in %3 shown")
                              .arg(locale.toString(static_cast<qulonglong>(filter_->matchCount())),
                                   locale.toString(static_cast<qulonglong>(files)), where));
    } else {
        message_->setText(files == 1 ? QStringLiteral("1 file in %1").arg(where)
                                     : QStringLiteral("%1 files in %2").arg(locale.toString(static_cast<qulonglong>(files)), where));
    }
    showList();
}

void PresetLibraryPanel::showList()
{
    list_->show();
    // The keyboard was waiting on the message for the files.
    if (message_->hasFocus())
        list_->setFocus(Qt::OtherFocusReason);
}

void PresetLibraryPanel::addCompare(const QString& text, const QKeySequence& key,
                                    std::function<void(const std::vector<fs::path>&)> compare)
{
    auto* action = new QAction(text, list_);
    action->setObjectName(QStringLiteral("LibraryCompare"));
    action->setShortcut(key);
    action->setShortcutContext(Qt::WidgetShortcut);
    connect(action, &QAction::triggered, this, [this, compare = std::move(compare)] {
        std::vector<fs::path> files;
        for (const QModelIndex& row : list_->selectionModel()->selectedRows())
            if (const LibraryEntry* entry = LibraryModel::entryAt(filter_->mapToSource(row)); entry && !entry->folder)
                files.push_back(shownFolder_ / entry->relative());
        compare(files);
    });
    list_->addAction(action);
    list_->setContextMenuPolicy(Qt::ActionsContextMenu);
}

void PresetLibraryPanel::activate(const QModelIndex& index)
{
    const LibraryEntry* entry = LibraryModel::entryAt(filter_->mapToSource(index));
    if (!entry || entry->folder || !load_)
        return;
    loading_ = true;
    load_(shownFolder_ / entry->relative());
    loading_ = false;
    if (afterLoad_) {
        received(std::exchange(afterLoad_, nullptr));
    } else if (!pending_.empty() || !identicalPending_.empty()) {
        applier_->start();
    } else if (!dirty_.empty() || wholeWanted_) {
        settle_->start();
    }
}

namespace {

// Opened by the key or the menu, a panel takes the keyboard focus; closed, the focus goes
// back where it was before. Its key on a panel that is open while the focus is elsewhere
// moves into it instead of closing it.
class PanelFocus final : public QObject {
public:
    PanelFocus(MainWindow* main, QDockWidget* panel) : QObject(panel), main_(main), panel_(panel)
    {
        QAction* toggle = panel->toggleViewAction();
        toggle->installEventFilter(this);
        connect(toggle, &QAction::triggered, this, [this](bool shown) {
            if (shown)
                MainWindow::focusInto(panel_);
            else if (before_ && before_->isVisible() && before_->isEnabled())
                before_->setFocus(Qt::OtherFocusReason);
            else
                MainWindow::focusInto(main_->editor());
        });
        // Where Qt puts the focus as the panel hides is not where the user was.
        connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
            if (now && now->window() == main_ && !inside(now) && !(inside(old) && panel_->isHidden()) &&
                !qobject_cast<QMenuBar*>(now) && !qobject_cast<QMenu*>(now))
                before_ = now;
        });
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() != QEvent::Shortcut || !panel_->isVisible() || inside(QApplication::focusWidget()))
            return false;
        MainWindow::focusInto(panel_);
        return true;
    }

private:
    bool inside(const QWidget* widget) const { return widget && (widget == panel_ || panel_->isAncestorOf(widget)); }

    MainWindow* main_;
    QDockWidget* panel_;
    QPointer<QWidget> before_;
};

} // namespace

void addPresetLibrary(MainWindow* main, QMenu* menu, QAction* before, PresetLibraryPanel* panel)
{
    QAction* toggle = panel->toggleViewAction();
    toggle->setText(QStringLiteral("Preset &Library"));
    toggle->setObjectName(QStringLiteral("Menu_PresetLibrary"));
    toggle->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    toggle->setStatusTip(QStringLiteral("Show the preset and project files of the Preset folder"));
    dockPanel(main, menu, before, panel);
    menu->insertSeparator(toggle);
}

void PanelTree::focusInEvent(QFocusEvent* event)
{
    QTreeView::focusInEvent(event);
    if (!QAccessible::isActive())
        return;
    // A view tells of its current row only as it changes: made current again, it is told, after
    // the list's own focus news, which would otherwise come last and be all that is said.
    QTimer::singleShot(0, this, [this] {
        const QPersistentModelIndex current = currentIndex();
        if (!hasFocus() || !current.isValid())
            return;
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
        selectionModel()->setCurrentIndex(current, QItemSelectionModel::NoUpdate);
    });
}

void shareOneHeap()
{
#ifdef __GLIBC__
    mallopt(M_ARENA_MAX, 1);
#endif
}

void tellFromPanel(QWidget* panel, const QString& text)
{
    constexpr int kShownMs = 6000;
    auto* main = qobject_cast<QMainWindow*>(panel->window());
    if (main && main->statusBar()->currentMessage() == text)
        return;
    if (main)
        main->statusBar()->showMessage(text, kShownMs);
    announce(panel, text);
}

void dockPanel(MainWindow* main, QMenu* menu, QAction* before, QDockWidget* panel)
{
    main->addDockWidget(Qt::RightDockWidgetArea, panel);
    panel->hide();
    QAction* toggle = panel->toggleViewAction();
    toggle->setChecked(false); // a dock hidden before it was ever shown sends no hide event
    menu->insertAction(before, toggle);
    new PanelFocus(main, panel);

    // Two panels in one column share its height: a newly shown one would otherwise get
    // only its header's height, its list out of sight.
    QObject::connect(panel, &QDockWidget::visibilityChanged, main, [main, panel](bool visible) {
        if (!visible || panel->isFloating())
            return;
        QList<QDockWidget*> column;
        for (QDockWidget* other : main->findChildren<QDockWidget*>(Qt::FindDirectChildrenOnly))
            if (other->isVisible() && !other->isFloating() && main->dockWidgetArea(other) == main->dockWidgetArea(panel)
                && main->tabifiedDockWidgets(other).isEmpty())
                column.append(other);
        if (column.size() < 2)
            return;
        const int share = main->centralWidget()->height() / static_cast<int>(column.size());
        main->resizeDocks(column, QList<int>(column.size(), share), Qt::Vertical);
    });

    // The editor keeps its room: the window widens by what the panel takes beside it while
    // it is shown, as far as the screen allows, and moves left if it must; on a narrow
    // screen the panel takes less than it would like.
    auto grown = std::make_shared<int>(0);
    QObject::connect(panel, &QDockWidget::visibilityChanged, main, [main, panel, grown](bool visible) {
        if (panel->isFloating() || !main->isVisible() || main->isMaximized() || main->isFullScreen())
            return;
        if (visible && *grown == 0) {
            const int around = main->aroundEditor().width() - panel->width();
            const int editorWidth = main->sizeForEditor(main->editor()->sizeHint()).width() - main->aroundEditor().width();
            // Room for names of some 40 characters, if the screen has it.
            const int least = panel->minimumSizeHint().width();
            const int liked = std::max(least, 40 * panel->fontMetrics().averageCharWidth());
            int room = editorWidth + around + liked;
            if (const QScreen* screen = main->screen())
                room = screen->availableGeometry().width() - (main->frameGeometry().width() - main->width());
            const int panelWidth = std::clamp(room - editorWidth - around, least, liked);
            main->resizeDocks({panel}, {panelWidth}, Qt::Horizontal);
            const int wanted = std::min(room, main->sizeForEditor(main->editor()->sizeHint()).width());
            if (wanted > main->width()) {
                *grown = wanted - main->width();
                main->resize(wanted, main->height());
            }
            main->keepOnScreen(false);
        } else if (!visible && *grown > 0) {
            main->resize(main->width() - *grown, main->height());
            *grown = 0;
        }
    });
}

} // namespace qrv::ui
