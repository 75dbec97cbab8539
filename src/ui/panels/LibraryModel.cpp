#include "ui/panels/LibraryModel.hpp"

#include "editor/Catalogue.hpp"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QIcon>
#include <QMimeData>
#include <QStyle>
#include <QUrl>

#include <algorithm>
#include <array>

namespace qrv::ui {

namespace fs = std::filesystem;

namespace {

// Made once: a list of 50,000 files shows few texts.
const QString& effectText(const LibraryEntry& file)
{
    static const auto texts = [] {
        std::array<QString, kEffectCount + 3> made;
        LibraryEntry entry;
        for (int effect = 0; effect < kEffectCount; ++effect) {
            entry.effect = static_cast<int8_t>(effect);
            made[static_cast<std::size_t>(effect)] = QString::fromStdString(libraryEffectText(entry));
        }
        entry.kind = LibraryFile::Kind::Project;
        made[kEffectCount] = QString::fromStdString(libraryEffectText(entry));
        entry.status = LibraryFile::Status::Damaged;
        made[kEffectCount + 1] = QString::fromStdString(libraryEffectText(entry));
        entry.status = LibraryFile::Status::Unreadable;
        made[kEffectCount + 2] = QString::fromStdString(libraryEffectText(entry));
        return made;
    }();
    switch (file.status) {
    case LibraryFile::Status::Damaged:
        return texts[kEffectCount + 1];
    case LibraryFile::Status::Unreadable:
        return texts[kEffectCount + 2];
    case LibraryFile::Status::Loadable:
        break;
    }
    return texts[file.kind == LibraryFile::Kind::Project ? kEffectCount : static_cast<std::size_t>(file.effect)];
}

QString identicalText(const LibraryEntry& file)
{
    return shownName(file.identical());
}

QString accessibleText(const LibraryEntry& entry)
{
    if (entry.folder)
        return QStringLiteral("Folder %1").arg(shownName(entry.name));
    QString text = shownName(entry.name) + QStringLiteral(", ") + effectText(entry);
    if (!entry.problem().empty())
        text += QStringLiteral(": ") + QString::fromStdString(entry.problem());
    if (!entry.identical().empty())
        text += QStringLiteral(", identical to ") + identicalText(entry);
    return text;
}

} // namespace

QString shownName(const fs::path& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path.string()));
}

LibraryModel::LibraryModel(QObject* parent) : QAbstractItemModel(parent) {}

void LibraryModel::clear()
{
    beginResetModel();
    tree_.clear();
    endResetModel();
}

LibraryEntry& LibraryModel::folder(const fs::path& relative)
{
    if (relative.empty())
        return tree_.root();
    if (LibraryEntry* found = tree_.find(relative, true))
        return *found;
    LibraryEntry& parent = folder(relative.parent_path());
    auto entry = std::make_unique<LibraryEntry>();
    entry->folder = true;
    entry->name = relative.filename().string();
    const int row = tree_.rowFor(parent, entry->name, true);
    beginInsertRows(indexOf(parent), row, row);
    LibraryEntry& made = tree_.insert(parent, row, std::move(entry));
    endInsertRows();
    emit folderAdded(indexOf(made));
    return made;
}

void LibraryModel::remove(LibraryEntry& entry)
{
    beginRemoveRows(indexOf(*entry.parent), entry.row, entry.row);
    tree_.remove(entry); // what is inside goes with it, without a notice of its own
    endRemoveRows();
}

void LibraryModel::changed(const LibraryEntry& entry)
{
    emit dataChanged(indexOf(entry), indexOf(entry, ColumnCount - 1));
}

