// A localisation file read by the language loader, as the settings store would read it.
#include <QDir>

#include "fuzz/fuzz_support.h"
#include "fuzz/targets.h"
#include "settings/localisation.h"

int fuzz_language(const std::uint8_t* data, std::size_t size)
{
    fuzz::quiet();
    fuzz::write_scratch("language.ini", data, size);
    // The file is read from the working directory; the caller's is given back afterwards.
    const QString previous = QDir::currentPath();
    FUZZ_CHECK(QDir::setCurrent(fuzz::scratch_dir()));
    translation_table.clear();
    current_language_index = 0;

    FUZZ_CHECK(load_language("English", false) == 0);
    if (!language_list.isEmpty()) {
        const QString chosen = language_list.back();
        FUZZ_CHECK(load_language(chosen, true) == 0);
        FUZZ_CHECK(current_language_index >= 0 && current_language_index < language_list.size());
    }
    for (const auto& [key, text] : std::map(translation_table))
        FUZZ_CHECK(translate(key) == text);
    (void)language_code();

    FUZZ_CHECK(QDir::setCurrent(previous));
    return 0;
}
