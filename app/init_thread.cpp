#include "app/init_thread.h"

#include "disk/drive_list.h"
#include "recovery/fat/fat_drive_table.h"
#include "skin/shell_state.h"
#include "volumes/volume_enumeration.h"

void init_c::run()
{
    enumerate_volumes();
    enumerate_drives();
    // A table that cannot be opened is the FAT reader's concern, not start-up's.
    open_fat_drives();
    startup_done = true;
    emit init_finished();
}
