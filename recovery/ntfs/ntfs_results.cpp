#include "recovery/ntfs/ntfs_results.h"

namespace {

bool shown_record(const ntfs_entry_s& e)
{
    return static_cast<std::int64_t>(e.record()) > static_cast<std::int64_t>(ntfs_last_system_record);
}

}  // namespace

std::optional<ntfs_folder_tree_s> ntfs_folder_tree(const ntfs_recovery_c& engine)
{
    const auto root = engine.entry_table.find(ntfs_root_record);
    if (root == engine.entry_table.end())
        return std::nullopt;
    // The root names itself as its parent, so it is among its own children; the filter
    // leaves it out with the file system's other records.
    ntfs_folder_tree_s tree = build_folder_tree(
        &root->second,
        [](const ntfs_entry_s& e) { return (e.flags() & ntfs_flag_folder) && e.has_content && shown_record(e); },
        [](const ntfs_entry_s& e) { return e.name(); });
    // Deleted files straight in the root count as found too, not only folders with content.
    if (tree.nodes[0].children.empty() && ntfs_folder_rows(root->second).isEmpty())
        return std::nullopt;
    return tree;
}

QList<recovery_item_s> ntfs_folder_rows(const ntfs_entry_s& folder)
{
    QList<recovery_item_s> rows;
    for (const ntfs_entry_s* c : folder.children) {
        if (!(c->flags() & ntfs_flag_file) || !shown_record(*c))
            continue;
        recovery_item_s row;
        row.name = c->name();
        row.size = c->size();
        row.date1 = c->date1();
        row.date2 = c->date2();
        row.id = c->record();
        row.flags = c->flags();
        rows.append(row);
    }
    return rows;
}
