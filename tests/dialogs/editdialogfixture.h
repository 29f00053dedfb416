#pragma once

#include "tests/common/messagesinks.h"
#include "tests/common/scripteduser.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <mutex>
#include <optional>

class Group;
class ProjectorNode;

// Records the messages the dialogs show instead of opening boxes.

// A node of the registry by its full path, "/A/B" for group B in A, "/A/p1" for projector p1.
ProjectorNode *NodeAt(const QString &path);
// The registry as "path" lines of every node, depth first, for comparisons.
QStringList RegistryLines();

// Steps answering the next modal dialogs of the class className, one answer each in order: the
// text typed into the dialog's line edit, then OK; nullopt cancels. A dialog that refuses the
// text stays open and takes the next answer.
QList<ScriptedUser::Step> TypedAnswers(const char *className,
                                       const QList<std::optional<QString>> &answers);
