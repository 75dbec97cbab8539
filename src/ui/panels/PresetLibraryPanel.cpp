#include "ui/panels/PresetLibraryPanel.hpp"

#include "ui/windows/EditorWindow.hpp"
#include "ui/windows/MainWindow.hpp"

#include "editor/Catalogue.hpp"

#include <QApplication>
#include <QCollator>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>
#include <QSignalBlocker>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>
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
#include <optional>
#include <utility>

namespace qrv::ui {

namespace fs = std::filesystem;

namespace {

constexpr int kFileRole = Qt::UserRole;         // true for a file, false for a folder
constexpr int kRelativeRole = Qt::UserRole + 1; // the entry's path from the Preset folder

QString shown(const fs::path& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path.string()));
}

QString relativeKey(const fs::path& relative)
{
    return shown(relative.generic_string());
}

// Several events of one save or copy make one look.
constexpr int kSettleMs = 100;
// The longest the window's thread spends on the list before it serves its other events.
constexpr int kApplySliceMs = 10;

// The order a person reads names in ("Lead 2" before "Lead 10"); one per thread.
QCollator nameOrder()
{
    // The C locale's collation compares code points, numbers and all.
    QCollator order(QLocale().language() == QLocale::C ? QLocale(QLocale::English) : QLocale());
    order.setNumericMode(true);
    order.setCaseSensitivity(Qt::CaseInsensitive);
    return order;
}

QCollator& guiOrder()
{
    static QCollator order = nameOrder();
    return order;
}

// One string for each effect text, shared by all entries that show it.
QString sharedText(const std::string& text)
{
    static QHash<QString, QString> texts;
    const QString made = QString::fromStdString(text);
    if (const auto it = texts.constFind(made); it != texts.cend())
        return *it;
    texts.insert(made, made);
    return made;
}

// A file's entry. Its tool tip and spoken text are made when asked for, not kept: a list
// of 10,000 files stays small.
class FileItem final : public QTreeWidgetItem {
public:
    FileItem(QString relative, const QString& root) : relative_(std::move(relative)), root_(root) {}

    void describe(const LibraryFile& file)
    {
        setText(0, shown(file.relative.filename()));
        setText(1, sharedText(libraryEffectText(file)));
        const bool loadable = file.status == LibraryFile::Status::Loadable;
        problem_ = loadable ? QString() : QString::fromStdString(file.problem);
        if (!loadable || font(0).italic()) {
            QFont shape = font(0);
            shape.setItalic(!loadable);
            setFont(0, shape);
            setFont(1, shape);
        }
    }

