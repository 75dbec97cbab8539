#pragma once

#include "storage/PresetLibrary.hpp"

#include <QAbstractItemModel>
#include <QSortFilterProxyModel>

namespace qrv::ui {

// The Library's folders and files as an item model: columns file, effect and the file it is
// identical to. Changes come in batches, each one notice to the views.
class LibraryModel final : public QAbstractItemModel {
    Q_OBJECT
public:
    enum Column { FileColumn, EffectColumn, IdenticalColumn, ColumnCount };

    explicit LibraryModel(QObject* parent = nullptr);

    // The Preset folder, as tool tips and dragged files give it.
    void setRoot(const std::filesystem::path& root) { root_ = root; }
    const std::filesystem::path& root() const { return root_; }
    std::size_t fileCount() const { return tree_.fileCount(); }
    LibraryTree& tree() { return tree_; }

    void clear();
    // Takes up to `most` files of the change into the model and out of the change.
    void apply(LibraryFolderChange& change, std::size_t most);
    void markIdentical(const LibraryIdentical& identical);

    static LibraryEntry* entryAt(const QModelIndex& index);
    QModelIndex indexOf(const LibraryEntry& entry, int column = FileColumn) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override;

signals:
    // A folder came into the list (it is shown open).
    void folderAdded(const QModelIndex& folder);

private:
    LibraryEntry& folder(const std::filesystem::path& relative);
    void remove(LibraryEntry& entry);
    void changed(const LibraryEntry& entry);

    LibraryTree tree_;
    std::filesystem::path root_;
};

// Which files the Library shows: those whose name or effect holds the search text, of the
// chosen effect; the folders on the way to them.
class LibraryFilter final : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit LibraryFilter(LibraryModel* model, QObject* parent = nullptr);

    // Empty: every name; effect -1: every file.
    void setFilter(const QString& search, int effect);
    bool active() const { return !search_.isEmpty() || effect_ >= 0; }
    bool matches(const LibraryEntry& file) const;
    std::size_t matchCount() const;

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override;

private:
    LibraryModel* model_;
    QString search_;
    int effect_ = -1;
};

// What the Library shows for a file: its name, as it is on disk.
QString shownName(const std::filesystem::path& path);

} // namespace qrv::ui
