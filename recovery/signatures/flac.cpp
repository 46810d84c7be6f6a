// FLAC: "fLaC", metadata blocks (a header byte whose top bit marks the last block, a
// 24-bit length), the first being STREAMINFO with, among others, the largest frame size
// and the stream's total sample count. Then frames: a header (sync 1111 1111 1111 100,
// blocking strategy, block size and sample rate codes, channels, sample size, a coded
// frame or sample number, optional explicit sizes) closed by a CRC-8, then subframes and a
// CRC-16 over the whole frame. Frame data states no length, so a frame ends where the
// CRC-16 of what was read so far, including the stored CRC, comes out zero and the next
// frame's header follows with the next number; the last frame ends where its samples
// complete the stream's total. A stream whose total is not stated cannot be ended and is
// dropped.
#include <array>

#include "recovery/signatures/signature.h"

namespace {

constexpr std::uint64_t max_unknown_frame = 16 * mib;

std::uint8_t crc8(const std::uint8_t* p, std::size_t n)
{
    std::uint8_t crc = 0;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k)
            crc = static_cast<std::uint8_t>((crc & 0x80) ? (crc << 1) ^ 0x07 : crc << 1);
    }
    return crc;
}

const std::array<std::uint16_t, 256>& crc16_table()
{
    static const std::array<std::uint16_t, 256> table = [] {
        std::array<std::uint16_t, 256> t{};
        for (unsigned i = 0; i < 256; ++i) {
            unsigned c = i << 8;
            for (int k = 0; k < 8; ++k)
                c = (c & 0x8000) ? (c << 1) ^ 0x8005 : c << 1;
            t[i] = static_cast<std::uint16_t>(c);
        }
        return t;
    }();
    return table;
}

struct frame_header_s {
    std::uint64_t length;  // header bytes, CRC-8 included
    std::uint64_t block;   // samples in the frame
    std::uint64_t number;  // frame number (fixed blocks) or first sample number (variable)
    bool variable;
};

std::optional<frame_header_s> frame_header(carve_reader& r, std::uint64_t at)
{
    std::uint8_t h[16];
    const auto s = r.view(at, sizeof h);
    if (s.size() < 6)
        return std::nullopt;
    std::copy(s.begin(), s.end(), h);
    if (h[0] != 0xFF || (h[1] & 0xFE) != 0xF8)
        return std::nullopt;
    const unsigned bs = h[2] >> 4, sr = h[2] & 15, ch = h[3] >> 4, ss = (h[3] >> 1) & 7;
    if (bs == 0 || sr == 15 || ch >= 11 || ss == 3 || (h[3] & 1))
        return std::nullopt;
    std::size_t n = 4;
    const std::uint8_t c = h[n];
    int extra = 0;
    std::uint64_t number = 0;
    if (c < 0x80) {
        number = c;
    } else if ((c & 0xE0) == 0xC0) {
        extra = 1, number = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        extra = 2, number = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        extra = 3, number = c & 0x07;
    } else if ((c & 0xFC) == 0xF8) {
        extra = 4, number = c & 0x03;
    } else if ((c & 0xFE) == 0xFC) {
        extra = 5, number = c & 0x01;
    } else if (c == 0xFE) {
        extra = 6;
    } else {
        return std::nullopt;
    }
    ++n;
    for (int i = 0; i < extra; ++i, ++n) {
        if (n >= s.size() || (h[n] & 0xC0) != 0x80)
            return std::nullopt;
        number = number << 6 | (h[n] & 0x3F);
    }
    std::uint64_t block = 0;
    if (bs == 1)
        block = 192;
    else if (bs <= 5)
        block = 576u << (bs - 2);
    else if (bs >= 8)
        block = 256u << (bs - 8);
    const std::size_t bs_bytes = bs == 6 ? 1 : bs == 7 ? 2 : 0;
    const std::size_t sr_bytes = sr == 12 ? 1 : (sr == 13 || sr == 14) ? 2 : 0;
    if (n + bs_bytes + sr_bytes + 1 > s.size())
        return std::nullopt;
    if (bs == 6)
        block = h[n] + 1u;
    else if (bs == 7)
        block = (static_cast<unsigned>(h[n]) << 8 | h[n + 1]) + 1u;
    n += bs_bytes + sr_bytes;
    if (crc8(h, n) != h[n])
        return std::nullopt;
    return frame_header_s{n + 1, block, number, (h[1] & 1) != 0};
}

std::optional<carve_result_s> flac_size(carve_reader& r)
{
    std::uint64_t pos = 4;
    std::uint64_t total = 0, max_frame = 0;
    for (bool first = true;; first = false) {
        const auto head = r.u8(pos);
        const auto length = r.be32(pos);
        if (!head || !length)
            return std::nullopt;
        const std::uint32_t len = *length & 0xFFFFFF;
        const unsigned type = *head & 0x7F;
        if (type == 127 || (first && (type != 0 || len != 34)))
            return std::nullopt;
        if (first) {
            std::uint8_t info[34];
            if (!r.read(pos + 4, info, sizeof info))
                return std::nullopt;
            max_frame = static_cast<std::uint64_t>(info[7]) << 16 | info[8] << 8 | info[9];
            total = (static_cast<std::uint64_t>(info[13] & 0x0F) << 32) | static_cast<std::uint64_t>(info[14]) << 24 |
                    info[15] << 16 | info[16] << 8 | info[17];
        }
        pos += 4 + len;
        if (*head & 0x80)
            break;
    }
    if (total == 0)
        return std::nullopt;
    const std::uint64_t frame_cap = max_frame != 0 ? max_frame : max_unknown_frame;
    const auto& table = crc16_table();
    auto header = frame_header(r, pos);
    if (!header)
        return std::nullopt;
    std::uint64_t samples = 0;
    for (std::uint64_t frames = 0;; ++frames) {
        const bool last = samples + header->block >= total;
        if (samples + header->block > total)
            return std::nullopt;
        // Read on from the frame's start until its CRC-16 closes.
        std::uint16_t crc = 0;
        std::uint64_t at = pos;
        std::optional<std::uint64_t> end;
        std::optional<frame_header_s> next;
        while (!end) {
            const auto s = r.view(at, carve_reader::window_bytes);
            if (s.empty())
                return std::nullopt;
            std::uint64_t consumed = s.size();
            for (std::size_t i = 0; i < s.size(); ++i) {
                crc = static_cast<std::uint16_t>((crc << 8) ^ table[((crc >> 8) ^ s[i]) & 0xFF]);
                const std::uint64_t p = at + i + 1;
                if (p - pos > frame_cap + 2)
                    return std::nullopt;
                if (crc != 0 || p - pos < header->length + 3)
                    continue;
                if (last) {
                    end = p;
                    break;
                }
                // Reading the candidate header moves the reader's window, so the span s
                // is not used again: the walk goes on from p with a fresh view.
                const std::uint64_t want = header->variable ? samples + header->block : frames + 1;
                const auto candidate = frame_header(r, p);
                if (candidate && candidate->variable == header->variable && candidate->number == want) {
                    end = p;
                    next = candidate;
                }
                consumed = i + 1;
                break;
            }
            at += consumed;
        }
        samples += header->block;
        pos = *end;
        if (last)
            return carve_result_s{pos, nullptr};
        header = next;
    }
}

}  // namespace

extern const signature_s flac_signature{
    "flac", "flac", 2 * gib, {{0, sig_bytes("fLaC\0")}, {0, sig_bytes("fLaC\x80")}}, flac_size,
};
