// Choosing rows by globs: a name glob matches the file's name in any folder, a glob with "/"
// the whole path from the results' root; any one glob is enough.
#include <gtest/gtest.h>

#include "recovery/name_filter.h"

namespace {

recovery_row_s row(const QString& folder, const QString& name)
{
    recovery_row_s r;
    r.folder = folder;
    r.row.name = name;
    return r;
}

}  // namespace

TEST(name_filter, names_and_paths)
{
    struct case_s {
        QStringList globs;
        QString folder, name;
        bool chosen;
    };
    const case_s cases[] = {
        {{}, "/", "anything.bin", true},
        {{"*.jpg"}, "/Photos/2019", "beach.jpg", true},
        {{"*.jpg"}, "/", "beach.JPG", false},
        {{"*.jpg"}, "/", "notes.txt", false},
        {{"beach.???"}, "/Photos", "beach.jpg", true},
        {{"beach.???"}, "/Photos", "beach.jpeg", false},
        {{"[ab]*.txt"}, "/", "alpha.txt", true},
        {{"[ab]*.txt"}, "/", "zeta.txt", false},
        // A glob with "/" names the path; its "*" stays within one folder.
        {{"/Photos/*.jpg"}, "/Photos", "beach.jpg", true},
        {{"/Photos/*.jpg"}, "/Photos/2019", "beach.jpg", false},
        {{"/Photos/*/*.jpg"}, "/Photos/2019", "beach.jpg", true},
        {{"/*.txt"}, "/", "notes.txt", true},
        {{"/*.txt"}, "/Docs", "notes.txt", false},
        // A name glob never sees the folder, so it cannot match across it.
        {{"Photos*"}, "/Photos", "beach.jpg", false},
        {{"*.png", "*.txt"}, "/Docs", "notes.txt", true},
        {{"*.png", "/Docs/*"}, "/Docs", "notes.txt", true},
        {{"*.png", "/Other/*"}, "/Docs", "notes.txt", false},
    };
    for (const case_s& c : cases) {
        SCOPED_TRACE((c.globs.join(' ') + " on " + c.folder + " " + c.name).toStdString());
        EXPECT_EQ(name_filter_c(c.globs).matches(row(c.folder, c.name)), c.chosen);
    }

    const QList<recovery_row_s> rows{row("/", "a.txt"), row("/x", "b.jpg"), row("/x", "c.txt")};
    const QList<recovery_row_s> chosen = name_filter_c({"*.txt"}).select(rows);
    ASSERT_EQ(chosen.size(), 2);
    EXPECT_EQ(chosen[0].row.name, "a.txt");
    EXPECT_EQ(chosen[1].row.name, "c.txt");
}
