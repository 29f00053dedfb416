#include "tools/lumarinctl/targets.h"

#include "model/automaticsearch.h"
#include "model/group.h"
#include "model/projector.h"
#include "model/projectormanager.h"
#include "store/usermessage.h"
#include "res/stringtable.h"
#include "tools/lumarinctl/ctlstrings.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

QString NormalizedPath(const QString &path)
{
    return path.size() > 1 && path.endsWith(u'/') ? path.chopped(1) : path;
}

Group *GroupAt(ProjectorManager &manager, const QString &path)
{
    if (!path.startsWith(u'/'))
        return nullptr;
    return manager.GetRoot()->FindGroupByPath(NormalizedPath(path));
}

std::vector<Projector *> ProjectorsWhere(ProjectorManager &manager,
                                         bool (*matches)(const Projector &, const QString &),
                                         const QString &token)
{
    std::vector<Projector *> found;
    for (Projector *projector : manager.GetProjectors()) {
        if (matches(*projector, token))
            found.push_back(projector);
    }
    return found;
}

bool HasAddress(const Projector &projector, const QString &address)
{
    return projector.GetIPAddress() == address;
}

bool HasName(const Projector &projector, const QString &name)
{
    return projector.GetName() == name;
}

void TellAmbiguous(const QString &token, const std::vector<Projector *> &projectors)
{
    QStringList lines{
        FormatText(LoadString(CTL_AMBIGUOUS_NAME), {token, QString::number(projectors.size())})};
    for (const Projector *projector : projectors)
        lines << u"  %1  %2  %3"_s.arg(projector->GetName(), projector->GetIPAddress(),
                                       projector->GetPath());
    ShowUserMessage(lines.join(u'\n'));
}

// nullptr, told, when the token names no node or two projectors.
ProjectorNode *ResolveTarget(ProjectorManager &manager, const QString &token)
{
    if (Group *group = GroupAt(manager, token))
        return group;

    // An address first, then a name: a projector may well be named after its address.
    if (const std::optional<quint32> address = ParseIPv4(token)) {
        std::vector<Projector *> found = ProjectorsWhere(manager, HasAddress, FormatIPv4(*address));
        if (found.size() == 1)
            return found.front();
        if (found.size() > 1) {
            TellAmbiguous(token, found);
            return nullptr;
        }
    }
    std::vector<Projector *> found = ProjectorsWhere(manager, HasName, token);
    if (found.size() == 1)
        return found.front();
    if (found.size() > 1) {
        TellAmbiguous(token, found);
        return nullptr;
    }
    ShowUserMessage(token.startsWith(u'/')
                        ? FormatText(LoadString(CTL_NO_GROUP), {token})
                        : FormatText(LoadString(CTL_NO_PROJECTOR_NAMED), {token}));
    return nullptr;
}

bool IsWithin(const ProjectorNode *node, const ProjectorNode *ancestor)
{
    for (const ProjectorNode *n = node; n; n = n->GetParent()) {
        if (n == ancestor)
            return true;
    }
    return false;
}

void CollectProjectors(ProjectorNode *node, std::vector<Projector *> &projectors)
{
    if (node->IsProjector()) {
        projectors.push_back(static_cast<Projector *>(node));
        return;
    }
    for (const auto &child : node->GetChildren())
        CollectProjectors(child.get(), projectors);
}

} // namespace

Group *FindGroup(ProjectorManager &manager, const QString &path)
{
    Group *group = GroupAt(manager, path);
    if (!group)
        ShowUserMessage(FormatText(LoadString(CTL_NO_GROUP), {path}));
    return group;
}

bool ResolveTargets(ProjectorManager &manager, const QStringList &tokens,
                    std::vector<ProjectorNode *> &nodes)
{
    std::vector<ProjectorNode *> named;
    for (const QString &token : tokens) {
        ProjectorNode *node = ResolveTarget(manager, token);
        if (!node)
            return false;
        named.push_back(node);
    }
    // A command reaches each projector once, however often it was named.
    for (ProjectorNode *node : named) {
        const bool covered = std::any_of(named.begin(), named.end(), [&](ProjectorNode *other) {
            return other != node && IsWithin(node, other);
        });
        const bool repeated = std::find(nodes.begin(), nodes.end(), node) != nodes.end();
        if (!covered && !repeated)
            nodes.push_back(node);
    }
    return true;
}

std::vector<Projector *> ProjectorsOf(const std::vector<ProjectorNode *> &selection)
{
    std::vector<Projector *> projectors;
    for (ProjectorNode *node : selection)
        CollectProjectors(node, projectors);
    return projectors;
}
