// The FAT module over real images made by mkfs.fat and mtools, opened through the FAT
// drive table. Damaged and unusual directory bytes (long names at their limits, code page
// 936 names, deleted entries, broken and looping chains) are written into those images at
// offsets computed from the mounted volume.
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "disk/drive_list.h"
#include "recovery/diagnostics.h"
#include "recovery/fat/fat_drive_table.h"
#include "recovery/fat/fat_module.h"
#include "tests/support/fat_images.h"
#include "tests/support/images.h"

using namespace test_images;

namespace {

void require(bool ok, const std::string& what)
{
    if (!ok)
        throw std::runtime_error(what);
}

// Makes `image` drive 0 of the FAT drive table and its volume `suffix` ("@p0" the whole
// image, "@p1" its first partition) logical drive 0, not yet mounted.
void use_volume(const QString& image, const QString& suffix = "@p0")
{
    static bool opened = false;
    qputenv("VANTREL_IMAGES_ONLY", "1");
    set_diagnostic_sink({});
    set_drive_images({image});
    require((opened ? reopen_fat_drives() : open_fat_drives()) == 1, "the image is not drive 0");
    opened = true;
    const int located = set_fat_volume(image + suffix);
    qunsetenv("VANTREL_IMAGES_ONLY");
    require(located == 0, "cannot locate " + (image + suffix).toStdString());
    f_mount(0, &fat_volume);
}

// Mounts logical drive 0 afresh (after the image was changed behind the window) and opens
// its root.
FRESULT open_root(DIR* dir)
{
    f_mount(0, &fat_volume);
    return f_opendir(dir, "/");
}

// A FAT file system of `bits` with `csize` sectors per cluster over the whole image.
QString make_fat(const QTemporaryDir& dir, const QString& name, int bits, int kib, int csize)
{
    return make_fat_image(dir.path(), name, bits, false, kib, {"-S", "512", "-s", QString::number(csize)}).path;
}

fat_image_s whole(const QString& image)
{
    return {image, image + "@p0", 0};
}

// Copies bytes into the image as a file named `name` (mtools, no mounting).
void put_file(const QTemporaryDir& dir, const fat_image_s& image, const QString& name, const QByteArray& bytes)
{
    const QString host = dir.filePath("host.bin");
    QFile f(host);
    require(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size(), "host file");
    f.close();
    mtools("mcopy", image, {host, "::/" + name});
}

QByteArray pattern(int bytes, int seed)
{
    QByteArray b(bytes, '\0');
    std::uint32_t x = 2463534242u + seed;
    for (char& c : b) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        c = static_cast<char>(x);
    }
    return b;
}

QByteArray le_bytes(std::uint64_t v, int n)
{
    QByteArray b(n, '\0');
    for (int i = 0; i < n; ++i)
        b[i] = static_cast<char>(v >> (8 * i));
    return b;
}

struct entry_s {
    std::string name;       // 8.3 name, UTF-8
    std::string long_name;  // UTF-8
    std::uint8_t attr = 0;
    std::uint32_t cluster = 0;
    std::uint32_t size = 0;
    bool operator==(const entry_s&) const = default;
};

void PrintTo(const entry_s& e, std::ostream* os)
{
    *os << "{" << e.name << " | " << e.long_name << " attr " << int(e.attr) << "}";
}

// Reads a directory to its end. The bound is the caller's own, far above the 65536 entries
// at which any directory ends.
std::vector<entry_s> read_all(DIR* dir, FRESULT* last = nullptr, int lfsize = 256)
{
    std::vector<entry_s> out;
    std::u16string lfn(256, u'\0');
    FILINFO info;
    info.lfname = lfn.data();
    info.lfsize = lfsize;
    for (int n = 0; n < 100000; ++n) {
        const FRESULT res = f_readdir(dir, &info);
        if (last)
            *last = res;
        if (res != FR_OK || info.fname[0] == 0)
            return out;
        out.push_back({QString::fromUtf16(info.fname).toStdString(), QString::fromUtf16(info.lfname).toStdString(),
                       info.fattrib, info.fclust, info.fsize});
    }
    throw std::runtime_error("the directory did not end");
}

// A whole file read through f_read in chunks of `chunk` bytes; the result of the last call.
QByteArray read_file(std::uint32_t cluster, std::uint32_t size, bool contiguous, std::uint32_t chunk, FRESULT* last)
{
    FIL fil;
    fil.fs = &fat_volume;
    fil.id = fat_volume.id;
    fil.flag = FA_READ;
    fil.fsize = size;
    fil.org_clust = cluster;
    QByteArray out;
    QByteArray buf(static_cast<int>(chunk), '\0');
    for (;;) {
        std::uint32_t got = 0;
        *last = f_read(&fil, buf.data(), chunk, &got, contiguous);
        out += buf.left(static_cast<int>(got));
        if (*last != FR_OK || got == 0)
            return out;
    }
}

// A 32-byte 8.3 entry.
QByteArray short_entry(const QByteArray& name11, std::uint8_t attr, std::uint32_t cluster = 0, std::uint32_t size = 0,
                       std::uint8_t case_flags = 0)
{
    QByteArray e(32, '\0');
    e.replace(0, 11, name11);
    e[11] = static_cast<char>(attr);
    e[12] = static_cast<char>(case_flags);
    e.replace(20, 2, le_bytes(cluster >> 16, 2));
    e.replace(26, 2, le_bytes(cluster & 0xFFFF, 2));
    e.replace(28, 4, le_bytes(size, 4));
    return e;
}

