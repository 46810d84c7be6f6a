#pragma once
// The volume a person names, as the command line takes it: a volume path as the volume
// list shows it (/dev/sdb1), or IMAGE@pN for partition N of a disk image, whose image then
// becomes a drive without being named again.
#include <QString>
#include <QStringList>

#include "disk/drive_lookup.h"
#include "volumes/volume_item.h"

// Makes drives of the images (and of the image the name lies on, first; work on an image
// then lists no disk of the machine), lists the volumes (volume_item_list) and finds the
// named one. Nothing is printed: the error says why there is no volume.
lookup_s<volume_item_s> find_named_volume(QString name, QStringList images);
