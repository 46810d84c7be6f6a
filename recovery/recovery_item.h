#pragma once
// One found file as a row of the file table.
#include <QMetaType>
#include <QString>
#include <cstdint>

struct recovery_item_s {
    QString name;
    std::uint64_t size = 0;
    std::int64_t date1 = 0;  // seconds since 1970-01-01 UTC; 0 none
    std::int64_t date2 = 0;
    std::uint64_t id = 0;     // the engine's identifier, handed back to recover_item
    std::uint32_t flags = 0;  // the engine's flag bits
    std::uint8_t checked = 0;
    // The file's first cluster now belongs to another file (FAT): its bytes are most likely
    // that file's, so it is written only when the user asks for it.
    bool overwritten = false;
    // Of a file that is not: how many of its clusters now belong to other files (FAT), of
    // how many it has. Those parts are written as zeros and the file is partial.
    std::uint32_t in_use_clusters = 0;
    std::uint32_t clusters = 0;
};

Q_DECLARE_METATYPE(recovery_item_s)
