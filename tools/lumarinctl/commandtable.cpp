#include "tools/lumarinctl/commandtable.h"

#include "tools/lumarinctl/commands.h"

#include <algorithm>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

bool Always(const CommandArgs &)
{
    return true;
}

bool WithValue(const CommandArgs &args)
{
    return args.positional.size() > 1;
}

bool WithRegister(const CommandArgs &args)
{
    return args.IsSet(u"register"_s);
}

const QString kTargetHelp = u"A TARGET is a group path (\"/\" for everything, \"/A\", \"/A/B\"), "
                            "a projector's name or its IP address. A name that two projectors "
                            "share is refused; name one of them by its address."_s;

const QString kCommandHelp =
    u"Each projector is read once first (a fresh process knows nothing of it yet); those that "
    "do not answer are skipped. The command then goes to every projector reached, the state is "
    "read back after a pause, and the number of projectors reached, their state and the events "
    "are printed. Exit status 1 when no projector was reached."_s;

QList<CommandSpec> BuildCommands()
{
    const CommandOption password{
        u"password"_s, u"P"_s,
        u"The PJLink password, tried when the projector asks for one; \"-\" reads it from the "
        "first line of standard input."_s};
    return {
        {u"list"_s,
         QString(),
         u"Show the groups and projectors of the register."_s,
         u"Prints the tree: each group by its path, and below it its projectors with name, "
         "IP address, whether a password is stored, and group path. Nothing is sent to any "
         "projector. With --json: \"groups\" and \"projectors\", and the two preferences."_s,
         {},
         0,
         0,
         nullptr,
         RunList},
        {u"status"_s,
         u"[TARGET...]"_s,
         u"Read the projectors and show their state."_s,
         u"Reads each projector once and prints the columns of the projector list: Name, "
         "Manufacturer, Power, Input, Mute, Error, Lamp time, IP address and Group path; \"?\" "
         "marks a projector that did not answer, \"X\" an answer with an error code. Then the "
         "events the reading produced (warnings and errors the projectors report). Without a "
         "TARGET, every projector. With --json: one object per projector with every cell and, "
         "under \"codes\", the values and result codes. Exit status 1 when no projector "
         "answered.\n\n"_s +
             kTargetHelp,
         {},
         0,
         -1,
         nullptr,
         RunStatus},
        {u"power"_s,
         u"on|off TARGET..."_s,
         u"Switch projectors on or off."_s,
         kCommandHelp + u" The pause is 3 seconds.\n\n"_s + kTargetHelp,
         {},
         2,
         -1,
         nullptr,
         RunPower},
        {u"input"_s,
         u"TYPE NUMBER TARGET..."_s,
         u"Switch the input of projectors."_s,
         u"TYPE is 1 to 5 or RGB, Video, Digital, Storage, Network; NUMBER is 1 to 9. Only "
         "projectors that offer the input are counted. "_s +
             kCommandHelp + u" The pause is 1.5 seconds.\n\n"_s + kTargetHelp,
         {},
         3,
         -1,
         nullptr,
         RunInput},
        {u"mute"_s,
         u"video|audio|both on|off TARGET..."_s,
         u"Switch the audio/video mute of projectors."_s,
         kCommandHelp + u" The pause is 1 second.\n\n"_s + kTargetHelp,
         {},
         3,
         -1,
         nullptr,
         RunMute},
        {u"add"_s,
         u"ADDRESS [--password P] [--group PATH]"_s,
         u"Register the projector at an IP address."_s,
         u"Connects to ADDRESS; when the projector asks for a password, --password is tried. "
         "A projector that answers is registered (in the group PATH, else at the top), read "
         "once, and the settings file is saved. Refused when the address is 0.0.0.0 or "
         "registered already, when nothing answers there, when the password is missing or "
         "wrong, and when 100 projectors are registered."_s,
         {password,
          {u"group"_s, u"PATH"_s, u"The group to register the projector in (default: \"/\")."_s}},
         1,
         1,
         Always,
         RunAdd},
        {u"search"_s,
         u"[--register [--password P]]"_s,
         u"Search the local networks for projectors."_s,
         u"Probes every address of every network adapter's IPv4 network for a PJLink "
         "projector and prints each one found: its IP address, its name (\"********\" while it "
         "asks for a password) and whether it needs a password. Registered addresses are left "
         "out. Ctrl+C stops the search and keeps what was found. With --register the "
         "projectors found are registered: those without a password, and those that accept "
         "the --password given."_s,
         {{u"register"_s, QString(), u"Register the projectors found."_s}, password},
         0,
         0,
         WithRegister,
         RunSearch},
        {u"group add"_s,
         u"PATH"_s,
         u"Create a group."_s,
         u"Creates the group PATH, as /A or /A/B: its last part is the new group's name (1 to "
         "20 characters), the rest names the group that holds it. Groups go two levels deep "
         "below \"/\"; no two nodes of one group share a name."_s,
         {},
         1,
         1,
         Always,
         RunGroupAdd},
        {u"group rename"_s,
         u"PATH NAME"_s,
         u"Rename a group."_s,
         u"Gives the group PATH the name NAME (1 to 20 characters), which no other node of "
         "its group may have; the paths below it follow. \"/\" keeps its name."_s,
         {},
         2,
         2,
         Always,
         RunGroupRename},
        {u"move"_s,
         u"TARGET... --to PATH"_s,
         u"Move projectors and groups into a group."_s,
         u"Moves every TARGET into the group PATH. All targets are checked first, and when "
         "one may not move, nothing moves: a group does not go into itself, its own group or "
         "a group below it, nor deeper than two levels below \"/\", nor next to a node of its "
         "name. A projector may go into any group.\n\n"_s +
             kTargetHelp,
         {{u"to"_s, u"PATH"_s, u"The group to move into."_s}},
         1,
         -1,
         Always,
         RunMove},
        {u"remove"_s,
         u"TARGET..."_s,
         u"Remove projectors and groups from the register."_s,
         u"Removes every TARGET, a group with everything below it. There is no question "
         "asked; \"/\" itself stays.\n\n"_s +
             kTargetHelp,
         {},
         1,
         -1,
         Always,
         RunRemove},
        {u"set"_s,
         u"refresh-interval|timeout [N]"_s,
         u"Show or change a preference."_s,
         u"refresh-interval is the number of minutes between two refresh cycles of the "
         "application, timeout the number of seconds to wait for a projector's answer; both "
         "from 1 to 10. Without N the current value is printed."_s,
         {},
         1,
         2,
         WithValue,
         RunSet},
        {u"export"_s,
         u"FILE|-"_s,
         u"Write a copy of the register and preferences to FILE."_s,
         u"Writes the register and the preferences to FILE in the settings file's format, as "
         "Save As does, or with \"-\" to standard output; the settings file itself is not "
         "touched."_s,
         {},
         1,
         1,
         nullptr,
         RunExport},
        {u"import"_s,
         u"FILE|-"_s,
         u"Replace the register and preferences with those of FILE."_s,
         u"Reads FILE, or with \"-\" standard input, as Open does: when its preferences are "
         u"complete and valid, the register "
         "and the preferences are replaced by those of FILE and the settings file is saved; "
         "otherwise nothing changes. An empty FILE changes nothing."_s,
         {},
         1,
         1,
         Always,
         RunImport},
    };
}

