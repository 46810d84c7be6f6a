#pragma once
// The recovery page: a file scan of one volume, its folder tree and file table, and the
// copying of the checked files. For now a placeholder that starts no scan.
#include <cstdint>

#include "pages/placeholder_page.h"
#include "volumes/volume_item.h"

class recovery_window_c : public placeholder_page_c {
    Q_OBJECT
public:
    explicit recovery_window_c(QWidget* parent = nullptr);

    // 0 when the scan started; anything else when it did not.
    int start_recovery(const volume_item_s&, std::uint8_t) { return -1; }
    // 0 when a scan-result file was loaded; -1 when cancelled or unreadable.
    int load_scan_result() { return -1; }
    void cancel_scan() {}
    void reset_page() {}
};
