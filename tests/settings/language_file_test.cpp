// The piece reader of the localisation file.
#include "settings/language_file.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string byte_text(char c)
{
    if (c >= 0x20 && c < 0x7F && c != '\\') {
        return std::string(1, c);
    }
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\x%02X", static_cast<unsigned char>(c));
    return buf;
}

// A piece in short form for readable failures: runs of one byte as "<byte>*<count>".
std::string run_lengths(const std::string& piece)
{
    std::string out;
    for (std::size_t i = 0; i < piece.size();) {
        std::size_t n = 1;
        while (i + n < piece.size() && piece[i + n] == piece[i]) {
            ++n;
        }
        out += byte_text(piece[i]) + (n > 1 ? "*" + std::to_string(n) : "") + " ";
        i += n;
    }
    return out;
}

}  // namespace

TEST(localisation_file, pieces_of_at_most_2047_bytes_with_cr_lf_read_as_lf)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("language.ini");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        // The CR LF straddles the limit: it counts as one byte.
        file.write(QByteArray(2046, 'a') + "\r\n" + "b\rc\r\n" + "\r\r\n" + QByteArray(5000, 'z'));
    }
    language_file_c reader(path);
    ASSERT_TRUE(reader.open());
    std::vector<std::string> pieces;
    std::string piece;
    while (reader.next_piece(piece)) {
        pieces.push_back(run_lengths(piece));
    }
    const std::vector<std::string> expected{
        "a*2046 \\x0A ", "b \\x0D c \\x0A ", "\\x0D \\x0A ", "z*2047 ", "z*2047 ", "z*906 ",
    };
    EXPECT_EQ(pieces, expected);

    language_file_c missing(dir.filePath("missing.ini"));
    EXPECT_FALSE(missing.open());
}
