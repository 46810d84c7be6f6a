#pragma once

#include <cstdint>
#include <span>

// The 440-byte boot program that the repair writes at the start of sector 0.
std::span<const std::uint8_t, 440> boot_program();