// Each paragraph filled to 78 columns, every line after indent blanks.
QString Wrap(const QString &text, int indent)
{
    const QString pad(indent, u' ');
    QStringList out;
    for (const QString &paragraph : text.split(u'\n')) {
        QString line = pad;
        for (const QString &word : paragraph.split(u' ', Qt::SkipEmptyParts)) {
            if (line.size() > indent && line.size() + 1 + word.size() > 78) {
                out << line;
                line = pad;
            }
            line += (line.size() > indent ? u" "_s : QString()) + word;
        }
        out << (line.size() > indent ? line : QString());
    }
    return out.join(u'\n') + u'\n';
}

} // namespace

const QList<CommandSpec> &Commands()
{
    static const QList<CommandSpec> commands = BuildCommands();
    return commands;
}

const CommandSpec *FindCommand(const QStringList &words, int *wordsUsed)
{
    for (int count : {2, 1}) {
        if (words.size() < count)
            continue;
        const QString name = words.mid(0, count).join(u' ');
        for (const CommandSpec &spec : Commands()) {
            if (spec.name == name) {
                if (wordsUsed)
                    *wordsUsed = count;
                return &spec;
            }
        }
    }
    return nullptr;
}

QString CommandLineOf(const CommandSpec &spec)
{
    return spec.synopsis.isEmpty() ? spec.name : spec.name + u' ' + spec.synopsis;
}

