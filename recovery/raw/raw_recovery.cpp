#include "recovery/raw/raw_recovery.h"

#include <QFile>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "disk/le.h"
#include "recovery/diagnostics.h"
#include "volumes/volume_device.h"

namespace {

// Field offsets of a raw_entry_s record.
constexpr std::size_t entry_index = 0;
constexpr std::size_t entry_offset = 8;
constexpr std::size_t entry_size = 16;
constexpr std::size_t entry_extension = 24;

// A loaded file of more records than this is refused rather than read into memory whole.
constexpr qint64 max_loaded_records = qint64(1) << 24;

void found_file_callback(void* user, const char* extension, std::uint64_t offset, std::uint64_t size)
{
    static_cast<raw_recovery_c*>(user)->on_file_found(extension, offset, size);
}

// Reads n bytes at `at` of the volume into buf. A read that fails is tried again one
// sector of the volume at a time, and a sector that still fails becomes zeros, noted in the
// report as a range of the file that starts at `start`. The count read is short only where
// the volume ends.
std::size_t read_or_zero(block_device& source, std::uint64_t at, char* buf, std::size_t n, std::uint64_t start,
                         recover_report_s& report)
{
    constexpr std::uint64_t sector = 512;
    const std::int64_t got = source.read_at(at, buf, n);
    if (got >= 0)
        return static_cast<std::size_t>(got);
    std::size_t done = 0;
    while (done < n) {
        const std::uint64_t here = at + done;
        const std::size_t len = static_cast<std::size_t>(std::min<std::uint64_t>(n - done, sector - here % sector));
        const std::int64_t r = source.read_at(here, buf + done, len);
        if (r < 0) {
            std::memset(buf + done, 0, len);
            report.add_unreadable(here - start, here - start + len);
            done += len;
            continue;
        }
        done += static_cast<std::size_t>(r);
        if (static_cast<std::size_t>(r) < len)
            break;  // the volume ends here
    }
    return done;
}

bool extension_char(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
           c == '+';
}

}  // namespace

void raw_entry_s::store(std::span<std::uint8_t, bytes> out) const
{
    put_le64(out, entry_index, index);
    put_le64(out, entry_offset, offset);
    put_le64(out, entry_size, size);
    for (std::size_t i = 0; i < extension.size(); ++i)
        out[entry_extension + i] = static_cast<std::uint8_t>(extension[i]);
}

raw_entry_s raw_entry_s::load(std::span<const std::uint8_t, bytes> in)
{
    raw_entry_s e;
    e.index = le64(in, entry_index);
    e.offset = le64(in, entry_offset);
    e.size = le64(in, entry_size);
    for (std::size_t i = 0; i < e.extension.size(); ++i)
        e.extension[i] = static_cast<char>(in[entry_extension + i]);
    return e;
}

QString raw_entry_s::extension_text() const
{
    std::size_t n = 0;
    while (n < extension.size() && extension[n] != '\0')
        ++n;
    return QString::fromLatin1(extension.data(), static_cast<qsizetype>(n));
}

void raw_recovery_c::set_volume(const volume_item_s& volume)
{
    volume_ = volume;
    device_path = volume.volume_path;
    if (device_path.endsWith(QLatin1Char('\\')))
        device_path.chop(1);
}

double raw_recovery_c::get_progress()
{
    return std::atomic_ref<double>(raw_scan_context.progress).load();
}

void raw_recovery_c::set_progress(double progress)
{
    std::atomic_ref<double>(raw_scan_context.progress).store(progress);
}

void raw_recovery_c::set_stop(std::int32_t code)
{
    std::atomic_ref<std::int32_t>(raw_scan_context.stop).store(code);
}

std::int32_t raw_recovery_c::get_stop()
{
    return std::atomic_ref<std::int32_t>(raw_scan_context.stop).load();
}

std::int32_t raw_recovery_c::get_pause()
{
    return std::atomic_ref<std::int32_t>(raw_scan_context.pause).load();
}

void raw_recovery_c::set_pause(std::int32_t pause)
{
    std::atomic_ref<std::int32_t>(raw_scan_context.pause).store(pause);
}

void raw_recovery_c::reset()
{
    // All 32 bytes of the context to zero, the pointers' reserved halves included.
    std::atomic_ref<std::int32_t>(raw_scan_context.stop).store(0);
    std::atomic_ref<std::int32_t>(raw_scan_context.pause).store(0);
    std::atomic_ref<double>(raw_scan_context.progress).store(0.0);
    raw_scan_context.user = nullptr;
    raw_scan_context.callback = nullptr;
    type_table.clear();
    found_files.clear();
    found_count_ = 0;
    failure_.clear();
}

void raw_recovery_c::run()
{
    reset();
    raw_scan_context.user = this;
    raw_scan_context.callback = &found_file_callback;
    // Opened where the volume item says the volume lies; the volume is not looked up again.
    const std::unique_ptr<block_device> volume = open_volume(volume_);
    if (!volume) {
        failure_ = QStringLiteral("%1 cannot be opened").arg(volume_.volume_path);
        diagnostic("deep scan: cannot open %s\n", volume_.volume_path.toLocal8Bit().constData());
        return;
    }
    sc_scan_device(&raw_scan_context, *volume);
}

void raw_recovery_c::on_file_found(const char* extension, std::uint64_t offset, std::uint64_t size)
{
    if (extension == nullptr)
        extension = "";
    raw_entry_s e;
    e.index = static_cast<std::uint64_t>(found_files.size());
    e.offset = offset;
    e.size = size;
    const std::size_t len = std::strlen(extension);
    std::memcpy(e.extension.data(), extension, std::min(len, e.extension.size()));
    found_files.append(e);
    type_table[QString::fromLatin1(extension)].append(e.index);
    ++found_count_;
}

