#include "raw_fixtures.h"

#include <zlib.h>

namespace raw_fixtures {

namespace {

void be16(QByteArray& b, unsigned v)
{
    b.append(char(v >> 8)).append(char(v));
}
void be32(QByteArray& b, std::uint32_t v)
{
    be16(b, v >> 16);
    be16(b, v & 0xFFFF);
}

QByteArray zlib_compress(const QByteArray& in)
{
    uLongf len = compressBound(static_cast<uLong>(in.size()));
    QByteArray out(static_cast<qsizetype>(len), '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &len, reinterpret_cast<const Bytef*>(in.constData()),
              static_cast<uLong>(in.size()), 6);
    out.resize(static_cast<qsizetype>(len));
    return out;
}

void jpeg_segment(QByteArray& b, std::uint8_t marker, const QByteArray& body)
{
    b.append('\xFF').append(char(marker));
    be16(b, static_cast<unsigned>(body.size() + 2));
    b.append(body);
}

void png_chunk(QByteArray& b, const char* type, const QByteArray& data)
{
    be32(b, static_cast<std::uint32_t>(data.size()));
    QByteArray td(type, 4);
    td.append(data);
    b.append(td);
    be32(b, static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(td.constData()), static_cast<uInt>(td.size()))));
}

}  // namespace

QByteArray random_bytes(rng& g, int n)
{
    QByteArray b(n, '\0');
    for (int i = 0; i < n; ++i)
        b[i] = static_cast<char>(g() & 0xFF);
    return b;
}

QByteArray jpeg(rng& g, int entropy_bytes)
{
    QByteArray b("\xFF\xD8", 2);
    jpeg_segment(b, 0xE0, QByteArray("JFIF\0\x01\x01\0\0\x01\0\x01\0\0", 14));
    // An Exif-like APP1 segment holding a thumbnail with its own SOI and EOI: the walk
    // must skip it whole rather than stop at the thumbnail's EOI.
    jpeg_segment(b, 0xE1, QByteArray("Exif\0\0\xFF\xD8\xFF\xDB\0\x04\0\0\xFF\xD9", 16));
    QByteArray dqt(1, '\0');
    dqt.append(random_bytes(g, 64));
    jpeg_segment(b, 0xDB, dqt);
    jpeg_segment(b, 0xC0, QByteArray("\x08\x00\x10\x00\x10\x01\x01\x11\x00", 9));
    QByteArray dht(1, '\0');
    dht.append(QByteArray(16, '\x01')).append(random_bytes(g, 16));
    jpeg_segment(b, 0xC4, dht);
    jpeg_segment(b, 0xDA, QByteArray("\x01\x01\x00\x00\x3F\x00", 6));
    for (int i = 0; i < entropy_bytes; ++i) {
        const char c = static_cast<char>(g() & 0xFF);
        b.append(c);
        if (c == '\xFF')
            b.append('\0');  // a stuffed data byte
        if (i % 1000 == 999)
            b.append('\xFF').append(char(0xD0 + (i / 1000) % 8));  // a restart marker
    }
    b.append("\xFF\xD9", 2);
    return b;
}

QByteArray png(rng& g, int raw_bytes)
{
    QByteArray b("\x89PNG\r\n\x1A\n", 8);
    QByteArray ihdr;
    be32(ihdr, 40);
    be32(ihdr, 33);
    ihdr.append("\x08\x02\x00\x00\x00", 5);
    png_chunk(b, "IHDR", ihdr);
    png_chunk(b, "tEXt", QByteArray("Comment\0made for a test", 23));
    const QByteArray z = zlib_compress(random_bytes(g, raw_bytes));
    png_chunk(b, "IDAT", z.left(z.size() / 2));
    png_chunk(b, "IDAT", z.mid(z.size() / 2));
    png_chunk(b, "IEND", {});
    return b;
}

std::vector<fixture_s> all_formats(rng& g)
{
    return {
        {"jpg", jpeg(g)},
        {"png", png(g)},
    };
}

}  // namespace raw_fixtures
