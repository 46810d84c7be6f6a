#include "recovery/recovery_base.h"

std::int32_t recovery_base_c::get_item_path(std::uint64_t, QString&)
{
    return 0;
}

void recovery_engine_c::reset_state()
{
    progress_ = 0.0;
    pause_ = 0;
    stop_ = 0;
    read_count_ = 0;
    found_count_ = 0;
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
