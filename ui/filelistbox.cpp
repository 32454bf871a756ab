#include "filelistbox.h"

#include "folderquery.h"
#include "naturalorder.h"
#include "pathcodec.h"
#include "programerror.h"

#include <QAccessible>
#include <QDir>

#include <algorithm>

void FileListModel::setNames(const std::vector<QByteArray>& rawNames)
{
    std::vector<Entry> entries;
    entries.reserve(rawNames.size());
    for (const QByteArray& raw : rawNames) {
        QString name = decodeFileName(raw);
        QString shown = displayFileName(name);
        QString key = naturalSortKey(name);
        entries.push_back({std::move(name), std::move(shown), std::move(key)});
    }
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return naturalLess(a.sortKey, a.name, b.sortKey, b.name); });
    beginResetModel();
    m_entries = std::move(entries);
    endResetModel();
}

QString FileListModel::nameAt(int row) const
{
    return row >= 0 && size_t(row) < m_entries.size() ? m_entries[size_t(row)].name : QString();
}

int FileListModel::rowOf(const QString& name) const
{
    const auto found =
        std::find_if(m_entries.begin(), m_entries.end(), [&](const Entry& entry) { return entry.name == name; });
    return found == m_entries.end() ? -1 : int(found - m_entries.begin());
}

int FileListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

QVariant FileListModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || size_t(index.row()) >= m_entries.size()) {
        return {};
    }
    return m_entries[size_t(index.row())].shown;
}

FileListBox::FileListBox(QWidget* parent)
    : QListView(parent)
    , m_model(new FileListModel(this))
{
    setModel(m_model);
    setUniformItemSizes(true); // per-item layout makes a 100,000-name folder stall
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTextElideMode(Qt::ElideNone);
    m_path = QDir::currentPath();
    try {
        m_model->setNames(read(m_path).names);
    } catch (const ProgramError&) {
        // An unreadable start folder shows as an empty list; the user types another.
    }
}

FolderListing FileListBox::read(const QString& folder)
{
    const QString absolute = QDir::isAbsolutePath(folder) ? folder : QDir::current().absoluteFilePath(folder);
    return {absolute, listNormalEntries(absolute)};
}

QString FileListBox::path() const
{
    return m_path;
}

void FileListBox::showFolder(const FolderListing& listing)
{
    m_model->setNames(listing.names);
    m_path = listing.folder;
}

void FileListBox::showRefreshed(const FolderListing& listing)
{
    const QString selectedName = fileName();
    m_model->setNames(listing.names);
    const int row = m_model->rowOf(selectedName);
    if (row >= 0) {
        const QModelIndex index = m_model->index(row);
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    }
}

void FileListBox::setPath(const QString& folder)
{
    showFolder(read(folder));
}

void FileListBox::refresh()
{
    showRefreshed(read(m_path));
}

QString FileListBox::fileName() const
{
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    return selected.isEmpty() ? QString() : m_model->nameAt(selected.first().row());
}

void FileListBox::focusInEvent(QFocusEvent* event)
{
    QListView::focusInEvent(event);
    // Told from the event loop: the focus of the list itself is told after this event, and it
    // would hide the item's. With the list's focus alone a screen reader says how many items
    // there are, not which one is current.
    QMetaObject::invokeMethod(this, &FileListBox::tellCurrentItem, Qt::QueuedConnection);
}

void FileListBox::tellCurrentItem()
{
    if (!hasFocus() || !currentIndex().isValid()) {
        return;
    }
    QAccessibleEvent focused(this, QAccessible::Focus);
    focused.setChild(currentIndex().row()); // one column, nothing hidden: the row is the item
    QAccessible::updateAccessibility(&focused);
}
