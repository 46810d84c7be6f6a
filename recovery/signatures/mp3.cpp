// MPEG audio (MP3, and layers I and II): an optional ID3v2 tag ("ID3", version, flags,
// a 28-bit "syncsafe" size, an optional 10-byte footer), then frames, each a 32-bit
// header (11 sync bits, version, layer, bit rate, sample rate, padding) whose fields give
// the frame's length, then an optional 128-byte ID3v1 tag ("TAG"). Zero bytes between
// the ID3v2 tag and the first frame belong to the file. The frames are walked
// while headers follow with the same version, layer and sample rate; the stream ends at
// the first place that is not such a header. A frame cut short by the end of the data
// drops the file. Without an ID3v2 tag the frame sync alone is weak, so several frames in
// a row must check out.
#include "recovery/signatures/signature.h"

namespace {

constexpr int min_frames_bare = 8;
constexpr int min_frames_tagged = 2;
constexpr std::uint64_t max_padding = 64 * kib;

// Bit rates in kbit/s by [row][index]: MPEG-1 layers I, II, III, then MPEG-2/2.5 layer I,
// then MPEG-2/2.5 layers II and III.
constexpr int bitrates[5][16] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
};
constexpr int sample_rates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};

struct frame_s {
    std::uint32_t key;  // version, layer and sample rate bits, which stay the same in a stream
    std::uint32_t length;
};

std::optional<frame_s> frame(std::uint32_t h)
{
    if ((h >> 21) != 0x7FF)
        return std::nullopt;
    const std::uint32_t version = (h >> 19) & 3, layer = (h >> 17) & 3, rate = (h >> 12) & 15, sr = (h >> 10) & 3,
                        pad = (h >> 9) & 1;
    if (version == 1 || layer == 0 || rate == 0 || rate == 15 || sr == 3)
        return std::nullopt;
    const bool mpeg1 = version == 3;
    const int layer_no = 4 - static_cast<int>(layer);  // 1, 2 or 3
    const int row = mpeg1 ? layer_no - 1 : (layer_no == 1 ? 3 : 4);
    const std::uint32_t kbps = static_cast<std::uint32_t>(bitrates[row][rate]);
    const std::uint32_t hz = static_cast<std::uint32_t>(sample_rates[mpeg1 ? 0 : version == 2 ? 1 : 2][sr]);
    std::uint32_t length = 0;
    if (layer_no == 1)
        length = (12 * kbps * 1000 / hz + pad) * 4;
    else if (layer_no == 3 && !mpeg1)
        length = 72 * kbps * 1000 / hz + pad;
    else
        length = 144 * kbps * 1000 / hz + pad;
    if (length < 4)
        return std::nullopt;
    return frame_s{h & 0x001E0C00, length};
}

std::optional<carve_result_s> mp3_size(carve_reader& r)
{
    std::uint64_t pos = 0;
    bool tagged = false;
    std::uint8_t id3[10];
    if (r.read(0, id3, sizeof id3) && id3[0] == 'I' && id3[1] == 'D' && id3[2] == '3') {
        if (id3[3] < 2 || id3[3] > 4 || (id3[6] | id3[7] | id3[8] | id3[9]) & 0x80)
            return std::nullopt;
        const std::uint64_t size = static_cast<std::uint64_t>(id3[6]) << 21 | id3[7] << 14 | id3[8] << 7 | id3[9];
        pos = 10 + size + ((id3[5] & 0x10) ? 10 : 0);
        tagged = true;
        // Some writers leave zero padding between the tag and the first frame.
        std::optional<std::uint8_t> b;
        for (std::uint64_t n = 0; n < max_padding && (b = r.u8(pos)) && *b == 0; ++n)
            ++pos;
    }
    int frames = 0;
    std::uint32_t key = 0;
    for (;;) {
        const auto head = r.view(pos, 4);
        if (head.size() < 4) {
            if (!head.empty())
                return std::nullopt;
            break;
        }
        const std::uint32_t h = static_cast<std::uint32_t>(head[0]) << 24 | head[1] << 16 | head[2] << 8 | head[3];
        const auto f = frame(h);
        if (!f || (frames > 0 && f->key != key))
            break;
        if (r.view(pos + f->length - 1, 1).empty())
            return std::nullopt;  // a frame cut short
        key = f->key;
        pos += f->length;
        ++frames;
    }
    if (frames < (tagged ? min_frames_tagged : min_frames_bare))
        return std::nullopt;
    std::uint8_t tag[3];
    if (r.read(pos, tag, 3) && tag[0] == 'T' && tag[1] == 'A' && tag[2] == 'G' && !r.view(pos + 127, 1).empty())
        pos += 128;
    return carve_result_s{pos, nullptr};
}

}  // namespace

extern const signature_s mp3_signature{
    "mp3",
    "mp3",
    256 * mib,
    {{0, sig_bytes("ID3")},
     {0, sig_bytes("\xFF\xFB")},
     {0, sig_bytes("\xFF\xFA")},
     {0, sig_bytes("\xFF\xF3")},
     {0, sig_bytes("\xFF\xF2")},
     {0, sig_bytes("\xFF\xE3")}},
    mp3_size,
};
