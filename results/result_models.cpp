#include "results/result_models.h"

#include <QApplication>
#include <QDateTime>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <algorithm>

#include "settings/localisation.h"

TreeModel::TreeModel(result_tree_s tree, QObject* parent) : QAbstractItemModel(parent), tree_(std::move(tree))
{
    row_in_parent_.assign(tree_.folders.size(), 0);
    for (const result_folder_s& f : tree_.folders)
        for (std::size_t i = 0; i < f.children.size(); ++i)
            row_in_parent_[f.children[i]] = int(i);
}

QModelIndex TreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column != 0 || row < 0 || tree_.folders.empty())
        return {};
    if (!parent.isValid())
        return row == 0 ? createIndex(0, 0, quintptr(0)) : QModelIndex();
    const result_folder_s& f = folder(parent);
    if (std::size_t(row) >= f.children.size())
        return {};
    return createIndex(row, 0, quintptr(f.children[row]));
}

QModelIndex TreeModel::parent(const QModelIndex& child) const
{
    if (!child.isValid() || child.internalId() == 0)
        return {};
    const std::size_t p = tree_.folders[child.internalId()].parent;
    return createIndex(p == 0 ? 0 : row_in_parent_[p], 0, quintptr(p));
}

int TreeModel::rowCount(const QModelIndex& parent) const
{
    if (tree_.folders.empty())
        return 0;
    if (!parent.isValid())
        return 1;
    return parent.column() == 0 ? int(folder(parent).children.size()) : 0;
}

int TreeModel::columnCount(const QModelIndex&) const
{
    return 1;
}

QVariant TreeModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    if (role == Qt::DisplayRole)
        return folder(index).name;
    if (role == Qt::DecorationRole)
        return QIcon(QStringLiteral(":/images/recovery/folder.png"));
    return {};
}

QModelIndex TreeModel::index_of(const QString& path) const
{
    QModelIndex found;
    tree_.walk([&](const result_folder_s&, std::size_t position, const QString& p) {
        if (!found.isValid() && p == path)
            found = createIndex(position == 0 ? 0 : row_in_parent_[position], 0, quintptr(position));
    });
    return found;
}

recovery_model_c::recovery_model_c(QList<recovery_item_s>* rows, QObject* parent)
    : QAbstractTableModel(parent), rows_(rows)
{
}

int recovery_model_c::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(rows_->size());
}

int recovery_model_c::columnCount(const QModelIndex&) const
{
    return 5;
}

QVariant recovery_model_c::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rows_->size())
        return {};
    const recovery_item_s& row = rows_->at(index.row());
    if (role == Qt::ToolTipRole) {
        if (row.overwritten)
            return translate("recovery_overwritten_tip");
        if (row.in_use_clusters > 0)
            return translate("recovery_partly_overwritten_tip").arg(row.in_use_clusters).arg(row.clusters);
        return {};
    }
    if (role != Qt::DisplayRole)
        return {};
    return QVariant::fromValue(row);
}

QVariant recovery_model_c::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const keys[] = {nullptr, "recovery_name", "drive_size", "recovery_date1", "recovery_date2"};
    if (section == 0)
        return QStringLiteral("checkbox");
    if (section > 0 && section < 5)
        return translate(keys[section]);
    return {};
}

void recovery_model_c::set_checked(int row, bool value)
{
    if (row < 0 || row >= rows_->size())
        return;
    (*rows_)[row].checked = value ? 1 : 0;
    emit dataChanged(index(row, 0), index(row, 0));
}

namespace {

template <typename key_t>
void sort_rows(QList<recovery_item_s>& rows, bool ascending, key_t key)
{
    if (ascending)
        std::sort(rows.begin(), rows.end(),
                  [&](const recovery_item_s& a, const recovery_item_s& b) { return key(a) < key(b); });
    else
        std::sort(rows.begin(), rows.end(),
                  [&](const recovery_item_s& a, const recovery_item_s& b) { return key(b) < key(a); });
}

}  // namespace

void recovery_model_c::sort_by_column(int column)
{
    if (column < 1 || column > 4)
        return;
    const bool up = ascending_[column] = !ascending_[column];
    switch (column) {
    case 1:
        sort_rows(*rows_, up, [](const recovery_item_s& r) -> const QString& { return r.name; });
        break;
    case 2:
        sort_rows(*rows_, up, [](const recovery_item_s& r) { return r.size; });
        break;
    case 3:
        sort_rows(*rows_, up, [](const recovery_item_s& r) { return r.date1; });
        break;
    default:
        sort_rows(*rows_, up, [](const recovery_item_s& r) { return r.date2; });
        break;
    }
    emit dataChanged(index(0, 0), index(int(rows_->size()) - 1, 4));
}

