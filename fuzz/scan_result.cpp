// A scan-result file loaded by the deep engine, and saved again.
#include <QFile>
#include <algorithm>

#include "fuzz/fuzz_support.h"
#include "fuzz/targets.h"
#include "recovery/raw/raw_recovery.h"

int fuzz_scan_result(const std::uint8_t* data, std::size_t size)
{
    fuzz::quiet();
    const QString path = fuzz::write_scratch("result.sav", data, size);
    raw_recovery_c engine;
    const QString device = engine.read_scan_result(path);
    if (device.isEmpty()) {
        // A refused file leaves the tables as they were: empty.
        FUZZ_CHECK(engine.found_files.isEmpty() && engine.type_table.isEmpty());
        return 0;
    }
    FUZZ_CHECK(size >= raw_sav_header_bytes + raw_entry_s::bytes);
    FUZZ_CHECK(static_cast<std::size_t>(engine.found_files.size()) ==
               (size - raw_sav_header_bytes) / raw_entry_s::bytes);
    qsizetype grouped = 0;
    for (const QList<std::uint64_t>& indexes : engine.type_table)
        grouped += indexes.size();
    FUZZ_CHECK(grouped == engine.found_files.size());
    for (qsizetype i = 0; i < engine.found_files.size(); ++i) {
        const raw_entry_s& e = engine.found_files[i];
        FUZZ_CHECK(e.index == static_cast<std::uint64_t>(i));
        const QString ext = e.extension_text();
        FUZZ_CHECK(!ext.isEmpty() && !ext.contains('/') && !ext.contains('.'));
        FUZZ_CHECK(engine.type_table.value(ext).contains(e.index));
    }

    // Saved again, the records come out as they were read.
    engine.device_path = device;
    const QString again = fuzz::scratch_dir() + "/again.sav";
    if (engine.write_scan_result(again) == 0) {
        QFile f(again);
        FUZZ_CHECK(f.open(QIODevice::ReadOnly));
        const QByteArray written = f.readAll();
        FUZZ_CHECK(static_cast<std::size_t>(written.size()) == size);
        FUZZ_CHECK(std::equal(written.begin() + raw_sav_header_bytes, written.end(),
                              reinterpret_cast<const char*>(data) + raw_sav_header_bytes));
        QFile::remove(again);
    }
    return 0;
}
