#include "recovery/name_filter.h"

name_filter_c::name_filter_c(const QStringList& globs)
{
    for (const QString& g : globs)
        globs_.push_back(
            {QRegularExpression(QRegularExpression::wildcardToRegularExpression(g)), g.contains(QLatin1Char('/'))});
}

bool name_filter_c::matches(const recovery_row_s& r) const
{
    if (globs_.empty())
        return true;
    const QString full = (r.folder == QLatin1String("/") ? QString() : r.folder) + QLatin1Char('/') + r.row.name;
    for (const glob_s& g : globs_)
        if (g.pattern.match(g.whole_path ? full : r.row.name).hasMatch())
            return true;
    return false;
}

QList<recovery_row_s> name_filter_c::select(const QList<recovery_row_s>& rows) const
{
    QList<recovery_row_s> chosen;
    for (const recovery_row_s& r : rows)
        if (matches(r))
            chosen.append(r);
    return chosen;
}
