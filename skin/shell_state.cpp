#include "skin/shell_state.h"

std::atomic<bool> startup_done{false};
bool scan_busy = false;
