#pragma once
// What a viewer shows of the deep engine's results, decided here once for the recovery page
// and the command line alike: one folder per extension, in the order the first file of each
// type was found, and in each folder one row per found file of that type.
#include <QList>
#include <QString>
#include <QStringList>

#include "recovery/raw/raw_recovery.h"
#include "recovery/recovery_item.h"

// The folder names: the keys of type_table, ordered by the first index in each key's list.
QStringList raw_folders(const raw_recovery_c& engine);

// The rows of one folder, in the order found: name "%08llu.%s" of the record's index and
// extension field, its size, id = the index, flags 0, both dates 0, unchecked. Numbers in
// the folder's list that have no record are left out.
QList<recovery_item_s> raw_folder_rows(const raw_recovery_c& engine, const QString& folder);
