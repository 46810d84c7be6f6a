#pragma once
// The volume list's model and the delegate that paints its rows: row 0 (the blank item) as
// the header, then each volume's icon, name, usage bar with its free and total space, and
// file system.
#include <QStyledItemDelegate>

#include "pages/item_list_model.h"
#include "volumes/volume_item.h"

class volume_model_c : public item_list_model<volume_item_s> {
public:
    using item_list_model::item_list_model;
    QString tool_tip(const volume_item_s& volume) const override;
};

// The share of a volume that is free, as the usage bar measures it: the quotient taken in
// double precision and kept in single precision. The bar is green when this is above the
// double 0.2, so exactly a fifth free (0.2000000030 as a float) still shows green.
float free_share(const volume_item_s& volume);
bool shows_green(const volume_item_s& volume);

// Whether the platform could measure the volume's free space: a volume that is not mounted
// is described through its device (its root path is its device name) and has no free figure.
bool free_space_known(const volume_item_s& volume);

// The row's name text: the label (or the translated "local_disk"), then the root path in
// brackets, with one trailing backslash removed.
QString volume_row_name(const volume_item_s& volume);

class volume_delegate_c : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
