#pragma once
// Which of the FAT engine's records a viewer shows: the folder tree (folders that hold a
// deleted file somewhere below) and the files of a folder. Decided here once, for the
// recovery page and the command line alike.
#include <QList>
#include <QString>
#include <optional>
#include <vector>

#include "recovery/fat/fat_recovery.h"
#include "recovery/folder_tree.h"
#include "recovery/recovery_item.h"

using fat_folder_tree_s = folder_tree_s<fat_entry_s>;

// The tree under a node named "/" for the root record, or nothing when the scan found
// nothing to show (no root record, or a root with neither a deleted file nor a sub-folder
// with content).
std::optional<fat_folder_tree_s> fat_folder_tree(const fat_recovery_c& engine);

// The rows of a folder: its children that are files with a first cluster.
QList<recovery_item_s> fat_folder_rows(const fat_entry_s& folder);
