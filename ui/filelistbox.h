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

/**
 * The file list: one folder's normal files, one selection at a time, nothing selected at start.
 * It starts in the process's current directory (empty when that cannot be read).
 *
 * setPath() and refresh() read the folder anew; when it cannot be read they raise ProgramError
 * and leave the list as it was. GUI thread only.
 *
 * A screen reader hears the current name when the list gains the focus, not only its size.
 */
class FileListBox final : public QListView {
    Q_OBJECT

public:
    explicit FileListBox(QWidget* parent = nullptr);

    /// The folder shown, as an absolute path.
    QString path() const;
    void setPath(const QString& folder);

    /// The selected name, without folder; "" when nothing is selected.
    QString fileName() const;

    /// Reads the folder again; entries that are gone disappear, the selection stays on its name.
    void refresh();

protected:
    void focusInEvent(QFocusEvent* event) override;

private:
    void load(const QString& absoluteFolder);
    void tellCurrentItem();

    FileListModel* m_model = nullptr;
    QString m_path;
};
