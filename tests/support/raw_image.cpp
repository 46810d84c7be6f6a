#include "tests/support/raw_image.h"

#include <gtest/gtest.h>

namespace raw_fixtures {

void raw_image::filler(int min_sectors, int max_sectors)
{
    const int n = min_sectors + static_cast<int>(g_() % static_cast<unsigned>(max_sectors - min_sectors + 1));
    content_.append(random_bytes(g_, n * 512));
}

std::uint64_t raw_image::add(const QString& extension, const QByteArray& bytes, int lead)
{
    if (content_.size() % 512 != 0)
        content_.append(random_bytes(g_, 512 - static_cast<int>(content_.size() % 512)));
    content_.append(random_bytes(g_, lead));
    const std::uint64_t offset = static_cast<std::uint64_t>(content_.size());
    content_.append(bytes);
    if (content_.size() % 512 != 0)
        content_.append(random_bytes(g_, 512 - static_cast<int>(content_.size() % 512)));
    files_.push_back({extension, bytes, offset});
    return offset;
}

QString raw_image::write()
{
    if (content_.size() % 512 != 0)
        content_.append(random_bytes(g_, 512 - static_cast<int>(content_.size() % 512)));
    QFile f(image_path());
    EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    EXPECT_EQ(f.write(content_), content_.size());
    f.close();
    return image_path() + "@p0";
}

void run_scan(raw_recovery_c& engine, const QString& volume_path)
{
    volume_item_s v;
    v.volume_path = volume_path;
    engine.set_volume(v);
    engine.start();
    ASSERT_TRUE(engine.wait(QDeadlineTimer(600000)));
}

QByteArray read_file(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

}  // namespace raw_fixtures
