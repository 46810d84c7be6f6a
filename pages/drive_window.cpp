#include "pages/drive_window.h"

#include "disk/drive_list.h"

drive_window_c::drive_window_c(QWidget* parent)
    : placeholder_page_c(QStringLiteral("DriveForm"), QStringLiteral("Drives"), parent)
{
}

void drive_window_c::refresh()
{
    enumerate_drives();
    set_drive_list(drive_list);
}
