#pragma once

#include <functional>
#include <unordered_map>

class Group;
class Projector;

// The red mark on a group's folder: the group, or (while it is collapsed) one of its subgroups,
// holds a projector that reports a warning or an error.
struct ProblemMarker
{
    bool marked = false;
    bool fromSubgroup = false; // only a subgroup has the problem, the group itself has none
};

using ProblemMarkers = std::unordered_map<const Group *, ProblemMarker>;

// The markers of root and every group below it. hasProblem tells whether one projector reports
// a warning or an error (its worst error status). A depth-1 group without a problem of its own
// takes the mark of a marked subgroup; the root takes the mark of a marked depth-1 group.
ProblemMarkers ComputeProblemMarkers(const Group &root,
                                     const std::function<bool(const Projector &)> &hasProblem);

// The folder pictures of a group's item, indices into the tree's images: closed folder 0, open
// folder 1, with the mark 4 and 5.
struct FolderImages
{
    int normal = 0;
    int selected = 1;
    bool operator==(const FolderImages &) const = default;
};

// A mark that came from a subgroup only is dropped while the group is expanded, since the
// subgroup then shows its own. plainFolders: always the plain pictures.
FolderImages GroupFolderImages(const ProblemMarker &marker, bool expanded, bool plainFolders);