void LibraryModel::apply(LibraryFolderChange& change, std::size_t most)
{
    if (change.gone) {
        if (LibraryEntry* gone = tree_.find(change.folder, true); gone && gone != &tree_.root())
            remove(*gone);
        return;
    }
    LibraryEntry& parent = folder(change.folder);
    std::size_t done = 0;
    for (; done < most && !change.filesRemoved.empty(); ++done) {
        if (LibraryEntry* file = tree_.find(change.filesRemoved.back(), false))
            remove(*file);
        change.filesRemoved.pop_back();
    }
    for (; done < most && !change.filesChanged.empty(); ++done) {
        const LibraryFile& file = change.filesChanged.back();
        if (LibraryEntry* entry = tree_.child(parent, file.name, false)) {
            entry->describe(file);
            changed(*entry);
        }
        change.filesChanged.pop_back();
    }
    // The files come in name order: those after all there is go in with one notice.
    std::vector<std::unique_ptr<LibraryEntry>> atEnd;
    const auto appendAll = [&] {
        if (atEnd.empty())
            return;
        const int first = static_cast<int>(parent.entries.size());
        beginInsertRows(indexOf(parent), first, first + static_cast<int>(atEnd.size()) - 1);
        tree_.append(parent, std::move(atEnd));
        endInsertRows();
        atEnd.clear();
    };
    std::size_t taken = 0;
    for (; done < most && taken < change.filesAdded.size(); ++done, ++taken) {
        const LibraryFile& file = change.filesAdded[taken];
        if (LibraryEntry* entry = tree_.child(parent, file.name, false)) {
            entry->describe(file);
            changed(*entry);
            continue;
        }
        auto entry = std::make_unique<LibraryEntry>();
        entry->describe(file);
        const int row = tree_.rowFor(parent, entry->name, false);
        if (row == static_cast<int>(parent.entries.size()) &&
            (atEnd.empty() || compareLibraryNames(atEnd.back()->name, entry->name) <= 0)) {
            atEnd.push_back(std::move(entry));
            continue;
        }
        appendAll();
        beginInsertRows(indexOf(parent), row, row);
        tree_.insert(parent, row, std::move(entry));
        endInsertRows();
    }
    appendAll();
    change.filesAdded.erase(change.filesAdded.begin(), change.filesAdded.begin() + static_cast<std::ptrdiff_t>(taken));
}

void LibraryModel::markIdentical(const LibraryIdentical& identical)
{
    LibraryEntry* entry = tree_.find(fs::path(identical.file), false);
    if (entry && entry->status == LibraryFile::Status::Loadable) { // its note is no problem text
        entry->note = identical.identical;
        emit dataChanged(indexOf(*entry, IdenticalColumn), indexOf(*entry, IdenticalColumn));
    }
}

LibraryEntry* LibraryModel::entryAt(const QModelIndex& index)
{
    return static_cast<LibraryEntry*>(index.internalPointer());
}

QModelIndex LibraryModel::indexOf(const LibraryEntry& entry, int column) const
{
    if (!entry.parent)
        return {};
    return createIndex(entry.row, column, const_cast<LibraryEntry*>(&entry));
}

QModelIndex LibraryModel::index(int row, int column, const QModelIndex& parent) const
{
    const LibraryEntry& inside = parent.isValid() ? *entryAt(parent) : tree_.root();
    if (row < 0 || row >= static_cast<int>(inside.entries.size()) || column < 0 || column >= ColumnCount)
        return {};
    return createIndex(row, column, inside.entries[static_cast<std::size_t>(row)].get());
}

QModelIndex LibraryModel::parent(const QModelIndex& index) const
{
    if (!index.isValid())
        return {};
    return indexOf(*entryAt(index)->parent);
}

int LibraryModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    return static_cast<int>((parent.isValid() ? *entryAt(parent) : tree_.root()).entries.size());
}

int LibraryModel::columnCount(const QModelIndex&) const
{
    return ColumnCount;
}

