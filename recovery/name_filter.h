#pragma once
// Chooses the rows of a scan's results by globs, as a person types them: a glob without "/"
// is matched against a file's name, one with "/" against its whole path from the results'
// root ("/Photos/2019/*.jpg"). With no glob every row is chosen. The globs are compiled
// once, so that a filter over a large scan costs one match per row and glob.
#include <QList>
#include <QRegularExpression>
#include <QStringList>
#include <vector>

#include "recovery/recovery_writer.h"

class name_filter_c {
public:
    explicit name_filter_c(const QStringList& globs);

    bool matches(const recovery_row_s& row) const;
    // The rows that match, in their order.
    QList<recovery_row_s> select(const QList<recovery_row_s>& rows) const;

private:
    struct glob_s {
        QRegularExpression pattern;
        bool whole_path = false;  // the glob names folders too
    };
    std::vector<glob_s> globs_;
};
