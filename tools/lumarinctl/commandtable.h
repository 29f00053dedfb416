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

// A command with everything main needs to know about it, so that main never asks for a
// command by its name. Written with designated initialisers in commandtable.cpp.
struct CommandSpec
{
    // A member left out of a command's initialiser takes the value given here.
    QString name{};     // "list", "group add"
    QString synopsis{}; // the arguments after the name
    QString summary{};  // one line for the command list
    QString help{};     // the paragraphs of "lumarinctl help COMMAND"
    QList<CommandOption> options{};
    int minArgs = 0;
    int maxArgs = 0; // -1: any number
    // Whether this call changes the registry or a preference: such calls are refused while
    // the application runs, since it would overwrite the file with its own state.
    bool (*changes)(const CommandArgs &) = nullptr;
    // A changing call that talks to projectors first, which may take long (add, search): it
    // takes the settings file's lock only when it is about to change the register, through
    // CommandContext::lockForChange. Other changing calls hold the lock from the start.
    bool locksLate = false;
    // "Register the projectors" is shown for an empty register only where it explains the
    // answer: by the commands that show the register's projectors.
    bool greetsEmptyRegister = false;
    int (*run)(CommandContext &, const CommandArgs &) = nullptr;
    // The exit status of a usage error.
    int usageStatus = ExitUsage;
    // The exit status when the command cannot be carried out: the settings file refused, its
    // lock not had, the application running; run answers it too, once it has told why.
    int failureStatus = ExitRefused;
    // Where the command answers its failures on standard output as well (check, as a
    // monitoring plugin): tells the reason there, given the message shown on standard error.
    void (*reportFailure)(Report &, const QString &reason) = nullptr;
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
