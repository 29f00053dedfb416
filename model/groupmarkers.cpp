#include "model/groupmarkers.h"

#include "model/group.h"
#include "model/projector.h"

namespace {

bool OwnProblem(const Group &group, const std::function<bool(const Projector &)> &hasProblem)
{
    for (const Projector *projector : group.GetChildProjectors()) {
        if (hasProblem(*projector))
            return true;
    }
    return false;
}

// Own problems of every group below group, depth first.
void MarkOwn(const Group &group, const std::function<bool(const Projector &)> &hasProblem,
             ProblemMarkers &markers)
{
    for (const Group *child : group.GetChildGroups()) {
        markers[child].marked = OwnProblem(*child, hasProblem);
        MarkOwn(*child, hasProblem, markers);
    }
}

// A group without a problem of its own takes the mark of any marked child group.
void TakeFromChildren(const Group &group, ProblemMarkers &markers)
{
    ProblemMarker &marker = markers[&group];
    if (marker.marked)
        return;
    for (const Group *child : group.GetChildGroups()) {
        if (markers[child].marked) {
            marker.marked = true;
            marker.fromSubgroup = true;
            return;
        }
    }
}

} // namespace

ProblemMarkers ComputeProblemMarkers(const Group &root,
                                     const std::function<bool(const Projector &)> &hasProblem)
{
    ProblemMarkers markers;
    markers[&root].marked = OwnProblem(root, hasProblem);
    MarkOwn(root, hasProblem, markers);
    // Bottom up, so a mark travels from a subgroup through its parent to the root.
    for (const Group *top : root.GetChildGroups())
        TakeFromChildren(*top, markers);
    TakeFromChildren(root, markers);
    return markers;
}

FolderImages GroupFolderImages(const ProblemMarker &marker, bool expanded, bool plainFolders)
{
    if (plainFolders)
        return {0, 1};
    const bool showMark = marker.marked && (!expanded || !marker.fromSubgroup);
    return showMark ? FolderImages{4, 5} : FolderImages{0, 1};
}
