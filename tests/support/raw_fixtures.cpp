#include "tests/support/raw_fixtures.h"

#include <bzlib.h>
#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>

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

void le16(QByteArray& b, unsigned v)
{
    b.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF));
}
void le32(QByteArray& b, std::uint32_t v)
{
    le16(b, v & 0xFFFF);
    le16(b, v >> 16);
}

QByteArray deflate_bytes(const QByteArray& in, int window_bits)
{
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, window_bits, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(static_cast<qsizetype>(deflateBound(&z, static_cast<uLong>(in.size())) + 64), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.constData()));
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(static_cast<qsizetype>(z.total_out));
    deflateEnd(&z);
    return out;
}

std::uint32_t crc(const QByteArray& b)
{
    return static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(b.constData()), static_cast<uInt>(b.size())));
}

// Text-like content that compresses somewhat, as real files do.
QByteArray words(rng& g, int n)
{
    static const char* const list[] = {"sector ", "cluster ", "volume ", "recover ", "deleted ", "file\n", "table "};
    QByteArray b;
    while (b.size() < n)
        b.append(list[g() % 7]);
    b.append(random_bytes(g, n / 8));
    return b;
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
    be32(b, static_cast<std::uint32_t>(
                crc32(0, reinterpret_cast<const Bytef*>(td.constData()), static_cast<uInt>(td.size()))));
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

QByteArray jpeg_progressive(rng& g)
{
    QByteArray b("\xFF\xD8", 2);
    QByteArray dqt(1, '\0');
    dqt.append(random_bytes(g, 64));
    jpeg_segment(b, 0xDB, dqt);
    jpeg_segment(b, 0xC2, QByteArray("\x08\x00\x20\x00\x20\x01\x01\x11\x00", 9));
    for (int scan = 0; scan < 2; ++scan) {
        QByteArray dht(1, char(scan));
        dht.append(QByteArray(16, '\x01')).append(random_bytes(g, 16));
        jpeg_segment(b, 0xC4, dht);
        jpeg_segment(b, 0xDA, QByteArray("\x01\x01\x00\x00\x00\x00", 6));
        for (int i = 0; i < 1500; ++i) {
            const char c = static_cast<char>(g() & 0xFF);
            b.append(c);
            if (c == '\xFF')
                b.append('\0');
        }
        b.append("\xFF\xFF", 2);  // fill bytes before the next marker
    }
    b.append("\xFF\xD9", 2);
    return b;
}

namespace {

// Where a JPEG's SOI and its leading APP0/APP1 segments end: where cameras put the segments
// that list what they store behind the image.
qsizetype after_app_segments(const QByteArray& jpeg)
{
    qsizetype at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == '\xFF' && (jpeg[at + 1] == '\xE0' || jpeg[at + 1] == '\xE1'))
        at += 2 + ((static_cast<std::uint8_t>(jpeg[at + 2]) << 8) | static_cast<std::uint8_t>(jpeg[at + 3]));
    return at;
}

}  // namespace

QByteArray jpeg_multi_picture(const QByteArray& first, const std::vector<QByteArray>& others, bool big_endian)
{
    const auto u16 = [&](QByteArray& b, unsigned v) { big_endian ? be16(b, v) : le16(b, v); };
    const auto u32 = [&](QByteArray& b, std::uint32_t v) { big_endian ? be32(b, v) : le32(b, v); };
    const qsizetype at = after_app_segments(first);
    const auto images = static_cast<std::uint32_t>(others.size() + 1);
    const std::uint32_t ifd = 8, entries = ifd + 2 + 3 * 12 + 4;
    const qsizetype segment = 2 + 2 + 4 + entries + 16 * images;  // marker, length, "MPF\0", header to the entries
    const qsizetype header = at + 2 + 2 + 4;                      // where offsets count from
    QByteArray body("MPF\0", 4);
    body.append(big_endian ? QByteArray("MM\0*", 4) : QByteArray("II*\0", 4));
    u32(body, ifd);
    u16(body, 3);
    u16(body, 0xB000);  // MPFVersion "0100"
    u16(body, 7);
    u32(body, 4);
    body.append("0100", 4);
    u16(body, 0xB001);  // NumberOfImages
    u16(body, 4);
    u32(body, 1);
    u32(body, images);
    u16(body, 0xB002);  // MPEntry
    u16(body, 7);
    u32(body, 16 * images);
    u32(body, entries);
    u32(body, 0);  // no next IFD
    qsizetype next = first.size() + segment;
    for (std::uint32_t k = 0; k < images; ++k) {
        const auto size = static_cast<std::uint32_t>(k == 0 ? first.size() + segment : others[k - 1].size());
        u32(body, k == 0 ? 0x20030000 : 0x00010001);  // representative baseline primary; large thumbnail
        u32(body, size);
        u32(body, k == 0 ? 0 : static_cast<std::uint32_t>(next - header));
        u16(body, 0);
        u16(body, 0);
        if (k > 0)
            next += size;
    }
    QByteArray out = first.left(at);
    jpeg_segment(out, 0xE2, body);
    out.append(first.mid(at));
    for (const QByteArray& o : others)
        out.append(o);
    return out;
}

