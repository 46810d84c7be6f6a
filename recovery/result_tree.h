#pragma once
// The results of a scan as every viewer shows them, whatever the engine: a tree of folders
// from "/" down, each with its name, its parent, its sub-folders and the rows of the files
// found in it. The FAT and NTFS engines' trees come from their records (the folders that
// hold a deleted file below them), the deep engine's from its file types (one folder per
// type under "/"). The recovery page's tree and table models, the command line and the
// writer all read this one shape, so they always show the same thing.
//
// Folders live in one flat list and refer to each other by position, so that neither
// building, walking nor freeing a tree recurses.
#include <QList>
#include <QString>
#include <cstddef>
#include <optional>
#include <vector>

#include "recovery/folder_tree.h"
#include "recovery/recovery_item.h"

class fat_recovery_c;
class ntfs_recovery_c;
class raw_recovery_c;

struct result_folder_s {
    QString name;                       // "/" for the root
    std::size_t parent = 0;             // the root is its own parent
    std::vector<std::size_t> children;  // sub-folders, in the order shown
    QList<recovery_item_s> rows;        // the files shown in this folder
};

struct result_tree_s {
    std::vector<result_folder_s> folders;  // folders[0] is "/"

    // "/" or "/name/name" of a folder.
    QString path_of(std::size_t folder) const;

    // Every folder depth first, each before its sub-folders: visit(folder, position, path).
    template <typename visit_t>
    void walk(visit_t visit) const
    {
        walk_nodes(folders, visit);
    }
};

// A tree of records (folder_tree.h) with each folder's rows.
template <typename entry_t, typename rows_of_t>
result_tree_s result_tree_of(const folder_tree_s<entry_t>& tree, rows_of_t rows_of)
{
    result_tree_s out;
    out.folders.reserve(tree.nodes.size());
    for (const auto& node : tree.nodes)
        out.folders.push_back({node.name, node.parent, node.children, rows_of(*node.entry)});
    return out;
}

// The engines' results; nothing when the scan found nothing to show.
std::optional<result_tree_s> fat_result_tree(const fat_recovery_c& engine);
std::optional<result_tree_s> ntfs_result_tree(const ntfs_recovery_c& engine);
// "/" with one folder per file type, in the order the first file of each type was found;
// "/" alone when nothing was found.
std::optional<result_tree_s> raw_result_tree(const raw_recovery_c& engine);
