#pragma once
// The volumes of this machine: every partition of every drive (image files first, then the
// whole block devices, in drive-number order), and a drive without a partition table as a
// whole, partition 0. Partition tables and file systems are read with libblkid, mounts with
// libmount, free space with statvfs. Everything is gathered when the walk begins.
#include <vector>

#include "volumes/volume_platform.h"

class linux_volume_platform : public volume_platform {
public:
    struct volume_s {
        QString volume_path;  // /dev/sdb1, /dev/sdb for a whole disk, or IMAGE@pN
        QString drive_path;
        std::int32_t disk_number = -1;
        std::int32_t partition_number = -1;
        std::uint64_t start_sector = 0;
        std::uint64_t sector_count = 0;
        std::uint32_t drive_type = 0;
        volume_facts_s facts;
        QStringList mounts;
        std::uint64_t total_bytes = 0;
        std::uint64_t free_bytes = 0;
    };

    bool begin_walk() override;
    std::optional<QString> next_volume() override;
    void end_walk() override;
    std::optional<QString> device_name(const QString& volume_path) override;
    std::optional<QStringList> mount_paths(const QString& volume_path) override;
    std::uint32_t drive_type(const QString& root) override;
    std::optional<volume_facts_s> volume_information(const QString& root) override;
    std::optional<std::pair<std::uint64_t, std::uint64_t>> space(const QString& root) override;
    std::optional<std::int32_t> partition_number(const QString& volume_path) override;
    std::optional<std::int32_t> disk_number(const QString& volume_path) override;
    std::optional<std::pair<std::uint64_t, std::uint64_t>> extent(const QString& volume_path) override;
    bool is_admin() override;

    const std::vector<volume_s>& volumes() const { return volumes_; }

private:
    const volume_s* by_path(const QString& volume_path) const;
    const volume_s* by_root(const QString& root) const;

    std::vector<volume_s> volumes_;
    std::size_t next_ = 0;
};

// The partitions of a drive as its partition table lists them (containers of extended
// partitions left out), or the whole drive as partition 0 when it has no table.
struct partition_extent_s {
    std::int32_t number = 0;
    std::uint64_t start_sector = 0;
    std::uint64_t sector_count = 0;
};
std::vector<partition_extent_s> read_partition_table(const QString& drive_path, std::uint64_t drive_bytes);

// The file system's name and label at a byte range of a drive; empty when none is known.
volume_facts_s probe_file_system(const QString& drive_path, std::uint64_t offset, std::uint64_t bytes);
