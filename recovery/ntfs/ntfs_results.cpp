#include "recovery/ntfs/ntfs_results.h"

#include <unordered_set>

namespace {

bool shown_record(const ntfs_entry_s& e)
{
    return static_cast<std::int64_t>(e.record()) > static_cast<std::int64_t>(ntfs_last_system_record);
}

// The root is its own parent and reused record numbers can form loops: each record joins
// the tree once.
void add_ntfs_folders(ntfs_folder_node_s& node, std::unordered_set<const ntfs_entry_s*>& seen)
{
    for (const ntfs_entry_s* child : node.entry->children) {
        if (!(child->flags() & ntfs_flag_folder) || !child->has_content || !shown_record(*child))
            continue;
        if (!seen.insert(child).second)
            continue;
        ntfs_folder_node_s sub;
        sub.name = child->name();
        sub.entry = child;
        add_ntfs_folders(sub, seen);
        node.children.push_back(std::move(sub));
    }
}

}  // namespace

std::optional<ntfs_folder_node_s> ntfs_folder_tree(const ntfs_recovery_c& engine)
{
    const auto root = engine.entry_table.find(ntfs_root_record);
    if (root == engine.entry_table.end())
        return std::nullopt;
    ntfs_folder_node_s top;
    top.name = QStringLiteral("/");
    top.entry = &root->second;
    std::unordered_set<const ntfs_entry_s*> seen{top.entry};
    add_ntfs_folders(top, seen);
    // Deleted files straight in the root count as found too, not only folders with content.
    if (top.children.empty() && ntfs_folder_rows(*top.entry).isEmpty())
        return std::nullopt;
    return top;
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
