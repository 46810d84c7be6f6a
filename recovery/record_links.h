#pragma once
// The logic the FAT and NTFS engines share over their record tables (a hash table from a
// record's key to a record with a `children` list and a `has_content` mark): linking each
// record to its parent, marking the folders that hold a file somewhere below them, and the
// path of a record from the volume's root. Parent links come from the disk and may form
// loops (a record number reused); every walk here ends on them.
#include <QString>
#include <cstdint>
#include <vector>

// Appends each record (but those skip() names) to its parent's children, when the table
// holds the parent; the order is the table's.
template <typename table_t, typename parent_of_t, typename skip_t>
void link_records(table_t& table, parent_of_t parent_of, skip_t skip)
{
    for (auto& [key, entry] : table) {
        if (skip(entry))
            continue;
        const auto parent = table.find(parent_of(entry));
        if (parent != table.end())
            parent->second.children.append(&entry);
    }
}

// Marks has_content on every folder above a file, climbing until a parent is missing or
// already marked (which also ends a loop of parents).
template <typename table_t, typename parent_of_t, typename is_file_t>
void mark_records(table_t& table, parent_of_t parent_of, is_file_t is_file)
{
    for (auto& [key, entry] : table) {
        if (!is_file(entry))
            continue;
        const auto* current = &entry;
        for (;;) {
            const auto parent = table.find(parent_of(*current));
            if (parent == table.end() || parent->second.has_content)
                break;
            parent->second.has_content = 1;
            current = &parent->second;
        }
    }
}

// out = root_path without a final "/" or "\", then "/" and the name of each record from
// the top down to the record itself. The climb stops at a record whose parent is the top
// (is_top). 0; -1 when a record on the way is missing or the parents loop (out then holds
// the root path only).
template <typename table_t, typename key_t, typename parent_of_t, typename is_top_t, typename name_of_t>
std::int32_t record_path(const table_t& table, key_t key, parent_of_t parent_of, is_top_t is_top, name_of_t name_of,
                         const QString& root_path, QString& out)
{
    out = root_path;
    if (out.endsWith(QLatin1Char('/')) || out.endsWith(QLatin1Char('\\')))
        out.chop(1);
    std::vector<const typename table_t::mapped_type*> chain;
    for (;;) {
        const auto it = table.find(key);
        // A chain longer than the table has come round a loop of parents.
        if (it == table.end() || chain.size() > table.size())
            return -1;
        chain.push_back(&it->second);
        if (is_top(parent_of(it->second)))
            break;
        key = parent_of(it->second);
    }
    for (auto e = chain.rbegin(); e != chain.rend(); ++e)
        out += QLatin1Char('/') + name_of(**e);
    return 0;
}