std::uint8_t name_sum(const QByteArray& name11)
{
    std::uint8_t sum = 0;
    for (char c : name11)
        sum = static_cast<std::uint8_t>((sum >> 1) + (sum << 7) + static_cast<std::uint8_t>(c));
    return sum;
}

// The long-name parts of `name` for the 8.3 name name11, in directory order (the part with
// the highest number first), with the name's NUL and 0xFFFF padding.
QByteArray long_entries(const std::u16string& name, const QByteArray& name11)
{
    static const int offsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    const int parts = static_cast<int>((name.size() + 12) / 13);
    QByteArray out;
    for (int n = parts; n >= 1; --n) {
        QByteArray e(32, '\0');
        e[0] = static_cast<char>(n | (n == parts ? 0x40 : 0));
        e[11] = 0x0F;
        e[13] = static_cast<char>(name_sum(name11));
        for (int k = 0; k < 13; ++k) {
            const std::size_t at = (n - 1) * 13 + k;
            const std::uint16_t c = at < name.size() ? name[at] : at == name.size() ? 0 : 0xFFFF;
            e.replace(offsets[k], 2, le_bytes(c, 2));
        }
        out += e;
    }
    return out;
}

std::u16string test_name(int length)
{
    std::u16string s;
    for (int i = 0; i < length; ++i)
        s += i == 5 ? u'\u540D' : static_cast<char16_t>(u'a' + i % 26);  // one CJK character
    return s;
}

std::string utf8(const std::u16string& s)
{
    return QString::fromStdU16String(s).toStdString();
}

// Byte offsets of the mounted volume's structures in the image.
std::uint64_t sector_offset(std::uint32_t sector)
{
    return std::uint64_t{sector} * 512;
}

std::uint64_t root_offset()
{
    return sector_offset(fat_volume.fs_type == FS_FAT32 ? clust2sect(&fat_volume, fat_volume.dirbase)
                                                        : fat_volume.dirbase);
}

// The long-name entries put before an 8.3 entry, and the long name expected for it.
struct long_name_case_s {
    const char* what;
    QByteArray parts;
    std::string expected;
};

// Writes each case's entries followed by the 8.3 entry short_entry_of(n) into the root of a
// fresh FAT16 volume (logical drive 0) and reads the root back afresh.
std::vector<entry_s> root_of_cases(const QTemporaryDir& dir, std::span<const long_name_case_s> cases,
                                   const std::function<QByteArray(int)>& short_entry_of, int lfsize = 256)
{
    const QString image = make_fat(dir, "cases.img", 16, 16384, 4);
    use_volume(image);
    DIR root;
    require(f_opendir(&root, "/") == FR_OK, "cannot mount");
    QByteArray bytes;
    for (int n = 0; n < std::ssize(cases); ++n)
        bytes += cases[n].parts + short_entry_of(n);
    write_at(image, root_offset(), bytes);
    require(open_root(&root) == FR_OK, "cannot open the root");
    return read_all(&root, nullptr, lfsize);
}

void put_fat12(const QString& image, std::uint32_t cluster, std::uint16_t value)
{
    const std::uint64_t at = sector_offset(fat_volume.fatbase) + cluster + cluster / 2;
    const QByteArray two = read_at(image, at, 2);
    std::uint16_t v = static_cast<std::uint8_t>(two[0]) | static_cast<std::uint8_t>(two[1]) << 8;
    v = cluster & 1 ? (v & 0x000F) | (value << 4) : (v & 0xF000) | (value & 0x0FFF);
    write_at(image, at, le_bytes(v, 2));
}

void put_fat32(const QString& image, std::uint32_t cluster, std::uint32_t value)
{
    write_at(image, sector_offset(fat_volume.fatbase) + 4ull * cluster, le_bytes(value, 4));
}

}  // namespace

