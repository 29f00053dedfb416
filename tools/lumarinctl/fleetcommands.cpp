// Setting up and keeping a fleet: many projectors at once from a CSV file, a registered
// projector's password, and the name of a group. The rules are the core's (model/registration.h,
// model/registryrules.h), as the window's dialogs use them.

#include "tools/lumarinctl/commands.h"

#include "model/group.h"
#include "model/limits.h"
#include "model/projector.h"
#include "model/projectormanager.h"
#include "model/registryrules.h"
#include "res/stringids.h"
#include "res/stringtable.h"
#include "store/actioneventmanager.h"
#include "store/cvanteldoc.h"
#include "model/registration.h"
#include "store/usermessage.h"
#include "tools/lumarinctl/csv.h"
#include "tools/lumarinctl/ctlstrings.h"
#include "tools/lumarinctl/report.h"
#include "tools/lumarinctl/targets.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QSet>

#include <cstdio>
#include <memory>

#include <termios.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// A projector reports a name of up to 64 bytes; the settings file keeps any text.
constexpr int kMaxNameLength = 64;

// Echo off while a password is typed at a terminal; restored when the guard goes.
class NoEcho
{
public:
    NoEcho()
    {
        if (::isatty(STDIN_FILENO) && ::tcgetattr(STDIN_FILENO, &m_saved) == 0) {
            termios quiet = m_saved;
            quiet.c_lflag &= ~tcflag_t(ECHO);
            m_active = ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet) == 0;
        }
    }
    ~NoEcho()
    {
        if (m_active) {
            ::tcsetattr(STDIN_FILENO, TCSANOW, &m_saved);
            std::fputc('\n', stderr);
        }
    }
    NoEcho(const NoEcho &) = delete;
    NoEcho &operator=(const NoEcho &) = delete;

private:
    termios m_saved{};
    bool m_active = false;
};

// The first line of standard input without its line end; false when there is none at all.
// An empty line is an empty password, which is tried like any other.
bool ReadPasswordLine(QString &password)
{
    if (::isatty(STDIN_FILENO))
        std::fputs(qPrintable(LoadString(CTL_NEW_PASSWORD_PROMPT)), stderr);
    NoEcho noEcho;
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly))
        return false;
    QByteArray line = in.readLine();
    if (line.isEmpty())
        return false;
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    password = QString::fromUtf8(line);
    return true;
}

// The one projector a target names; told otherwise.
Projector *SingleProjector(ProjectorManager &manager, const QString &token)
{
    std::vector<ProjectorNode *> nodes;
    if (!ResolveTargets(manager, {token}, nodes))
        return nullptr;
    if (nodes.size() != 1 || !nodes.front()->IsProjector()) {
        ShowUserMessage(FormatText(LoadString(CTL_NOT_ONE_PROJECTOR), {token}));
        return nullptr;
    }
    return static_cast<Projector *>(nodes.front());
}

// One row of a CSV file, checked.
struct CsvProjector
{
    int line = 0;
    QString name;
    QString address; // normalized
    QString password;
    QString groupPath; // empty: the root
};

QString RowProblem(int line, const QString &text)
{
    return FormatText(LoadString(CTL_CSV_LINE), {QString::number(line), text});
}

// Every row checked against the registry and against the rows before it; problems describes
// each refused row. Nothing changes.
std::vector<CsvProjector> CheckRows(ProjectorManager &manager, const std::vector<CsvRow> &rows,
                                    QStringList &problems)
{
    std::vector<CsvProjector> checked;
    QSet<QString> addresses;
    for (const CsvRow &row : rows) {
        const auto field = [&](int i) {
            return i < row.fields.size() ? row.fields[i].trimmed() : QString();
        };
        if (row.fields.size() < 2 || row.fields.size() > 4) {
            problems << RowProblem(row.line, LoadString(CTL_CSV_COLUMNS));
            continue;
        }
        CsvProjector projector;
        projector.line = row.line;
        projector.name = field(0);
        projector.password = row.fields.size() > 3 ? row.fields[3] : QString(); // blanks count
        if (projector.name.isEmpty() || projector.name.size() > kMaxNameLength) {
            problems << RowProblem(row.line, LoadString(CTL_CSV_NAME));
            continue;
        }
        if (const int refusal = CheckNewAddress(manager, field(1), &projector.address)) {
            problems << RowProblem(row.line, RegistrationMessageText(refusal));
            continue;
        }
        if (addresses.contains(projector.address)) {
            problems << RowProblem(row.line, LoadString(MSG_ADDRESS_REGISTERED));
            continue;
        }
        const QString path = field(2);
        if (!path.isEmpty() && path != u"/"_s) {
            const Group *group = path.startsWith(u'/')
                                     ? manager.GetRoot()->FindGroupByPath(
                                           path.endsWith(u'/') ? path.chopped(1) : path)
                                     : nullptr;
            if (!group) {
                problems << RowProblem(row.line, FormatText(LoadString(CTL_NO_GROUP), {path}));
                continue;
            }
            projector.groupPath = group->GetFullPath();
        }
        if (CheckPassword(projector.password) != 0) {
            problems << RowProblem(row.line, LoadString(STR_PASSWORD_RULES));
            continue;
        }
        addresses.insert(projector.address);
        checked.push_back(projector);
    }
    return checked;
}

} // namespace

