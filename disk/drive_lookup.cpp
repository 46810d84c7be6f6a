#include "disk/drive_lookup.h"

#include <QFileInfo>

#include "disk/drive_list.h"

QString drive_image_error(const QString& path)
{
    QString error;
    if (make_drive_item(QFileInfo(path).absoluteFilePath(), &error))
        return {};
    return error.isEmpty() ? QStringLiteral("cannot open %1").arg(path) : error;
}

QString use_drive_images(const QStringList& images)
{
    for (const QString& image : images)
        if (const QString error = drive_image_error(image); !error.isEmpty())
            return error;
    set_drive_images(images);
    enumerate_drives();
    return {};
}

QStringList with_image(QStringList images, const QString& image)
{
    const QString path = QFileInfo(image).absoluteFilePath();
    for (const QString& i : images)
        if (QFileInfo(i).absoluteFilePath() == path)
            return images;
    images.prepend(path);
    return images;
}

lookup_s<drive_item_s> find_named_drive(const QString& name, QStringList images)
{
    lookup_s<drive_item_s> found;
    bool is_number = false;
    const int number = name.toInt(&is_number);
    const QString path = is_number ? QString() : QFileInfo(name).absoluteFilePath();
    if (!is_number && !name.startsWith(QLatin1String("/dev/"))) {
        // Work on an image never opens a disk of the machine.
        images = with_image(images, name);
        hide_machine_disks(true);
    }
    found.error = use_drive_images(images);
    if (!found.error.isEmpty())
        return found;

    if (is_number) {
        if (number >= 0 && number + 1 < drive_list.size())
            found.item = drive_list[number + 1];
        else {
            found.error = QStringLiteral("there is no drive %1").arg(name);
            found.unlisted = true;
        }
        return found;
    }
    for (const drive_item_s& d : drive_list)
        if (!d.path.isEmpty() && (d.path == path || d.path == name)) {
            found.item = d;
            return found;
        }
    // A disk beyond the listed ones, or one hidden by VANTREL_IMAGES_ONLY, can still be named.
    found.item = make_drive_item(name, &found.error);
    if (found.item)
        found.error.clear();
    else if (found.error.isEmpty())
        found.error = QStringLiteral("cannot open %1").arg(name);
    return found;
}