TEST(fat_module, mounts_whole_images_and_a_partition_and_reads_a_file_along_its_chain)
{
    struct case_s {
        int bits;
        int kib;
        int csize;
        bool partitioned;
        std::uint8_t fs_type;
    };
    const case_s cases[] = {
        {12, 4096, 2, false, FS_FAT12},
        {16, 16384, 4, false, FS_FAT16},
        {32, 40960, 1, false, FS_FAT32},
        {32, 40960, 1, true, FS_FAT32},
    };
    for (const case_s& c : cases) {
        SCOPED_TRACE(testing::Message() << "FAT" << c.bits << (c.partitioned ? " in a partition" : " whole"));
        QTemporaryDir dir;
        const fat_image_s v = make_fat_image(dir.path(), "v.img", c.bits, c.partitioned, c.kib,
                                             {"-S", "512", "-s", QString::number(c.csize)});
        const QString& image = v.path;
        const std::uint32_t start = static_cast<std::uint32_t>(v.offset / 512);
        const QByteArray data = pattern(3 * c.csize * 512 + 77, c.bits);
        put_file(dir, v, "DATA.BIN", data);
        use_volume(image, c.partitioned ? "@p1" : "@p0");

        DIR root;
        ASSERT_EQ(f_opendir(&root, "/"), FR_OK);
        EXPECT_EQ(fat_volume.fs_type, c.fs_type);
        const QByteArray boot = read_at(image, start * 512ull, 512);
        const std::uint32_t reserved = static_cast<std::uint8_t>(boot[14]) | static_cast<std::uint8_t>(boot[15]) << 8;
        EXPECT_EQ(fat_volume.fatbase, start + reserved);
        EXPECT_EQ(fat_volume.csize, c.csize);
        if (c.fs_type == FS_FAT32) {
            EXPECT_EQ(root.sclust, 0u);
            EXPECT_EQ(root.clust, fat_volume.dirbase);  // the root cluster from the boot sector
            EXPECT_EQ(fat_volume.dirbase, static_cast<std::uint8_t>(boot[44]));
        }
        // The volume label is never reported.
        const std::vector<entry_s> entries = read_all(&root);
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].name, "DATA.BIN");
        EXPECT_EQ(entries[0].size, static_cast<std::uint32_t>(data.size()));
        for (std::uint32_t chunk : {4096u, 700u}) {
            FRESULT last = FR_OK;
            EXPECT_EQ(read_file(entries[0].cluster, entries[0].size, false, chunk, &last), data);
            EXPECT_EQ(last, FR_OK);
        }
        // Each mount takes a new number; objects of the old mount are refused.
        const std::uint16_t id = fat_volume.id;
        DIR again;
        ASSERT_EQ(open_root(&again), FR_OK);
        EXPECT_EQ(fat_volume.id, static_cast<std::uint16_t>(id + 1));
        FILINFO info;
        EXPECT_EQ(f_readdir(&root, &info), FR_INVALID_OBJECT);
    }
}

TEST(fat_module, a_fat_boot_sector_at_sector_0_is_passed_over_for_a_partition)
{
    QTemporaryDir dir;
    const QString image = make_fat_image(dir.path(), "p.img", 32, true, 40960, {"-S", "512", "-s", "1"}).path;
    const QString small = make_fat(dir, "small.img", 12, 1024, 1);
    write_at(image, 0, read_at(small, 0, 512));  // sector 0 now holds a FAT12 boot sector
    use_volume(image, "@p0");

    DIR root;
    // As a partition (flag not 0) the volume starts at its own start sector...
    volume_partition_table[0] = {0, 1, 2048};
    ASSERT_EQ(open_root(&root), FR_OK);
    EXPECT_EQ(fat_volume.fs_type, FS_FAT32);
    // ...and as a whole disk at sector 0, whatever the start sector says.
    volume_partition_table[0] = {0, 0, 2048};
    ASSERT_EQ(open_root(&root), FR_OK);
    EXPECT_EQ(fat_volume.fs_type, FS_FAT12);
    EXPECT_LT(fat_volume.fatbase, 2048u);
}

TEST(fat_module, directory_reports_deleted_and_live_entries_but_not_dots_or_the_label)
{
    QTemporaryDir dir;
    const QString image = make_fat(dir, "d.img", 16, 16384, 4);
    put_file(dir, whole(image), "Live file.txt", "live");
    put_file(dir, whole(image), "KEEP.TXT", "keep");
    put_file(dir, whole(image), "Gone with long name.txt", "gone");
    put_file(dir, whole(image), "lower.txt", "lower");
    mtools("mmd", whole(image), {"::/SUB"});
    put_file(dir, whole(image), "SUB/INNER.TXT", "inner");
    put_file(dir, whole(image), "SUB/OLD.TXT", "old");
    // Deleted last, so that nothing reuses their entries.
    mtools("mdel", whole(image), {"::/Gone with long name.txt"});
    mtools("mdel", whole(image), {"::/SUB/OLD.TXT"});
    use_volume(image);

    DIR root;
    ASSERT_EQ(f_opendir(&root, "/"), FR_OK);
    std::vector<entry_s> entries = read_all(&root);
    ASSERT_EQ(entries.size(), 5u);
    // The deleted file's long-name parts are there, deleted too; they check out against the
    // 8.3 entry, so the long name comes back and with it the 8.3 name's first letter.
    const QByteArray gone = read_at(image, root_offset() + 4 * 32, 3 * 32);
    ASSERT_EQ(gone.mid(0, 1), QByteArray("\xE5"));
    ASSERT_EQ(gone.mid(11, 1), QByteArray("\x0F"));
    EXPECT_EQ(entries[0], (entry_s{"LIVEFI~1.TXT", "Live file.txt", AM_ARC, entries[0].cluster, 4}));
    EXPECT_EQ(entries[1], (entry_s{"KEEP.TXT", "", AM_ARC, entries[1].cluster, 4}));
    EXPECT_EQ(entries[2],
              (entry_s{"GONEWI~1.TXT", "Gone with long name.txt", AM_ARC | AM_DELETED, entries[2].cluster, 4}));
    EXPECT_EQ(entries[3].name, "lower.txt");  // mtools keeps the case in the flags of byte 12
    EXPECT_EQ(entries[4].name, "SUB");
    EXPECT_EQ(entries[4].attr, AM_DIR);
    EXPECT_NE(entries[2].cluster, 0u);

    // The end stays the end; a rewind starts again from the first entry.
    FILINFO info;
    EXPECT_EQ(f_readdir(&root, &info), FR_OK);
    EXPECT_EQ(info.fname[0], 0);
    ASSERT_EQ(f_readdir(&root, nullptr), FR_OK);
    ASSERT_EQ(f_readdir(&root, &info), FR_OK);
    EXPECT_EQ(QString::fromUtf16(info.fname).toStdString(), "LIVEFI~1.TXT");

    // A folder opened by its first cluster, as the engine does: "." and ".." are left out.
    DIR sub;
    ASSERT_EQ(f_opendir(&sub, "/"), FR_OK);
    sub.sclust = sub.clust = entries[4].cluster;
    ASSERT_EQ(f_readdir(&sub, nullptr), FR_OK);
    entries = read_all(&sub);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "INNER.TXT");
    EXPECT_EQ(entries[1].name, "?LD.TXT");
    EXPECT_EQ(entries[1].attr, AM_ARC | AM_DELETED);
}

