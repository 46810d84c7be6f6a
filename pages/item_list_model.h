#pragma once
// A list model over a list of records that it neither owns nor copies: one row per record,
// whose display data is a copy of the record in a variant, for a delegate that paints it.
// The drive and volume lists are rebuilt in place by their enumerations, so a page gives
// its view a new model each time the list is rebuilt rather than resetting this one.
#include <QAbstractListModel>
#include <QList>
#include <QString>
#include <QVariant>
#include <optional>

// The record a variant holds, when it holds exactly that type.
template <typename item_t>
std::optional<item_t> held_item(const QVariant& value)
{
    if (value.metaType() != QMetaType::fromType<item_t>()) {
        return std::nullopt;
    }
    return value.value<item_t>();
}

template <typename item_t>
class item_list_model : public QAbstractListModel {
public:
    explicit item_list_model(const QList<item_t>* items, QObject* parent = nullptr)
        : QAbstractListModel(parent), items(items)
    {
    }

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() || !items ? 0 : static_cast<int>(items->size());
    }

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override
    {
        if (!index.isValid() || !items || index.row() >= items->size()) {
            return {};
        }
        if (role == Qt::ToolTipRole) {
            const QString tip = tool_tip(items->at(index.row()));
            return tip.isEmpty() ? QVariant() : QVariant(tip);
        }
        if (role != Qt::DisplayRole) {
            return {};
        }
        return QVariant::fromValue(items->at(index.row()));
    }

    // The whole text of a row whose painted name may be shortened in the middle (a long image
    // path), shown when the pointer rests on it; none by default.
    virtual QString tool_tip(const item_t&) const { return {}; }

    const QList<item_t>* list() const { return items; }

private:
    const QList<item_t>* items;
};
