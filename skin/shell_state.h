#pragma once
// The two process-wide flags that the window's navigation reads.
#include <atomic>

// False until the start-up worker has listed the volumes and drives and opened the FAT drive
// table; then true for the rest of the run. Written once by that worker before it signals,
// read by click handlers on the user-interface thread.
extern std::atomic<bool> startup_done;

// True from the start of a file scan's engine thread until the recovery page has handled its
// end. User-interface thread only.
extern bool scan_busy;
