#pragma once
// The partition page: the search for lost partitions on one drive and the repair. For now a
// placeholder without a search.
#include "disk/drive_item.h"
#include "pages/placeholder_page.h"

class partition_window_c : public placeholder_page_c {
    Q_OBJECT
public:
    explicit partition_window_c(QWidget* parent = nullptr);

    void start_search(const drive_item_s& drive) { searched = drive; }
    void stop_search() {}

private:
    drive_item_s searched;
};
