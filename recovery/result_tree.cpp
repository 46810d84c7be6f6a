#include "recovery/result_tree.h"

#include "recovery/fat/fat_results.h"
#include "recovery/ntfs/ntfs_results.h"
#include "recovery/raw/raw_results.h"

QString result_tree_s::path_of(std::size_t folder) const
{
    QStringList names;
    for (std::size_t at = folder; at != 0 && at < folders.size() && names.size() <= qsizetype(folders.size());
         at = folders[at].parent)
        names.prepend(folders[at].name);
    return QLatin1Char('/') + names.join(QLatin1Char('/'));
}

std::optional<result_tree_s> fat_result_tree(const fat_recovery_c& engine)
{
    const std::optional<fat_folder_tree_s> tree = fat_folder_tree(engine);
    if (!tree)
        return std::nullopt;
    return result_tree_of(*tree, fat_folder_rows);
}

std::optional<result_tree_s> ntfs_result_tree(const ntfs_recovery_c& engine)
{
    const std::optional<ntfs_folder_tree_s> tree = ntfs_folder_tree(engine);
    if (!tree)
        return std::nullopt;
    return result_tree_of(*tree, ntfs_folder_rows);
}

std::optional<result_tree_s> raw_result_tree(const raw_recovery_c& engine)
{
    // The root is there even when nothing was found: a deep scan's tree always has it.
    const QStringList types = raw_folders(engine);
    result_tree_s tree;
    tree.folders.push_back({QStringLiteral("/"), 0, {}, {}});
    for (const QString& type : types) {
        tree.folders[0].children.push_back(tree.folders.size());
        tree.folders.push_back({type, 0, {}, raw_folder_rows(engine, type)});
    }
    return tree;
}
