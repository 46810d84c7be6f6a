#include "recovery/fat/fat_results.h"

#include <unordered_set>

namespace {

// Children can form a loop when a cluster was reused; each record joins the tree once.
void add_fat_folders(fat_folder_node_s& node, std::unordered_set<const fat_entry_s*>& seen)
{
    for (const fat_entry_s* child : node.entry->children) {
        if (!(child->attributes & fat_attr_folder) || !child->has_content || child->cluster == 0)
            continue;
        if (!seen.insert(child).second)
            continue;
        fat_folder_node_s sub;
        sub.name = child->name;
        sub.entry = child;
        add_fat_folders(sub, seen);
        node.children.push_back(std::move(sub));
    }
}

}  // namespace

std::optional<fat_folder_node_s> fat_folder_tree(const fat_recovery_c& engine)
{
    const auto root = engine.entry_table.find(0);
    if (root == engine.entry_table.end())
        return std::nullopt;
    fat_folder_node_s top;
    top.name = QStringLiteral("/");
    top.entry = &root->second;
    std::unordered_set<const fat_entry_s*> seen{top.entry};
    add_fat_folders(top, seen);
    // Deleted files straight in the root count as found too, not only folders with content.
    if (top.children.empty() && !top.entry->has_content)
        return std::nullopt;
    return top;
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
        rows.append(row);
    }
    return rows;
}
