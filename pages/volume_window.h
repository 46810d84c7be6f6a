#pragma once
// The volume page: the logical volumes, one of which the user picks for a file scan. For now
// a placeholder that keeps the list it is given and offers no choice.
#include <QList>
#include <optional>

#include "pages/placeholder_page.h"
#include "volumes/volume_item.h"

class volume_window_c : public placeholder_page_c {
    Q_OBJECT
public:
    explicit volume_window_c(QWidget* parent = nullptr);

    void set_volume_list(const QList<volume_item_s>& list) { volumes = &list; }
    // Lists the volumes again and shows the new list.
    void refresh();
    // The chosen row; nothing when no row is chosen.
    std::optional<volume_item_s> selected_volume() const { return std::nullopt; }

signals:
    void start_scan();

private:
    const QList<volume_item_s>* volumes = nullptr;
};