QStringList FamilyMembers(const QString &family)
{
    QStringList members;
    for (const CommandSpec &spec : Commands()) {
        if (spec.name.startsWith(family + u' '))
            members << spec.name.mid(family.size() + 1);
    }
    return members;
}

QString FamilyHelpText(const QString &family)
{
    QString text;
    for (const CommandSpec &spec : Commands()) {
        if (spec.name.startsWith(family + u' '))
            text += (text.isEmpty() ? QString() : u"\n"_s) + CommandHelpText(spec);
    }
    return text;
}

namespace {

// Edits (insert, delete, replace, swap two neighbours) that turn a into b.
int EditDistance(const QString &a, const QString &b)
{
    const qsizetype n = a.size(), m = b.size();
    std::vector<std::vector<int>> d(n + 1, std::vector<int>(m + 1));
    for (qsizetype i = 0; i <= n; ++i)
        d[i][0] = int(i);
    for (qsizetype j = 0; j <= m; ++j)
        d[0][j] = int(j);
    for (qsizetype i = 1; i <= n; ++i) {
        for (qsizetype j = 1; j <= m; ++j) {
            const int cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[n][m];
}

} // namespace

QString UnknownCommandText(const QString &word)
{
    // Candidates are whole command names and their first words ("group").
    QStringList names{u"help"_s};
    for (const CommandSpec &spec : Commands()) {
        names << spec.name;
        const QString first = spec.name.section(u' ', 0, 0);
        if (!names.contains(first))
            names << first;
    }
    const QString lower = word.toLower();
    // A third of the word may be wrong, at least one edit and at most two.
    const int allowed = std::clamp(int(lower.size()) / 3, 1, 2);
    int best = allowed + 1;
    QStringList closest;
    for (const QString &name : std::as_const(names)) {
        const int distance = EditDistance(lower, name);
        if (distance < best) {
            best = distance;
            closest = {name};
        } else if (distance == best) {
            closest << name;
        }
    }
    QString text = u"no command \"%1\""_s.arg(word);
    if (!closest.isEmpty() && best <= allowed)
        text += u"; did you mean %1?"_s.arg(u"\""_s + closest.join(u"\" or \""_s) + u'"');
    return text;
}

QString UsageText()
{
    QString text = u"Usage: lumarinctl [--settings FILE] [--json] COMMAND [ARGUMENTS]\n\n"
                   "Keeps Lumarin's register of projectors and commands the projectors, without "
                   "a window.\n\nCommands:\n"_s;
    for (const CommandSpec &spec : Commands())
        text += u"  %1\n      %2\n"_s.arg(CommandLineOf(spec), spec.summary);
    text += u"  help [COMMAND]\n      Explain a command.\n\n"_s + Wrap(kTargetHelp, 0) +
            u"\nOptions:\n"
            "  --settings FILE  Use FILE instead of Lumarin's own settings file.\n"
            "  --json           Print one JSON document on standard output.\n"
            "  --verbose        Tell every time when projectors are checked by TCP instead of\n"
            "                   ICMP echo (otherwise told once per user and machine).\n"
            "  -h, --help       Show this help; lumarinctl COMMAND --help explains a command.\n"
            "  --version        Show the version.\n\n"_s +
            Wrap(u"Messages go to standard error. Exit status: 0 done, 1 refused or no "
                 "projector reached, 2 usage error. While Lumarin runs, commands that change the "
                 "register or a preference are refused."_s,
                 0);
    return text;
}

QString CommandHelpText(const CommandSpec &spec)
{
    QString text = u"Usage: lumarinctl [--settings FILE] [--json] %1\n\n%2\n\n"_s.arg(
                       CommandLineOf(spec), spec.summary) +
                   Wrap(spec.help, 0);
    if (!spec.options.isEmpty()) {
        text += u"\nOptions:\n"_s;
        for (const CommandOption &option : spec.options) {
            const QString left = option.valueName.isEmpty()
                                     ? u"--"_s + option.name
                                     : u"--%1 %2"_s.arg(option.name, option.valueName);
            text += u"  "_s + left + u'\n' + Wrap(option.description, 6);
        }
    }
    return text;
}
