#pragma once

#include <QAbstractListModel>
#include <QListView>

#include <vector>

/**
 * The names of one folder's normal files (see folderquery.h: regular files and links to them,
 * no dot-files), in natural order. Names are kept in the lossless encoding of pathcodec.h and
 * shown with undecodable bytes as U+FFFD.
 */
class FileListModel final : public QAbstractListModel {
    Q_OBJECT

public:
    using QAbstractListModel::QAbstractListModel;

    /// Replaces the contents with these raw names, sorted.
    void setNames(const std::vector<QByteArray>& rawNames);
    QString nameAt(int row) const;
    int rowOf(const QString& name) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    struct Entry {
        QString name;
        QString shown;
        QString sortKey;
    };
    std::vector<Entry> m_entries;
};

/// One folder's listing as read from the file system, ready for the list to show.
struct FolderListing {
    QString folder; ///< absolute
    std::vector<QByteArray> names;
};

/**
 * The file list: one folder's normal files, one selection at a time, nothing selected at start.
 * It starts in the process's current directory (empty when that cannot be read).
 *
 * Reading a folder and showing it are apart, so that the reading can happen off the GUI thread:
 * read() blocks on the file system, for as long as a share that has stopped answering holds it.
 * setPath() and refresh() read and show in one go, on the calling thread; the window reads
 * through its worker instead (filequestions.h). Everything but read() is for the GUI thread.
 *
 * A screen reader hears the current name when the list gains the focus, not only its size.
 */
class FileListBox final : public QListView {
    Q_OBJECT

public:
    explicit FileListBox(QWidget* parent = nullptr);

    /// Reads @p folder (relative to the current directory or absolute). Any thread. Raises
    /// ProgramError when it cannot be read.
    static FolderListing read(const QString& folder);

    /// The folder shown, as an absolute path.
    QString path() const;
    /// Shows @p listing's folder; nothing stays selected.
    void showFolder(const FolderListing& listing);
    /// Shows @p listing of the folder shown, read again: entries that are gone disappear, the
    /// selection stays on its name.
    void showRefreshed(const FolderListing& listing);

    /// read() and showFolder(); raises ProgramError and leaves the list as it was when it cannot read.
    void setPath(const QString& folder);
    /// Reads the folder shown again and showRefreshed(); raises as setPath() does.
    void refresh();

    /// The selected name, without folder; "" when nothing is selected.
    QString fileName() const;

protected:
    void focusInEvent(QFocusEvent* event) override;

private:
    void tellCurrentItem();

    FileListModel* m_model = nullptr;
    QString m_path;
};
