// Registering projectors: the Confirm and Register steps of the Specify IP Address page, and
// the Auto Search page with its password prompt answered from the command line.

#include "model/linkresult.h"
#include "tools/lumarinctl/commands.h"

#include "model/automaticsearch.h"
#include "model/connectionwindow.h"
#include "model/group.h"
#include "model/limits.h"
#include "model/notificationlistener.h"
#include "model/projector.h"
#include "model/projectormanager.h"
#include "res/stringids.h"
#include "res/stringtable.h"
#include "store/actioneventmanager.h"
#include "store/cvanteldoc.h"
#include "model/registration.h"
#include "store/usermessage.h"
#include "tools/lumarinctl/report.h"
#include "tools/lumarinctl/targets.h"
#include "tools/lumarinctl/ctlstrings.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTextStream>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <chrono>
#include <csignal>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

constexpr int kMaxProjectorName = 64; // a PJLink name has up to 64 bytes
const QString kHiddenName = u"********"_s;

volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void OnInterrupt(int)
{
    g_interrupted = 1;
}

void Tell(int id, MessageIcon icon = MessageIcon::Warning)
{
    ShowUserMessage(LoadString(id), icon);
}

// --password P, or with "-" the first line of standard input, so that the password need not
// show in the process list. False when the option is not given.
bool PasswordOption(const CommandArgs &args, QString &password)
{
    if (!args.IsSet(u"password"_s))
        return false;
    password = args.Value(u"password"_s);
    if (password == u"-"_s)
        password = QTextStream(stdin).readLine();
    return true;
}

// A registration function's refusal, told; ExitRefused. 0: ExitDone.
int Outcome(int messageId)
{
    if (messageId == 0)
        return ExitDone;
    ShowUserMessage(RegistrationMessageText(messageId));
    return ExitRefused;
}

// The whole search on a thread of its own, as the Auto Search page runs it; Ctrl+C stops it and
// keeps what was found.
void RunAutomaticSearch(ProjectorManager &manager, ProjectorManager::SearchResults &results)
{
    g_interrupted = 0;
    const auto previous = std::signal(SIGINT, OnInterrupt);
    manager.BeginSearch();
    std::thread search([&] { manager.Search(results); });
    while (manager.IsSearching()) {
        if (g_interrupted)
            manager.StopSearch();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    search.join();
    manager.DeleteSearchWorkers();
    std::signal(SIGINT, previous);
}

} // namespace

int RunAdd(CommandContext &context, const CommandArgs &args)
{
    // --no-check: NAME ADDRESS, registered without an answer now.
    const bool noCheck = args.IsSet(u"no-check"_s);
    if (args.positional.size() != (noCheck ? 2 : 1)) {
        ShowUserMessage(LoadString(CTL_NO_CHECK_ARGS));
        return ExitUsage;
    }
    const QString name = noCheck ? args.positional.at(0).trimmed() : QString();
    if (noCheck && (name.isEmpty() || name.size() > kMaxProjectorName)) {
        ShowUserMessage(LoadString(CTL_CSV_NAME));
        return ExitUsage;
    }

    // Confirm.
    QString address;
    if (const int refusal = CheckNewAddress(context.manager, args.positional.back(), &address))
        return Outcome(refusal);
    QString groupPath; // empty: the root
    if (args.IsSet(u"group"_s)) {
        const Group *group = FindGroup(context.manager, args.Value(u"group"_s));
        if (!group)
            return ExitRefused;
        if (group->GetParent())
            groupPath = group->GetFullPath();
    }
    QString password;
    const bool passwordGiven = PasswordOption(args, password);
    if (passwordGiven && CheckPassword(password) != 0) {
        Tell(MSG_PASSWORD_INVALID);
        ShowUserMessage(LoadString(STR_PASSWORD_RULES));
        return ExitRefused;
    }
    if (noCheck) {
        // Registered as it is, without a word to the projector: the next refresh reads it, and
        // a projector that reports its own name takes that name then.
        Projector *registered = nullptr;
        const Projector candidate(name, address, password, u"M"_s, groupPath);
        if (const int refusal = AddCandidate(context.manager, candidate, &registered))
            return Outcome(refusal);
        if (!context.doc.SaveSettings())
            return ExitRefused;
        ShowUserMessage(FormatText(LoadString(CTL_ADDED_UNCHECKED), {address}),
                        MessageIcon::Information);
        context.report.Projectors(u"projectors"_s, {registered});
        context.report.Events();
        return ExitDone;
    }

    // First without a password, as the page does; the password only when the projector asks.
    Projector candidate(QString(), address, QString(), u"M"_s, groupPath);
    int result = ProbeCandidate(candidate);
    if (result == LinkResult::AuthFailed && passwordGiven) {
        candidate.SetPassword(password);
        result = ProbeCandidate(candidate);
    }
    if (result == LinkResult::AuthFailed) {
        Tell(MSG_PASSWORD_INVALID);
        if (!passwordGiven)
            ShowUserMessage(LoadString(CTL_PASSWORD_NEEDED));
        return ExitRefused;
    }
    if (result != LinkResult::Ok) {
        Tell(MSG_NO_PROJECTOR_FOUND);
        return ExitRefused;
    }

    // Register, into the register as the file holds it now.
    if (!context.lockForChange())
        return ExitRefused;
    if (args.IsSet(u"group"_s) && !FindGroup(context.manager, args.Value(u"group"_s)))
        return ExitRefused;
    Projector *registered = nullptr;
    if (const int refusal =
            RegisterProjector(context.manager, candidate, EventListSink(), &registered))
        return Outcome(refusal);
    if (!context.doc.SaveSettings())
        return ExitRefused;
    Tell(MSG_REGISTERED, MessageIcon::Information);
    context.report.Projectors(u"projectors"_s, {registered});
    context.report.Events();
    return ExitDone;
}