QString cell_text(const recovery_item_s& row, int column)
{
    switch (column) {
    case 1:
        if (row.overwritten)
            return QStringLiteral("%1  (%2)").arg(row.name, translate("recovery_overwritten"));
        if (row.in_use_clusters > 0)
            return QStringLiteral("%1  (%2)").arg(row.name, translate("recovery_partly_overwritten"));
        return row.name;
    case 2:
        return format_size(row.size);
    case 3:
    case 4: {
        // 0 is no time stamp at all (a file found by its signature has none), not 1970-01-01.
        const std::int64_t seconds = column == 3 ? row.date1 : row.date2;
        const QDateTime t = QDateTime::fromSecsSinceEpoch(seconds);
        return seconds != 0 && t.isValid() ? t.toLocalTime().toString(QStringLiteral("yyyy-MM-dd")) : QString();
    }
    default:
        return {};
    }
}

recovery_delegate_c::recovery_delegate_c(QObject* parent)
    : QStyledItemDelegate(parent),
      unchecked_(QStringLiteral(":/images/partition_search/check1.png")),
      checked_(QStringLiteral(":/images/partition_search/check2.png"))
{
}

void recovery_delegate_c::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QVariant v = index.data();
    if (!v.canConvert<recovery_item_s>()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    const recovery_item_s row = v.value<recovery_item_s>();
    painter->save();
    if (index.row() % 2 == 0)
        painter->fillRect(option.rect, QColor(241, 250, 255));
    if (option.state & QStyle::State_Selected)
        painter->fillRect(option.rect, QColor(81, 149, 206));
    painter->setFont(QFont(QStringLiteral("Segoe UI Symbol"), 8));
    // A file whose start another file took is written in red, its name marked.
    if (row.overwritten && !(option.state & QStyle::State_Selected))
        painter->setPen(QColor(180, 30, 30));
    if (index.column() == 0) {
        const QPixmap& box = row.checked ? checked_ : unchecked_;
        const int side = box.width();
        painter->drawPixmap(QRect(option.rect.x() + 10, option.rect.y() + 10, side, side), box);
    } else {
        painter->drawText(option.rect.adjusted(10, 0, 0, 0), Qt::AlignVCenter | Qt::AlignJustify,
                          cell_text(row, index.column()));
    }
    painter->restore();
}

MyHeaderView::MyHeaderView(QWidget* parent)
    : QHeaderView(Qt::Horizontal, parent),
      unchecked_(QStringLiteral(":/images/partition_search/check1.png")),
      checked_(QStringLiteral(":/images/partition_search/check2.png"))
{
}

QSize MyHeaderView::sizeHint() const
{
    QSize s = QHeaderView::sizeHint();
    s.setHeight(24);
    return s;
}

void MyHeaderView::mousePressEvent(QMouseEvent* event)
{
    const int x = int(event->position().x());
    const int s0 = sectionSize(0);
    if (x <= s0) {
        all_checked = !all_checked;
        emit check_all(all_checked);
    } else {
        int left = s0;
        for (int column = 1; column <= 4; ++column) {
            const int right = left + sectionSize(column);
            // A press exactly on a border between two sections belongs to neither.
            if (x > left && x < right && (column == 1 || x != left)) {
                emit sort_column(column);
                break;
            }
            left = right;
        }
    }
    viewport()->update();
    QHeaderView::mousePressEvent(event);
}

void MyHeaderView::paintSection(QPainter* painter, const QRect& rect, int logical_index) const
{
    painter->save();
    painter->fillRect(rect, QColor(232, 246, 255));
    painter->setPen(QPen(QColor(211, 231, 255), 1, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    painter->drawLine(rect.x() - 1, rect.y(), rect.x() - 1, rect.y() + rect.height());
    painter->drawLine(rect.x(), rect.y() + rect.height() - 1, rect.x() + rect.width(), rect.y() + rect.height() - 1);
    painter->setFont(QFont(QStringLiteral("Arial"), 8));
    painter->setPen(Qt::black);
    static const char* const keys[] = {nullptr, "recovery_name", "drive_size", "recovery_date1", "recovery_date2"};
    if (logical_index == 0) {
        const int side = unchecked_.width();
        painter->drawPixmap(QRect(rect.x() + 10, rect.y() + 5, side, side), all_checked ? checked_ : unchecked_);
    } else if (logical_index > 0 && logical_index < 5) {
        painter->drawText(rect.x() + 15, rect.y() + 14, translate(keys[logical_index]));
    }
    painter->restore();
}

void MyQTableView::keyPressEvent(QKeyEvent* event)
{
    const QModelIndex before = currentIndex();
    QTableView::keyPressEvent(event);
    const QModelIndex now = currentIndex();
    if (now.isValid() && now.row() != before.row())
        emit clicked(now);
}