void raw_recovery_c::begin_batch()
{
    batch_source_ = open_volume(volume_);
}

void raw_recovery_c::end_batch()
{
    batch_source_.reset();
}

std::int32_t raw_recovery_c::recover_item(std::uint64_t id, QString path)
{
    recover_report_s report;
    return recover_item_reported(id, path, report);
}

std::int32_t raw_recovery_c::recover_item_reported(std::uint64_t id, const QString& path, recover_report_s& report)
{
    const std::uint32_t position = static_cast<std::uint32_t>(id);
    if (position >= static_cast<std::uint64_t>(found_files.size()))
        return recover_failed;
    const raw_entry_s entry = found_files[static_cast<qsizetype>(position)];
    std::unique_ptr<block_device> own;
    block_device* source = batch_source_.get();
    if (!source) {
        own = open_volume(volume_);
        source = own.get();
    }
    if (!source || entry.offset > static_cast<std::uint64_t>(INT64_MAX))
        return recover_failed;
    // Copied by the system from the volume to the file where the volume can (an image file);
    // otherwise read and written here, straight from the buffer in large pieces, which the
    // system files into its cache several times faster than small ones.
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return recover_failed;
    // The file is read from its exact first byte: a file that does not start on a sector
    // boundary would otherwise come out shifted, with the sector's earlier bytes in front.
    std::uint64_t at = entry.offset;
    std::uint64_t remaining = entry.size;
    std::int32_t result = recover_written;
    bool in_system = true;
    while (remaining > 0) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, copy_piece_bytes));
        const std::uint64_t written = at - entry.offset;
        std::int64_t n = in_system ? source->copy_to_file(at, out.handle(), written, want) : -1;
        if (n < 0) {
            // From here on through the buffer, which zero-fills unreadable sectors; the
            // file's own position goes where the system's copying stopped.
            if (in_system && !out.seek(static_cast<qint64>(written))) {
                result = recover_write_error;
                break;
            }
            in_system = false;
            if (copy_buffer_.size() < want)
                copy_buffer_.resize(want);
            n = static_cast<std::int64_t>(read_or_zero(*source, at, copy_buffer_.data(), want, entry.offset, report));
            if (n > 0 && out.write(copy_buffer_.data(), n) != n) {
                result = recover_write_error;
                break;
            }
        }
        if (n == 0) {
            // A loaded result of a volume that has since become shorter (a truncated image).
            result = recover_truncated;
            report.reason = QStringLiteral("the volume ends at byte %1, %2 byte(s) before the end of the file")
                                .arg(at)
                                .arg(remaining);
            break;
        }
        report.count(static_cast<std::uint64_t>(n));
        at += static_cast<std::uint64_t>(n);
        remaining -= static_cast<std::uint64_t>(n);
    }
    if (!out.flush() && result == recover_written)
        result = recover_write_error;
    out.close();
    if (result < 0) {
        out.remove();
        return result;
    }
    return report.unreadable.empty() ? recover_written : recover_partial;
}

std::int32_t raw_recovery_c::write_scan_result(const QString& path)
{
    const QByteArray device = device_path.toLocal8Bit();
    if (found_files.isEmpty() || device.size() >= static_cast<qsizetype>(raw_sav_header_bytes) || device.contains('\0'))
        return -1;
    QByteArray data(static_cast<qsizetype>(raw_sav_header_bytes), '\0');
    std::memcpy(data.data(), device.constData(), static_cast<std::size_t>(device.size()));
    std::array<std::uint8_t, raw_entry_s::bytes> record{};
    for (const raw_entry_s& e : found_files) {
        e.store(record);
        data.append(reinterpret_cast<const char*>(record.data()), static_cast<qsizetype>(record.size()));
    }
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return -1;
    if (out.write(data) != data.size() || !out.flush())
        return -1;
    return 0;
}

QString raw_recovery_c::read_scan_result(const QString& path)
{
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return {};
    const qint64 length = in.size();
    const qint64 header = static_cast<qint64>(raw_sav_header_bytes);
    const qint64 record = static_cast<qint64>(raw_entry_s::bytes);
    if (length < header + record || (length - header) % record != 0 || (length - header) / record > max_loaded_records)
        return {};
    const QByteArray data = in.readAll();
    if (data.size() != length)
        return {};
    const qsizetype text_len = qstrnlen(data.constData(), raw_sav_header_bytes);
    // The result names the volume its offsets belong to; without a name the caller could not
    // tell a load from a failure (both give an empty text), so the file is refused.
    if (text_len == 0)
        return {};
    const QString device = QString::fromLocal8Bit(data.constData(), text_len);

    QList<raw_entry_s> files;
    QHash<QString, QList<std::uint64_t>> types;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.constData());
    const qint64 count = (length - header) / record;
    for (qint64 i = 0; i < count; ++i) {
        const raw_entry_s e = raw_entry_s::load(
            std::span<const std::uint8_t, raw_entry_s::bytes>(bytes + header + i * record, raw_entry_s::bytes));
        // Viewers and recover_item look a record up by its index, and its extension becomes
        // part of a file name: a record that would mislead either makes the file unusable.
        if (e.index != static_cast<std::uint64_t>(i))
            return {};
        const QString ext = e.extension_text();
        if (ext.isEmpty() || !std::all_of(e.extension.begin(), e.extension.begin() + ext.size(), extension_char))
            return {};
        if (std::any_of(e.extension.begin() + ext.size(), e.extension.end(), [](char c) { return c != '\0'; }))
            return {};
        files.append(e);
        types[ext].append(e.index);
    }
    found_files = std::move(files);
    type_table = std::move(types);
    return device;
}