TEST(fat_module, long_names_are_assembled_up_to_253_characters_with_a_matching_checksum)
{
    QTemporaryDir dir;
    auto name11 = [](int n) { return QString("LFN%1   TXT").arg(n, 2, 10, QChar('0')).toLatin1(); };
    auto parts = [&](int length, int n) { return long_entries(test_name(length), name11(n)); };
    QByteArray bad_sum = parts(20, 5);
    bad_sum[13] = static_cast<char>(bad_sum[13] ^ 1);
    bad_sum[32 + 13] = static_cast<char>(bad_sum[32 + 13] ^ 1);
    QByteArray missing_part = parts(40, 6);
    missing_part.remove(32, 32);  // part 3, then part 1: part 2 is missing
    QByteArray ordinal_zero = parts(5, 7);
    ordinal_zero[0] = 0x40;
    QByteArray bad_padding = parts(5, 8);
    bad_padding[16] = 0x41;  // the slot after the name's NUL (at 14) is not 0xFFFF
    const long_name_case_s cases[] = {
        {"13 characters, no NUL", parts(13, 0), utf8(test_name(13))},
        {"26 characters", parts(26, 1), utf8(test_name(26))},
        {"253 characters", parts(253, 2), utf8(test_name(253))},
        {"254 characters", parts(254, 3), ""},
        {"255 characters", parts(255, 4), ""},
        {"checksum mismatch", bad_sum, ""},
        {"a missing part", missing_part, ""},
        {"ordinal 0", ordinal_zero, ""},
        {"garbage after the NUL", bad_padding, ""},
        {"a part numbered 21 (0x55), past 255 characters",
         QByteArray(long_entries(test_name(5), name11(9))).replace(0, 1, "\x55"), ""},
    };
    const auto short_of = [&](int n) { return short_entry(name11(n), AM_ARC, 0, 0); };
    const std::vector<entry_s> entries = root_of_cases(dir, cases, short_of);
    ASSERT_EQ(entries.size(), std::size(cases));
    for (int n = 0; n < std::ssize(cases); ++n) {
        SCOPED_TRACE(cases[n].what);
        EXPECT_EQ(entries[n].name, QString(name11(n)).left(5).toStdString() + ".TXT");
        EXPECT_EQ(entries[n].long_name, cases[n].expected);
    }

    // A name that does not fit the caller's buffer with its NUL is left empty, not cut.
    const std::vector<entry_s> small = root_of_cases(dir, cases, short_of, 26);
    EXPECT_EQ(small[0].long_name, utf8(test_name(13)));
    EXPECT_EQ(small[1].long_name, "");
}

// Deletion marks every long-name part with 0xE5, so their sequence numbers are gone: the
// parts are taken in their order before the 8.3 entry, and the checksum decides.
TEST(fat_module, deleted_long_names_come_back_when_their_parts_check_out)
{
    QTemporaryDir dir;
    auto name11 = [](int n) { return QString("ALFN%1  TXT").arg(n, 2, 10, QChar('0')).toLatin1(); };
    auto deleted = [](QByteArray entries) {
        for (qsizetype at = 0; at < entries.size(); at += 32)
            entries[at] = '\xE5';
        return entries;
    };
    // Names ending in ".txt", as the 8.3 names' extension says.
    auto long_name = [](int length) { return test_name(length - 4) + u".txt"; };
    auto parts = [&](int length, int n) { return deleted(long_entries(long_name(length), name11(n))); };
    const QByteArray other_part = deleted(long_entries(u"something else", "XOTHER  TXT")).left(32);
    QByteArray overwritten = parts(30, 3);
    overwritten.replace(32, 32, other_part);  // the middle one of three parts
    QByteArray first_apart = parts(20, 4);
    first_apart.replace(32 + 1, 2, le_bytes(u'z', 2));  // part 1 (the second entry) now begins with z
    QByteArray padding = parts(20, 5);
    padding.replace(20, 2, le_bytes(u'x', 2));  // after the NUL, where 0xFFFF belongs
    const long_name_case_s cases[] = {
        {"13 characters, no NUL", parts(13, 0), utf8(long_name(13))},
        {"26 characters, after another name's deleted part", other_part + parts(26, 1), utf8(long_name(26))},
        {"100 characters", parts(100, 2), utf8(long_name(100))},
        {"a part overwritten by another name's", overwritten, ""},
        {"a first letter the 8.3 name does not have", first_apart, ""},
        {"no 0xFFFF after the NUL", padding, ""},
        {"only the 8.3 entry marked", long_entries(long_name(20), name11(6)), utf8(long_name(20))},
        {"no long name", {}, ""},
    };
    const std::vector<entry_s> entries =
        root_of_cases(dir, cases, [&](int n) { return deleted(short_entry(name11(n), AM_ARC, 0, 0)); });
    ASSERT_EQ(entries.size(), std::size(cases));
    for (int n = 0; n < std::ssize(cases); ++n) {
        SCOPED_TRACE(cases[n].what);
        EXPECT_EQ(entries[n].long_name, cases[n].expected);
        // The checksum that accepted the name also gave the 8.3 name its first letter back.
        const QString short_name = QString(name11(n)).left(6) + ".TXT";
        EXPECT_EQ(entries[n].name, (cases[n].expected.empty() ? "?" + short_name.mid(1) : short_name).toStdString());
        EXPECT_EQ(entries[n].attr, AM_ARC | AM_DELETED);
    }
}

