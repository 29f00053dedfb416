#pragma once

#include "model/projectornode.h"

#include <QString>
#include <memory>
#include <vector>

class Projector;

// An inner node of the registry tree; the root is a group too (named "Root", empty path).
class Group : public ProjectorNode
{
public:
    // What a group tree control carries across its rebuilds; the model never reads it. Each
    // control keeps its own items and problem markers.
    struct TreeState
    {
        bool expanded = false;
        bool selectAfterRebuild = false;
    };

    explicit Group(const QString &name, const QString &path = QString());

    // Takes ownership and appends the node: parent this group, depth this depth + 1, and the
    // path computed from this group unless the node brings one of its own (a loaded node
    // keeps the path it was stored with). Returns the node, still valid while the tree owns it.
    ProjectorNode *AddChild(std::unique_ptr<ProjectorNode> node);

    // Hands a child back to the caller with its parent cleared; nullptr, and nothing changes,
    // when node is not a child of this group.
    std::unique_ptr<ProjectorNode> RemoveChild(ProjectorNode *node);

    // Non-owning views in child order, built anew on every call.
    std::vector<Group *> GetChildGroups() const;
    std::vector<Projector *> GetChildProjectors() const;

    // The largest depth among this group and the groups below it.
    int GetMaxDepth() const;

    // The group whose full path equals path, searched depth-first from the root's child
    // groups; the root for "" and "/"; nullptr when none matches.
    Group *FindGroupByPath(const QString &path);

    // This group's path, "/" unless the path already ends with one, and its name: the path
    // its children carry.
    QString GetFullPath() const;

    // Placing nodes read from the settings file, groups parents first. Called on the root.
    // A group stored with the path "/" goes below the root, else below the group whose full
    // path equals its path; when there is none the group is destroyed and nullptr returned.
    Group *PlaceLoadedGroup(std::unique_ptr<Group> group);
    // A projector goes to FindGroupByPath of its stored path, or to the root; it keeps the
    // stored path text.
    Projector *PlaceLoadedProjector(std::unique_ptr<Projector> projector);

    TreeState &GetTreeState() { return m_treeState; }
    const TreeState &GetTreeState() const { return m_treeState; }

private:
    // Depth-first over the groups below this one, in child order; this group is not a candidate.
    Group *FindBelow(const QString &fullPath) const;

    TreeState m_treeState;
};
