#pragma once

#include "tests/common/messagesinks.h"

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

// Answers the next modal dialogs of type T by calling answer(dialog) on each, in order of the
// answers given; stops itself after the last one. Bounded: gives up after timeoutMs.
void AnswerModalDialogs(const char *className, QList<std::optional<QString>> answers,
                        int timeoutMs = 5000);
