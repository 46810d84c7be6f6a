#pragma once
// The recovery page's views of a scan's results: the folder tree over one result tree (each
// index carries its folder's position in the tree), the file table over the page's rows
// (check box, name, size, two dates), its painting, its header with a check-all box and
// per-column sorting, and a table view that treats a keyboard move like a click.
#include <QAbstractItemModel>
#include <QAbstractTableModel>
#include <QHeaderView>
#include <QPixmap>
#include <QStyledItemDelegate>
#include <QTableView>
#include <array>
#include <vector>

#include "recovery/recovery_item.h"
#include "recovery/result_tree.h"

// The folders of a result tree under their one top-level node "/"; empty without a tree.
// The model keeps its own copy of the tree, so it stays valid whatever the engine does next.
class TreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit TreeModel(result_tree_s tree = {}, QObject* parent = nullptr);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    const result_tree_s& tree() const { return tree_; }
    // The folder an index shows.
    const result_folder_s& folder(const QModelIndex& index) const { return tree_.folders[index.internalId()]; }
    // The index of the folder with that path ("/" or "/a/b"); invalid when there is none.
    QModelIndex index_of(const QString& path) const;

private:
    result_tree_s tree_;
    std::vector<int> row_in_parent_;  // each folder's row under its parent
};

// The five columns over the page's rows, which it does not copy.
class recovery_model_c : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit recovery_model_c(QList<recovery_item_s>* rows, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    // The whole row for every cell of it (display role); for an overwritten row, why it is
    // not recovered, and for a partly overwritten one, how much of it other files took (tool
    // tip role).
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void set_checked(int row, bool value);
    // Sorts by the column's key, ascending on the first call for that column, then descending,
    // and so on, each column on its own.
    void sort_by_column(int column);

private:
    QList<recovery_item_s>* rows_;
    std::array<bool, 5> ascending_{};
};

// The text a column shows for a row (columns 1 to 4); the name of an overwritten or partly
// overwritten row is marked.
QString cell_text(const recovery_item_s& row, int column);

class recovery_delegate_c : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit recovery_delegate_c(QObject* parent = nullptr);
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    QPixmap unchecked_, checked_;
};

// A horizontal header whose first section is a check box for all rows and whose other
// sections sort by their column.
class MyHeaderView : public QHeaderView {
    Q_OBJECT
public:
    explicit MyHeaderView(QWidget* parent = nullptr);

    QSize sizeHint() const override;
    bool all_checked = false;

signals:
    void check_all(bool value);
    void sort_column(int column);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void paintSection(QPainter* painter, const QRect& rect, int logical_index) const override;

private:
    QPixmap unchecked_, checked_;
};

// A table view that reports a keyboard move to another row as a click on the new cell.
class MyQTableView : public QTableView {
    Q_OBJECT
public:
    using QTableView::QTableView;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
