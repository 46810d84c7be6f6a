#include "pages/volume_window.h"

#include "volumes/volume_enumeration.h"

volume_window_c::volume_window_c(QWidget* parent)
    : placeholder_page_c(QStringLiteral("VolumeForm"), QStringLiteral("Volumes"), parent)
{
}

void volume_window_c::refresh()
{
    enumerate_volumes();
    set_volume_list(volume_item_list);
}
