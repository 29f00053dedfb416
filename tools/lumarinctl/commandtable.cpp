#include "tools/lumarinctl/commandtable.h"

#include "res/stringtable.h"
#include "tools/lumarinctl/commands.h"
#include "tools/lumarinctl/ctlstrings.h"
#include "tools/lumarinctl/report.h"

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

QString Text(int id)
{
    return LoadString(id);
}

// The help of power, input and mute: what they do, then the pause before the read-back.
QString CommandFlowHelp(const QString &pause)
{
    return Text(CTL_HELP_COMMAND_FLOW) + u' ' + FormatText(Text(CTL_HELP_PAUSE), {pause}) +
           u"\n\n"_s + Text(CTL_HELP_TARGET);
}

QList<CommandSpec> BuildCommands()
{
    const CommandOption password{u"password"_s, u"P"_s, Text(CTL_OPTTEXT_PASSWORD)};
    const CommandOption input{u"input"_s, u"TYPE"_s, Text(CTL_OPTTEXT_INPUT)};
    const CommandOption warmUp{u"warm-up"_s, u"SECONDS"_s, Text(CTL_OPTTEXT_WARM_UP)};
    const QString scheduleName = Text(CTL_HELPTEXT_SCHEDULE_NAME);
    return {
        {.name = u"list"_s,
         .summary = Text(CTL_SUMMARY_LIST),
         .help = Text(CTL_HELPTEXT_LIST),
         .minArgs = 0,
         .maxArgs = 0,
         .greetsEmptyRegister = true,
         .run = RunList},
        {.name = u"status"_s,
         .synopsis = u"[TARGET...]"_s,
         .summary = Text(CTL_SUMMARY_STATUS),
         .help = Text(CTL_HELPTEXT_STATUS) + u"\n\n"_s + Text(CTL_HELP_TARGET),
         .minArgs = 0,
         .maxArgs = -1,
         .greetsEmptyRegister = true,
         .run = RunStatus},
        {.name = u"metrics"_s,
         .synopsis = u"[TARGET...] [--output FILE] [--register NAME]"_s,
         .summary = Text(CTL_SUMMARY_METRICS),
         .help = Text(CTL_HELPTEXT_METRICS) + u"\n\n"_s + Text(CTL_HELP_TARGET),
         .options = {{u"output"_s, u"FILE"_s, Text(CTL_OPTTEXT_OUTPUT)},
                     {u"register"_s, u"NAME"_s, Text(CTL_OPTTEXT_REGISTER_NAME)}},
         .minArgs = 0,
         .maxArgs = -1,
         .run = RunMetrics},
        {.name = u"check"_s,
         .synopsis = u"[TARGET...] [--lamp-warn|crit HOURS] [--filter-warn|crit HOURS]"_s,
         .summary = Text(CTL_SUMMARY_CHECK),
         .help = Text(CTL_HELPTEXT_CHECK) + u"\n\n"_s + Text(CTL_HELP_TARGET),
         .options = {{u"lamp-warn"_s, u"HOURS"_s, Text(CTL_OPTTEXT_LAMP_WARN)},
                     {u"lamp-crit"_s, u"HOURS"_s, Text(CTL_OPTTEXT_LAMP_CRIT)},
                     {u"filter-warn"_s, u"HOURS"_s, Text(CTL_OPTTEXT_FILTER_WARN)},
                     {u"filter-crit"_s, u"HOURS"_s, Text(CTL_OPTTEXT_FILTER_CRIT)}},
         .minArgs = 0,
         .maxArgs = -1,
         .run = RunCheck,
         .usageStatus = CheckUnknown,
         .failureStatus = CheckUnknown,
         .reportFailure = ReportCheckUnknown},
        {.name = u"power"_s,
         .synopsis = u"on|off [--input TYPE NUMBER [--warm-up SECONDS]] TARGET..."_s,
         .summary = Text(CTL_SUMMARY_POWER),
         .help = CommandFlowHelp(u"3"_s),
         .options = {input, warmUp},
         .minArgs = 2,
         .maxArgs = -1,
         .run = RunPower},
        {.name = u"input"_s,
         .synopsis = u"TYPE NUMBER TARGET..."_s,
         .summary = Text(CTL_SUMMARY_INPUT),
         .help = Text(CTL_HELP_INPUT_TYPES) + u' ' + CommandFlowHelp(u"1.5"_s),
         .minArgs = 3,
         .maxArgs = -1,
         .run = RunInput},
        {.name = u"mute"_s,
         .synopsis = u"video|audio|both on|off TARGET..."_s,
         .summary = Text(CTL_SUMMARY_MUTE),
         .help = CommandFlowHelp(u"1"_s),
         .minArgs = 3,
         .maxArgs = -1,
         .run = RunMute},
        {.name = u"freeze"_s,
         .synopsis = u"on|off TARGET..."_s,
         .summary = Text(CTL_SUMMARY_FREEZE),
         .help = Text(CTL_HELPTEXT_FREEZE) + u' ' + CommandFlowHelp(u"0"_s),
         .minArgs = 2,
         .maxArgs = -1,
         .run = RunFreeze},
        {.name = u"add"_s,
         .synopsis = u"[--no-check NAME] ADDRESS [--password P] [--group PATH]"_s,
         .summary = Text(CTL_SUMMARY_ADD),
         .help = Text(CTL_HELPTEXT_ADD),
         .options = {password,
                     {u"group"_s, u"PATH"_s, Text(CTL_OPTTEXT_GROUP)},
                     {u"no-check"_s, QString(), Text(CTL_OPTTEXT_NO_CHECK)}},
         .minArgs = 1,
         .maxArgs = 2,
         .changes = Always,
         .locksLate = true,
         .run = RunAdd},
        {.name = u"import-csv"_s,
         .synopsis = u"FILE|-"_s,
         .summary = Text(CTL_SUMMARY_IMPORT_CSV),
         .help = Text(CTL_HELPTEXT_IMPORT_CSV),
         .minArgs = 1,
         .maxArgs = 1,
         .changes = Always,
         .run = RunImportCsv},
        {.name = u"passwd"_s,
         .synopsis = u"TARGET"_s,
         .summary = Text(CTL_SUMMARY_PASSWD),
         .help = Text(CTL_HELPTEXT_PASSWD) + u"\n\n"_s + Text(CTL_HELP_TARGET),
         .minArgs = 1,
         .maxArgs = 1,
         .changes = Always,
         .run = RunPasswd},
        {.name = u"rename"_s,
         .synopsis = u"TARGET NEWNAME"_s,
         .summary = Text(CTL_SUMMARY_RENAME),
         .help = Text(CTL_HELPTEXT_RENAME),
         .minArgs = 2,
         .maxArgs = 2,
         .changes = Always,
         .run = RunRename},
        {.name = u"search"_s,
         .synopsis = u"[--broadcast [--wait SECONDS]] [--register [--password P]]"_s,
         .summary = Text(CTL_SUMMARY_SEARCH),
         .help = Text(CTL_HELPTEXT_SEARCH),
         .options = {{u"broadcast"_s, QString(), Text(CTL_OPTTEXT_BROADCAST)},
                     {u"wait"_s, u"SECONDS"_s, Text(CTL_OPTTEXT_WAIT)},
                     {u"register"_s, QString(), Text(CTL_OPTTEXT_REGISTER)},
                     password},
         .minArgs = 0,
         .maxArgs = 0,
         .changes = WithRegister,
         .locksLate = true,
         .run = RunSearch},
        {.name = u"watch"_s,
         .synopsis = u"[TARGET...]"_s,
         .summary = Text(CTL_SUMMARY_WATCH),
         .help = Text(CTL_HELPTEXT_WATCH) + u"\n\n"_s + Text(CTL_HELP_TARGET),
         .minArgs = 0,
         .maxArgs = -1,
         .run = RunWatch},
        {.name = u"group add"_s,
         .synopsis = u"PATH"_s,
         .summary = Text(CTL_SUMMARY_GROUP_ADD),
         .help = Text(CTL_HELPTEXT_GROUP_ADD),
         .minArgs = 1,
         .maxArgs = 1,
         .changes = Always,
         .run = RunGroupAdd},
        {.name = u"group rename"_s,
         .synopsis = u"PATH NAME"_s,
         .summary = Text(CTL_SUMMARY_GROUP_RENAME),
         .help = Text(CTL_HELPTEXT_GROUP_RENAME),
         .minArgs = 2,
         .maxArgs = 2,
         .changes = Always,
         .run = RunGroupRename},
        {.name = u"move"_s,
         .synopsis = u"TARGET... --to PATH"_s,
         .summary = Text(CTL_SUMMARY_MOVE),
         .help = Text(CTL_HELPTEXT_MOVE) + u"\n\n"_s + Text(CTL_HELP_TARGET),
         .options = {{u"to"_s, u"PATH"_s, Text(CTL_OPTTEXT_TO)}},
         .minArgs = 1,
         .maxArgs = -1,
         .changes = Always,
         .run = RunMove},
        {.name = u"remove"_s,
         .synopsis = u"TARGET..."_s,
         .summary = Text(CTL_SUMMARY_REMOVE),
         .help = Text(CTL_HELPTEXT_REMOVE) + u"\n\n"_s + Text(CTL_HELP_TARGET),
         .minArgs = 1,
         .maxArgs = -1,
         .changes = Always,
         .run = RunRemove},
        {.name = u"set"_s,
         .synopsis = u"refresh-interval|timeout [N]"_s,
         .summary = Text(CTL_SUMMARY_SET),
         .help = Text(CTL_HELPTEXT_SET),
         .minArgs = 1,
         .maxArgs = 2,
         .changes = WithValue,
         .run = RunSet},
        {.name = u"export"_s,
         .synopsis = u"FILE|-"_s,
         .summary = Text(CTL_SUMMARY_EXPORT),
         .help = Text(CTL_HELPTEXT_EXPORT),
         .minArgs = 1,
         .maxArgs = 1,
         .run = RunExport},
        {.name = u"schedule add"_s,
         .synopsis = u"NAME --at HH:MM [OPTION...] ACTION TARGET..."_s,
         .summary = Text(CTL_SUMMARY_SCHEDULE_ADD),
         .help = Text(CTL_HELPTEXT_SCHEDULE_ADD) + u"\n\n"_s + Text(CTL_HELP_TARGET),
         .options = {{u"at"_s, u"HH:MM"_s, Text(CTL_OPTTEXT_AT)},
                     {u"days"_s, u"DAYS"_s, Text(CTL_OPTTEXT_DAYS)},
                     {u"date"_s, u"YYYY-MM-DD"_s, Text(CTL_OPTTEXT_DATE)},
                     {u"except"_s, u"DATES"_s, Text(CTL_OPTTEXT_EXCEPT)},
                     input,
                     warmUp},
         .minArgs = 3,
         .maxArgs = -1,
         .changes = Always,
         .run = RunScheduleAdd},
        {.name = u"schedule list"_s,
         .summary = Text(CTL_SUMMARY_SCHEDULE_LIST),
         .help = Text(CTL_HELPTEXT_SCHEDULE_LIST),
         .minArgs = 0,
         .maxArgs = 0,
         .run = RunScheduleList},
        {.name = u"schedule remove"_s,
         .synopsis = u"NAME"_s,
         .summary = Text(CTL_SUMMARY_SCHEDULE_REMOVE),
         .help = scheduleName,
         .minArgs = 1,
         .maxArgs = 1,
         .changes = Always,
         .run = RunScheduleRemove},
        {.name = u"schedule enable"_s,
         .synopsis = u"NAME"_s,
         .summary = Text(CTL_SUMMARY_SCHEDULE_ENABLE),
         .help = scheduleName,
         .minArgs = 1,
         .maxArgs = 1,
         .changes = Always,
         .run = RunScheduleEnable},
        {.name = u"schedule disable"_s,
         .synopsis = u"NAME"_s,
         .summary = Text(CTL_SUMMARY_SCHEDULE_DISABLE),
         .help = scheduleName,
         .minArgs = 1,
         .maxArgs = 1,
         .changes = Always,
         .run = RunScheduleDisable},
        {.name = u"schedule run"_s,
         .synopsis = u"NAME"_s,
         .summary = Text(CTL_SUMMARY_SCHEDULE_RUN),
         .help = Text(CTL_HELPTEXT_SCHEDULE_RUN) + u"\n\n"_s + scheduleName,
         .minArgs = 1,
         .maxArgs = 1,
         .run = RunScheduleRun},
        {.name = u"schedule sync"_s,
         .summary = Text(CTL_SUMMARY_SCHEDULE_SYNC),
         .help = Text(CTL_HELPTEXT_SCHEDULE_SYNC),
         .minArgs = 0,
         .maxArgs = 0,
         .run = RunScheduleSync},
        {.name = u"import"_s,
         .synopsis = u"FILE|-"_s,
         .summary = Text(CTL_SUMMARY_IMPORT),
         .help = Text(CTL_HELPTEXT_IMPORT),
         .minArgs = 1,
         .maxArgs = 1,
         .changes = Always,
         .run = RunImport},
    };
}

