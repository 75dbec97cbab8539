#include "PresetLibraryPanel.hpp"

#include "MainWindow.hpp"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileSystemWatcher>
#include <QHeaderView>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QScreen>
#include <QSet>
#include <QStyle>
#include <QSignalBlocker>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include <algorithm>
#include <map>
#include <memory>
#include <optional>

namespace qrv::ui {

namespace fs = std::filesystem;

namespace {

constexpr int kFileRole = Qt::UserRole;         // index into the scanned files, -1 for a folder
constexpr int kRelativeRole = Qt::UserRole + 1; // the entry's path from the Preset folder

QString shown(const fs::path& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path.string()));
}

QString relativeKey(const fs::path& relative)
{
    return shown(relative.generic_string());
}

// Several events of one save or copy make one scan.
constexpr int kSettleMs = 100;

} // namespace

PresetLibraryPanel::PresetLibraryPanel(std::function<fs::path()> folder, std::function<void(const fs::path&)> load,
                                       QWidget* parent)
    : QDockWidget(QStringLiteral("Preset Library"), parent), folder_(std::move(folder)), load_(std::move(load))
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
    message_->setTextInteractionFlags(Qt::TextSelectableByMouse);
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
    list_->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    list_->setAccessibleName(QStringLiteral("Preset Library"));
    list_->setAccessibleDescription(
        QStringLiteral("Preset and project files of the Preset folder and its subfolders, with the effect of each. "
                       "Double click or Enter loads the file."));
    list_->setToolTip(QStringLiteral("Double click or Enter loads the file"));
    layout->addWidget(list_, 1);
    layout->addStretch(); // keeps the message at the top while there is no list
    setWidget(body);
    setMinimumWidth(220);

    watcher_ = new QFileSystemWatcher(this);
    settle_ = new QTimer(this);
    settle_->setObjectName(QStringLiteral("settle"));
    settle_->setSingleShot(true);
    settle_->setInterval(kSettleMs);
    connect(settle_, &QTimer::timeout, this, [this] { rescan(); });
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { scheduleRescan(); });
    connect(watcher_, &QFileSystemWatcher::fileChanged, this, [this] { scheduleRescan(); });
    connect(list_, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) { activate(item); });
    // Hidden, the panel neither reads nor follows the folder; shown, it reads it afresh.
    connect(this, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        if (visible)
            rescan();
    });
}

void PresetLibraryPanel::scheduleRescan()
{
    if (isVisible())
        settle_->start();
}

void PresetLibraryPanel::rescan()
{
    settle_->stop();
    if (loading_) {
        // The list stays as it is under the user's double click until the load is over.
        rescanAfterLoad_ = true;
        return;
    }
    shownFolder_ = folder_();
    const LibraryScan scan = scanPresetLibrary(shownFolder_);
    fill(scan);
    watch(scan);
    emit rescanned();
}

void PresetLibraryPanel::fill(const LibraryScan& scan)
{
    // What the user had chosen and folded stays so.
    QString current;
    if (const QTreeWidgetItem* item = list_->currentItem())
        current = item->data(0, kRelativeRole).toString();
    QSet<QString> folded;
    for (QTreeWidgetItemIterator it(list_); *it; ++it)
        if ((*it)->childCount() > 0 && !(*it)->isExpanded())
            folded.insert((*it)->data(0, kRelativeRole).toString());

    // The view is not told of its current entry going and coming back while the user works
    // elsewhere: it would tell screen readers of a focus move.
    std::optional<QSignalBlocker> quiet;
    if (!list_->hasFocus())
        quiet.emplace(list_->selectionModel());
    list_->clear();
    files_ = scan.files;
    const QString where = QDir::toNativeSeparators(shown(shownFolder_));
    if (!scan.folderFound) {
        message_->setText(QStringLiteral("There is no Preset folder at %1. Saving a preset or a project to the PC "
                                         "makes it.")
                              .arg(where));
        list_->hide();
        return;
    }
    message_->setText(scan.files.empty() ? QStringLiteral("No preset or project files in %1 yet.").arg(where)
                                         : QStringLiteral("Files in %1").arg(where));
    list_->show();

    // Children by their folder; within a folder, subfolders first, then files, in the
    // order a person reads names ("Lead 2" before "Lead 10").
    std::map<QString, std::vector<int>> filesIn;
    for (int i = 0; i < static_cast<int>(files_.size()); ++i)
        filesIn[relativeKey(files_[static_cast<std::size_t>(i)].relative.parent_path())].push_back(i);
    std::map<QString, std::vector<fs::path>> foldersIn;
    for (const fs::path& folder : scan.folders)
        foldersIn[relativeKey(folder.parent_path())].push_back(folder);

    // The C locale's collation compares code points, numbers and all.
    QCollator order(QLocale().language() == QLocale::C ? QLocale(QLocale::English) : QLocale());
    order.setNumericMode(true);
    order.setCaseSensitivity(Qt::CaseInsensitive);
    const QIcon folderIcon = style()->standardIcon(QStyle::SP_DirIcon);
    QTreeWidgetItem* chosen = nullptr;

    std::function<void(QTreeWidgetItem*, const QString&)> addChildren = [&](QTreeWidgetItem* parent,
                                                                            const QString& key) {
        const auto add = [&](QTreeWidgetItem* item) {
            if (parent)
                parent->addChild(item);
            else
                list_->addTopLevelItem(item);
            if (item->data(0, kRelativeRole).toString() == current)
                chosen = item;
        };
        std::vector<fs::path> folders = foldersIn[key];
        std::sort(folders.begin(), folders.end(), [&](const fs::path& a, const fs::path& b) {
            return order.compare(shown(a.filename()), shown(b.filename())) < 0;
        });
        for (const fs::path& folder : folders) {
            auto* item = new QTreeWidgetItem;
            const QString name = shown(folder.filename());
            item->setText(0, name);
            item->setIcon(0, folderIcon);
            item->setData(0, kFileRole, -1);
            item->setData(0, kRelativeRole, relativeKey(folder));
            item->setData(0, Qt::AccessibleTextRole, QStringLiteral("Folder %1").arg(name));
            add(item);
            addChildren(item, relativeKey(folder));
            item->setExpanded(!folded.contains(relativeKey(folder)));
        }
        std::vector<int> files = filesIn[key];
        std::sort(files.begin(), files.end(), [&](int a, int b) {
            return order.compare(shown(files_[static_cast<std::size_t>(a)].relative.filename()),
                                 shown(files_[static_cast<std::size_t>(b)].relative.filename())) < 0;
        });
        for (int i : files) {
            const LibraryFile& file = files_[static_cast<std::size_t>(i)];
            auto* item = new QTreeWidgetItem;
            const QString name = shown(file.relative.filename());
            const QString effect = QString::fromStdString(libraryEffectText(file));
            item->setText(0, name);
            item->setText(1, effect);
            item->setData(0, kFileRole, i);
            item->setData(0, kRelativeRole, relativeKey(file.relative));
            QString tip = QDir::toNativeSeparators(shown(file.path));
            QString spoken = name + QStringLiteral(", ") + effect;
            if (file.status != LibraryFile::Status::Loadable) {
                const QString problem = QString::fromStdString(file.problem);
                tip += u'\n' + problem;
                spoken += QStringLiteral(": ") + problem;
                QFont italic = item->font(0);
                italic.setItalic(true);
                item->setFont(0, italic);
                item->setFont(1, italic);
            }
            for (int column : {0, 1}) {
                item->setToolTip(column, tip);
                item->setData(column, Qt::AccessibleTextRole, spoken);
            }
            add(item);
        }
    };
    addChildren(nullptr, QString());
    if (chosen)
        list_->setCurrentItem(chosen);
    list_->viewport()->update();
}