TEST(fat_module, short_names_follow_the_case_flags_and_code_page_936)
{
    QTemporaryDir dir;
    const QString image = make_fat(dir, "s.img", 16, 16384, 4);
    use_volume(image);
    DIR root;
    ASSERT_EQ(f_opendir(&root, "/"), FR_OK);

    struct case_s {
        QByteArray name11;
        std::uint8_t flags;
        std::string expected;
    };
    const case_s cases[] = {
        {"README  TXT", 0x00, "README.TXT"},
        {"README  TXT", 0x08, "readme.TXT"},
        {"README  TXT", 0x10, "README.txt"},
        {"README  TXT", 0x18, "readme.txt"},
        {"NOEXT      ", 0x00, "NOEXT"},
        {"\xC4\xE3\xBA\xC3    TXT", 0x00, "你好.TXT"},
        {"\x81\x41"
         "B     TXT",
         0x08, "\u4E04b.TXT"},  // a trail byte in A-Z is not lower-cased
        {"\x05\xA5"
         "A     TXT",
         0x00, "\u6FC2A.TXT"},                              // 0x05 stands for a first byte 0xE5
        {"\xE5\xC4\xE3\xBA\xC3   TXT", 0x00, "?你好.TXT"},  // deleted: the mark is converted alone
        {"ABCDEFG\xC4TXT", 0x00, "ABCDEFG?.TXT"},           // no pair across body and extension
        {"NAME    \xC4\xE3"
         "A",
         0x00, "NAME.你A"},
        {"NAME    A\xC4\xE3", 0x10, "NAME.a你"},
        {"\x80"
         "EURO   TXT",
         0x00, "\u20ACEURO.TXT"},
        {"\xA2\xA0X     TXT", 0x00, "?X.TXT"},  // a pair without a Unicode form
        {"        TXT", 0x00, ".TXT"},
        {"           ", 0x00, "?"},  // never empty: an empty name means the end
    };
    QByteArray bytes;
    for (const case_s& c : cases)
        bytes += short_entry(c.name11, AM_ARC, 0, 0, c.flags);
    write_at(image, root_offset(), bytes);

    ASSERT_EQ(open_root(&root), FR_OK);
    const std::vector<entry_s> entries = read_all(&root);
    ASSERT_EQ(entries.size(), std::size(cases));
    for (std::size_t n = 0; n < std::size(cases); ++n) {
        EXPECT_EQ(entries[n].name, cases[n].expected) << "case " << n;
        EXPECT_EQ(entries[n].attr, n == 8 ? AM_ARC | AM_DELETED : AM_ARC) << "case " << n;
    }
}

TEST(fat_module, contiguous_read_recovers_a_deleted_file_and_the_chain_read_cannot)
{
    QTemporaryDir dir;
    const QString image = make_fat(dir, "r.img", 16, 16384, 4);  // 2 KiB clusters
    const QByteArray data = pattern(9 * 1024 + 300, 7);
    put_file(dir, whole(image), "FIRST.BIN", pattern(100, 1));
    put_file(dir, whole(image), "VICTIM.BIN", data);
    put_file(dir, whole(image), "AFTER.BIN", pattern(3000, 2));
    mtools("mdel", whole(image), {"::/VICTIM.BIN"});
    use_volume(image);
    DIR root;
    ASSERT_EQ(f_opendir(&root, "/"), FR_OK);
    const std::vector<entry_s> entries = read_all(&root);
    ASSERT_EQ(entries.size(), 3u);
    ASSERT_EQ(entries[1].name, "?ICTIM.BIN");
    const entry_s& victim = entries[1];

    for (std::uint32_t chunk : {4096u, 1000u, 512u}) {
        SCOPED_TRACE(chunk);
        FRESULT last = FR_INT_ERR;
        EXPECT_EQ(read_file(victim.cluster, victim.size, true, chunk, &last), data);
        EXPECT_EQ(last, FR_OK);
        // Along the FAT, the freed entry of the first cluster stops the read after it.
        EXPECT_EQ(read_file(victim.cluster, victim.size, false, chunk, &last), data.left(2048));
        EXPECT_EQ(last, FR_INT_ERR);
    }

    // After a failure every later read of the object fails.
    FIL fil;
    fil.fs = &fat_volume;
    fil.id = fat_volume.id;
    fil.flag = FA_READ;
    fil.fsize = victim.size;
    fil.org_clust = victim.cluster;
    char buf[4096];
    std::uint32_t got = 1;
    ASSERT_EQ(f_read(&fil, buf, sizeof buf, &got, false), FR_INT_ERR);
    EXPECT_EQ(f_read(&fil, buf, sizeof buf, &got, true), FR_INT_ERR);
    EXPECT_EQ(got, 0u);
}

