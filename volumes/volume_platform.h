#pragma once
// The facts about volumes that the enumeration needs of the platform. The Linux realisation
// reads drives, partition tables and file systems with libblkid and mounts with libmount;
// the table realisation answers from a table and serves tests of the enumeration's logic.
#include <QString>
#include <QStringList>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

struct volume_facts_s {
    QString label;
    QString file_system;
    std::uint32_t file_system_flags = 0;
};

class volume_platform {
public:
    virtual ~volume_platform() = default;

    // The walk over every volume: begin (false when the platform refuses), each volume's
    // unique path in turn (nothing at the end), end.
    virtual bool begin_walk() = 0;
    virtual std::optional<QString> next_volume() = 0;
    virtual void end_walk() = 0;

    virtual std::optional<QString> device_name(const QString& volume_path) = 0;
    // Every mount path of the volume in the platform's order; nothing when it cannot be had.
    virtual std::optional<QStringList> mount_paths(const QString& volume_path) = 0;

    // The questions below are asked of a root: the volume's first mount path, or its device
    // name when it has none.
    virtual std::uint32_t drive_type(const QString& root) = 0;
    virtual std::optional<volume_facts_s> volume_information(const QString& root) = 0;
    // Total bytes and all free bytes.
    virtual std::optional<std::pair<std::uint64_t, std::uint64_t>> space(const QString& root) = 0;

    // Asked of the volume's device: its partition number, and the number of the one drive
    // it lies on (nothing when it spans several or cannot be opened).
    virtual std::optional<std::int32_t> partition_number(const QString& volume_path) = 0;
    virtual std::optional<std::int32_t> disk_number(const QString& volume_path) = 0;
    // Where the volume lies on its drive, in sectors: first sector and count.
    virtual std::optional<std::pair<std::uint64_t, std::uint64_t>> extent(const QString&) { return std::nullopt; }

    virtual bool is_admin() = 0;
};

// Answers from tables keyed by volume path (walk, device name, mount paths, numbers) and by
// root (drive type, information, space). What a table lacks fails, as the platform's call
// would.
class table_volume_platform : public volume_platform {
public:
    bool refuse_walk = false;
    std::vector<QString> volumes;
    std::map<QString, QString> device_names;
    std::map<QString, QStringList> mounts;
    std::map<QString, std::uint32_t> drive_types;
    std::map<QString, volume_facts_s> information;
    std::map<QString, std::pair<std::uint64_t, std::uint64_t>> spaces;
    std::map<QString, std::int32_t> partition_numbers;
    std::map<QString, std::int32_t> disk_numbers;
    bool admin = true;
    int admin_questions = 0;

    bool begin_walk() override;
    std::optional<QString> next_volume() override;
    void end_walk() override {}
    std::optional<QString> device_name(const QString& volume_path) override;
    std::optional<QStringList> mount_paths(const QString& volume_path) override;
    std::uint32_t drive_type(const QString& root) override;
    std::optional<volume_facts_s> volume_information(const QString& root) override;
    std::optional<std::pair<std::uint64_t, std::uint64_t>> space(const QString& root) override;
    std::optional<std::int32_t> partition_number(const QString& volume_path) override;
    std::optional<std::int32_t> disk_number(const QString& volume_path) override;
    bool is_admin() override;

private:
    std::size_t next_ = 0;
};
