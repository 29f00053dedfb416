#pragma once

#include "tools/lumarinctl/commandcontext.h"

#include <QList>
#include <QString>

// Everything lumarinctl knows about its commands: the words that name them, their arguments
// and options, their help, whether they change the settings file, and what runs them.

struct CommandOption
{
    QString name;      // long name without the dashes
    QString valueName; // empty: a flag
    QString description;
};

struct CommandSpec
{
    QString name;     // "list", "group add"
    QString synopsis; // the arguments after the name
    QString summary;  // one line for the command list
    QString help;     // the paragraphs of "lumarinctl help COMMAND"
    QList<CommandOption> options;
    int minArgs = 0;
    int maxArgs = 0; // -1: any number
    // Whether this call changes the registry or a preference: such calls are refused while
    // the application runs, since it would overwrite the file with its own state.
    bool (*changes)(const CommandArgs &) = nullptr;
    int (*run)(CommandContext &, const CommandArgs &) = nullptr;
    // The exit status of a usage error: check answers as a monitoring plugin does.
    int usageStatus = ExitUsage;
};

const QList<CommandSpec> &Commands();

// The command named by the first one or two words of words; nullptr when there is none.
// wordsUsed tells how many words the name took.
const CommandSpec *FindCommand(const QStringList &words, int *wordsUsed = nullptr);

// The command's name and arguments, as "power on|off TARGET...".
QString CommandLineOf(const CommandSpec &spec);

// The help of every command whose name starts with family ("group"); empty when none does.
QString FamilyHelpText(const QString &family);
QStringList FamilyMembers(const QString &family); // "add", "rename"

// "no command X", with the closest command names when X looks like a misspelling of them.
QString UnknownCommandText(const QString &word);

QString UsageText();                              // lumarinctl --help
QString CommandHelpText(const CommandSpec &spec); // lumarinctl help COMMAND