TEST(fat_module, contiguous_read_from_the_last_cluster_reads_one_cluster_then_fails)
{
    QTemporaryDir dir;
    const QString image = make_fat(dir, "e.img", 16, 16384, 4);
    use_volume(image);
    DIR root;
    ASSERT_EQ(f_opendir(&root, "/"), FR_OK);
    const std::uint32_t last_cluster = fat_volume.n_fatent - 1;
    const QByteArray tail = pattern(2048, 9);
    write_at(image, sector_offset(clust2sect(&fat_volume, last_cluster)), tail);
    ASSERT_EQ(open_root(&root), FR_OK);

    FIL fil;
    fil.fs = &fat_volume;
    fil.id = fat_volume.id;
    fil.flag = FA_READ;
    fil.fsize = 3 * 2048;
    fil.org_clust = last_cluster;
    QByteArray buf(8192, '\0');
    std::uint32_t got = 0;
    EXPECT_EQ(f_read(&fil, buf.data(), 8192, &got, true), FR_INT_ERR);
    EXPECT_EQ(got, 2048u);
    EXPECT_EQ(buf.left(2048), tail);
    EXPECT_EQ(f_read(&fil, buf.data(), 8192, &got, true), FR_INT_ERR);
    EXPECT_EQ(got, 0u);
}

TEST(fat_module, fat12_entries_that_straddle_a_sector_boundary)
{
    QTemporaryDir dir;
    const QString image = make_fat(dir, "f12.img", 12, 2048, 1);
    use_volume(image);
    DIR root;
    ASSERT_EQ(f_opendir(&root, "/"), FR_OK);
    ASSERT_EQ(fat_volume.fs_type, FS_FAT12);
    // Entry C lies at byte C + C / 2: 341 (odd) at bytes 511-512, 682 (even) at 1023-1024.
    const std::uint32_t chain[] = {341, 1000, 682};
    put_fat12(image, 341, 1000);
    put_fat12(image, 1000, 682);
    put_fat12(image, 682, 0xFFF);
    put_fat12(image, 340, 0xABC);  // the neighbours sharing their bytes keep their values
    put_fat12(image, 342, 0x123);
    put_fat12(image, 683, 0x456);
    QByteArray data;
    for (std::uint32_t c : chain) {
        const QByteArray block = pattern(512, static_cast<int>(c));
        write_at(image, sector_offset(clust2sect(&fat_volume, c)), block);
        data += block;
    }
    data.chop(100);
    write_at(image, root_offset(), short_entry("CHAIN   BIN", AM_ARC, 341, static_cast<std::uint32_t>(data.size())));

    ASSERT_EQ(open_root(&root), FR_OK);
    EXPECT_EQ(get_fat(&fat_volume, 341), 1000u);
    EXPECT_EQ(get_fat(&fat_volume, 682), 0xFFFu);
    EXPECT_EQ(get_fat(&fat_volume, 340), 0xABCu);
    EXPECT_EQ(get_fat(&fat_volume, 342), 0x123u);
    EXPECT_EQ(get_fat(&fat_volume, 683), 0x456u);
    const std::vector<entry_s> entries = read_all(&root);
    ASSERT_EQ(entries.size(), 1u);
    FRESULT last = FR_INT_ERR;
    EXPECT_EQ(read_file(entries[0].cluster, entries[0].size, false, 4096, &last), data);
    EXPECT_EQ(last, FR_OK);
}

TEST(fat_module, damaged_boot_sectors_are_not_mounted)
{
    QTemporaryDir dir;
    const QString fat16 = make_fat(dir, "b16.img", 16, 16384, 4);
    const QString fat32 = make_fat(dir, "b32.img", 32, 40960, 1);
    struct case_s {
        const char* what;
        const QString& image;
        int offset;
        QByteArray bytes;
        FRESULT expected;
    };
    const case_s cases[] = {
        {"untouched FAT16", fat16, 0, {}, FR_OK},
        {"untouched FAT32", fat32, 0, {}, FR_OK},
        {"4096 bytes per sector", fat16, 11, le_bytes(4096, 2), FR_NO_FILESYSTEM},
        {"0 sectors per cluster", fat16, 13, le_bytes(0, 1), FR_NO_FILESYSTEM},
        {"3 sectors per cluster", fat16, 13, le_bytes(3, 1), FR_NO_FILESYSTEM},
        {"0 reserved sectors", fat16, 14, le_bytes(0, 2), FR_NO_FILESYSTEM},
        {"no FAT", fat16, 16, le_bytes(0, 1), FR_NO_FILESYSTEM},
        {"3 FATs", fat16, 16, le_bytes(3, 1), FR_NO_FILESYSTEM},
        {"root entries not a multiple of 16", fat16, 17, le_bytes(513, 2), FR_NO_FILESYSTEM},
        {"no root entries on FAT16", fat16, 17, le_bytes(0, 2), FR_NO_FILESYSTEM},
        {"fewer sectors than the system area", fat16, 19, le_bytes(40, 2), FR_NO_FILESYSTEM},
        {"a FAT too small for the clusters", fat16, 22, le_bytes(1, 2), FR_NO_FILESYSTEM},
        {"no FAT type text", fat16, 54, "NTFS", FR_NO_FILESYSTEM},
        {"no boot signature", fat16, 510, le_bytes(0, 2), FR_NO_FILESYSTEM},
        {"root entries on FAT32", fat32, 17, le_bytes(512, 2), FR_NO_FILESYSTEM},
        {"4 G sectors, past 32-bit sector numbers", fat32, 32, le_bytes(0xFFFFFFFF, 4), FR_NO_FILESYSTEM},
        {"huge FAT and cluster counts", fat32, 36, le_bytes(0xF0000000, 4), FR_NO_FILESYSTEM},
        {"root cluster out of range", fat32, 44, le_bytes(0x0FFFFFF0, 4), FR_INT_ERR},
        {"root cluster 1", fat32, 44, le_bytes(1, 4), FR_INT_ERR},
    };
    for (const case_s& c : cases) {
        SCOPED_TRACE(c.what);
        const QByteArray original = read_at(c.image, 0, 512);
        write_at(c.image, c.offset, c.bytes);
        use_volume(c.image);
        DIR root;
        const FRESULT res = f_opendir(&root, "/");
        write_at(c.image, 0, original);
        EXPECT_EQ(res, c.expected);
        if (res != FR_OK) {
            FILINFO info;
            EXPECT_EQ(f_readdir(&root, &info), FR_INVALID_OBJECT);  // left unusable
        }
    }
}

