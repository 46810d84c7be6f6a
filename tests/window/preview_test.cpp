// The preview's rules: text by its byte-order mark, pictures by their extension through the
// image plug-ins. The preview through the page is in recovery_page_test.cpp.
#include <gtest/gtest.h>

#include <QImage>
#include <QImageReader>

#include "results/file_preview.h"

TEST(preview_text, follows_the_byte_order_mark_and_ends_at_a_nul)
{
    const auto bytes = [](std::initializer_list<int> b) {
        QByteArray out;
        for (int c : b)
            out.append(char(c));
        return out;
    };
    struct case_s {
        const char* what;
        QByteArray head;
        QString expected;
    } cases[] = {
        {"UTF-16 little-endian after FF FE", bytes({0xFF, 0xFE, 'H', 0, 'i', 0, 0xFC, 0}), QString::fromUtf8("Hiü")},
        {"UTF-16 big-endian after FE FF", bytes({0xFE, 0xFF, 0, 'H', 0, 'i'}), "Hi"},
        {"an odd last byte of UTF-16 is dropped", bytes({0xFF, 0xFE, 'A', 0, 'B'}), "A"},
        {"UTF-8 after its mark", bytes({0xEF, 0xBB, 0xBF, 0xC3, 0xA9, 't', 0xC3, 0xA9}), QString::fromUtf8("été")},
        {"the mark alone is three Latin-1 characters", bytes({0xEF, 0xBB, 0xBF}), QString::fromLatin1("\xEF\xBB\xBF")},
        {"two bytes FF FE alone are Latin-1", bytes({0xFF, 0xFE}), QString::fromLatin1("\xFF\xFE")},
        {"valid UTF-8 without a mark", QByteArray("caf\xC3\xA9"), QString::fromUtf8("café")},
        {"a character cut by the end of the read", QByteArray("ab\xE2\x82"), "ab"},
        {"not UTF-8: one Latin-1 character a byte", QByteArray("caf\xE9 ok"), QString::fromLatin1("caf\xE9 ok")},
        {"a NUL ends the text", QByteArray("one\0two", 7), "one"},
        {"a NUL ends UTF-16 too", bytes({0xFF, 0xFE, 'a', 0, 0, 0, 'b', 0}), "a"},
    };
    for (const case_s& c : cases)
        EXPECT_EQ(preview_text(c.head), c.expected) << c.what;
}

TEST(preview_as_image, goes_by_the_extension_in_any_case)
{
    for (const char* name : {"Photo.JPEG", "scan.TIFF", "a.tif", "x.png", "y.GIF", "z.bmp"})
        EXPECT_TRUE(preview_as_image(name)) << name;
    for (const char* name : {"notes.txt", "png", "archive.zip", "photo.jpg.txt"})
        EXPECT_FALSE(preview_as_image(name)) << name;
    // TIFF comes from the image-formats plug-ins that the setup installs.
    EXPECT_TRUE(QImageReader::supportedImageFormats().contains("tiff"));
}
