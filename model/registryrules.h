#pragma once

#include <QString>

#include <vector>

class Group;
class ProjectorNode;

// The rules of the group tree that the window's dialogs, its drag and drop and lumarinctl share.
// Each check answers 0 when the change is allowed, else the number of the string-table message
// (res/stringids.h) that tells the user why. None of them changes the tree.

// A group name has 1 to MAX_GROUP_NAME_LENGTH characters and holds neither '/' (it separates
// the parts of a group path, so two groups could otherwise share one full path) nor control
// characters. 324 otherwise. Files that already hold such names still load.
int CheckGroupName(const QString &name);

// A new group named name inside parent: 322 when it would lie deeper than MAX_GROUP_DEPTH, 324
// for a name CheckGroupName refuses, 325 when parent already has a child of that name (groups
// and projectors alike, exact comparison).
int CanCreateGroup(const Group &parent, const QString &name);

// Renaming group to name: 346 for the root, 324 for a name CheckGroupName refuses, 325 when the
// group's parent has a child of that name (the group itself included, so the unchanged name is
// refused too).
int CanRenameGroup(const Group &group, const QString &name);

// Moving source into target, as a drop on the group tree or the Regroup dialog does:
// 346 when source is target, is the root, or is a group whose parent is target already;
// 321 when target lies anywhere below source;
// 320 when a group of the moved subtree would lie deeper than MAX_GROUP_DEPTH;
// 325 when source is a group and target has a child of its name.
// A projector may go into any group, its own included.
int CanMoveNode(const ProjectorNode &source, const Group &target);

// Several nodes into one target, all or nothing: the first refusal of CanMoveNode in order, or
// 325 when an arriving group shares its name with another arriving node, since they would meet
// in target. nullptr entries are refused with 346.
int CanMoveNodes(const std::vector<ProjectorNode *> &sources, const Group &target);
