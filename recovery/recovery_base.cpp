#include "recovery/recovery_base.h"

#include <algorithm>

std::int32_t recovery_base_c::get_item_path(std::uint64_t, QString&)
{
    return 0;
}

std::int32_t recovery_base_c::recover_item_reported(std::uint64_t id, const QString& path, recover_report_s&)
{
    return recover_item(id, path);
}

void recover_report_s::add_range(std::vector<byte_range_s>& ranges, std::uint64_t first, std::uint64_t last)
{
    if (first >= last)
        return;
    if (!ranges.empty() && ranges.back().last >= first) {
        ranges.back().last = std::max(ranges.back().last, last);
        return;
    }
    ranges.push_back({first, last});
}

void recovery_engine_c::reset_state()
{
    progress_ = 0.0;
    pause_ = 0;
    stop_ = 0;
    read_count_ = 0;
    found_count_ = 0;
    failure_.clear();
}

bool recovery_engine_c::may_go_on()
{
    if (stop_.load() != 0)
        return false;
    while (pause_.load() != 0) {
        if (stop_.load() != 0)
            return false;
        QThread::msleep(100);
    }
    return stop_.load() == 0;
}

void register_recovery_meta_types()
{
    qRegisterMetaType<recovery_item_s>("recovery_item_s");
}

QString recover_result_text(std::int32_t result)
{
    switch (result) {
    case recover_written:
        return QStringLiteral("written");
    case recover_partial:
        return QStringLiteral("written, with unreadable or in-use parts as zeros");
    case recover_failed:
        return QStringLiteral("not found, or the volume or the file cannot be opened");
    case recover_unknown_item:
        return QStringLiteral("its record cannot be read");
    case recover_no_data:
        return QStringLiteral("it has no data");
    case recover_cannot_create:
        return QStringLiteral("the file cannot be created");
    case recover_read_error:
        return QStringLiteral("a read error on the volume");
    case recover_write_error:
        return QStringLiteral("the file cannot be written whole");
    case recover_truncated:
        return QStringLiteral("the volume ends before the file does");
    case recover_overwritten:
        return QStringLiteral("overwritten: its first cluster now belongs to another file");
    default:
        return QStringLiteral("failed (%1)").arg(result);
    }
}

QString recover_in_use_text()
{
    return QStringLiteral("parts of it belong to other files now and were written as zeros");
}