    QVariant data(int column, int role) const override
    {
        switch (role) {
        case kFileRole:
            return true;
        case kRelativeRole:
            return relative_;
        case Qt::ToolTipRole:
            return QDir::toNativeSeparators(root_ + u'/' + relative_) +
                (problem_.isEmpty() ? QString() : u'\n' + problem_);
        case Qt::AccessibleTextRole:
            return text(0) + QStringLiteral(", ") + text(1) +
                (problem_.isEmpty() ? QString() : QStringLiteral(": ") + problem_);
        default:
            return QTreeWidgetItem::data(column, role);
        }
    }

private:
    QString relative_;
    QString problem_;    // why it cannot be loaded
    const QString& root_; // the Preset folder, as the panel shows it
};

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
      library_(std::make_unique<PresetLibrary>())
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

    list_ = new QTreeWidget;
    list_->setObjectName(QStringLiteral("LibraryList"));
    list_->setColumnCount(2);
    list_->setHeaderLabels({QStringLiteral("File"), QStringLiteral("Effect")});
    list_->setRootIsDecorated(true);
    list_->setUniformRowHeights(true);
    list_->setAllColumnsShowFocus(true);
    list_->header()->setStretchLastSection(false);
    list_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    // As wide as the widest effect text: sized to its contents, the column would be measured
    // again over a thousand rows at every change.
    list_->header()->setSectionResizeMode(1, QHeaderView::Fixed);
    fitEffectColumn();
    list_->setAccessibleName(QStringLiteral("Preset Library"));
    list_->setAccessibleDescription(
        QStringLiteral("Preset and project files of the Preset folder and its subfolders, with the effect of each. "
                       "Double click or Enter loads the file."));
    list_->setToolTip(QStringLiteral("Double click or Enter loads the file"));
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
    connect(list_, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) { activate(item); });
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
    int widest = list_->header()->fontMetrics().horizontalAdvance(list_->headerItem()->text(1));
    for (int effect = 0; effect < kEffectCount; ++effect)
        widest = std::max(widest, plain.horizontalAdvance(QString::fromUtf8(catalogue::effect(effect).listText)));
    widest = std::max(widest, plain.horizontalAdvance(QStringLiteral("Project")));
    for (const char* problem : {"Damaged file", "Unreadable file"})
        widest = std::max(widest, slanted.horizontalAdvance(QString::fromUtf8(problem)));
    list_->header()->resizeSection(1, widest + 4 * list_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 12);
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
    list_->clear(); // the entries refer to shownRoot_
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
    shownRoot_ = shown(folder);
    listing_ = std::async(std::launch::async, [this, folder, whole, folders = std::move(folders)] {
        std::shared_ptr<LibraryUpdate> update;
        try {
            update = std::make_shared<LibraryUpdate>(whole ? library_->scanAll(folder)
                                                           : library_->rescanFolders(folders));
            // Sorted here, the list takes new files in the order they come.
            const QCollator order = nameOrder();
            for (LibraryFolderChange& change : update->changes)
                std::sort(change.filesAdded.begin(), change.filesAdded.end(),
                          [&](const LibraryFile& a, const LibraryFile& b) {
                              return order.compare(shown(a.relative.filename()), shown(b.relative.filename())) < 0;
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
        folderItems_.clear();
        fileItems_.clear();
        // The view is not told of its current entry going while the user works elsewhere: it
        // would tell screen readers of a focus move.
        std::optional<QSignalBlocker> quiet;
        if (!list_->hasFocus())
            quiet.emplace(list_->selectionModel());
        list_->clear();
        list_->viewport()->update();
    }
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
        folders << shown(parent);
    for (const fs::path& folder : update.folders)
        folders << shown(folder.empty() ? shownFolder_ : shownFolder_ / folder);
    watch_->follow(folders);
    std::size_t files = 0;
    for (LibraryFolderChange& change : update.changes) {
        files += change.filesAdded.size() + change.filesChanged.size();
        pending_.push_back(std::move(change));
    }
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
        apply(change);
        if (change.filesAdded.empty() && change.filesChanged.empty() && change.filesRemoved.empty())
            pending_.pop_front();
    }
    if (!pending_.empty()) {
        applier_->start();
        return;
    }
    finishUpdate();
}

// Applies a part of the change and takes that part out of it.
void PresetLibraryPanel::apply(LibraryFolderChange& change)
{
    const QString key = relativeKey(change.folder);
    if (change.gone) {
        if (QTreeWidgetItem* item = folderItems_.value(key))
            removeItem(item);
        return;
    }
    QTreeWidgetItem* folder = folderItem(change.folder);
    constexpr std::size_t kBatch = 64;
    for (std::size_t n = 0; n < kBatch && !change.filesRemoved.empty(); ++n) {
        if (QTreeWidgetItem* item = fileItems_.value(relativeKey(change.filesRemoved.back())))
            removeItem(item);
        change.filesRemoved.pop_back();
    }
    for (std::size_t n = 0; n < kBatch && !change.filesChanged.empty(); ++n) {
        const LibraryFile& file = change.filesChanged.back();
        if (QTreeWidgetItem* item = fileItems_.value(relativeKey(file.relative)))
            static_cast<FileItem*>(item)->describe(file);
        change.filesChanged.pop_back();
    }
    if (change.filesAdded.empty())
        return;
    const std::size_t count = std::min(kBatch * 4, change.filesAdded.size());
    // New files sorted after all there is go in with one notice to the view, the rest one by one.
    QList<QTreeWidgetItem*> atEnd;
    const int childCount = folder->childCount();
    const QTreeWidgetItem* last = childCount > 0 ? folder->child(childCount - 1) : nullptr;
    const bool appending = !last || !last->data(0, kFileRole).toBool() ||
        guiOrder().compare(last->text(0), shown(change.filesAdded.front().relative.filename())) <= 0;
    for (std::size_t n = 0; n < count; ++n) {
        const LibraryFile& file = change.filesAdded[n];
        const QString fileKey = relativeKey(file.relative);
        auto* item = static_cast<FileItem*>(fileItems_.value(fileKey));
        if (item) {
            item->describe(file);
            continue;
        }
        item = new FileItem(fileKey, shownRoot_);
        item->describe(file);
        fileItems_.insert(fileKey, item);
        if (appending)
            atEnd.append(item);
        else
            place(folder, item, false);
    }
    folder->addChildren(atEnd);
    change.filesAdded.erase(change.filesAdded.begin(), change.filesAdded.begin() + static_cast<std::ptrdiff_t>(count));
}

QTreeWidgetItem* PresetLibraryPanel::folderItem(const fs::path& relative)
{
    const QString key = relativeKey(relative);
    if (QTreeWidgetItem* item = folderItems_.value(key))
        return item;
    if (relative.empty()) {
        folderItems_.insert(key, list_->invisibleRootItem());
        return list_->invisibleRootItem();
    }
    QTreeWidgetItem* parent = folderItem(relative.parent_path());
    auto* item = new QTreeWidgetItem;
    const QString name = shown(relative.filename());
    item->setText(0, name);
    item->setIcon(0, style()->standardIcon(QStyle::SP_DirIcon));
    item->setData(0, kFileRole, false);
    item->setData(0, kRelativeRole, key);
    item->setData(0, Qt::AccessibleTextRole, QStringLiteral("Folder %1").arg(name));
    place(parent, item, true);
    item->setExpanded(true);
    folderItems_.insert(key, item);
    return item;
}

// Within a folder, subfolders first, then files, each in the order a person reads names.
void PresetLibraryPanel::place(QTreeWidgetItem* parent, QTreeWidgetItem* item, bool folder)
{
    const QString name = item->text(0);
    const auto isFolder = [&](int i) { return !parent->child(i)->data(0, kFileRole).toBool(); };
    int low = 0, high = parent->childCount();
    // The folders end where the files begin.
    int split = 0;
    for (int h = high; split < h;) {
        const int mid = (split + h) / 2;
        if (isFolder(mid))
            split = mid + 1;
        else
            h = mid;
    }
    if (folder)
        high = split;
    else
        low = split;
    const QCollator& order = guiOrder();
    // New files mostly come in order: the end is the first place to try.
    if (high > low && order.compare(parent->child(high - 1)->text(0), name) <= 0)
        low = high;
    while (low < high) {
        const int mid = (low + high) / 2;
        if (order.compare(parent->child(mid)->text(0), name) <= 0)
            low = mid + 1;
        else
            high = mid;
    }
    parent->insertChild(low, item);
}

void PresetLibraryPanel::removeItem(QTreeWidgetItem* item)
{
    const std::function<void(QTreeWidgetItem*)> forget = [&](QTreeWidgetItem* gone) {
        for (int i = 0; i < gone->childCount(); ++i)
            forget(gone->child(i));
        const QString key = gone->data(0, kRelativeRole).toString();
        if (gone->data(0, kFileRole).toBool())
            fileItems_.remove(key);
        else
            folderItems_.remove(key);
    };
    forget(item);
    delete item; // its children go with it, without telling the view of each
}

void PresetLibraryPanel::finishUpdate()
{
    showMessage();
#ifdef __GLIBC__
    // A large listing's data, made on the listing's thread, goes back to the system rather
    // than stay with that thread's heap.
    if (std::exchange(largeUpdate_, false))
        malloc_trim(0);
#endif
    // Whatever changed meanwhile comes next.
    if (!dirty_.empty() || wholeWanted_)
        settle_->start();
    emit rescanned();
}

void PresetLibraryPanel::showMessage()
{
    const QString where = QDir::toNativeSeparators(shown(shownFolder_));
    if (!folderFound_) {
        message_->setText(QStringLiteral("There is no Preset folder at %1. Saving a preset or a project to the PC "
                                         "makes it.")
                              .arg(where));
        list_->hide();
        return;
    }
    const qsizetype files = fileItems_.size();
    if (files == 0) {
        message_->setText(QStringLiteral("No preset or project files in %1 yet.").arg(where));
    } else {
        // Grouped digits as in "10,003", also where the locale is C.
        const QLocale locale = QLocale().language() == QLocale::C ? QLocale(QLocale::English) : QLocale();
        message_->setText((files == 1 ? QStringLiteral("1 file in %2") : QStringLiteral("%1 files in %2"))
                              .arg(locale.toString(files), where));
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

void PresetLibraryPanel::activate(QTreeWidgetItem* item)
{
    if (!item || !item->data(0, kFileRole).toBool() || !load_)
        return;
    const fs::path relative(QFile::encodeName(item->data(0, kRelativeRole).toString()).toStdString());
    loading_ = true;
    load_(shownFolder_ / relative);
    loading_ = false;
    if (afterLoad_) {
        received(std::exchange(afterLoad_, nullptr));
    } else if (!pending_.empty()) {
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

void dockPanel(MainWindow* main, QMenu* menu, QAction* before, QDockWidget* panel)
{
    main->addDockWidget(Qt::RightDockWidgetArea, panel);
    panel->hide();
    QAction* toggle = panel->toggleViewAction();
    toggle->setChecked(false); // a dock hidden before it was ever shown sends no hide event
    menu->insertAction(before, toggle);
    new PanelFocus(main, panel);

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
