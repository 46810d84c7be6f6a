#include "pages/volume_model.h"

#include <QPainter>
#include <QPixmap>

#include "pages/page_look.h"
#include "settings/localisation.h"

float free_share(const volume_item_s& volume)
{
    return static_cast<float>(static_cast<double>(volume.free_bytes) / static_cast<double>(volume.total_bytes));
}

bool shows_green(const volume_item_s& volume)
{
    return static_cast<double>(free_share(volume)) > 0.2;
}

bool free_space_known(const volume_item_s& volume)
{
    return volume.root_path != volume.device_name;
}

QString volume_row_name(const volume_item_s& volume)
{
    QString root = volume.root_path;
    if (root.endsWith(QLatin1Char('\\'))) {
        root.chop(1);
    }
    const QString label = volume.label.isEmpty() ? translate("local_disk") : volume.label;
    return label + QStringLiteral(" (") + root + QLatin1Char(')');
}

QString volume_model_c::tool_tip(const volume_item_s& volume) const
{
    return volume.root_path.isEmpty() ? QString() : volume_row_name(volume);
}

namespace {

const QColor separator_colour(211, 231, 255);

void paint_separators(QPainter& p, int w, int top, int bottom)
{
    p.setPen(QPen(separator_colour, 1, Qt::SolidLine));
    for (const double share : {0.32, 0.85}) {
        const int x = share_of(w, share);
        p.drawLine(x, top, x, bottom);
    }
}

void paint_header(QPainter& p, const QRect& r)
{
    const int w = r.width();
    p.fillRect(r, QColor(232, 246, 255));
    paint_separators(p, w, 0, r.top() + r.height());
    p.setPen(Qt::black);
    p.setFont(QFont(QStringLiteral("Arial"), 10));
    const int y = r.top() + 20;
    p.drawText(60, y, translate("volume_logical_drives"));
    p.drawText(share_of(w, 0.32) + 165, y, translate("drive_size"));
    p.drawText(share_of(w, 0.85) + 15, y, translate("partition_fs"));
}

// The bar inside its frame: the used share in red or green, or, when the free space is not
// known, a grey bar that says so instead of a bar that would read as full.
void paint_usage(QPainter& p, const volume_item_s& v, int w, int top, int bar_width)
{
    if (!free_space_known(v)) {
        const QRect inside(share_of(w, 0.32) + 11, top + 6, bar_width - 1, 19);
        p.fillRect(inside, QColor(214, 218, 224));
        p.setPen(QColor(88, 96, 110));
        p.drawText(inside, Qt::AlignCenter, translate("volume_space_unknown"));
        return;
    }
    if (v.total_bytes == 0) {
        return;
    }
    const float f = free_share(v);
    const QPixmap red(QStringLiteral(":/images/partition_search/red.png"));
    const QPixmap texture = shows_green(v) ? QPixmap(QStringLiteral(":/images/partition_search/green.png")) : red;
    QBrush brush(texture);
    p.setBrushOrigin(0, top + 6);
    const int length = static_cast<int>((1 - f) * bar_width - 2);
    p.fillRect(QRect(share_of(w, 0.32) + 11, top + 6, length, red.height() + 1), brush);
}

}  // namespace

void volume_delegate_c::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const std::optional<volume_item_s> held = held_item<volume_item_s>(index.data());
    if (!held) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    const volume_item_s& v = *held;
    QPainter& p = *painter;
    const QRect& r = option.rect;
    const int w = r.width();
    const int y = r.top();
    p.save();
    paint_row_ground(p, option, index.row());
    if (v.root_path.isEmpty()) {
        paint_header(p, r);
        p.restore();
        return;
    }
    paint_separators(p, w, y, y + r.height());
    p.drawPixmap(20, y + 5, QPixmap(QStringLiteral(":/images/partition_search/drives.png")));
    p.setFont(QFont(QStringLiteral("Arial"), 8));
    p.setPen(Qt::black);
    p.drawText(45, y + 20, fit_text(p, volume_row_name(v), share_of(w, 0.32) - 45 - 6));

    const int bar_x = static_cast<int>(w * 0.32 + 10);
    const int bar_width = static_cast<int>(w * 0.53 - 170);
    p.setPen(QColor(139, 184, 241));
    p.drawRect(bar_x, y + 5, bar_width, 20);
    paint_usage(p, v, w, y, bar_width);

    p.setPen(Qt::black);
    const QString space = free_space_known(v)
                              ? format_size(v.free_bytes) + translate("recovery_free") + format_size(v.total_bytes)
                              : format_size(v.total_bytes);
    p.drawText(static_cast<int>(w * 0.32 + bar_width + 20), y + 20, space);
    p.drawText(static_cast<int>(w * 0.85 + 20), y + 20, v.file_system);
    p.restore();
}

QSize volume_delegate_c::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    return row_size(option);
}
