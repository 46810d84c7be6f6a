#include "recovery/raw/raw_results.h"

#include <algorithm>
#include <limits>

QStringList raw_folders(const raw_recovery_c& engine)
{
    QStringList names = engine.type_table.keys();
    const auto first = [&](const QString& key) {
        const QList<std::uint64_t> list = engine.type_table.value(key);
        return list.isEmpty() ? std::numeric_limits<std::uint64_t>::max() : list.front();
    };
    std::sort(names.begin(), names.end(), [&](const QString& a, const QString& b) {
        const std::uint64_t fa = first(a), fb = first(b);
        return fa != fb ? fa < fb : a < b;
    });
    return names;
}

QList<recovery_item_s> raw_folder_rows(const raw_recovery_c& engine, const QString& folder)
{
    QList<recovery_item_s> rows;
    const auto it = engine.type_table.constFind(folder);
    if (it == engine.type_table.constEnd())
        return rows;
    for (const std::uint64_t number : *it) {
        if (number >= static_cast<std::uint64_t>(engine.found_files.size()))
            continue;
        const raw_entry_s& e = engine.found_files[static_cast<qsizetype>(number)];
        recovery_item_s row;
        row.name = QString::asprintf("%08llu.", static_cast<unsigned long long>(e.index)) + e.extension_text();
        row.size = e.size;
        row.id = number;
        rows.append(row);
    }
    return rows;
}