// Each paragraph filled to 78 columns, every line after indent blanks. Lines break at blanks,
// and between wide characters, since Japanese text has no blanks; never before a closing mark.
QString Wrap(const QString &text, int indent)
{
    constexpr qsizetype kColumns = 78;
    const QString pad(indent, u' ');
    const auto noBreakBefore = [](QChar c) {
        return QStringView(u"、。，．・：；？！」』）］｝〕〉》ー).,;:!?").contains(c);
    };
    QStringList out;
    for (const QString &paragraph : text.split(u'\n')) {
        // Units that stay together: a run of narrow characters up to a blank, or one wide
        // character with the closing marks that follow it.
        QStringList units;
        QList<bool> blankBefore;
        bool blank = false;
        QString current;
        const auto flush = [&] {
            if (!current.isEmpty()) {
                units << current;
                blankBefore << blank;
                blank = false;
                current.clear();
            }
        };
        for (const QChar c : paragraph) {
            if (c == u' ') {
                flush();
                blank = true;
            } else if (DisplayWidth(QString(c)) == 2 && !noBreakBefore(c)) {
                flush();
                current = c;
            } else if (!current.isEmpty() && DisplayWidth(current.right(1)) == 2 &&
                       !noBreakBefore(c)) {
                flush();
                current = c;
            } else {
                current += c;
            }
        }
        flush();

        QString line = pad;
        qsizetype width = indent;
        for (qsizetype i = 0; i < units.size(); ++i) {
            const bool space = blankBefore[i] && width > indent;
            const qsizetype unitWidth = DisplayWidth(units[i]);
            if (width > indent && width + (space ? 1 : 0) + unitWidth > kColumns) {
                out << line;
                line = pad;
                width = indent;
            } else if (space) {
                line += u' ';
                ++width;
            }
            line += units[i];
            width += unitWidth;
        }
        out << (width > indent ? line : QString());
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
    QString text = FormatText(Text(CTL_UNKNOWN_COMMAND), {word});
    if (!closest.isEmpty() && best <= allowed)
        text += FormatText(Text(CTL_DID_YOU_MEAN),
                           {u"\""_s + closest.join(u'"' + Text(CTL_OR) + u'"') + u'"'});
    return text;
}

QString UsageText()
{
    const QString usage = FormatText(Text(CTL_HELP_USAGE), {u"COMMAND [ARGUMENTS]"_s}) + u"\n\n"_s;
    QString text =
        usage + Wrap(Text(CTL_HELP_DESCRIPTION), 0) + u'\n' + Text(CTL_HELP_COMMANDS) + u'\n';
    for (const CommandSpec &spec : Commands())
        text += u"  "_s + CommandLineOf(spec) + u'\n' + Wrap(spec.summary, 6);
    text += u"  help [COMMAND]\n"_s + Wrap(Text(CTL_HELP_HELP_SUMMARY), 6) + u'\n' +
            Wrap(Text(CTL_HELP_TARGET), 0) + u'\n' + Text(CTL_HELP_OPTIONS) + u'\n';
    const std::pair<QString, int> options[] = {
        {u"--settings FILE"_s, CTL_OPT_SETTINGS}, {u"--json"_s, CTL_OPT_JSON},
        {u"--verbose"_s, CTL_OPT_VERBOSE},        {u"-h, --help"_s, CTL_OPT_HELP},
        {u"--version"_s, CTL_OPT_VERSION},
    };
    for (const auto &[option, id] : options)
        text += u"  "_s + option + u'\n' + Wrap(Text(id), 6);
    return text + u'\n' + Wrap(Text(CTL_HELP_EXIT_STATUS), 0);
}

QString CommandHelpText(const CommandSpec &spec)
{
    QString text = FormatText(Text(CTL_HELP_USAGE), {CommandLineOf(spec)}) + u"\n\n"_s +
                   Wrap(spec.summary, 0) + u'\n' + Wrap(spec.help, 0);
    if (!spec.options.isEmpty()) {
        text += u'\n' + Text(CTL_HELP_OPTIONS) + u'\n';
        for (const CommandOption &option : spec.options) {
            const QString left = option.valueName.isEmpty()
                                     ? u"--"_s + option.name
                                     : u"--%1 %2"_s.arg(option.name, option.valueName);
            text += u"  "_s + left + u'\n' + Wrap(option.description, 6);
        }
    }
    return text;
}
