#pragma once
// What cameras and phones store behind a JPEG's EOI, as the JPEG's own segments list it:
// - a Multi-Picture Format (MPF) index, an APP2 segment "MPF\0": a TIFF-style header whose
//   offsets count from its own first byte, an IFD, and one 16-byte entry per image
//   (attribute, size, offset; offset 0 is the first image). Cameras list a large preview,
//   phones an HDR gain map or a second view.
// - a container directory in the XMP packet (APP1 "http://ns.adobe.com/xap/1.0/\0"): items
//   (Container:Item with Item:Mime, Item:Length, Item:Padding), the first one the JPEG
//   itself, the others stored one after another behind it (a motion photo's video, a gain
//   map).
// The JPEG walker hands each APP segment to segment() while it passes it, so the index is
// read while its bytes are at hand; end() then checks the listed items against the bytes
// behind the first image's EOI. Used by one walk on one thread.
#include <cstdint>
#include <string>
#include <vector>

#include "recovery/signatures/signature.h"

class jpeg_appended_c {
public:
    // An APP segment of the first image: marker (0xE0..0xEF), its data [data, end).
    void segment(carve_reader& r, std::uint8_t marker, std::uint64_t data, std::uint64_t end);

    // Where the file ends when its first image ends at primary_end: behind the furthest item
    // an index lists, when every item it lists lies inside the limit and starts (and, for a
    // JPEG, ends) as its kind does; otherwise, for a damaged or bogus index, primary_end.
    std::uint64_t end(carve_reader& r, std::uint64_t primary_end) const;

private:
    // An image an MPF index places: its first byte in the file and its length.
    struct placed_s {
        std::uint64_t start;
        std::uint32_t size;
    };
    // An item of a container directory after the first: its type and where the next begins.
    struct item_s {
        std::string mime;
        std::uint64_t length;
        std::uint64_t padding;
    };

    bool read_mpf(carve_reader& r, std::uint64_t header, std::uint64_t segment_end);
    bool read_container(carve_reader& r, std::uint64_t data, std::uint64_t segment_end);
    std::uint64_t mpf_end(carve_reader& r, std::uint64_t primary_end) const;
    std::uint64_t container_end(carve_reader& r, std::uint64_t primary_end) const;

    bool mpf_seen_ = false;
    bool xmp_seen_ = false;
    std::vector<placed_s> mpf_;
    std::uint64_t primary_padding_ = 0;
    std::vector<item_s> items_;
};
