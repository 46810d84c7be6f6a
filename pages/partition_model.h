#pragma once
// The found partitions as a list: row 0 is a header (a record with no file system) that
// names the columns, then one row per partition the search found, read from the search
// thread's list under its lock. The model keeps no copy: the page installs a new model when
// the list grows or is emptied.
#include <QAbstractListModel>
#include <QStyledItemDelegate>

#include "disk/partition_item.h"

class partition_repair_c;

class partition_model_c : public QAbstractListModel {
public:
    explicit partition_model_c(const partition_repair_c* search, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    const partition_repair_c* search;
};

class partition_delegate_c : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