QVariant LibraryModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    const LibraryEntry& entry = *entryAt(index);
    const bool loadable = entry.status == LibraryFile::Status::Loadable;
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case FileColumn:
            return shownName(entry.name);
        case EffectColumn:
            return entry.folder ? QVariant() : effectText(entry);
        default:
            return entry.identical().empty() ? QVariant() : identicalText(entry);
        }
    case Qt::DecorationRole:
        if (entry.folder && index.column() == FileColumn)
            return QApplication::style()->standardIcon(QStyle::SP_DirIcon);
        return {};
    case Qt::FontRole:
        if (!loadable && index.column() != IdenticalColumn) {
            QFont italic;
            italic.setItalic(true);
            return italic;
        }
        return {};
    case Qt::ToolTipRole:
        if (entry.folder)
            return {};
        return QDir::toNativeSeparators(shownName(root_ / entry.relative())) +
            (entry.problem().empty() ? QString() : u'\n' + QString::fromStdString(entry.problem())) +
            (entry.identical().empty() ? QString() : QStringLiteral("\nIdentical to ") + identicalText(entry));
    case Qt::AccessibleTextRole:
        return accessibleText(entry);
    default:
        return {};
    }
}

QVariant LibraryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const std::array<QString, ColumnCount> titles = {QStringLiteral("File"), QStringLiteral("Effect"),
                                                            QStringLiteral("Identical to")};
    return section >= 0 && section < ColumnCount ? titles[static_cast<std::size_t>(section)] : QVariant();
}

Qt::ItemFlags LibraryModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return {};
    const LibraryEntry& entry = *entryAt(index);
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (!entry.folder)
        flags |= Qt::ItemNeverHasChildren;
    if (!entry.folder && entry.kind == LibraryFile::Kind::Preset)
        flags |= Qt::ItemIsDragEnabled;
    return flags;
}

QStringList LibraryModel::mimeTypes() const
{
    return {QStringLiteral("text/uri-list")};
}

// The preset files among the entries, each once.
QMimeData* LibraryModel::mimeData(const QModelIndexList& indexes) const
{
    QList<QUrl> files;
    QSet<const LibraryEntry*> taken;
    for (const QModelIndex& index : indexes) {
        const LibraryEntry* entry = entryAt(index);
        if (entry && !entry->folder && entry->kind == LibraryFile::Kind::Preset && !taken.contains(entry)) {
            taken.insert(entry);
            files << QUrl::fromLocalFile(shownName(root_ / entry->relative()));
        }
    }
    if (files.isEmpty())
        return nullptr;
    auto* data = new QMimeData;
    data->setUrls(files);
    return data;
}

Qt::DropActions LibraryModel::supportedDragActions() const
{
    return Qt::CopyAction;
}

LibraryFilter::LibraryFilter(LibraryModel* model, QObject* parent) : QSortFilterProxyModel(parent), model_(model)
{
    setSourceModel(model);
    setRecursiveFilteringEnabled(true);
}

void LibraryFilter::setFilter(const QString& search, int effect)
{
    if (search == search_ && effect == effect_)
        return;
    search_ = search;
    effect_ = effect;
    invalidateFilter();
}

bool LibraryFilter::matches(const LibraryEntry& file) const
{
    if (effect_ >= 0 &&
        (file.status != LibraryFile::Status::Loadable || file.kind != LibraryFile::Kind::Preset || file.effect != effect_))
        return false;
    return search_.isEmpty() || shownName(file.name).contains(search_, Qt::CaseInsensitive) ||
        effectText(file).contains(search_, Qt::CaseInsensitive);
}

std::size_t LibraryFilter::matchCount() const
{
    const std::function<std::size_t(const LibraryEntry&)> count = [&](const LibraryEntry& folder) {
        std::size_t found = 0;
        for (const auto& entry : folder.entries)
            found += entry->folder ? count(*entry) : (matches(*entry) ? 1 : 0);
        return found;
    };
    return active() ? count(model_->tree().root()) : model_->fileCount();
}

bool LibraryFilter::filterAcceptsRow(int row, const QModelIndex& parent) const
{
    const LibraryEntry* entry = LibraryModel::entryAt(model_->index(row, 0, parent));
    return entry->folder ? !active() : matches(*entry);
}

} // namespace qrv::ui
