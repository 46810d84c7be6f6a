#include "cli/cli_common.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QLocale>

#include <cstdio>

#include "disk/drive_list.h"

void err_line(const QString& text)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

void out_line(const QString& text)
{
    std::fprintf(stdout, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stdout);
}

void print_json(const QJsonObject& doc)
{
    const QByteArray bytes = QJsonDocument(doc).toJson(QJsonDocument::Indented);
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

QString human_size(std::uint64_t bytes)
{
    return QLocale::c().formattedDataSize(static_cast<qint64>(bytes), 2, QLocale::DataSizeIecFormat);
}

bool load_drives(const QStringList& images)
{
    for (const QString& image : images) {
        QString error;
        if (!make_drive_item(QFileInfo(image).absoluteFilePath(), &error)) {
            err_line(QStringLiteral("vantrel-cli: ") +
                     (error.isEmpty() ? QStringLiteral("cannot open %1").arg(image) : error));
            return false;
        }
    }
    set_drive_images(images);
    enumerate_drives();
    return true;
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

std::optional<drive_item_s> resolve_drive(const QString& name, QStringList images)
{
    bool is_number = false;
    const int number = name.toInt(&is_number);
    const QString path = is_number ? QString() : QFileInfo(name).absoluteFilePath();
    if (!is_number && !name.startsWith(QLatin1String("/dev/")))
        images = with_image(images, name);
    if (!load_drives(images))
        return std::nullopt;

    if (is_number) {
        if (number >= 0 && number + 1 < drive_list.size())
            return drive_list[number + 1];
        err_line(QStringLiteral("vantrel-cli: there is no drive %1 (vantrel-cli drives lists them)").arg(name));
        return std::nullopt;
    }
    for (const drive_item_s& d : drive_list)
        if (!d.path.isEmpty() && (d.path == path || d.path == name))
            return d;
    // A disk beyond the listed ones, or one hidden by VANTREL_IMAGES_ONLY, can still be named.
    QString error;
    if (std::optional<drive_item_s> d = make_drive_item(name, &error))
        return d;
    err_line(QStringLiteral("vantrel-cli: ") + (error.isEmpty() ? QStringLiteral("cannot open %1").arg(name) : error));
    return std::nullopt;
}
