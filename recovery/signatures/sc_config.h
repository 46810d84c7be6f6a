#pragma once
// The library's configuration as the scan uses it: for each format of the registry, in
// the registry's order, whether it is enabled and its maximum size.
#include <cstdint>
#include <vector>

struct sc_type_setting_s {
    bool enabled = true;
    std::uint64_t max_size = 0;
};

// A copy of the current settings, one per entry of signature_registry().
std::vector<sc_type_setting_s> sc_current_settings();
