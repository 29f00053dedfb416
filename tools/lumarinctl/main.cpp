// lumarinctl: Lumarin's register of projectors on the command line. It works on the
// application's own settings file through the same document, manager and projector code as the
// main window, and adds no behaviour of its own to them.

#include "model/projectormanager.h"
#include "platform/instance_lock.h"
#include "res/stringids.h"
#include "res/stringtable.h"
#include "store/actioneventmanager.h"
#include "store/cvanteldoc.h"
#include "store/settingslocation.h"
#include "store/settingslock.h"
#include "store/usermessage.h"
#include "tools/lumarinctl/commandtable.h"
#include "tools/lumarinctl/fallbacknotice.h"
#include "tools/lumarinctl/messagecapture.h"
#include "tools/lumarinctl/report.h"
#include "tools/lumarinctl/ctlstrings.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTextStream>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

// The application's own name: it decides the settings file's name and the instance lock.
const QString kApplicationName = u"lumarin"_s;

int UsageError(const QString &text, const QString &helpTopic = QString())
{
    QTextStream err(stderr);
    err << "lumarinctl: " << text << Qt::endl;
    const QString help =
        helpTopic.isEmpty() ? u"lumarinctl --help"_s : u"lumarinctl help "_s + helpTopic;
    err << FormatText(LoadString(CTL_TRY_HELP), {help}) << Qt::endl;
    return ExitUsage;
}

// A usage error of a known command, answered with that command's usage status and, where the
// command answers its failures on standard output too, there as well.
int CommandUsageError(const CommandSpec &spec, const QString &text, bool json)
{
    UsageError(text, spec.name);
    if (spec.reportFailure) {
        Report report(json);
        spec.reportFailure(report, text);
        report.Finish(spec.usageStatus, {text});
    }
    return spec.usageStatus;
}

// Help and version end the run before any command: parsing answers this instead of ExitDone.
constexpr int kPrinted = -1;

int PrintText(const QString &text)
{
    QTextStream(stdout) << text;
    return kPrinted;
}

