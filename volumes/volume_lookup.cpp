#include "volumes/volume_lookup.h"

#include <QFileInfo>

#include "disk/drive_list.h"
#include "volumes/volume_device.h"
#include "volumes/volume_enumeration.h"

lookup_s<volume_item_s> find_named_volume(QString name, QStringList images)
{
    lookup_s<volume_item_s> found;
    if (const std::optional<image_volume_s> m = parse_image_volume(name)) {
        // The listed path of an image's volume holds the image's absolute path.
        const QString image = QFileInfo(m->image).absoluteFilePath();
        name = image + QStringLiteral("@p") + QString::number(m->partition);
        images = with_image(images, image);
        hide_machine_disks(true);
    }
    found.error = use_drive_images(images);
    if (!found.error.isEmpty())
        return found;
    enumerate_volumes();
    for (const volume_item_s& v : volume_item_list)
        if (!v.volume_path.isEmpty() && v.volume_path == name) {
            found.item = v;
            return found;
        }
    found.error = QStringLiteral("there is no volume %1").arg(name);
    found.unlisted = true;
    return found;
}