TEST(fat_module, broken_directory_chains_end_the_directory)
{
    QTemporaryDir dir;
    const QString image = make_fat(dir, "c.img", 32, 40960, 1);  // one sector per cluster
    use_volume(image);
    DIR root;
    ASSERT_EQ(f_opendir(&root, "/"), FR_OK);
    const std::uint32_t root_cluster = fat_volume.dirbase;
    const std::uint32_t n_fatent = fat_volume.n_fatent;
    QByteArray full;  // 16 entries fill the root's one cluster
    for (int n = 0; n < 16; ++n)
        full += short_entry(QString("FILE%1  TXT").arg(n, 2, 10, QChar('0')).toLatin1(), AM_ARC, 0, 0);
    write_at(image, root_offset(), full);

    struct case_s {
        const char* what;
        std::uint32_t next;
        FRESULT last;  // result of the read that gives the 16th entry
    };
    const case_s cases[] = {
        {"end of chain", 0x0FFFFFFF, FR_OK},
        {"free cluster in the chain", 0, FR_INT_ERR},
        {"cluster 1", 1, FR_INT_ERR},
        {"past the last cluster", n_fatent + 5, FR_INT_ERR},
        {"bad cluster mark", 0x0FFFFFF7, FR_INT_ERR},
    };
    for (const case_s& c : cases) {
        SCOPED_TRACE(c.what);
        put_fat32(image, root_cluster, c.next);
        ASSERT_EQ(open_root(&root), FR_OK);
        FRESULT last = FR_OK;
        const std::vector<entry_s> entries = read_all(&root, &last);
        EXPECT_EQ(last, c.last);
        EXPECT_EQ(entries.size(), c.last == FR_OK ? 16u : 15u);
        // After a failure the directory has ended: reading on gives its end.
        FILINFO info;
        EXPECT_EQ(f_readdir(&root, &info), FR_OK);
        EXPECT_EQ(info.fname[0], 0);
    }

    // A chain that loops back on itself keeps giving entries until the 16-bit entry index
    // would wrap: a directory ends after 65536 entries, each read returning.
    put_fat32(image, root_cluster, root_cluster);
    ASSERT_EQ(open_root(&root), FR_OK);
    FRESULT last = FR_INT_ERR;
    EXPECT_EQ(read_all(&root, &last).size(), 65536u);
    EXPECT_EQ(last, FR_OK);

    // A loop of entries that are never reported ends inside one read.
    QByteArray dots;
    for (int n = 0; n < 16; ++n)
        dots += short_entry(".          ", AM_DIR);
    write_at(image, root_offset(), dots);
    ASSERT_EQ(open_root(&root), FR_OK);
    FILINFO info;
    EXPECT_EQ(f_readdir(&root, &info), FR_OK);
    EXPECT_EQ(info.fname[0], 0);

    // A folder opened by a first cluster out of range cannot be rewound there.
    for (std::uint32_t cluster : {1u, n_fatent, 0xFFFFFFFFu}) {
        ASSERT_EQ(f_opendir(&root, "/"), FR_OK);
        root.sclust = root.clust = cluster;
        EXPECT_EQ(f_readdir(&root, nullptr), FR_INT_ERR) << cluster;
    }
}