int RunSearch(CommandContext &context, const CommandArgs &args)
{
    const bool doRegister = args.IsSet(u"register"_s);
    QString password;
    const bool passwordGiven = PasswordOption(args, password);
    if (passwordGiven && !doRegister) {
        ShowUserMessage(LoadString(CTL_PASSWORD_WITH_REGISTER));
        return ExitUsage;
    }
    if (passwordGiven && CheckPassword(password) != 0) {
        Tell(MSG_PASSWORD_INVALID);
        ShowUserMessage(LoadString(STR_PASSWORD_RULES));
        return ExitRefused;
    }

    const bool broadcast = args.IsSet(u"broadcast"_s);
    int waitSeconds =
        int(std::chrono::duration_cast<std::chrono::seconds>(BROADCAST_SEARCH_WAIT).count());
    if (args.IsSet(u"wait"_s)) {
        bool ok = false;
        waitSeconds = args.Value(u"wait"_s).toInt(&ok);
        if (!broadcast || !ok || waitSeconds < 1 || waitSeconds > 300) {
            ShowUserMessage(LoadString(CTL_WAIT_RANGE));
            return ExitUsage;
        }
    }
    context.manager.SetBroadcastWait(broadcast ? std::chrono::milliseconds(waitSeconds * 1000)
                                               : std::chrono::milliseconds(0));

    ProjectorManager::SearchResults candidates;
    RunAutomaticSearch(context.manager, candidates);
    if (broadcast && context.manager.GetBroadcastResult() != 0)
        ShowUserMessage(context.manager.GetBroadcastResult() == EADDRINUSE
                            ? FormatText(LoadString(CTL_BROADCAST_NOT_SENT),
                                         {QString::number(ControllerUdpPort())})
                            : FormatText(LoadString(CTL_WATCH_PORT_FAILED),
                                         {QString::number(ControllerUdpPort()),
                                          QString::fromLocal8Bit(std::strerror(
                                              context.manager.GetBroadcastResult()))}));
    if (candidates.empty()) {
        Tell(MSG_NO_PROJECTOR_FOUND);
        context.report.Set(u"candidates"_s, QJsonArray());
        return ExitRefused;
    }

    // Whether a candidate asks for a password is known before any password is tried.
    std::vector<bool> asksPassword;
    for (const auto &candidate : candidates)
        asksPassword.push_back(candidate->GetConnectResult() == LinkResult::AuthFailed ||
                               candidate->IsAuthorizationRequired());

    std::vector<bool> registered(candidates.size(), false);
    bool anyRegistered = false;
    if (doRegister) {
        if (passwordGiven) {
            std::vector<Projector *> locked;
            for (const auto &candidate : candidates)
                locked.push_back(candidate.get());
            if (const int refusal = AuthenticateAll(locked, password))
                Tell(refusal);
        }
        if (!context.lockForChange())
            return ExitRefused;
        int ready = 0;
        for (const auto &candidate : candidates)
            ready += candidate->IsAuthenticated() ? 1 : 0;
        if (ready + context.manager.GetProjectorCount() > MAX_PROJECTORS) {
            ShowUserMessage(
                FormatText(LoadString(MSG_REGISTRATION_FULL), {QString::number(MAX_PROJECTORS)}));
        } else {
            for (size_t i = 0; i < candidates.size(); ++i) {
                if (!candidates[i]->IsAuthenticated())
                    continue;
                const int refusal =
                    RegisterProjector(context.manager, *candidates[i], EventListSink());
                if (refusal != 0)
                    ShowUserMessage(RegistrationMessageText(refusal));
                registered[i] = refusal == 0;
                anyRegistered = anyRegistered || registered[i];
            }
        }
        if (anyRegistered) {
            if (!context.doc.SaveSettings())
                return ExitRefused;
            Tell(MSG_REGISTERED, MessageIcon::Information);
        }
    }

    QList<QStringList> rows{{LoadString(STR_IP_ADDRESS_COLUMN), LoadString(STR_PROJECTOR_NAME),
                             LoadString(STR_PASSWORD_COLUMN)}};
    if (doRegister)
        rows.front() << LoadString(CTL_HEADING_REGISTERED);
    QJsonArray array;
    for (size_t i = 0; i < candidates.size(); ++i) {
        Projector &candidate = *candidates[i];
        const QString name = candidate.IsAuthenticated() ? candidate.GetName() : kHiddenName;
        QStringList row{candidate.GetIPAddress(), name,
                        asksPassword[i] ? LoadString(CTL_PASSWORD_REQUIRED)
                                        : LoadString(CTL_PASSWORD_NONE)};
        if (doRegister)
            row << LoadString(registered[i] ? CTL_YES : CTL_NO);
        rows << row;
        QJsonObject object{{u"ipAddress"_s, candidate.GetIPAddress()},
                           {u"name"_s, name},
                           {u"passwordRequired"_s, bool(asksPassword[i])},
                           {u"authenticated"_s, candidate.IsAuthenticated()}};
        if (doRegister)
            object.insert(u"registered"_s, bool(registered[i]));
        array.append(object);
    }
    context.report.Table(rows);
    context.report.Set(u"candidates"_s, array);
    context.report.Events();
    return !doRegister || anyRegistered ? ExitDone : ExitRefused;
}