void PresetLibraryPanel::watch(const LibraryScan& scan)
{
    QStringList wanted;
    // The folder's parent tells when the folder comes, goes or is renamed.
    std::error_code error;
    if (const fs::path parent = shownFolder_.parent_path(); fs::is_directory(parent, error))
        wanted << shown(parent);
    if (scan.folderFound) {
        wanted << shown(shownFolder_);
        for (const fs::path& folder : scan.folders)
            wanted << shown(shownFolder_ / folder);
        // A file rewritten in place changes no folder.
        for (const LibraryFile& file : scan.files)
            wanted << shown(file.path);
    }
    QStringList stale = watcher_->directories() + watcher_->files();
    QStringList fresh;
    for (const QString& path : wanted)
        if (!stale.removeOne(path))
            fresh << path;
    if (!stale.isEmpty())
        watcher_->removePaths(stale);
    if (!fresh.isEmpty())
        watcher_->addPaths(fresh);
}

void PresetLibraryPanel::activate(QTreeWidgetItem* item)
{
    const int index = item ? item->data(0, kFileRole).toInt() : -1;
    if (index < 0 || index >= static_cast<int>(files_.size()) || !load_)
        return;
    const fs::path path = files_[static_cast<std::size_t>(index)].path;
    loading_ = true;
    load_(path);
    loading_ = false;
    if (rescanAfterLoad_) {
        rescanAfterLoad_ = false;
        scheduleRescan();
    }
}

void addPresetLibrary(MainWindow* main, QMenu* menu, QAction* before, PresetLibraryPanel* panel)
{
    main->addDockWidget(Qt::RightDockWidgetArea, panel);
    panel->hide();
    QAction* toggle = panel->toggleViewAction();
    toggle->setChecked(false); // a dock hidden before it was ever shown sends no hide event
    toggle->setText(QStringLiteral("Preset &Library"));
    toggle->setObjectName(QStringLiteral("Menu_PresetLibrary"));
    toggle->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    toggle->setStatusTip(QStringLiteral("Show the preset and project files of the Preset folder"));
    menu->insertAction(before, toggle);
    menu->insertSeparator(toggle);

    // The editor keeps its room: the window widens by what the panel takes beside it while
    // it is shown, as far as the screen allows.
    auto grown = std::make_shared<int>(0);
    QObject::connect(panel, &QDockWidget::visibilityChanged, main, [main, panel, grown](bool visible) {
        if (panel->isFloating() || !main->isVisible() || main->isMaximized() || main->isFullScreen())
            return;
        if (visible && *grown == 0) {
            int room = main->aroundEditor().width();
            if (const QScreen* screen = main->screen())
                room = std::min(room, screen->availableGeometry().width() - main->frameGeometry().width());
            if (room > 0) {
                *grown = room;
                main->resize(main->width() + room, main->height());
            }
        } else if (!visible && *grown > 0) {
            main->resize(main->width() - *grown, main->height());
            *grown = 0;
        }
    });
}

} // namespace qrv::ui