TEST(fat_module, objects_are_checked_before_use)
{
    QTemporaryDir dir;
    const QString image = make_fat(dir, "o.img", 12, 1024, 1);
    use_volume(image);
    DIR root;
    FILINFO info;
    EXPECT_EQ(f_mount(10, &fat_volume), FR_INVALID_DRIVE);
    EXPECT_EQ(f_opendir(&root, "12:/"), FR_INVALID_DRIVE);
    EXPECT_EQ(f_opendir(&root, "1:/"), FR_NOT_ENABLED);
    EXPECT_EQ(f_opendir(&root, "/SUB"), FR_NO_PATH);
    EXPECT_EQ(f_readdir(&root, &info), FR_INVALID_OBJECT);
    EXPECT_EQ(f_opendir(&root, "0:\\"), FR_OK);

    FIL fil;
    fil.fs = &fat_volume;
    fil.id = fat_volume.id;
    fil.fsize = 100;
    fil.org_clust = 2;
    char buf[100];
    std::uint32_t got = 7;
    EXPECT_EQ(f_read(&fil, buf, sizeof buf, &got, true), FR_DENIED);  // flag 0: not open for reading
    EXPECT_EQ(got, 0u);

    // A drive that does not answer.
    volume_partition_table[0].disk_number = 5;
    EXPECT_EQ(open_root(&root), FR_NOT_READY);
    volume_partition_table[0].disk_number = 0;

    // No object registered for drive 0.
    ASSERT_EQ(f_mount(0, nullptr), FR_OK);
    EXPECT_EQ(f_opendir(&root, "/"), FR_NOT_ENABLED);
    fil.flag = FA_READ;
    EXPECT_EQ(f_read(&fil, buf, sizeof buf, &got, true), FR_INVALID_OBJECT);
    f_mount(0, &fat_volume);
}

namespace {

// Noise kept close enough to a file system to be walked: FAT entries and first clusters
// mostly among the first 100 clusters (so chains cross, loop and end in every way), sizes
// up to a few clusters, everything else random.
constexpr std::uint32_t noise_clusters = 100;

QByteArray small_fat(int bits, int seed)
{
    const QByteArray r = pattern(8 * 512, seed);
    QByteArray fat;
    for (int i = 0; i + 4 <= r.size() && fat.size() < 8 * 512 - 4; i += 4) {
        std::uint32_t v = static_cast<std::uint8_t>(r[i]) | static_cast<std::uint8_t>(r[i + 1]) << 8;
        v = r[i + 2] & 1 ? v % noise_clusters : v | 0x0FFFF000;  // else a value past the volume or a mark
        if (bits == 32) {
            fat += le_bytes(v, 4);
        } else {
            const std::uint32_t w = (static_cast<std::uint8_t>(r[i + 3]) % noise_clusters);
            fat += le_bytes((v & 0xFFF) | (w << 12), 3);  // two packed 12-bit entries
        }
    }
    return fat;
}

QByteArray noise_entries(int bytes, int seed)
{
    QByteArray b = pattern(bytes, seed);
    for (int at = 0; at + 32 <= b.size(); at += 32) {
        const std::uint8_t r = static_cast<std::uint8_t>(b[at + 5]);
        b.replace(at + 20, 2, le_bytes(0, 2));
        b.replace(at + 26, 2, le_bytes(r % noise_clusters, 2));
        b.replace(at + 28, 4, le_bytes(static_cast<std::uint8_t>(b[at + 30]) * 97u, 4));
    }
    return b;
}

}  // namespace

TEST(fat_module, random_damage_never_leads_out_of_bounds_or_into_an_endless_walk)
{
    // FAT, root and the first data clusters filled with noise; every folder that the noise
    // names is walked (each cluster once, as the engine does) and every file read. The walk
    // must end, every directory within 65536 entries, and every result be one of the
    // module's own. Run under a sanitizer this is also the module's bounds check.
    QTemporaryDir dir;
    for (int bits : {12, 32}) {
        const QString image = make_fat(dir, "n.img", bits, bits == 12 ? 2048 : 40960, 1);
        use_volume(image);
        DIR root;
        ASSERT_EQ(f_opendir(&root, "/"), FR_OK);
        const std::uint64_t fat = sector_offset(fat_volume.fatbase);
        const std::uint64_t data = sector_offset(clust2sect(&fat_volume, 2));
        const std::uint64_t root_at = root_offset();
        for (int seed = 1; seed <= 5; ++seed) {
            SCOPED_TRACE(testing::Message() << "FAT" << bits << " seed " << seed);
            write_at(image, fat, small_fat(bits, seed));
            write_at(image, root_at, noise_entries(4 * 512, seed + 100));
            write_at(image, data, noise_entries(64 * 512, seed + 200));
            ASSERT_EQ(open_root(&root), FR_OK);
            std::vector<std::uint32_t> folders{0};
            std::vector<std::uint32_t> seen{0};
            for (std::size_t f = 0; f < folders.size() && f < 500; ++f) {
                DIR d;
                ASSERT_EQ(f_opendir(&d, "/"), FR_OK);
                if (folders[f] != 0) {
                    d.sclust = d.clust = folders[f];
                    if (f_readdir(&d, nullptr) != FR_OK)
                        continue;
                }
                FRESULT last = FR_OK;
                const std::vector<entry_s> entries = read_all(&d, &last);
                EXPECT_LE(entries.size(), 65536u);
                EXPECT_TRUE(last == FR_OK || last == FR_INT_ERR || last == FR_DISK_ERR) << last;
                for (const entry_s& e : entries) {
                    EXPECT_NE(e.name, "");
                    if ((e.attr & AM_DIR) && std::find(seen.begin(), seen.end(), e.cluster) == seen.end()) {
                        seen.push_back(e.cluster);
                        folders.push_back(e.cluster);
                    } else if (!(e.attr & AM_DIR)) {
                        // The caller's own bound on the size keeps the reads short.
                        read_file(e.cluster, std::min(e.size, 65536u), e.attr & AM_DELETED, 4096, &last);
                        EXPECT_TRUE(last == FR_OK || last == FR_INT_ERR || last == FR_DISK_ERR) << last;
                    }
                }
            }
        }
    }
}
