#pragma once
// The folder tree that a viewer shows over an engine's records: "/" for the root record,
// and below it, in the order of each record's children, the sub-folders that pass the
// engine's filter. Nodes live in one flat list and refer to each other by position, so
// that neither building, walking nor freeing a tree recurses: a damaged volume with
// folders nested a hundred thousand deep cannot exhaust the stack.
#include <QString>
#include <cstddef>
#include <unordered_set>
#include <vector>

// Nodes that name their children by position, nodes[0] the root "/", visited depth first,
// each before its children: visit(node, position, path) with the path "/" or "/name/name".
template <typename node_t, typename visit_t>
void walk_nodes(const std::vector<node_t>& nodes, visit_t visit)
{
    if (nodes.empty())
        return;
    std::vector<std::pair<std::size_t, QString>> stack{{0, QStringLiteral("/")}};
    while (!stack.empty()) {
        const auto [at, path] = stack.back();
        stack.pop_back();
        visit(nodes[at], at, path);
        const std::vector<std::size_t>& kids = nodes[at].children;
        for (auto k = kids.rbegin(); k != kids.rend(); ++k)
            stack.emplace_back(*k, (at == 0 ? QString() : path) + QLatin1Char('/') + nodes[*k].name);
    }
}

template <typename entry_t>
struct folder_tree_s {
    struct node_s {
        QString name;
        const entry_t* entry = nullptr;  // the engine's record behind the node
        std::size_t parent = 0;          // the root is its own parent
        std::vector<std::size_t> children;
    };
    std::vector<node_s> nodes;  // nodes[0] is "/"

    // The node positions depth first, each folder before its sub-folders, with the
    // folder's path ("/" or "/name/name").
    template <typename visit_t>
    void walk(visit_t visit) const
    {
        walk_nodes(nodes, [&](const node_s& node, std::size_t, const QString& path) { visit(node, path); });
    }
};

// Builds the tree below root. is_folder(entry) says whether a child is shown as a folder;
// name_of(entry) gives its name. Children can form loops when a record number was reused:
// each record joins the tree once.
template <typename entry_t, typename is_folder_t, typename name_of_t>
folder_tree_s<entry_t> build_folder_tree(const entry_t* root, is_folder_t is_folder, name_of_t name_of)
{
    folder_tree_s<entry_t> tree;
    tree.nodes.push_back({QStringLiteral("/"), root, 0, {}});
    std::unordered_set<const entry_t*> seen{root};
    std::vector<std::size_t> stack{0};
    while (!stack.empty()) {
        const std::size_t at = stack.back();
        stack.pop_back();
        std::vector<std::size_t> kids;
        for (const entry_t* child : tree.nodes[at].entry->children) {
            if (!is_folder(*child) || !seen.insert(child).second)
                continue;
            kids.push_back(tree.nodes.size());
            tree.nodes.push_back({name_of(*child), child, at, {}});
        }
        for (auto k = kids.rbegin(); k != kids.rend(); ++k)
            stack.push_back(*k);
        tree.nodes[at].children = std::move(kids);
    }
    return tree;
}
