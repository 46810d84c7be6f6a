#pragma once
// The drives that the FAT module reads sectors from: up to ten, numbered as the drive list
// numbers them (image files first, then block devices), opened once for reading. One lock
// guards the table and the one 64 KiB transfer buffer; a keep-alive thread marks a drive
// not ready when its medium goes away (an image file removed, a card pulled). The thread
// runs from open_fat_drives until close_fat_drives, which stops and joins it.
//
// Diagnostic lines go to the library's diagnostic sink (recovery/diagnostics.h).
#include <QString>
#include <cstdint>
#include <optional>

#include "volumes/volume_item.h"

constexpr int fat_max_drives = 10;

// Status bits of a drive.
constexpr std::uint8_t STA_NOINIT = 0x01;   // the drive did not answer
constexpr std::uint8_t STA_PROTECT = 0x04;  // write-protected

// Results of the disk operations.
enum disk_result { RES_OK = 0, RES_ERROR = 1, RES_NOTRDY = 3, RES_PARERR = 4 };

// Where the volume of logical drive 0 lies: on which drive, as which partition (0 when the
// volume is a whole drive), from which sector. Only entry 0 is used.
struct volume_partition_s {
    std::uint8_t disk_number = 0;
    std::uint8_t partition_flag = 0;
    std::uint32_t start_sector = 0;
};
extern volume_partition_s volume_partition_table[fat_max_drives];

// Opens the drives of the drive list (again, when open) and starts the keep-alive thread
// unless it runs. The number of drives opened.
int open_fat_drives();
int reopen_fat_drives();
// Stops and joins the keep-alive thread and closes every drive; the table is then empty
// until it is opened again.
void close_fat_drives();
// The keep-alive thread's name, as the system lists it.
constexpr const char* fat_keep_alive_name = "fat-keep-alive";
// Whether the keep-alive thread runs.
bool fat_drives_watched();
int check_fat_drive(int n);
std::uint8_t disk_initialize(std::uint8_t n);
// Reads count (1 to 255) sectors from the absolute sector `sector` of drive n.
disk_result disk_read(std::uint8_t n, std::uint8_t* buffer, std::uint32_t sector, std::uint8_t count);

// Finds a volume on its drive: partition number, drive number and first sector. 0 or -1.
int locate_volume(const QString& volume_path, std::int32_t* partition_number, std::int32_t* disk_number,
                  std::uint32_t* start_sector);
// Makes the volume the one that logical drive 0 mounts. 0, or -1 (the old entry stays).
int set_fat_volume(const QString& volume_path);
// Where a listed volume lies, from what the volume list already knows of it (drive number,
// partition number, first sector), without asking the platform again. Nothing when the
// volume's first sector is beyond a 32-bit sector number or its drive number is unknown.
std::optional<volume_partition_s> fat_volume_location(const volume_item_s& volume);

// Number of drives in the table.
int fat_drive_count();
std::uint8_t fat_drive_status(int n);
