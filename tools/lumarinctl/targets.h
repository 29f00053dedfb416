#pragma once

#include <QString>
#include <QStringList>

#include <vector>

class Group;
class Projector;
class ProjectorManager;
class ProjectorNode;

// Command-line names of registry nodes. A target is a group path ("/", "/A", "/A/B"), a
// projector's IP address or a projector's name; failures are told to the user.

// The group at path (a trailing "/" is ignored); nullptr, told, when there is none.
Group *FindGroup(ProjectorManager &manager, const QString &path);

// Every token names one node, in token order; a node given twice, or lying below another
// target, counts once. False, told, at the first token that names nothing or names two
// projectors.
bool ResolveTargets(ProjectorManager &manager, const QStringList &tokens,
                    std::vector<ProjectorNode *> &nodes);

// The projectors of a selection, groups standing for every projector below them, in tree order.
std::vector<Projector *> ProjectorsOf(const std::vector<ProjectorNode *> &selection);
