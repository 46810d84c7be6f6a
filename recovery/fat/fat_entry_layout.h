#pragma once
// Where the fields of a 32-byte FAT directory entry lie.
#include <cstddef>
#include <cstdint>

namespace fat_entry_layout {
constexpr std::size_t DIR_Name = 0;
constexpr std::size_t DIR_Ext = 8;
constexpr std::size_t DIR_Attr = 11;
constexpr std::size_t DIR_NTres = 12;  // lower-case flags that Windows NT keeps for 8.3 names
constexpr std::size_t DIR_CrtTime = 14;
constexpr std::size_t DIR_CrtDate = 16;
constexpr std::size_t DIR_FstClusHI = 20;
constexpr std::size_t DIR_WrtTime = 22;
constexpr std::size_t DIR_WrtDate = 24;
constexpr std::size_t DIR_FstClusLO = 26;
constexpr std::size_t DIR_FileSize = 28;
constexpr std::size_t entry_bytes = 32;
}  // namespace fat_entry_layout