// The settings file the application beside this program resolves for itself.
QString ApplicationSettingsPath()
{
    const QString application =
        QDir(QCoreApplication::applicationDirPath()).filePath(kApplicationName);
    return ResolveSettingsPathFor(
        application, QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
}

struct Invocation
{
    const CommandSpec *spec = nullptr;
    CommandArgs args;
    std::optional<QString> settings; // --settings, before or after the command's words
    bool json = false;
    bool verbose = false;
};

// Options may follow the command's words too; the global ones are accepted there as well.
int ParseCommand(const CommandSpec &spec, const QStringList &words, Invocation &invocation)
{
    QCommandLineParser parser;
    const QCommandLineOption help(QStringList{u"h"_s, u"help"_s});
    const QCommandLineOption json(u"json"_s);
    const QCommandLineOption verbose(u"verbose"_s);
    const QCommandLineOption settings(u"settings"_s, QString(), u"FILE"_s);
    parser.addOptions({help, json, verbose, settings});
    QList<QCommandLineOption> own;
    for (const CommandOption &option : spec.options) {
        own << (option.valueName.isEmpty()
                    ? QCommandLineOption(option.name)
                    : QCommandLineOption(option.name, QString(), option.valueName));
        parser.addOption(own.back());
    }
    const bool parsed = parser.parse(QStringList{u"lumarinctl"_s} + words);
    invocation.json = invocation.json || parser.isSet(json);
    if (!parsed)
        return CommandUsageError(spec, parser.errorText(), invocation.json);
    if (parser.isSet(help))
        return PrintText(CommandHelpText(spec));

    const QStringList positional = parser.positionalArguments();
    if (positional.size() < spec.minArgs || (spec.maxArgs >= 0 && positional.size() > spec.maxArgs))
        return CommandUsageError(
            spec, FormatText(LoadString(CTL_USAGE_LINE), {CommandLineOf(spec)}), invocation.json);

    invocation.spec = &spec;
    invocation.args.positional = positional;
    for (const QCommandLineOption &option : own) {
        if (parser.isSet(option))
            invocation.args.values.insert(option.names().front(), parser.value(option));
    }
    invocation.verbose = invocation.verbose || parser.isSet(verbose);
    if (parser.isSet(settings))
        invocation.settings = parser.value(settings);
    // An empty name would quietly stand for the application's own file.
    if (invocation.settings && invocation.settings->isEmpty())
        return CommandUsageError(spec, u"--settings needs a file name"_s, invocation.json);
    return ExitDone;
}

// ExitDone with the invocation filled, kPrinted, or a usage error.
int ParseInvocation(const QStringList &arguments, Invocation &invocation)
{
    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption help(QStringList{u"h"_s, u"help"_s});
    const QCommandLineOption version(u"version"_s);
    const QCommandLineOption json(u"json"_s);
    const QCommandLineOption verbose(u"verbose"_s);
    const QCommandLineOption settings(u"settings"_s, QString(), u"FILE"_s);
    parser.addOptions({help, version, json, verbose, settings});
    if (!parser.parse(arguments)) {
        // The words after a wrong option are still read: a command named there answers the
        // error as its own usage error (check as a monitoring plugin).
        if (const CommandSpec *spec = FindCommand(parser.positionalArguments()))
            return CommandUsageError(*spec, parser.errorText(), parser.isSet(json));
        return UsageError(parser.errorText());
    }
    if (parser.isSet(version))
        return PrintText(u"lumarinctl " LUMARIN_VERSION "\n"_s);

    QStringList words = parser.positionalArguments();
    if (parser.isSet(help) && words.isEmpty())
        return PrintText(UsageText());
    if (words.isEmpty())
        return UsageError(LoadString(CTL_NO_COMMAND));
    if (words.front() == u"help"_s) {
        if (words.size() == 1)
            return PrintText(UsageText());
        const QString topic = words.mid(1).join(u' ');
        int used = 0;
        const CommandSpec *spec = FindCommand(words.mid(1), &used);
        if (spec && used == words.size() - 1)
            return PrintText(CommandHelpText(*spec));
        // "help group": every command of the family.
        if (const QString family = FamilyHelpText(topic); !family.isEmpty())
            return PrintText(family);
        return UsageError(UnknownCommandText(topic));
    }

    int used = 0;
    const CommandSpec *spec = FindCommand(words, &used);
    if (!spec) {
        if (!FamilyHelpText(words.front()).isEmpty())
            return UsageError(
                FormatText(LoadString(CTL_FAMILY_TAKES),
                           {words.front(), FamilyMembers(words.front()).join(u", "_s)}),
                words.front());
        return UsageError(UnknownCommandText(words.front()));
    }
    invocation.json = parser.isSet(json);
    invocation.verbose = parser.isSet(verbose);
    if (parser.isSet(settings))
        invocation.settings = parser.value(settings);
    if (parser.isSet(help))
        return PrintText(CommandHelpText(*spec));
    return ParseCommand(*spec, words.mid(used), invocation);
}

int Run(const Invocation &invocation)
{
    MessageCapture messages;
    Report report(invocation.json);
    const CommandSpec &spec = *invocation.spec;
    const auto finish = [&](int status) {
        const QStringList shown = messages.GetShown();
        // The reason is the last message: the one shown when the command gave up.
        if (status == spec.failureStatus && spec.reportFailure)
            spec.reportFailure(report, shown.isEmpty() ? QString() : shown.back());
        report.Finish(status, shown);
        return status;
    };

    const bool changes = spec.changes && spec.changes(invocation.args);
    if (changes && platform::InstanceLock::IsHeldElsewhere(kApplicationName)) {
        ShowUserMessage(LoadString(CTL_APP_RUNNING));
        return finish(spec.failureStatus);
    }

    InstallFallbackNotice(invocation.verbose);
    // The library first: starting it resets the response wait time that the settings give it.
    ProjectorManager::InitProjectors();
    // The application's "event.log" stays as it is; events are printed instead.
    ActionEventManager::SetLogFileEnabled(false);
    const QString settingsPath = invocation.settings
                                     ? QFileInfo(*invocation.settings).absoluteFilePath()
                                     : ApplicationSettingsPath();

    // A change holds the settings file's lock from reading the file to writing it back, so
    // that changes of programs running at the same time all land. Other commands only read.
    std::optional<SettingsLock> lock;
    const auto takeLock = [&]() {
        lock.emplace(settingsPath);
        if (!lock->IsHeld())
            ShowUserMessage(lock->GetError());
        return lock->IsHeld();
    };
    if (changes && !spec.locksLate && !takeLock())
        return finish(spec.failureStatus);

    // "Register the projectors" greets a user with an empty register; here it is shown only
    // by the commands for which it explains the answer.
    messages.Hold();
    CVantelDoc doc(settingsPath,
                   changes ? CVantelDoc::Access::WriteOnChange : CVantelDoc::Access::ReadOnly);
    messages.Release(spec.greetsEmptyRegister ? QStringList()
                                              : QStringList{LoadString(MSG_REGISTER_PROJECTORS)});
    if (doc.IsSettingsFileRefused())
        return finish(spec.failureStatus);

    const auto lockForChange = [&]() {
        if (lock && lock->IsHeld())
            return true;
        return changes && takeLock() && doc.Reload();
    };
    CommandContext context{doc, *ProjectorManager::GetInstance(), report, lockForChange};
    return finish(spec.run(context, invocation.args));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"lumarinctl"_s);
    QCoreApplication::setApplicationVersion(u"" LUMARIN_VERSION ""_s);

    Invocation invocation;
    const int parsed = ParseInvocation(QCoreApplication::arguments(), invocation);
    if (parsed != ExitDone)
        return parsed == kPrinted ? ExitDone : parsed;
    return Run(invocation);
}
