// The two settings files the program reads: the deep scan's "Orvane.conf" (first input byte
// even) and the program's "Orvane.ini" (odd), each followed by the file's bytes.
#include <QDir>

#include "fuzz/fuzz_support.h"
#include "fuzz/targets.h"
#include "recovery/signatures/sc_config.h"
#include "recovery/signatures/sc_library.h"
#include "recovery/signatures/signature.h"
#include "settings/localisation.h"
#include "settings/settings_store.h"

int fuzz_config(const std::uint8_t* data, std::size_t size)
{
    fuzz::quiet();
    if (size < 1)
        return 0;
    if (data[0] % 2 == 0) {
        const QString path = fuzz::write_scratch("Orvane.conf", data + 1, size - 1);
        FUZZ_CHECK(sc_load_config(path.toLocal8Bit().constData()) == 0);
        FUZZ_CHECK(sc_current_settings().size() == signature_registry().size());
        // Back to the built-in configuration for whatever runs next in this process.
        sc_load_config(nullptr);
        return 0;
    }
    fuzz::write_scratch("Orvane.ini", data + 1, size - 1);
    const QString previous = QDir::currentPath();
    FUZZ_CHECK(QDir::setCurrent(fuzz::scratch_dir()));
    FUZZ_CHECK(load_settings() == 0);
    FUZZ_CHECK(!language.isEmpty());
    FUZZ_CHECK(current_language_index >= 0);
    FUZZ_CHECK(QDir::setCurrent(previous));
    return 0;
}
