#pragma once
// The drive list's model and the delegate that paints its rows: row 0 (the blank item) as
// the header, then each drive's path, size and number. The number is the row number, so
// the first drive is number 1.
#include <QStyledItemDelegate>

#include "disk/drive_item.h"
#include "pages/item_list_model.h"

class drive_model_c : public item_list_model<drive_item_s> {
public:
    using item_list_model::item_list_model;
    QString tool_tip(const drive_item_s& drive) const override { return drive.geometry ? drive.path : QString(); }
};

class drive_delegate_c : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
