#pragma once
// Which of the NTFS engine's records a viewer shows: the folder tree from the root folder
// (record 5) down, through folders that hold a deleted file below them, and the files of a
// folder. The file system's own records (0 to 11) are never shown.
#include <QList>
#include <QString>
#include <optional>
#include <vector>

#include "recovery/folder_tree.h"
#include "recovery/ntfs/ntfs_recovery.h"
#include "recovery/recovery_item.h"

using ntfs_folder_tree_s = folder_tree_s<ntfs_entry_s>;

std::optional<ntfs_folder_tree_s> ntfs_folder_tree(const ntfs_recovery_c& engine);
QList<recovery_item_s> ntfs_folder_rows(const ntfs_entry_s& folder);
