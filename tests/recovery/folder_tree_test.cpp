// The folder tree over engine records: order, filter, loops, and depth without recursion.
#include <QList>

#include <gtest/gtest.h>

#include "recovery/folder_tree.h"

namespace {
struct record_s {
    QString name;
    bool folder = true;
    QList<record_s*> children;
};

folder_tree_s<record_s> tree_of(const record_s& root)
{
    return build_folder_tree(
        &root, [](const record_s& r) { return r.folder; }, [](const record_s& r) { return r.name; });
}
}  // namespace

TEST(folder_tree, order_filter_and_loops)
{
    record_s root{"", true, {}}, a{"a", true, {}}, b{"b", true, {}}, file{"f", false, {}}, a1{"a1", true, {}};
    root.children = {&a, &file, &b};
    a.children = {&a1, &root};  // a loop back to the root
    a1.children = {&a};         // and one between a and a1
    QStringList paths;
    tree_of(root).walk([&](const auto&, const QString& path) { paths << path; });
    EXPECT_EQ(paths, (QStringList{"/", "/a", "/a/a1", "/b"}));
}

TEST(folder_tree, folders_nested_very_deep)
{
    // Deeper than any thread stack could follow by recursion.
    std::vector<record_s> chain(200000);
    for (std::size_t i = 0; i + 1 < chain.size(); ++i) {
        chain[i].name = "d";
        chain[i].children = {&chain[i + 1]};
    }
    const folder_tree_s<record_s> tree = tree_of(chain[0]);
    ASSERT_EQ(tree.nodes.size(), chain.size());
    std::size_t depth = 0;
    for (std::size_t at = tree.nodes.size() - 1; at != 0; at = tree.nodes[at].parent)
        ++depth;
    EXPECT_EQ(depth, chain.size() - 1);
}
