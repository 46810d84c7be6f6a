#include "disk/boot_program.h"

// Defined in boot_program_data.cpp, which the build generates from
// disk/boot/boot_program.asm (see disk/boot/boot_program.cmake).
extern const std::uint8_t k_boot_program_bytes[440];

std::span<const std::uint8_t, 440> boot_program()
{
    return std::span<const std::uint8_t, 440>(k_boot_program_bytes);
}
