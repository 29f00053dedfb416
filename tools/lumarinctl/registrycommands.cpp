// The commands that read or change the registry and the preferences: what the main view's
// tree, its Edit tab, the Regroup, Rename Group and Delete dialogs and the File and Tool menus
// do, with their checks and messages.

#include "tools/lumarinctl/commands.h"

#include "model/group.h"
#include "model/projector.h"
#include "model/projectormanager.h"
#include "model/registryrules.h"
#include "res/stringids.h"
#include "res/stringtable.h"
#include "store/crontab.h"
#include "store/cvanteldoc.h"
#include "store/settingsfile.h"
#include "store/usermessage.h"
#include "tools/lumarinctl/report.h"
#include "tools/lumarinctl/targets.h"
#include "tools/lumarinctl/ctlstrings.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>

#include <algorithm>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

void Tell(int id)
{
    ShowUserMessage(LoadString(id));
}

int SaveAndFinish(CommandContext &context)
{
    return context.doc.SaveSettings() ? ExitDone : ExitRefused;
}

void AddTreeLines(const ProjectorNode &node, int indent, QList<QStringList> &rows)
{
    const QString pad(indent * 2, u' ');
    if (node.IsProjector()) {
        const auto &projector = static_cast<const Projector &>(node);
        rows << QStringList{
            pad + projector.GetName(), projector.GetIPAddress(),
            LoadString(projector.HasPassword() ? CTL_LIST_PASSWORD : CTL_LIST_NO_PASSWORD),
            projector.GetPath()};
        return;
    }
    const auto &group = static_cast<const Group &>(node);
    rows << QStringList{pad + (group.GetParent() ? group.GetFullPath() : u"/"_s)};
    for (const auto &child : group.GetChildren())
        AddTreeLines(*child, indent + 1, rows);
}

void AddJsonEntries(const ProjectorNode &node, QJsonArray &groups, QJsonArray &projectors)
{
    if (node.IsProjector()) {
        const auto &projector = static_cast<const Projector &>(node);
        projectors.append(QJsonObject{{u"name"_s, projector.GetName()},
                                      {u"ipAddress"_s, projector.GetIPAddress()},
                                      {u"passwordSet"_s, projector.HasPassword()},
                                      {u"groupPath"_s, projector.GetPath()}});
        return;
    }
    const auto &group = static_cast<const Group &>(node);
    if (group.GetParent())
        groups.append(QJsonObject{{u"name"_s, group.GetName()},
                                  {u"path"_s, group.GetPath()},
                                  {u"fullPath"_s, group.GetFullPath()},
                                  {u"depth"_s, group.GetDepth()}});
    for (const auto &child : group.GetChildren())
        AddJsonEntries(*child, groups, projectors);
}

} // namespace

int RunList(CommandContext &context, const CommandArgs &)
{
    const Group &root = *context.manager.GetRoot();
    if (context.report.IsJson()) {
        QJsonArray groups;
        QJsonArray projectors;
        AddJsonEntries(root, groups, projectors);
        context.report.Set(u"groups"_s, groups);
        context.report.Set(u"projectors"_s, projectors);
        context.report.Set(u"refreshInterval"_s, context.doc.GetRefreshInterval());
        context.report.Set(u"timeout"_s, context.doc.GetTimeout());
        return ExitDone;
    }
    QList<QStringList> rows;
    AddTreeLines(root, 0, rows);
    // Group lines have one cell; the table pads only the rows that have more.
    context.report.Table(rows);
    return ExitDone;
}

int RunGroupAdd(CommandContext &context, const CommandArgs &args)
{
    QString path = args.positional.at(0);
    if (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0) {
        ShowUserMessage(LoadString(CTL_GROUP_PATH_SLASH));
        return ExitUsage;
    }
    const QString name = path.mid(slash + 1);
    Group *parent = FindGroup(context.manager, slash == 0 ? u"/"_s : path.left(slash));
    if (!parent)
        return ExitRefused;
    if (const int refusal = CanCreateGroup(*parent, name)) {
        Tell(refusal);
        return ExitRefused;
    }
    context.manager.AddGroupTo(parent, std::make_unique<Group>(name));
    return SaveAndFinish(context);
}

int RunGroupRename(CommandContext &context, const CommandArgs &args)
{
    Group *group = FindGroup(context.manager, args.positional.at(0));
    if (!group)
        return ExitRefused;
    const QString name = args.positional.at(1);
    if (!group->GetParent()) {
        ShowUserMessage(FormatText(LoadString(MSG_CANNOT_RENAME), {group->GetName()}));
        return ExitRefused;
    }
    // The group's own name counts too: renaming to the same name is refused.
    if (const int refusal = CanRenameGroup(*group, name)) {
        Tell(refusal);
        return ExitRefused;
    }
    group->Rename(name);
    return SaveAndFinish(context);
}

int RunMove(CommandContext &context, const CommandArgs &args)
{
    if (!args.IsSet(u"to"_s)) {
        Tell(MSG_NO_GROUP_SELECTED);
        return ExitUsage;
    }
    Group *target = FindGroup(context.manager, args.Value(u"to"_s));
    if (!target)
        return ExitRefused;
    std::vector<ProjectorNode *> sources;
    if (!ResolveTargets(context.manager, args.positional, sources))
        return ExitRefused;

    // All or nothing, as a drop on the tree: every source is checked before anything moves.
    if (const int refusal = CanMoveNodes(sources, *target)) {
        Tell(refusal);
        return ExitRefused;
    }
    for (ProjectorNode *source : sources)
        source->MoveTo(target);
    return SaveAndFinish(context);
}

