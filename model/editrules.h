#pragma once

#include <QString>

#include <vector>

class Group;
class ProjectorNode;

// The checks of the main view's "Edit" tab commands and of its drag and drop, made before
// anything changes. Each answers 0 when the command may go on, else the number of the message
// to show (res/stringids.h). None of them changes the registry, except DropNodes on success.

// Change Password, given the projector's published state: 306 when it is authenticated already
// (nothing to change), 337 when it did not answer at its last connect (-1).
int CheckChangePassword(bool authenticated, int lastConnectResult);

// Change IP Address: only a projector that did not answer at its last connect (-1) may get a
// new address; 306 otherwise.
int CheckChangeAddress(int lastConnectResult);

// Rename Group. With rows selected: exactly one group row, else 307. With none: the tree's
// group when it lies below the root; 339 for the root or for "Display all" (treeGroup nullptr),
// and name receives the text the message quotes (the root's name, or displayAllText).
int FindGroupToRename(const std::vector<ProjectorNode *> &selection, Group *treeGroup,
                      const QString &displayAllText, Group *&group, QString &name);

// Delete: 310 when nothing is selected, 352 while a refresh cycle runs.
int CheckDelete(const std::vector<ProjectorNode *> &selection, bool refreshing);

// What Delete removes of a selection, in selection order: each node once, never root, and no
// node inside another selected group, which takes it along (removing it first would leave the
// group pointing at a node that is gone).
std::vector<ProjectorNode *> NodesToRemove(const std::vector<ProjectorNode *> &selection,
                                           const Group *root);

// The end of a drag over the projector list or the group tree.
struct DropResult
{
    int message = 0;                 // 0: moved
    ProjectorNode *select = nullptr; // what the tree selects afterwards; nullptr: nothing
};

// Drops sources on target, all or nothing. fromTree: the drag began in the tree, and sources
// holds the one dragged group (nullptr for the "Display all" item). target is the group of the
// tree item or the node of the list row dropped on (nullptr for "Display all"). selectedBefore
// is the tree's group before the drop (nullptr for "Display all").
// - 346 for a "Display all" or projector target, or a tree drag of "Display all" or the root:
//   nothing moves and the group selected before comes back;
// - the first refusal of CanMoveNodes: nothing moves and the group selected before comes back
//   (a drag never changes what the list shows);
// - otherwise every source moves into target in order, and the tree selects target.
DropResult DropNodes(const std::vector<ProjectorNode *> &sources, bool fromTree,
                     ProjectorNode *target, Group *root, Group *selectedBefore);
