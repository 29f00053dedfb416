#pragma once

#include <QString>
#include <memory>
#include <vector>

class Group;

// A node of the registry tree: a Group (inner node) or a Projector (leaf).
//
// Ownership: a group owns its children; a node's parent is a plain back link that is cleared
// when the node leaves its parent, so a removed or moved node never points at a stale group.
// The tree is changed on the user-interface thread only.
class ProjectorNode
{
public:
    virtual ~ProjectorNode(); // destroys the children first

    ProjectorNode(const ProjectorNode &) = delete;
    ProjectorNode &operator=(const ProjectorNode &) = delete;

    // A copy: a projector's name may change on a refresh thread (see model/projector.h).
    virtual QString GetName() const { return m_name; }

    bool IsProjector() const { return m_isProjector; }
    // The path of the containing group: "/" below the root, "/A" below group A, "/A/B" below
    // its subgroup B; empty for the root.
    const QString &GetPath() const { return m_path; }
    int GetDepth() const { return m_depth; }
    Group *GetParent() const { return m_parent; }
    // Always empty for a projector.
    const std::vector<std::unique_ptr<ProjectorNode>> &GetChildren() const { return m_children; }
    bool HasChildren() const { return !m_children.empty(); }

    // Exact, case-sensitive comparison with every child, groups and projectors alike.
    bool HasChildNamed(const QString &name) const;

    // Appends this node to group (unless it is there already) and recomputes the path and depth
    // of this node and of everything below it. Refused (false, nothing changes) when the node
    // has no parent to take it from, or when group is the node itself or lies below it.
    bool MoveTo(Group *group);

    // For a group the paths below it follow the new name.
    virtual void Rename(const QString &name);

protected:
    ProjectorNode(bool isProjector, const QString &name, const QString &path);

    // Path and depth from the parent, for this node and the whole subtree below it.
    void UpdatePlacement();

private:
    friend class Group;

    // Depth only: a node added with a path of its own keeps its path.
    void UpdateDepths();

    bool m_isProjector;
    QString m_path;
    QString m_name;
    int m_depth = 0;
    std::vector<std::unique_ptr<ProjectorNode>> m_children;
    Group *m_parent = nullptr;
};