int RunPasswd(CommandContext &context, const CommandArgs &args)
{
    Projector *projector = SingleProjector(context.manager, args.positional.at(0));
    if (!projector)
        return ExitRefused;
    QString password;
    if (!ReadPasswordLine(password)) {
        ShowUserMessage(LoadString(CTL_NO_PASSWORD_INPUT));
        return ExitUsage;
    }
    // Said why, before the projector is asked: it could never take such a password.
    if (CheckPassword(password) != 0) {
        ShowUserMessage(LoadString(STR_PASSWORD_RULES));
        return ExitRefused;
    }
    // Tried against the projector first, as the Change Password dialog does; the old password
    // stays when the projector does not take the new one.
    if (const int refusal = ChangePassword(*projector, password)) {
        ShowUserMessage(RegistrationMessageText(refusal));
        return ExitRefused;
    }
    if (!context.doc.SaveSettings())
        return ExitRefused;
    ShowUserMessage(LoadString(MSG_PASSWORD_CHANGED), MessageIcon::Information);
    return ExitDone;
}

int RunRename(CommandContext &context, const CommandArgs &args)
{
    std::vector<ProjectorNode *> nodes;
    if (!ResolveTargets(context.manager, {args.positional.at(0)}, nodes))
        return ExitRefused;
    ProjectorNode *node = nodes.front();
    const QString name = args.positional.at(1);
    if (node->IsProjector()) {
        // A projector's name is the one it reports at every connection: a name given here would
        // be gone at the next refresh, so it is refused rather than kept for a moment.
        ShowUserMessage(FormatText(LoadString(CTL_RENAME_PROJECTOR), {node->GetName()}));
        return ExitRefused;
    }
    auto *group = static_cast<Group *>(node);
    if (!group->GetParent()) {
        ShowUserMessage(FormatText(LoadString(MSG_CANNOT_RENAME), {group->GetName()}));
        return ExitRefused;
    }
    if (const int refusal = CanRenameGroup(*group, name)) {
        ShowUserMessage(LoadString(refusal));
        return ExitRefused;
    }
    group->Rename(name);
    return context.doc.SaveSettings() ? ExitDone : ExitRefused;
}

int RunImportCsv(CommandContext &context, const CommandArgs &args)
{
    const QString path = args.positional.at(0);
    QFile file;
    const bool opened = path == u"-"_s ? file.open(stdin, QIODevice::ReadOnly)
                                       : (file.setFileName(path), file.open(QIODevice::ReadOnly));
    if (!opened) {
        ShowUserMessage(FormatText(LoadString(CTL_CSV_UNREADABLE), {path}));
        return ExitRefused;
    }
    QString error;
    std::vector<CsvRow> rows;
    if (!ParseCsv(file.readAll(), rows, &error)) {
        ShowUserMessage(error);
        return ExitRefused;
    }
    // The header names the columns; it is checked so that a file without one does not lose its
    // first projector.
    if (rows.empty() ||
        rows.front().fields.value(0).trimmed().compare(u"name"_s, Qt::CaseInsensitive) != 0 ||
        rows.front().fields.value(1).trimmed().compare(u"address"_s, Qt::CaseInsensitive) != 0) {
        ShowUserMessage(LoadString(CTL_CSV_HEADER));
        return ExitRefused;
    }
    rows.erase(rows.begin());

    QStringList problems;
    const std::vector<CsvProjector> checked = CheckRows(context.manager, rows, problems);
    if (problems.isEmpty() &&
        context.manager.GetProjectorCount() + int(checked.size()) > MAX_PROJECTORS)
        problems << RegistrationMessageText(MSG_REGISTRATION_FULL);
    if (!problems.isEmpty()) {
        for (const QString &problem : std::as_const(problems))
            ShowUserMessage(problem);
        ShowUserMessage(
            FormatText(LoadString(CTL_CSV_NOTHING), {QString::number(problems.size())}));
        return ExitRefused;
    }

    // Every row is sound: register them all, each read once, then save once.
    QJsonArray registered;
    std::vector<Projector *> added;
    for (const CsvProjector &row : checked) {
        const Projector candidate(row.name, row.address, row.password, u"M"_s, row.groupPath);
        Projector *projector = nullptr;
        if (const int refusal =
                RegisterProjector(context.manager, candidate, EventListSink(), &projector)) {
            // The rows were checked above, so this is not expected; still all or nothing.
            ShowUserMessage(RowProblem(row.line, RegistrationMessageText(refusal)));
            for (Projector *undo : added)
                context.manager.RemoveNode(undo);
            return ExitRefused;
        }
        added.push_back(projector);
        registered.append(QJsonObject{{u"name"_s, projector->GetName()},
                                      {u"ipAddress"_s, projector->GetIPAddress()},
                                      {u"groupPath"_s, projector->GetPath()},
                                      {u"reachable"_s, projector->IsReachable()}});
    }
    if (!context.doc.SaveSettings())
        return ExitRefused;
    const QString summary = FormatText(LoadString(CTL_CSV_DONE), {QString::number(checked.size())});
    context.report.Line(summary);
    context.report.Set(u"registered"_s, registered);
    context.report.Events();
    return ExitDone;
}
