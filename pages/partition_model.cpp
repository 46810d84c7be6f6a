#include "pages/partition_model.h"

#include <QPainter>

#include "disk/partition_repair.h"
#include "pages/item_list_model.h"
#include "pages/page_look.h"
#include "settings/localisation.h"

partition_model_c::partition_model_c(const partition_repair_c* search, QObject* parent)
    : QAbstractListModel(parent), search(search)
{
}

int partition_model_c::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(search->found_count()) + 1;
}

QVariant partition_model_c::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || role != Qt::DisplayRole || index.row() >= rowCount()) {
        return {};
    }
    if (index.row() == 0) {
        return QVariant::fromValue(partition_item_s{});
    }
    return QVariant::fromValue(search->found_at(index.row() - 1));
}

namespace {

constexpr double columns[] = {0.2, 0.4, 0.6, 0.8};

void paint_header(QPainter& p, const QRect& r)
{
    const int w = r.width();
    p.fillRect(r, QColor(232, 246, 255));
    p.setPen(QPen(QColor(211, 231, 255), 1));
    for (const double share : columns) {
        const int x = share_of(w, share);
        p.drawLine(x, 0, x, r.top() + r.height());
    }
    p.setPen(Qt::black);
    p.setFont(QFont(QStringLiteral("Verdana"), 10));
    const int y = r.top() + 20;
    p.drawText(15, y, translate("partition_number"));
    const char* keys[] = {"partition_fs", "partition_ss", "partition_es", "drive_size"};
    for (int i = 0; i < 4; ++i) {
        p.drawText(share_of(w, columns[i]) + 15, y, translate(keys[i]));
    }
}

}  // namespace

void partition_delegate_c::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const std::optional<partition_item_s> held = held_item<partition_item_s>(index.data());
    if (!held) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    const partition_item_s& part = *held;
    QPainter& p = *painter;
    const QRect& r = option.rect;
    p.save();
    paint_row_ground(p, option, index.row());
    if (part.file_system.isEmpty()) {
        paint_header(p, r);
    } else {
        const int w = r.width();
        const int y = r.top() + 20;
        p.setPen(Qt::black);
        p.setFont(QFont(QStringLiteral("Verdana"), 8));
        // The header takes row 0; the first partition found is number 0.
        const QString texts[] = {QString::number(index.row() - 1), part.file_system, QString::number(part.start_sector),
                                 QString::number(part.end_sector),
                                 format_size((part.end_sector - part.start_sector + 1) * 512)};
        p.drawText(15, y, texts[0]);
        for (int i = 0; i < 4; ++i) {
            p.drawText(share_of(w, columns[i]) + 15, y, texts[i + 1]);
        }
    }
    p.restore();
}

QSize partition_delegate_c::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    return row_size(option);
}