QByteArray jpeg_container(const QByteArray& first, int first_padding, const std::vector<container_item_s>& items)
{
    QByteArray xmp("http://ns.adobe.com/xap/1.0/\0", 29);
    xmp.append(
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
        "<rdf:Description rdf:about=\"\" xmlns:GCamera=\"http://ns.google.com/photos/1.0/camera/\"\n"
        " xmlns:Container=\"http://ns.google.com/photos/1.0/container/\"\n"
        " xmlns:Item=\"http://ns.google.com/photos/1.0/container/item/\"\n"
        " GCamera:MotionPhoto=\"1\" GCamera:MotionPhotoVersion=\"1\">\n"
        "<Container:Directory><rdf:Seq>\n");
    const auto item = [&](const QByteArray& mime, const char* semantic, qsizetype length, int padding) {
        xmp.append("<rdf:li rdf:parseType=\"Resource\"><Container:Item Item:Mime=\"" + mime + "\" Item:Semantic=\"" +
                   semantic + "\" Item:Length=\"" + QByteArray::number(length) + "\" Item:Padding=\"" +
                   QByteArray::number(padding) + "\"/></rdf:li>\n");
    };
    item("image/jpeg", "Primary", 0, first_padding);
    for (const container_item_s& i : items)
        item(i.mime, i.mime == "video/mp4" ? "MotionPhoto" : "GainMap", i.bytes.size(), i.padding);
    xmp.append("</rdf:Seq></Container:Directory>\n</rdf:Description></rdf:RDF></x:xmpmeta>");
    const qsizetype at = after_app_segments(first);
    QByteArray out = first.left(at);
    jpeg_segment(out, 0xE1, xmp);
    out.append(first.mid(at)).append(QByteArray(first_padding, '\0'));
    for (const container_item_s& i : items)
        out.append(i.bytes).append(QByteArray(i.padding, '\0'));
    return out;
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

QByteArray gif(rng& g)
{
    QByteArray b("GIF89a", 6);
    le16(b, 32);
    le16(b, 16);
    b.append('\x81').append('\0').append('\0');  // global color table of 4 entries
    b.append(random_bytes(g, 12));
    b.append("\x21\xF9\x04\x00\x0A\x00\x00\x00", 8);  // graphic control extension
    b.append('\x2C');
    le16(b, 0);
    le16(b, 0);
    le16(b, 32);
    le16(b, 16);
    b.append('\0');
    b.append('\x02');  // LZW minimum code size
    for (int n : {255, 255, 255, 17}) {
        b.append(char(n));
        b.append(random_bytes(g, n));
    }
    b.append('\0');
    b.append("\x21\xFE\x05hello\x00", 9);  // comment extension
    b.append('\x3B');
    return b;
}

QByteArray bmp(rng& g, int width, int height)
{
    const int row = (width * 24 + 31) / 32 * 4;
    const int pixels = row * height;
    QByteArray b("BM", 2);
    le32(b, static_cast<std::uint32_t>(54 + pixels));
    le32(b, 0);
    le32(b, 54);
    le32(b, 40);
    le32(b, static_cast<std::uint32_t>(width));
    le32(b, static_cast<std::uint32_t>(height));
    le16(b, 1);
    le16(b, 24);
    le32(b, 0);
    le32(b, static_cast<std::uint32_t>(pixels));
    le32(b, 2835);
    le32(b, 2835);
    le32(b, 0);
    le32(b, 0);
    b.append(random_bytes(g, pixels));
    return b;
}

QByteArray pdf(rng& g, bool update)
{
    QByteArray b("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
    std::vector<qsizetype> objects;
    const auto object = [&](const QByteArray& body) {
        objects.push_back(b.size());
        b.append(QByteArray::number(objects.size()) + " 0 obj\n" + body + "\nendobj\n");
    };
    object("<< /Type /Catalog /Pages 2 0 R >>");
    object("<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    object("<< /Type /Page /Parent 2 0 R /Contents 4 0 R >>");
    // A binary stream that contains a stray %%EOF, not preceded by startxref.
    QByteArray data = random_bytes(g, 1500) + "\n%%EOF\n" + random_bytes(g, 500);
    object("<< /Length " + QByteArray::number(data.size()) + " >>\nstream\n" + data + "\nendstream");
    const auto xref = [&](qsizetype first, qsizetype prev) {
        const qsizetype at = b.size();
        b.append("xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n");
        for (qsizetype o : objects)
            b.append(QByteArray::number(o).rightJustified(10, '0') + " 00000 n \n");
        b.append("trailer\n<< /Size " + QByteArray::number(objects.size() + 1) + " /Root 1 0 R");
        if (prev >= 0)
            b.append(" /Prev " + QByteArray::number(prev));
        b.append(" >>\nstartxref\n" + QByteArray::number(at) + "\n%%EOF\n");
        (void)first;
        return at;
    };
    const qsizetype first = xref(0, -1);
    if (update) {
        object("<< /Title (second revision) >>");
        xref(0, first);
    }
    return b;
}

QByteArray zip(const std::vector<zip_entry_s>& entries, const QByteArray& comment)
{
    QByteArray b;
    QByteArray central;
    for (const zip_entry_s& e : entries) {
        const QByteArray packed = e.deflate ? deflate_bytes(e.data, -15) : e.data;
        const std::uint32_t c = crc(e.data);
        const quint32 offset = static_cast<quint32>(b.size());
        const unsigned flags = e.descriptor ? 8 : 0;
        const unsigned method = e.deflate ? 8 : 0;
        le32(b, 0x04034b50);
        le16(b, 20);
        le16(b, flags);
        le16(b, method);
        le16(b, 0);
        le16(b, 0x21);
        le32(b, e.descriptor ? 0 : c);
        le32(b, e.descriptor ? 0 : static_cast<std::uint32_t>(packed.size()));
        le32(b, e.descriptor ? 0 : static_cast<std::uint32_t>(e.data.size()));
        le16(b, static_cast<unsigned>(e.name.size()));
        le16(b, 0);
        b.append(e.name).append(packed);
        if (e.descriptor) {
            if (e.descriptor_signature)
                le32(b, 0x08074b50);
            le32(b, c);
            le32(b, static_cast<std::uint32_t>(packed.size()));
            le32(b, static_cast<std::uint32_t>(e.data.size()));
        }
        le32(central, 0x02014b50);
        le16(central, 20);
        le16(central, 20);
        le16(central, flags);
        le16(central, method);
        le16(central, 0);
        le16(central, 0x21);
        le32(central, c);
        le32(central, static_cast<std::uint32_t>(packed.size()));
        le32(central, static_cast<std::uint32_t>(e.data.size()));
        le16(central, static_cast<unsigned>(e.name.size()));
        le16(central, 0);
        le16(central, 0);
        le16(central, 0);
        le16(central, 0);
        le32(central, 0);
        le32(central, offset);
        central.append(e.name);
    }
    const quint32 cd_offset = static_cast<quint32>(b.size());
    b.append(central);
    le32(b, 0x06054b50);
    le16(b, 0);
    le16(b, 0);
    le16(b, static_cast<unsigned>(entries.size()));
    le16(b, static_cast<unsigned>(entries.size()));
    le32(b, static_cast<std::uint32_t>(central.size()));
    le32(b, cd_offset);
    le16(b, static_cast<unsigned>(comment.size()));
    b.append(comment);
    return b;
}

qsizetype zip_data_offset(const std::vector<zip_entry_s>& entries, std::size_t index)
{
    qsizetype at = 0;
    for (std::size_t i = 0;; ++i) {
        const zip_entry_s& e = entries[i];
        at += 30 + e.name.size();
        if (i == index)
            return at;
        at += (e.deflate ? deflate_bytes(e.data, -15) : e.data).size() +
              (e.descriptor ? (e.descriptor_signature ? 16 : 12) : 0);
    }
}

QByteArray zip64(rng& g)
{
    const QByteArray name = "big.bin";
    const QByteArray data = random_bytes(g, 1200);
    QByteArray b;
    le32(b, 0x04034b50);
    le16(b, 45);
    le16(b, 0);
    le16(b, 0);
    le16(b, 0);
    le16(b, 0x21);
    le32(b, crc(data));
    le32(b, 0xFFFFFFFF);
    le32(b, 0xFFFFFFFF);
    le16(b, static_cast<unsigned>(name.size()));
    le16(b, 20);
    b.append(name);
    le16(b, 1);
    le16(b, 16);
    le32(b, static_cast<std::uint32_t>(data.size()));  // uncompressed size, 64-bit
    le32(b, 0);
    le32(b, static_cast<std::uint32_t>(data.size()));  // compressed size, 64-bit
    le32(b, 0);
    b.append(data);
    const std::uint32_t cd_offset = static_cast<std::uint32_t>(b.size());
    QByteArray central;
    le32(central, 0x02014b50);
    le16(central, 45);
    le16(central, 45);
    le16(central, 0);
    le16(central, 0);
    le16(central, 0);
    le16(central, 0x21);
    le32(central, crc(data));
    le32(central, 0xFFFFFFFF);
    le32(central, 0xFFFFFFFF);
    le16(central, static_cast<unsigned>(name.size()));
    le16(central, 20);
    le16(central, 0);
    le16(central, 0);
    le16(central, 0);
    le32(central, 0);
    le32(central, 0);
    central.append(name);
    le16(central, 1);
    le16(central, 16);
    le32(central, static_cast<std::uint32_t>(data.size()));
    le32(central, 0);
    le32(central, static_cast<std::uint32_t>(data.size()));
    le32(central, 0);
    b.append(central);
    const std::uint32_t record = static_cast<std::uint32_t>(b.size());
    le32(b, 0x06064b50);
    le32(b, 44);
    le32(b, 0);
    le16(b, 45);
    le16(b, 45);
    le32(b, 0);
    le32(b, 0);
    le32(b, 1);
    le32(b, 0);
    le32(b, 1);
    le32(b, 0);
    le32(b, static_cast<std::uint32_t>(central.size()));
    le32(b, 0);
    le32(b, cd_offset);
    le32(b, 0);
    le32(b, 0x07064b50);
    le32(b, 0);
    le32(b, record);
    le32(b, 0);
    le32(b, 1);
    le32(b, 0x06054b50);
    le16(b, 0);
    le16(b, 0);
    le16(b, 0xFFFF);
    le16(b, 0xFFFF);
    le32(b, 0xFFFFFFFF);
    le32(b, 0xFFFFFFFF);
    le16(b, 0);
    return b;
}

QByteArray gzip(rng& g)
{
    return deflate_bytes(words(g, 20000), 16 + 15);
}

QByteArray bzip2(rng& g)
{
    QByteArray in = words(g, 30000);
    unsigned int len = static_cast<unsigned>(in.size() + in.size() / 100 + 600);
    QByteArray out(static_cast<qsizetype>(len), '\0');
    BZ2_bzBuffToBuffCompress(out.data(), &len, in.data(), static_cast<unsigned>(in.size()), 9, 0, 0);
    out.resize(static_cast<qsizetype>(len));
    return out;
}

QByteArray xz(rng& g)
{
    const QByteArray in = words(g, 30000);
    QByteArray out(static_cast<qsizetype>(lzma_stream_buffer_bound(static_cast<size_t>(in.size()))), '\0');
    size_t pos = 0;
    lzma_easy_buffer_encode(6, LZMA_CHECK_CRC64, nullptr, reinterpret_cast<const uint8_t*>(in.constData()),
                            static_cast<size_t>(in.size()), reinterpret_cast<uint8_t*>(out.data()), &pos,
                            static_cast<size_t>(out.size()));
    out.resize(static_cast<qsizetype>(pos));
    return out;
}

QByteArray sqlite(rng& g)
{
    const int page = 1024, pages = 5;
    QByteArray b("SQLite format 3\0", 16);
    be16(b, page);
    b.append("\x01\x01\x00\x40\x20\x20", 6);
    be32(b, 7);  // change counter
    be32(b, pages);
    b.append(QByteArray(92 - b.size(), '\0'));
    be32(b, 7);  // version-valid-for, equal to the change counter
    be32(b, 3008007);
    b.append(random_bytes(g, page * pages - b.size()));
    return b;
}

QByteArray riff(rng& g, const char* form)
{
    QByteArray body(form, 4);
    const auto chunk = [&](const char* id, const QByteArray& data) {
        body.append(id, 4);
        le32(body, static_cast<std::uint32_t>(data.size()));
        body.append(data);
        if (data.size() % 2)
            body.append('\0');
    };
    if (QByteArray(form) == "WAVE") {
        chunk("fmt ", QByteArray("\x01\x00\x01\x00\x44\xAC\x00\x00\x88\x58\x01\x00\x02\x00\x10\x00", 16));
        chunk("LIST", QByteArray("INFOISFT\x05\0\0\0test\0\0", 18));
        chunk("data", random_bytes(g, 3001));
    } else if (QByteArray(form) == "AVI ") {
        chunk("LIST", "hdrlavih" + random_bytes(g, 60));
        chunk("LIST", "movi00dc" + random_bytes(g, 2501));
        chunk("idx1", random_bytes(g, 32));
    } else {
        chunk("VP8 ", random_bytes(g, 1201));
    }
    QByteArray b("RIFF");
    le32(b, static_cast<std::uint32_t>(body.size()));
    return b + body;
}

QByteArray avi_extended(rng& g)
{
    QByteArray b = riff(g, "AVI ");
    QByteArray body("AVIX");
    body.append("LIST");
    le32(body, 4 + 1500);
    body.append("movi").append(random_bytes(g, 1500));
    b.append("RIFF");
    le32(b, static_cast<std::uint32_t>(body.size()));
    return b + body;
}

QByteArray mp4(rng& g, const char* brand, bool large_mdat)
{
    QByteArray b;
    const auto box = [&](const char* type, const QByteArray& data) {
        be32(b, static_cast<std::uint32_t>(data.size() + 8));
        b.append(type, 4).append(data);
    };
    box("ftyp", QByteArray(brand, 4) + QByteArray("\0\0\x02\0", 4) + QByteArray(brand, 4) + "isom");
    box("free", QByteArray(16, '\0'));
    if (large_mdat) {
        be32(b, 1);
        b.append("mdat");
        be32(b, 0);
        be32(b, 5000 + 16);
        b.append(random_bytes(g, 5000));
    } else {
        box("mdat", random_bytes(g, 5000));
    }
    box("moov", QByteArray("\0\0\0\x6Cmvhd", 8) + random_bytes(g, 100));
    return b;
}

QByteArray sevenzip(rng& g)
{
    const QByteArray packed = random_bytes(g, 2500);
    const QByteArray next = "\x01\x04\x06" + random_bytes(g, 60);
    QByteArray tail;
    le32(tail, static_cast<std::uint32_t>(packed.size()));
    le32(tail, 0);
    le32(tail, static_cast<std::uint32_t>(next.size()));
    le32(tail, 0);
    le32(tail, crc(next));
    QByteArray b("7z\xBC\xAF\x27\x1C\x00\x04", 8);
    le32(b, crc(tail));
    return b + tail + packed + next;
}

QByteArray elf(rng& g, bool wide, bool big_endian)
{
    const auto put = [&](QByteArray& b, std::uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            const int shift = big_endian ? 8 * (bytes - 1 - i) : 8 * i;
            b.append(char((v >> shift) & 0xFF));
        }
    };
    const int word = wide ? 8 : 4;
    const int eh = wide ? 64 : 52, ph = wide ? 56 : 32, sh = wide ? 64 : 40;
    // Layout: header, 2 program headers, code (700 bytes), strings (40), section table of 4.
    const std::uint64_t phoff = eh, code = eh + 2 * ph, strings = code + 700, shoff = strings + 40;
    QByteArray b(
        "\x7F"
        "ELF",
        4);
    b.append(char(wide ? 2 : 1)).append(char(big_endian ? 2 : 1)).append('\x01').append(QByteArray(9, '\0'));
    put(b, 2, 2);              // e_type: executable
    put(b, wide ? 62 : 3, 2);  // e_machine
    put(b, 1, 4);              // e_version
    put(b, 0x401000, word);    // e_entry
    put(b, phoff, word);
    put(b, shoff, word);
    put(b, 0, 4);  // e_flags
    put(b, eh, 2);
    put(b, ph, 2);
    put(b, 2, 2);
    put(b, sh, 2);
    put(b, 4, 2);
    put(b, 3, 2);  // e_shstrndx
    for (int i = 0; i < 2; ++i) {
        put(b, 1, 4);  // PT_LOAD
        if (wide)
            put(b, 5, 4);
        put(b, i == 0 ? 0 : code, word);  // p_offset
        if (!wide) {
            put(b, 0x400000, 4);
            put(b, 0x400000, 4);
            put(b, i == 0 ? code : 700, 4);
            put(b, i == 0 ? code : 700, 4);
            put(b, 5, 4);
            put(b, 0x1000, 4);
        } else {
            put(b, 0x400000, 8);
            put(b, 0x400000, 8);
            put(b, i == 0 ? code : 700, 8);
            put(b, i == 0 ? code : 700, 8);
            put(b, 0x1000, 8);
        }
    }
    b.append(random_bytes(g, 700));
    b.append(QByteArray("\0.text\0.bss\0.shstrtab\0", 22).leftJustified(40, '\0'));
    const auto section = [&](std::uint32_t name, std::uint32_t type, std::uint64_t off, std::uint64_t size) {
        put(b, name, 4);
        put(b, type, 4);
        put(b, 0, word);  // flags
        put(b, 0, word);  // addr
        put(b, off, word);
        put(b, size, word);
        put(b, 0, 4);
        put(b, 0, 4);
        put(b, 1, word);
        put(b, 0, word);
    };
    section(0, 0, 0, 0);
    section(1, 1, code, 700);
    section(7, 8, shoff + 4 * sh, 1u << 20);  // .bss: no file bytes, whatever its size
    section(12, 3, strings, 40);
    return b;
}

QByteArray pe(rng& g, bool dll, bool symbols)
{
    QByteArray b("MZ");
    b.append(random_bytes(g, 0x3A));
    le32(b, 0x80);
    b.append(random_bytes(g, 0x80 - b.size()));
    b.append("PE\0\0", 4);
    le16(b, 0x8664);
    le16(b, 2);  // sections
    le32(b, 0);
    le32(b, symbols ? 0x1523 : 0);  // the symbol table, behind the certificate table
    le32(b, symbols ? 3 : 0);
    le16(b, 240);  // optional header size (PE32+ with 16 directories)
    le16(b, dll ? 0x2022 : 0x0022);
    QByteArray opt;
    le16(opt, 0x20B);
    opt.append(random_bytes(g, 58));
    le32(opt, 0x400);  // SizeOfHeaders
    opt.append(QByteArray(108 - opt.size(), '\0'));
    le32(opt, 16);
    for (int i = 0; i < 16; ++i) {
        le32(opt, i == 4 ? 0x1400 : 0);
        le32(opt, i == 4 ? 0x123 : 0);
    }
    b.append(opt);
    const auto section = [&](const char* name, std::uint32_t size, std::uint32_t pointer) {
        b.append(QByteArray(name).leftJustified(8, '\0'));
        le32(b, size);
        le32(b, pointer);
        le32(b, size);
        le32(b, pointer);
        b.append(QByteArray(16, '\0'));
    };
    section(".text", 0x800, 0x400);
    section(".data", 0x800, 0xC00);
    b.append(QByteArray(0x400 - b.size(), '\0'));
    b.append(random_bytes(g, 0x1000));
    b.append(random_bytes(g, 0x123));  // the certificate table
    if (symbols) {
        b.append(random_bytes(g, 3 * 18));
        le32(b, 14);
        b.append("_main\0_exit\0", 10);
    }
    return b;
}

QByteArray tiff(rng& g, bool big_endian, bool jpeg_preview)
{
    const auto u16 = [&](QByteArray& b, unsigned v) { big_endian ? be16(b, v) : le16(b, v); };
    const auto u32 = [&](QByteArray& b, std::uint32_t v) { big_endian ? be32(b, v) : le32(b, v); };
    // Header, two strips of pixels, a description text, then the IFD at the end.
    QByteArray b(big_endian ? "MM\0*" : "II*\0", 4);
    const QByteArray strip1 = random_bytes(g, 600), strip2 = random_bytes(g, 400);
    const QByteArray text = "a test image\0";
    const std::uint32_t s1 = 8, s2 = s1 + 600, t = s2 + 400, counts = t + static_cast<std::uint32_t>(text.size()),
                        offsets = counts + 8, ifd = offsets + 8;
    u32(b, ifd);
    b.append(strip1).append(strip2).append(text);
    u32(b, 600);
    u32(b, 400);
    u32(b, s1);
    u32(b, s2);
    const auto entry = [&](unsigned tag, unsigned type, std::uint32_t count, std::uint32_t value) {
        u16(b, tag);
        u16(b, type);
        u32(b, count);
        if (type == 3 && count == 1) {
            u16(b, value);
            u16(b, 0);
        } else {
            u32(b, value);
        }
    };
    u16(b, 7);
    entry(256, 3, 1, 50);  // width
    entry(257, 3, 1, 20);  // height
    entry(258, 3, 1, 8);   // bits per sample
    entry(270, 2, static_cast<std::uint32_t>(text.size()), t);
    entry(273, 4, 2, offsets);
    entry(278, 3, 1, 12);  // rows per strip
    entry(279, 4, 2, counts);
    if (!jpeg_preview) {
        u32(b, 0);
        return b;
    }
    // A second IFD whose JPEG preview, found only through tags 513 and 514, ends the file.
    const QByteArray preview = jpeg(g, 500);
    const auto ifd1 = static_cast<std::uint32_t>(b.size() + 4);
    u32(b, ifd1);
    u16(b, 3);
    entry(259, 3, 1, 6);  // compression: JPEG
    entry(513, 4, 1, ifd1 + 2 + 3 * 12 + 4);
    entry(514, 4, 1, static_cast<std::uint32_t>(preview.size()));
    u32(b, 0);
    return b.append(preview);
}

QByteArray ole2(rng& g, const char* stream)
{
    // Sectors: 0 FAT, 1 directory, 2..5 stream data; the FAT marks 0..5 used.
    QByteArray b("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    b.append(QByteArray(16, '\0'));
    le16(b, 0x3E);
    le16(b, 3);
    le16(b, 0xFFFE);
    le16(b, 9);
    le16(b, 6);
    b.append(QByteArray(10, '\0'));
    le32(b, 1);  // FAT sectors
    le32(b, 1);  // first directory sector
    le32(b, 0);
    le32(b, 4096);        // mini stream cutoff
    le32(b, 0xFFFFFFFE);  // first mini FAT sector
    le32(b, 0);
    le32(b, 0xFFFFFFFE);  // first DIFAT sector
    le32(b, 0);
    le32(b, 0);  // the FAT is sector 0
    while (b.size() < 512)
        le32(b, 0xFFFFFFFF);
    QByteArray fat;
    le32(fat, 0xFFFFFFFD);
    le32(fat, 0xFFFFFFFE);
    le32(fat, 3);
    le32(fat, 4);
    le32(fat, 5);
    le32(fat, 0xFFFFFFFE);
    while (fat.size() < 512)
        le32(fat, 0xFFFFFFFF);
    const auto dir_entry = [&](const QByteArray& name, int type, std::uint32_t start, std::uint32_t size) {
        QByteArray e;
        for (char c : name)
            e.append(c).append('\0');
        e.append(QByteArray(2, '\0'));
        e = e.leftJustified(64, '\0');
        le16(e, static_cast<unsigned>(name.size() * 2 + 2));
        e.append(char(type)).append('\x01');
        le32(e, 0xFFFFFFFF);
        le32(e, 0xFFFFFFFF);
        le32(e, type == 5 ? 1 : 0xFFFFFFFF);
        e.append(QByteArray(36, '\0'));
        le32(e, start);
        le32(e, size);
        le32(e, 0);
        return e;
    };
    QByteArray dir = dir_entry("Root Entry", 5, 0xFFFFFFFE, 0) + dir_entry(stream, 2, 2, 2000);
    dir = dir.leftJustified(512, '\0');
    return b + fat + dir + random_bytes(g, 4 * 512);
}

namespace {

std::uint32_t ogg_crc(const QByteArray& page)
{
    std::uint32_t crc = 0;
    for (char ch : page) {
        crc ^= static_cast<std::uint32_t>(static_cast<std::uint8_t>(ch)) << 24;
        for (int k = 0; k < 8; ++k)
            crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

QByteArray ogg_page(std::uint8_t type, std::uint32_t serial, std::uint32_t sequence, const QByteArray& data)
{
    QByteArray p("OggS\0", 5);
    p.append(char(type));
    p.append(QByteArray(8, '\0'));
    le32(p, serial);
    le32(p, sequence);
    le32(p, 0);
    QByteArray lacing;
    qsizetype left = data.size();
    do {
        const qsizetype n = std::min<qsizetype>(left, 255);
        lacing.append(char(n));
        left -= n;
        if (n < 255)
            break;
    } while (true);
    p.append(char(lacing.size())).append(lacing).append(data);
    const std::uint32_t crc = ogg_crc(p);
    for (int i = 0; i < 4; ++i)
        p[22 + i] = static_cast<char>(crc >> (8 * i));
    return p;
}

}  // namespace

QByteArray ogg(rng& g, const char* codec_id)
{
    const std::uint32_t serial = g();
    QByteArray b = ogg_page(2, serial, 0, QByteArray(codec_id) + random_bytes(g, 22));
    b.append(ogg_page(0, serial, 1, random_bytes(g, 700)));
    b.append(ogg_page(0, serial, 2, random_bytes(g, 1200)));
    b.append(ogg_page(4, serial, 3, random_bytes(g, 300)));
    return b;
}

namespace {

// An EBML element with a size written in 8 bytes (as muxers that patch sizes later do)
// or in the shortest form.
QByteArray ebml(std::uint32_t id, const QByteArray& data, bool long_size = false)
{
    QByteArray b;
    for (int shift = 24; shift >= 0; shift -= 8) {
        if ((id >> shift) != 0 || shift == 0)
            b.append(char((id >> shift) & 0xFF));
    }
    const std::uint64_t n = static_cast<std::uint64_t>(data.size());
    if (long_size || n >= 0x3FFF) {
        b.append('\x01');
        for (int shift = 48; shift >= 0; shift -= 8)
            b.append(char((n >> shift) & 0xFF));
    } else if (n < 0x7F) {
        b.append(char(0x80 | n));
    } else {
        b.append(char(0x40 | (n >> 8))).append(char(n & 0xFF));
    }
    return b + data;
}

}  // namespace

QByteArray matroska(rng& g, const char* doctype)
{
    const QByteArray header = ebml(0x4286, "\x01") + ebml(0x4282, doctype) + ebml(0x4287, "\x04");
    const QByteArray segment = ebml(0x1549A966, random_bytes(g, 40)) + ebml(0x1654AE6B, random_bytes(g, 90)) +
                               ebml(0x1F43B675, random_bytes(g, 3000)) + ebml(0xEC, QByteArray(20, '\0'));
    return ebml(0x1A45DFA3, header) + ebml(0x18538067, segment, true);
}

QByteArray psd(rng& g, bool packbits)
{
    const int channels = 3, height = 8, width = 10;
    QByteArray b("8BPS\0\x01", 6);
    b.append(QByteArray(6, '\0'));
    be16(b, channels);
    be32(b, height);
    be32(b, width);
    be16(b, 8);
    be16(b, 3);
    be32(b, 0);  // color mode data
    QByteArray resources("8BIM\x03\xED\0\0", 8);
    be32(resources, 16);
    resources.append(random_bytes(g, 16));
    be32(b, static_cast<std::uint32_t>(resources.size()));
    b.append(resources);
    be32(b, 0);  // layer and mask information
    be16(b, packbits ? 1 : 0);
    if (!packbits) {
        b.append(random_bytes(g, channels * height * width));
    } else {
        QByteArray rows;
        for (int i = 0; i < channels * height; ++i) {
            const int n = 2 + static_cast<int>(g() % 10);
            be16(b, static_cast<unsigned>(n));
            rows.append(random_bytes(g, n));
        }
        b.append(rows);
    }
    return b;
}

QByteArray ico(rng& g)
{
    const QByteArray small = png(g, 300);
    QByteArray dib;
    le32(dib, 40);
    dib.append(random_bytes(g, 40 + 16 * 16 * 4 - 4));
    QByteArray b("\0\0\x01\0\x02\0", 6);
    const auto entry = [&](int side, const QByteArray& image, std::uint32_t offset) {
        b.append(char(side)).append(char(side)).append('\0').append('\0');
        le16(b, 1);
        le16(b, 32);
        le32(b, static_cast<std::uint32_t>(image.size()));
        le32(b, offset);
    };
    entry(16, dib, 6 + 32);
    entry(32, small, 6 + 32 + static_cast<std::uint32_t>(dib.size()));
    return b + dib + small;
}

QByteArray sfnt(rng& g, bool cff)
{
    const char* tags[] = {cff ? "CFF " : "glyf", "OS/2", "cmap", "head", "name"};
    const int n = 5;
    QByteArray b(cff ? "OTTO" : QByteArray("\0\x01\0\0", 4));
    be16(b, n);
    be16(b, 64);
    be16(b, 2);
    be16(b, n * 16 - 64);
    std::vector<QByteArray> tables;
    std::uint32_t offset = 12 + 16 * n;
    std::vector<const char*> sorted(tags, tags + n);
    std::sort(sorted.begin(), sorted.end(), [](const char* a, const char* c) { return std::strcmp(a, c) < 0; });
    for (const char* tag : sorted) {
        QByteArray t = std::strcmp(tag, "head") == 0
                           ? QByteArray(12, '\x01') + QByteArray("\x5F\x0F\x3C\xF5") + random_bytes(g, 38)
                           : random_bytes(g, 50 + static_cast<int>(g() % 300));
        b.append(tag, 4);
        be32(b, g());
        be32(b, offset);
        be32(b, static_cast<std::uint32_t>(t.size()));
        offset += static_cast<std::uint32_t>((t.size() + 3) / 4 * 4);
        tables.push_back(t);
    }
    for (QByteArray& t : tables)
        b.append(t.leftJustified((t.size() + 3) / 4 * 4, '\0'));
    return b;
}

QByteArray netpbm(rng& g, char kind)
{
    const int width = 23, height = 9;
    QByteArray b = QByteArray("P") + kind + "\n# made by a test\n23 9\n";
    int bytes = (width + 7) / 8 * height;
    if (kind == '5')
        b.append("255\n"), bytes = width * height;
    if (kind == '6')
        b.append("65535\n"), bytes = width * height * 6;
    return b + random_bytes(g, bytes);
}

QByteArray mp3(rng& g, bool tagged)
{
    QByteArray b;
    if (tagged) {
        b.append("ID3\x03\x00\x00\x00\x00\x01\x04", 10);  // syncsafe size 132
        b.append(QByteArray("TIT2\0\0\0\x05\0\0\0test", 15));
        b.append(QByteArray(132 - 15, '\0'));
        b.append(QByteArray(300, '\0'));  // padding behind the tag, outside its stated size
        for (int i = 0; i < 6; ++i) {
            const bool pad = i % 2;
            b.append(pad ? "\xFF\xFB\x92\x00" : "\xFF\xFB\x90\x00", 4);  // MPEG-1 layer III, 128 kbit/s, 44.1 kHz
            b.append(random_bytes(g, (pad ? 418 : 417) - 4));
        }
        b.append(QByteArray("TAG").leftJustified(128, ' '));
    } else {
        for (int i = 0; i < 12; ++i) {
            b.append("\xFF\xF3\x80\x00", 4);  // MPEG-2 layer III, 64 kbit/s, 22.05 kHz: 208 bytes
            b.append(random_bytes(g, 204));
        }
    }
    return b;
}

QByteArray mpeg_ps(rng& g)
{
    QByteArray b;
    for (int pack = 0; pack < 3; ++pack) {
        b.append("\0\0\x01\xBA\x44\0\x04\0\x04\x01\x01\x89\xC3\xF8", 14);
        if (pack == 0) {
            b.append("\0\0\x01\xBB\0\x0C", 6);
            b.append(random_bytes(g, 12));
        }
        const int n = 1500 + static_cast<int>(g() % 500);
        b.append("\0\0\x01\xE0", 4);
        be16(b, static_cast<unsigned>(n));
        b.append(random_bytes(g, n));
    }
    b.append("\0\0\x01\xB9", 4);
    return b;
}

QByteArray mpeg1_ps(rng& g, bool end_code)
{
    // Packs of 2324 bytes as on a video CD: a 12-byte pack header (SCR, mux rate), the
    // system header in the first pack, then one video or audio packet filling the pack.
    constexpr int pack_size = 2324, packs = 4;
    QByteArray b;
    for (int pack = 0; pack < packs; ++pack) {
        const qsizetype start = b.size();
        b.append("\0\0\x01\xBA\x21\0\x01\0\x01\x80\x1B\x83", 12);
        if (pack == 0) {
            b.append("\0\0\x01\xBB\0\x0C", 6);
            b.append("\x80\x1B\x83\x04\xE1\xFF\xE0\xE0\x2E\xC0\xC0\x20", 12);
        }
        const bool last = pack == packs - 1;
        const int n = last ? 700 : pack_size - static_cast<int>(b.size() - start) - 6;
        b.append("\0\0\x01", 3).append(char(pack % 2 ? 0xC0 : 0xE0));
        be16(b, static_cast<unsigned>(n));
        b.append(random_bytes(g, n));
        if (last && !end_code) {
            const int pad = pack_size - static_cast<int>(b.size() - start) - 6;
            b.append("\0\0\x01\xBE", 4);
            be16(b, static_cast<unsigned>(pad));
            b.append(QByteArray(pad, '\xFF'));
        }
    }
    if (end_code)
        b.append("\0\0\x01\xB9", 4);
    return b;
}

namespace {

void rar4_block(QByteArray& b, std::uint8_t type, unsigned flags, const QByteArray& rest, const QByteArray& data = {})
{
    QByteArray h;
    h.append(char(type));
    le16(h, flags);
    le16(h, static_cast<unsigned>(rest.size() + 7));
    h.append(rest);
    le16(b, crc(h) & 0xFFFF);
    b.append(h).append(data);
}

QByteArray vint5(std::uint64_t v)
{
    QByteArray out;
    do {
        std::uint8_t c = v & 0x7F;
        v >>= 7;
        if (v)
            c |= 0x80;
        out.append(char(c));
    } while (v);
    return out;
}

void rar5_block(QByteArray& b, const QByteArray& fields, const QByteArray& data = {})
{
    const QByteArray sized = vint5(static_cast<std::uint64_t>(fields.size())) + fields;
    le32(b, crc(sized));
    b.append(sized).append(data);
}

}  // namespace

QByteArray rar(rng& g, bool version5)
{
    QByteArray b;
    if (!version5) {
        b.append("Rar!\x1A\x07\x00", 7);
        rar4_block(b, 0x73, 0, QByteArray(6, '\0'));
        for (const char* name : {"first.txt", "second.bin"}) {
            const QByteArray data = random_bytes(g, 800 + static_cast<int>(g() % 400));
            QByteArray rest;
            le32(rest, static_cast<std::uint32_t>(data.size()));
            le32(rest, static_cast<std::uint32_t>(data.size()));
            rest.append('\x02');
            le32(rest, crc(data));
            le32(rest, 0x5A8E3100);
            rest.append('\x1D').append('\x30');
            le16(rest, static_cast<unsigned>(std::strlen(name)));
            le32(rest, 0x20);
            rest.append(name);
            rar4_block(b, 0x74, 0x8000, rest, data);
        }
        rar4_block(b, 0x7B, 0x4000, {});
    } else {
        b.append("Rar!\x1A\x07\x01\x00", 8);
        rar5_block(b, vint5(1) + vint5(0) + vint5(0));
        for (const char* name : {"first.txt", "second.bin"}) {
            const QByteArray data = random_bytes(g, 700 + static_cast<int>(g() % 400));
            QByteArray fields = vint5(2) + vint5(2) + vint5(static_cast<std::uint64_t>(data.size()));
            fields += vint5(0) + vint5(static_cast<std::uint64_t>(data.size())) + vint5(0x20) + vint5(0) + vint5(0);
            fields += vint5(std::strlen(name)) + QByteArray(name);
            rar5_block(b, fields, data);
        }
        rar5_block(b, vint5(5) + vint5(0) + vint5(0));
    }
    return b;
}

QByteArray flac(rng& g, int frames)
{
    const int block = 192, last_block = 100;
    const std::uint64_t total = static_cast<std::uint64_t>(block) * (frames - 1) + last_block;
    QByteArray b("fLaC", 4);
    b.append('\0');  // STREAMINFO, not the last metadata block
    b.append('\0').append('\0').append('\x22');
    be16(b, block);
    be16(b, block);
    b.append(QByteArray(3, '\0'));
    b.append('\0').append('\x01').append('\0');  // largest frame: 256 bytes
    // 44100 Hz (20 bits), 1 channel, 8 bits a sample, total samples (36 bits).
    b.append('\x0A').append('\xC4').append(char(0x40 | 0x00 | 0x00));
    b.append(char(0x70 | ((total >> 32) & 0x0F)));
    be32(b, static_cast<std::uint32_t>(total));
    b.append(random_bytes(g, 16));  // MD5
    QByteArray pad(10, '\0');
    b.append('\x81').append('\0').append('\0').append(char(pad.size()));  // PADDING, the last block
    b.append(pad);
    for (int f = 0; f < frames; ++f) {
        const bool last = f == frames - 1;
        QByteArray fr("\xFF\xF8", 2);
        fr.append(char(((last ? 6 : 1) << 4) | 9));  // block size code, 44.1 kHz
        fr.append(char((0 << 4) | (1 << 1)));        // mono, 8 bits a sample
        fr.append(char(f));                          // frame number
        if (last)
            fr.append(char(last_block - 1));
        std::uint8_t c8 = 0;
        for (char ch : fr) {
            c8 ^= static_cast<std::uint8_t>(ch);
            for (int k = 0; k < 8; ++k)
                c8 = static_cast<std::uint8_t>((c8 & 0x80) ? (c8 << 1) ^ 0x07 : c8 << 1);
        }
        fr.append(char(c8));
        fr.append('\x02');  // verbatim subframe
        fr.append(random_bytes(g, last ? last_block : block));
        std::uint16_t c16 = 0;
        for (char ch : fr) {
            c16 ^= static_cast<std::uint16_t>(static_cast<std::uint8_t>(ch) << 8);
            for (int k = 0; k < 8; ++k)
                c16 = static_cast<std::uint16_t>((c16 & 0x8000) ? (c16 << 1) ^ 0x8005 : c16 << 1);
        }
        be16(fr, c16);
        b.append(fr);
    }
    return b;
}

QByteArray ogg_multiplexed(rng& g)
{
    const std::uint32_t a = g(), v = g() | 1;
    QByteArray b = ogg_page(2, a, 0, "\x01vorbis" + random_bytes(g, 22));
    b.append(ogg_page(2, v, 0, "\x80theora" + random_bytes(g, 35)));
    b.append(ogg_page(0, a, 1, random_bytes(g, 500)));
    b.append(ogg_page(0, v, 1, random_bytes(g, 900)));
    b.append(ogg_page(4, a, 2, random_bytes(g, 200)));
    b.append(ogg_page(0, v, 2, random_bytes(g, 600)));
    b.append(ogg_page(4, v, 3, random_bytes(g, 100)));
    return b;
}

QByteArray xcf(rng& g, bool wide)
{
    // Laid out in writing order: header, layer, hierarchy, level, tiles, mask channel with
    // its hierarchy, then the channel; pointers are patched in once their targets exist.
    QByteArray b("gimp xcf ");
    b.append(wide ? "v011" : "v003").append('\0');
    be32(b, 70);
    be32(b, 10);
    be32(b, 0);
    if (wide)
        be32(b, 150);  // precision
    be32(b, 17);       // compression
    be32(b, 1);
    b.append(char(wide ? 2 : 1));
    be32(b, 0);  // end of properties
    be32(b, 0);
    const auto pointer_slot = [&]() {
        const qsizetype at = b.size();
        if (wide)
            be32(b, 0);
        be32(b, 0);
        return at;
    };
    const auto patch = [&](qsizetype slot, qsizetype value) {
        const int bytes = wide ? 8 : 4;
        for (int i = 0; i < bytes; ++i)
            b[slot + i] = static_cast<char>((static_cast<std::uint64_t>(value) >> (8 * (bytes - 1 - i))) & 0xFF);
    };
    const qsizetype layer_slot = pointer_slot();
    pointer_slot();  // end of layers
    const qsizetype channel_slot = pointer_slot();
    pointer_slot();  // end of channels
    const auto tile_data = [&](int pixels, int bpp) {
        if (wide) {
            QByteArray raw = random_bytes(g, pixels * bpp);
            uLongf len = compressBound(static_cast<uLong>(raw.size()));
            QByteArray z(static_cast<qsizetype>(len), '\0');
            compress2(reinterpret_cast<Bytef*>(z.data()), &len, reinterpret_cast<const Bytef*>(raw.constData()),
                      static_cast<uLong>(raw.size()), 6);
            z.resize(static_cast<qsizetype>(len));
            return z;
        }
        QByteArray rle;
        for (int plane = 0; plane < bpp; ++plane) {
            int left = pixels;
            while (left > 0) {
                const int kind = static_cast<int>(g() % 4);
                if (kind == 0) {  // short run of one value
                    const int n = std::min(left, 1 + static_cast<int>(g() % 100));
                    rle.append(char(n - 1)).append(char(g()));
                    left -= n;
                } else if (kind == 1) {  // short run of different values
                    const int n = std::min(left, 1 + static_cast<int>(g() % 100));
                    rle.append(char(256 - n)).append(random_bytes(g, n));
                    left -= n;
                } else if (kind == 2) {  // long run of one value
                    const int n = std::min(left, 200 + static_cast<int>(g() % 100));
                    rle.append('\x7F');
                    be16(rle, static_cast<unsigned>(n));
                    rle.append(char(g()));
                    left -= n;
                } else {  // long run of different values
                    const int n = std::min(left, 200 + static_cast<int>(g() % 100));
                    rle.append('\x80');
                    be16(rle, static_cast<unsigned>(n));
                    rle.append(random_bytes(g, n));
                    left -= n;
                }
            }
        }
        return rle;
    };
    // A hierarchy with its full level (two tiles for 70 x 10) and one dummy level.
    const auto hierarchy = [&](int bpp) {
        const qsizetype at = b.size();
        be32(b, 70);
        be32(b, 10);
        be32(b, static_cast<std::uint32_t>(bpp));
        const qsizetype level_slot = pointer_slot();
        const qsizetype dummy_slot = pointer_slot();
        pointer_slot();
        patch(level_slot, b.size());
        be32(b, 70);
        be32(b, 10);
        const qsizetype tile1 = pointer_slot(), tile2 = pointer_slot();
        pointer_slot();
        patch(tile1, b.size());
        b.append(tile_data(64 * 10, bpp));
        patch(tile2, b.size());
        b.append(tile_data(6 * 10, bpp));
        patch(dummy_slot, b.size());
        be32(b, 35);
        be32(b, 5);
        be32(b, 0);  // the dummy level's empty tile list: 32 bits in every version
        return at;
    };
    const auto name = [&](const QByteArray& text) {
        be32(b, static_cast<std::uint32_t>(text.size() + 1));
        b.append(text).append('\0');
    };
    patch(layer_slot, b.size());
    be32(b, 70);
    be32(b, 10);
    be32(b, 1);  // RGBA
    name("Background");
    be32(b, 6);  // opacity
    be32(b, 4);
    be32(b, 255);
    be32(b, 0);
    be32(b, 0);
    const qsizetype layer_hierarchy = pointer_slot(), mask_slot = pointer_slot();
    patch(layer_hierarchy, hierarchy(4));
    const auto channel = [&]() {
        const qsizetype at = b.size();
        be32(b, 70);
        be32(b, 10);
        name("Mask");
        be32(b, 0);
        be32(b, 0);
        const qsizetype slot = pointer_slot();
        patch(slot, hierarchy(1));
        return at;
    };
    patch(mask_slot, channel());
    patch(channel_slot, channel());
    return b;
}

std::vector<fixture_s> all_formats(rng& g)
{
    const QByteArray content_types = "<?xml version=\"1.0\"?><Types/>";
    const auto office = [&](const char* folder, const char* part) {
        return zip({{"[Content_Types].xml", content_types, true, false},
                    {"_rels/.rels", words(g, 300), true, false},
                    {QByteArray(folder) + part, words(g, 3000), true, true}});
    };
    const auto open_document = [&](const QByteArray& mime) {
        return zip({{"mimetype", mime, false, false},
                    {"content.xml", words(g, 2000), true, false},
                    {"META-INF/manifest.xml", words(g, 400), true, false}});
    };
    return {
        {"jpg", jpeg(g)},
        {"png", png(g)},
        {"gif", gif(g)},
        {"bmp", bmp(g), false},
        {"pdf", pdf(g)},
        {"pdf", pdf(g, true)},
        {"zip", zip({{"readme.txt", words(g, 1500), true, false},
                     {"data.bin", random_bytes(g, 700), false, false},
                     {"notes/", {}, false, false},
                     {"log.txt", words(g, 900), true, true}},
                    "an archive comment")},
        {"docx", office("word/", "document.xml")},
        {"xlsx", office("xl/", "workbook.xml")},
        {"pptx", office("ppt/", "presentation.xml")},
        {"odt", open_document("application/vnd.oasis.opendocument.text")},
        {"ods", open_document("application/vnd.oasis.opendocument.spreadsheet")},
        {"odp", open_document("application/vnd.oasis.opendocument.presentation")},
        {"epub", open_document("application/epub+zip")},
        {"jar", zip({{"META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\n", true, false},
                     {"a/Main.class", random_bytes(g, 800), false, false}})},
        {"apk", zip({{"AndroidManifest.xml", random_bytes(g, 600), true, false},
                     {"classes.dex", random_bytes(g, 900), false, true},
                     {"META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\n", true, false}})},
        {"gz", gzip(g)},
        {"bz2", bzip2(g)},
        {"xz", xz(g)},
        {"sqlite", sqlite(g), false},
        {"wav", riff(g, "WAVE"), false},
        {"avi", riff(g, "AVI "), false},
        {"webp", riff(g, "WEBP"), false},
        {"mp4", mp4(g, "isom"), false},
        {"mov", mp4(g, "qt  "), false},
        {"m4a", mp4(g, "M4A "), false},
        {"7z", sevenzip(g)},
        {"elf", elf(g, true, false), false},
        {"elf", elf(g, false, true), false},
        {"exe", pe(g, false), false},
        {"dll", pe(g, true), false},
        {"exe", pe(g, false, true), false},
        {"tif", tiff(g, false), false},
        {"tif", tiff(g, true), false},
        {"tif", tiff(g, false, true), false},
        {"doc", ole2(g, "WordDocument"), false},
        {"xls", ole2(g, "Workbook"), false},
        {"ppt", ole2(g, "PowerPoint Document"), false},
        {"ogg", ogg(g, "\x01vorbis")},
        {"opus", ogg(g, "OpusHead")},
        {"mkv", matroska(g, "matroska")},
        {"webm", matroska(g, "webm")},
        {"psd", psd(g, false), false},
        {"psd", psd(g, true), false},
        {"ico", ico(g), false},
        {"ttf", sfnt(g, false), false},
        {"otf", sfnt(g, true), false},
        {"pbm", netpbm(g, '4'), false},
        {"pgm", netpbm(g, '5'), false},
        {"ppm", netpbm(g, '6'), false},
        {"mp3", mp3(g, true), false},
        {"mp3", mp3(g, false), false},
        {"mpg", mpeg_ps(g)},
        {"mpg", mpeg1_ps(g, true)},
        // Ended by its padding packet's stated length: a cut inside it is caught only when
        // the data runs out.
        {"mpg", mpeg1_ps(g, false), false},
        {"rar", rar(g, false)},
        {"rar", rar(g, true)},
        {"flac", flac(g)},
        {"jpg", jpeg_progressive(g)},
        {"zip", zip64(g)},
        {"mp4", mp4(g, "mp42", true), false},
        {"avi", avi_extended(g), false},
        {"ogg", ogg_multiplexed(g)},
        {"gz", gzip(g) + gzip(g)},
        {"xcf", xcf(g, false)},
        {"xcf", xcf(g, true)},
    };
}

}  // namespace raw_fixtures