int RunRemove(CommandContext &context, const CommandArgs &args)
{
    std::vector<ProjectorNode *> nodes;
    if (!ResolveTargets(context.manager, args.positional, nodes))
        return ExitRefused;
    if (std::any_of(nodes.begin(), nodes.end(), [](ProjectorNode *n) { return !n->GetParent(); })) {
        Tell(MSG_OPERATION_INVALID); // the root stays
        return ExitRefused;
    }
    // Nested targets were folded into their ancestors, so no node is destroyed twice.
    for (ProjectorNode *node : nodes)
        context.manager.RemoveNode(node);
    return SaveAndFinish(context);
}

int RunSet(CommandContext &context, const CommandArgs &args)
{
    const QString key = args.positional.at(0);
    const bool refresh = key == u"refresh-interval"_s;
    if (!refresh && key != u"timeout"_s) {
        ShowUserMessage(FormatText(LoadString(CTL_UNKNOWN_SETTING), {key}));
        return ExitUsage;
    }
    if (args.positional.size() == 1) {
        const int value = refresh ? context.doc.GetRefreshInterval() : context.doc.GetTimeout();
        context.report.Line(QString::number(value));
        context.report.Set(refresh ? u"refreshInterval"_s : u"timeout"_s, value);
        return ExitDone;
    }
    bool ok = false;
    const int value = args.positional.at(1).toInt(&ok);
    if (!ok || value < Preferences::MIN_MINUTES_OR_SECONDS ||
        value > Preferences::MAX_MINUTES_OR_SECONDS) {
        ShowUserMessage(FormatText(LoadString(CTL_SETTING_RANGE),
                                   {key, QString::number(Preferences::MIN_MINUTES_OR_SECONDS),
                                    QString::number(Preferences::MAX_MINUTES_OR_SECONDS)}));
        return ExitUsage;
    }
    if (refresh)
        context.doc.SetRefreshInterval(value);
    else
        context.doc.SetTimeout(value);
    context.report.Set(refresh ? u"refreshInterval"_s : u"timeout"_s, value);
    return SaveAndFinish(context);
}

int RunExport(CommandContext &context, const CommandArgs &args)
{
    const QString path = args.positional.at(0);
    if (path != u"-"_s)
        return context.doc.SaveAs(path) ? ExitDone : ExitRefused;
    if (context.report.IsJson()) {
        ShowUserMessage(LoadString(CTL_EXPORT_NO_JSON));
        return ExitUsage;
    }
    // The document writes files only; the copy goes through a private temporary one.
    const QTemporaryDir dir;
    const QString copy = dir.filePath(u"export.ini"_s);
    if (!dir.isValid() || !context.doc.SaveAs(copy))
        return ExitRefused;
    QFile file(copy);
    QFile out;
    if (!file.open(QIODevice::ReadOnly) || !out.open(stdout, QIODevice::WriteOnly))
        return ExitRefused;
    const QByteArray content = file.readAll();
    return out.write(content) == content.size() && out.flush() ? ExitDone : ExitRefused;
}

namespace {

// Open, then the crontab made to follow the schedules the register has now (the other file's).
int OpenAndFollowSchedules(CommandContext &context, const QString &path)
{
    const bool hadSchedules = !context.doc.GetSchedules().empty();
    if (!context.doc.Open(path))
        return ExitRefused;
    if (!hadSchedules && context.doc.GetSchedules().empty())
        return ExitDone;
    const CrontabResult synced =
        SyncCrontab(context.doc.GetSchedules(), context.doc.GetSettingsPath());
    if (synced.status == CrontabResult::Ok)
        return ExitDone;
    ShowUserMessage(CrontabProblemText(synced));
    return ExitRefused;
}

} // namespace

int RunImport(CommandContext &context, const CommandArgs &args)
{
    const QString path = args.positional.at(0);
    // The window's Open takes an empty file as nothing to import; a script that imports one
    // has named the wrong file, and must not be told it worked.
    const auto refuseEmpty = [](const QString &shown) {
        ShowUserMessage(NotSettingsFileMessage(shown));
        return ExitRefused;
    };
    // Open saves the settings file itself once it has read the other file.
    if (path != u"-"_s) {
        const QFileInfo info(path);
        if (info.isFile() && info.size() == 0)
            return refuseEmpty(path);
        return OpenAndFollowSchedules(context, path);
    }
    QFile in;
    const QTemporaryDir dir;
    const QString copy = dir.filePath(u"import.ini"_s);
    QFile file(copy);
    if (!in.open(stdin, QIODevice::ReadOnly) || !dir.isValid() ||
        !file.open(QIODevice::WriteOnly)) {
        ShowUserMessage(LoadString(CTL_STDIN_UNREADABLE));
        return ExitRefused;
    }
    const QByteArray content = in.readAll();
    if (content.isEmpty())
        return refuseEmpty(u"-"_s);
    if (file.write(content) != content.size() || !file.flush()) {
        ShowUserMessage(LoadString(CTL_STDIN_UNREADABLE));
        return ExitRefused;
    }
    file.close();
    return OpenAndFollowSchedules(context, copy);
}
