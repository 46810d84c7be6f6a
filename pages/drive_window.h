#pragma once
// The drive page: the physical drives, one of which the user picks for a partition search.
// For now a placeholder that keeps the list it is given and offers no choice.
#include <QList>
#include <optional>

#include "disk/drive_item.h"
#include "pages/placeholder_page.h"

class drive_window_c : public placeholder_page_c {
    Q_OBJECT
public:
    explicit drive_window_c(QWidget* parent = nullptr);

    void set_drive_list(const QList<drive_item_s>& list) { drives = &list; }
    // Lists the drives again and shows the new list.
    void refresh();
    // The current row's drive; nothing when there is no current row.
    std::optional<drive_item_s> selected_drive() const { return std::nullopt; }

private:
    const QList<drive_item_s>* drives = nullptr;
};
