#pragma once
// Small files of each carved format, written byte by byte (compressed streams through
// zlib, libbz2 and liblzma), with content drawn from a seeded generator so that every run
// builds the same files. They need not display; their structure is what the carver reads.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <random>
#include <vector>

namespace raw_fixtures {

using rng = std::mt19937;

QByteArray random_bytes(rng& g, int n);

QByteArray jpeg(rng& g, int entropy_bytes = 3000);
QByteArray png(rng& g, int raw_bytes = 4000);
// A progressive JPEG: two scans with a table segment between them, fill bytes before a marker.
QByteArray jpeg_progressive(rng& g);
// The first JPEG with a Multi-Picture Format index (an APP2 "MPF" segment after its APP0 and
// APP1 segments, in the given byte order) that lists it and the others, which follow it
// whole one after another, as cameras store a preview behind the photo.
QByteArray jpeg_multi_picture(const QByteArray& first, const std::vector<QByteArray>& others, bool big_endian);
struct container_item_s {
    QByteArray mime;
    QByteArray bytes;
    int padding = 0;  // zero bytes behind it
};
// The first JPEG with an XMP packet (an APP1 segment after its APP0 and APP1 segments) whose
// container directory lists it, with first_padding zero bytes behind it, and the items,
// stored behind it one after another, as phones store a motion photo's video.
QByteArray jpeg_container(const QByteArray& first, int first_padding, const std::vector<container_item_s>& items);
QByteArray gif(rng& g);
QByteArray bmp(rng& g, int width = 20, int height = 10);
// A PDF; with an incremental update, two revisions each closed by startxref and %%EOF.
QByteArray pdf(rng& g, bool update = false);

struct zip_entry_s {
    QByteArray name;
    QByteArray data;
    bool deflate = false;
    bool descriptor = false;           // sizes and CRC in a data descriptor behind the data
    bool descriptor_signature = true;  // the descriptor begins with PK 7 8
};
QByteArray zip(const std::vector<zip_entry_s>& entries, const QByteArray& comment = {});
// The offset of an entry's data inside the archive zip() builds.
qsizetype zip_data_offset(const std::vector<zip_entry_s>& entries, std::size_t index);

QByteArray gzip(rng& g);
// A ZIP64 archive: sizes in ZIP64 extra fields, a ZIP64 end record and its locator.
QByteArray zip64(rng& g);
QByteArray bzip2(rng& g);
QByteArray xz(rng& g);
QByteArray sqlite(rng& g);
// A RIFF form of the given type ("WAVE", "AVI ", "WEBP") with a few chunks.
QByteArray riff(rng& g, const char* form);
// With large_mdat, the media box's size is written in the 64-bit form.
QByteArray mp4(rng& g, const char* brand, bool large_mdat = false);
// An AVI over two RIFF forms, "AVI " and an "AVIX" extension.
QByteArray avi_extended(rng& g);
QByteArray sevenzip(rng& g);
QByteArray elf(rng& g, bool wide, bool big_endian);
// An executable (or library); with symbols, a COFF symbol table and string table at its end.
QByteArray pe(rng& g, bool dll, bool symbols = false);
// With jpeg_preview, a second IFD points at a JPEG preview behind it (tags 513 and 514),
// as camera raw files hold one.
QByteArray tiff(rng& g, bool big_endian, bool jpeg_preview = false);
// A compound file of version 3 whose directory holds a stream of the given name.
QByteArray ole2(rng& g, const char* stream);
QByteArray ogg(rng& g, const char* codec_id);
// Two logical streams interleaved in one file.
QByteArray ogg_multiplexed(rng& g);
QByteArray matroska(rng& g, const char* doctype);
QByteArray psd(rng& g, bool packbits);
QByteArray ico(rng& g);
QByteArray sfnt(rng& g, bool cff);
QByteArray netpbm(rng& g, char kind);
QByteArray mp3(rng& g, bool tagged);
QByteArray mpeg_ps(rng& g);
// An MPEG-1 program stream ending with the end code, or without it, its last pack filled
// to its size by a padding packet.
QByteArray mpeg1_ps(rng& g, bool end_code);
QByteArray rar(rng& g, bool version5);
// FLAC with frames of verbatim 8-bit mono samples; the last frame is shorter.
QByteArray flac(rng& g, int frames = 6);
// A GIMP image with a layer of two tiles, a layer mask and a channel: RLE tiles and 32-bit
// pointers, or (wide) zlib tiles and the 64-bit pointers of version 11.
QByteArray xcf(rng& g, bool wide);

struct fixture_s {
    QString extension;
    QByteArray bytes;
    // The end is checked from the content (an end marker, a checksum, a decoder's end),
    // so a cut-short file is dropped even when other data follows it. Formats whose length
    // is only stated in a header can be caught only when the data runs out.
    bool checked_end = true;
};

// One file of every format the carver knows, each with its expected extension.
std::vector<fixture_s> all_formats(rng& g);

}  // namespace raw_fixtures
