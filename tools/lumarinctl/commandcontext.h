#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>

class CVantelDoc;
class ProjectorManager;
class Report;

// What lumarinctl's exit status tells a script.
enum ExitStatus {
    ExitDone = 0,
    ExitRefused = 1, // refused, or no projector reached; a message says why
    ExitUsage = 2    // the command line is wrong
};

// What check's exit status tells a monitoring system, as its plugins do.
enum CheckStatus { CheckOk = 0, CheckWarning = 1, CheckCritical = 2, CheckUnknown = 3 };

// A command's own arguments, once its options are taken out.
struct CommandArgs
{
    QStringList positional;
    QMap<QString, QString> values; // option name -> value; flags map to an empty value

    bool IsSet(const QString &option) const { return values.contains(option); }
    QString Value(const QString &option) const { return values.value(option); }
};

// What every command works on: the document, which owns the registry's lifetime, the
// projector manager behind it, and the report that collects what the command prints.
struct CommandContext
{
    CVantelDoc &doc;
    ProjectorManager &manager;
    Report &report;
    // For the commands that talk to projectors before they change the register (add, search):
    // takes the settings file's lock and reads the file again, so the change applies to the
    // register as it is now. Every node found before is gone then. False, told, when the lock
    // cannot be had or the file is refused. Other changing commands hold the lock from the
    // start, and this answers true at once.
    std::function<bool()> lockForChange;
};
