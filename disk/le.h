#pragma once
// Little-endian field loads and stores over byte spans. On-disk structures are read field
// by field through these helpers, never by casting packed structs over sector buffers.
#include <cstddef>
#include <cstdint>
#include <span>

inline std::uint16_t le16(std::span<const std::uint8_t> b, std::size_t off)
{
    return static_cast<std::uint16_t>(b[off] | (b[off + 1] << 8));
}

inline std::uint32_t le32(std::span<const std::uint8_t> b, std::size_t off)
{
    return static_cast<std::uint32_t>(b[off]) | (static_cast<std::uint32_t>(b[off + 1]) << 8) |
           (static_cast<std::uint32_t>(b[off + 2]) << 16) | (static_cast<std::uint32_t>(b[off + 3]) << 24);
}

inline std::uint64_t le64(std::span<const std::uint8_t> b, std::size_t off)
{
    return static_cast<std::uint64_t>(le32(b, off)) | (static_cast<std::uint64_t>(le32(b, off + 4)) << 32);
}

inline void put_le32(std::span<std::uint8_t> b, std::size_t off, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[off + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline void put_le64(std::span<std::uint8_t> b, std::size_t off, std::uint64_t v)
{
    put_le32(b, off, static_cast<std::uint32_t>(v));
    put_le32(b, off + 4, static_cast<std::uint32_t>(v >> 32));
}
