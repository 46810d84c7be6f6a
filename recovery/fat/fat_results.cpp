#include "recovery/fat/fat_results.h"

std::optional<fat_folder_tree_s> fat_folder_tree(const fat_recovery_c& engine)
{
    const auto root = engine.entry_table.find(0);
    if (root == engine.entry_table.end())
        return std::nullopt;
    fat_folder_tree_s tree = build_folder_tree(
        &root->second,
        [](const fat_entry_s& e) { return (e.attributes & fat_attr_folder) && e.has_content && e.cluster != 0; },
        [](const fat_entry_s& e) { return e.name; });
    // Deleted files straight in the root count as found too, not only folders with content.
    if (tree.nodes[0].children.empty() && !root->second.has_content)
        return std::nullopt;
    return tree;
}

QList<recovery_item_s> fat_folder_rows(const fat_entry_s& folder)
{
    QList<recovery_item_s> rows;
    for (const fat_entry_s* c : folder.children) {
        if ((c->attributes & fat_attr_folder) || c->cluster == 0)
            continue;
        recovery_item_s row;
        row.name = c->name;
        row.size = c->size;
        row.date1 = c->modified;
        row.date2 = c->created;
        row.id = c->cluster;
        row.flags = c->attributes;
        row.overwritten = c->overwritten != 0;
        row.in_use_clusters = c->in_use_clusters;
        row.clusters = c->clusters;
        rows.append(row);
    }
    return rows;
}
