// pjlink-cli: reads or commands one PJLink projector through the project's own client.

#include "pjlink/pjlib.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

namespace {

using namespace Qt::StringLiterals;

enum ExitCode { ExitOk = 0, ExitFailed = 1, ExitUsage = 2 };

QString describeResult(int result)
{
    if (result > PJL_ERR_SOCKET_BASE)
        return u"unreachable: %1"_s.arg(
            QString::fromLocal8Bit(strerror(result - PJL_ERR_SOCKET_BASE)));
    switch (result) {
    case PJL_OK:
        return u"ok"_s;
    case PJL_ERR_UNDEFINED:
        return u"the projector does not know the command (ERR1)"_s;
    case PJL_ERR_PARAMETER:
        return u"the projector rejects the parameter (ERR2)"_s;
    case PJL_ERR_UNAVAILABLE:
        return u"not available now: standby, warm-up or cooling (ERR3)"_s;
    case PJL_ERR_FAILURE:
        return u"projector failure (ERR4)"_s;
    case PJL_ERR_BAD_ANSWER:
        return u"malformed answer from the projector"_s;
    case PJL_ERR_AUTH:
        return u"authentication failed: wrong or missing password"_s;
    case PJL_ERR_CONNECTION:
        return u"no answer: the projector timed out or closed the connection"_s;
    default:
        return u"unexpected result %1"_s.arg(result);
    }
}

QString powerText(int code)
{
    static const char *const texts[] = {"off", "on", "cooling", "warm-up"};
    return code >= 0 && code <= 3 ? QString::fromLatin1(texts[code]) : u"unknown (%1)"_s.arg(code);
}

QString inputTypeText(int type)
{
    static const char *const texts[] = {"RGB", "Video", "Digital", "Storage", "Network"};
    return type >= 1 && type <= 5 ? QString::fromLatin1(texts[type - 1]) : u"Type %1"_s.arg(type);
}

QString muteText(int value)
{
    switch (value) {
    case 11:
        return u"video"_s;
    case 21:
        return u"audio"_s;
    case 31:
        return u"video and audio"_s;
    case 30:
        return u"off"_s;
    default:
        return u"unknown (%1)"_s.arg(value);
    }
}

const char *const errorCategories[] = {"fan", "lamp", "temperature", "cover", "filter", "other"};

QString levelText(int level)
{
    static const char *const texts[] = {"ok", "warning", "error"};
    return level >= 0 && level <= 2 ? QString::fromLatin1(texts[level]) : u"level %1"_s.arg(level);
}

// Every value of a status read: a field is either a value or the failure that kept it out.
struct Field
{
    QString human;
    QJsonValue json;
};

Field failed(int result)
{
    return {u"- (%1)"_s.arg(describeResult(result)), QJsonObject{{u"error"_s, result}}};
}

Field textField(int (*read)(const char **))
{
    const char *text = nullptr;
    const int result = read(&text);
    if (result != PJL_OK)
        return failed(result);
    const QString value = QString::fromUtf8(text);
    return {value, value};
}

QList<std::pair<QString, Field>> readStatus()
{
    QList<std::pair<QString, Field>> fields;
    fields.append({u"name"_s, textField(PJLGetName)});
    fields.append({u"manufacturer"_s, textField(PJLGetInf1)});
    fields.append({u"product"_s, textField(PJLGetInf2)});
    fields.append({u"otherInfo"_s, textField(PJLGetInfo)});

    int cls = 0;
    int result = PJLGetClss(&cls);
    fields.append(
        {u"class"_s, result == PJL_OK ? Field{QString::number(cls), cls} : failed(result)});

    int power = 0;
    result = PJLGetPowerStatus(&power);
    fields.append({u"power"_s, result == PJL_OK ? Field{powerText(power),
                                                        QJsonObject{{u"code"_s, power},
                                                                    {u"text"_s, powerText(power)}}}
                                                : failed(result)});

    int type = 0, number = 0;
    result = PJLGetInput(&type, &number);
    fields.append({u"input"_s, result == PJL_OK
                                   ? Field{u"%1 %2"_s.arg(inputTypeText(type)).arg(number),
                                           QJsonObject{{u"type"_s, type}, {u"number"_s, number}}}
                                   : failed(result)});

    int mute = 0;
    result = PJLGetMuteStatus(&mute);
    fields.append({u"mute"_s, result == PJL_OK
                                  ? Field{muteText(mute), QJsonObject{{u"code"_s, mute},
                                                                      {u"text"_s, muteText(mute)}}}
                                  : failed(result)});

    const int *levels = nullptr;
    int count = 0;
    result = PJLGetErrorStatus(&levels, &count);
    if (result == PJL_OK) {
        QStringList parts;
        QJsonObject json;
        for (int i = 0; i < count && i < 6; ++i) {
            const QString category = QString::fromLatin1(errorCategories[i]);
            parts.append(u"%1 %2"_s.arg(category, levelText(levels[i])));
            json.insert(category, levels[i]);
        }
        fields.append({u"errors"_s, {parts.join(u", "_s), json}});
    } else {
        fields.append({u"errors"_s, failed(result)});
    }

    const int *pairs = nullptr;
    result = PJLGetLampStatus(&pairs, &count);
    if (result == PJL_OK) {
        QStringList parts;
        QJsonArray json;
        for (int i = 0; i < count; ++i) {
            parts.append(u"%1: %2 h, %3"_s.arg(i + 1)
                             .arg(pairs[2 * i])
                             .arg(pairs[2 * i + 1] ? u"on"_s : u"off"_s));
            json.append(QJsonObject{{u"hours"_s, pairs[2 * i]}, {u"on"_s, pairs[2 * i + 1] != 0}});
        }
        fields.append({u"lamps"_s, {parts.isEmpty() ? u"none"_s : parts.join(u"; "_s), json}});
    } else {
        fields.append({u"lamps"_s, failed(result)});
    }

    result = PJLGetAvailableInputList(&pairs, &count);
    if (result == PJL_OK) {
        QStringList parts;
        QJsonArray json;
        for (int i = 0; i < count; ++i) {
            parts.append(u"%1 %2"_s.arg(inputTypeText(pairs[2 * i])).arg(pairs[2 * i + 1]));
            json.append(QJsonObject{{u"type"_s, pairs[2 * i]}, {u"number"_s, pairs[2 * i + 1]}});
        }
        fields.append({u"inputs"_s, {parts.join(u", "_s), json}});
    } else {
        fields.append({u"inputs"_s, failed(result)});
    }
    return fields;
}

int fail(const QString &message, int code = ExitFailed)
{
    QTextStream(stderr) << "pjlink-cli: " << message << Qt::endl;
    return code;
}

int usage(const QString &message)
{
    QTextStream(stderr) << "pjlink-cli: " << message << "\nTry 'pjlink-cli --help'." << Qt::endl;
    return ExitUsage;
}

std::optional<int> parseChoice(const QString &text, const QStringList &choices)
{
    const qsizetype index = choices.indexOf(text.toLower());
    return index < 0 ? std::nullopt : std::optional<int>(int(index));
}

// A host name as DNS allows it: dot-separated labels of letters, digits and inner hyphens.
bool isHostName(const QString &text)
{
    if (text.isEmpty() || text.size() > 253)
        return false;
    for (const QString &label : text.split(u'.')) {
        if (label.isEmpty() || label.size() > 63 || label.startsWith(u'-') || label.endsWith(u'-'))
            return false;
        for (QChar c : label) {
            if (!(c.isDigit() || c == u'-' || (c.unicode() < 0x80 && c.isLetter())))
                return false;
        }
    }
    return true;
}

// What an address argument turned into: a dotted IPv4 address and the port to use.
struct Target
{
    QString address;
    int port = 0;
    int exitCode = ExitOk; // not ExitOk: message says why
    QString message;
};

Target badTarget(int exitCode, const QString &message)
{
    Target target;
    target.exitCode = exitCode;
    target.message = message;
    return target;
}

// 0.0.0.0/8 means "this host" and is never a projector; limited broadcast and multicast reach
// no single projector either.
QString refusedAddressReason(in_addr_t hostOrder)
{
    if ((hostOrder >> 24) == 0)
        return u"is not the address of a projector"_s;
    if (hostOrder == 0xFFFFFFFFu)
        return u"is the broadcast address, not the address of one projector"_s;
    if ((hostOrder >> 28) == 0xE)
        return u"is a multicast address, not the address of one projector"_s;
    return QString();
}

// HOST or HOST:PORT, where HOST is a dotted IPv4 address or a host name resolved to IPv4.
Target resolveTarget(const QString &argument, int defaultPort, bool portGiven)
{
    QString host = argument;
    int port = defaultPort;
    const qsizetype colon = argument.lastIndexOf(u':');
    if (colon >= 0) {
        if (argument.indexOf(u':') != colon)
            return badTarget(ExitUsage, u"'%1': only IPv4 addresses and host names are "
                                        "accepted"_s.arg(argument));
        host = argument.left(colon);
        bool ok = false;
        port = argument.mid(colon + 1).toInt(&ok);
        if (!ok || port < 1 || port > 65535)
            return badTarget(ExitUsage,
                             u"'%1': the port is a number from 1 to 65535"_s.arg(argument));
        if (portGiven && port != defaultPort)
            return badTarget(ExitUsage,
                             u"'%1' and --port %2 name two ports"_s.arg(argument).arg(defaultPort));
    }

    const QByteArray hostBytes = host.toLatin1();
    in_addr parsed{};
    const bool numeric = !host.isEmpty() && std::all_of(host.begin(), host.end(), [](QChar c) {
        return c.isDigit() || c == u'.';
    });
    if (numeric) {
        // inet_pton takes exactly four decimal parts; inet_aton's shorthand forms are refused.
        if (::inet_pton(AF_INET, hostBytes.constData(), &parsed) != 1)
            return badTarget(ExitUsage, u"'%1' is not an IPv4 address"_s.arg(host));
    } else {
        if (!isHostName(host))
            return badTarget(ExitUsage,
                             u"'%1' is neither an IPv4 address nor a host name"_s.arg(host));
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo *found = nullptr;
        const int error = ::getaddrinfo(hostBytes.constData(), nullptr, &hints, &found);
        if (error != 0 || !found)
            return badTarget(ExitFailed, u"'%1': no IPv4 address found (%2)"_s.arg(
                                             host, QString::fromLocal8Bit(gai_strerror(error))));
        parsed = reinterpret_cast<const sockaddr_in *>(found->ai_addr)->sin_addr;
        ::freeaddrinfo(found);
    }

    const QString reason = refusedAddressReason(ntohl(parsed.s_addr));
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &parsed, text, sizeof text);
    const QString dotted = QString::fromLatin1(text);
    if (!reason.isEmpty())
        return badTarget(ExitUsage, dotted == host ? u"%1 %2"_s.arg(host, reason)
                                                   : u"%1 (%2) %3"_s.arg(host, dotted, reason));
    Target target;
    target.address = dotted;
    target.port = port;
    return target;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"pjlink-cli"_s);
    QCoreApplication::setApplicationVersion(u"" LUMARIN_VERSION ""_s);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Reads or commands one PJLink Class 1 projector.\n\n"
        "ADDRESS is an IPv4 address or a host name, optionally followed by :PORT.\n\n"
        "Commands:\n"
        "  status                          every Class 1 value\n"
        "  power on|off\n"
        "  input TYPE NUMBER               e.g. input 3 1 (Digital 1)\n"
        "  mute video|audio|both on|off\n\n"
        "Exit status: 0 done, 1 the projector refused or did not answer, 2 usage error."_s);
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    parser.addPositionalArgument(u"address"_s, u"the projector: IPv4 address or host name, "
                                               "optionally HOST:PORT"_s);
    parser.addPositionalArgument(u"command"_s,
                                 u"status, power, input or mute, with its arguments"_s);
    const QCommandLineOption passwordOption(
        u"password"_s, u"PJLink password; \"-\" reads it from the first line of standard input"_s,
        u"P"_s);
    const QCommandLineOption portOption(u"port"_s, u"TCP port (default 4352)"_s, u"N"_s, u"4352"_s);
    const QCommandLineOption timeoutOption(
        u"timeout"_s, u"answer time-out in seconds (default 5)"_s, u"S"_s, u"5"_s);
    const QCommandLineOption jsonOption(u"json"_s, u"print one JSON object"_s);
    parser.addOptions({passwordOption, portOption, timeoutOption, jsonOption});
    // parse, not process: process ends with status 1 on an unknown option, and a script must be
    // able to tell a usage error (2) from a projector that failed (1).
    if (!parser.parse(QCoreApplication::arguments()))
        return usage(parser.errorText());
    if (parser.isSet(helpOption)) {
        QTextStream(stdout) << parser.helpText();
        return ExitOk;
    }
    if (parser.isSet(versionOption)) {
        QTextStream(stdout) << "pjlink-cli " LUMARIN_VERSION "\n";
        return ExitOk;
    }

    const QStringList args = parser.positionalArguments();
    if (args.size() < 2)
        return usage(u"usage: pjlink-cli ADDRESS[:PORT] [--password P|-] [--port N] "
                     "[--timeout S] [--json] status|power|input|mute ..."_s);
    bool ok = false;
    const int portArgument = parser.value(portOption).toInt(&ok);
    if (!ok || portArgument < 1 || portArgument > 65535)
        return usage(u"--port takes a number from 1 to 65535"_s);
    const int timeout = parser.value(timeoutOption).toInt(&ok);
    if (!ok || timeout < 1 || timeout > 60)
        return usage(u"--timeout takes a number of seconds from 1 to 60"_s);

    const QString command = args.at(1).toLower();
    const QStringList rest = args.mid(2);

    // Parse the command fully before touching the network.
    std::optional<int> powerCode, muteCode, muteOn, inputType, inputNumber;
    if (command == u"status"_s) {
        if (!rest.isEmpty())
            return usage(u"status takes no arguments"_s);
    } else if (command == u"power"_s) {
        powerCode = rest.size() == 1 ? parseChoice(rest.at(0), {u"off"_s, u"on"_s}) : std::nullopt;
        if (!powerCode)
            return usage(u"usage: power on|off"_s);
    } else if (command == u"input"_s) {
        bool typeOk = false, numberOk = false;
        if (rest.size() == 2) {
            inputType = rest.at(0).toInt(&typeOk);
            inputNumber = rest.at(1).toInt(&numberOk);
        }
        if (!typeOk || !numberOk)
            return usage(u"usage: input TYPE NUMBER (TYPE 1 RGB, 2 Video, 3 Digital, 4 Storage, "
                         "5 Network)"_s);
    } else if (command == u"mute"_s) {
        if (rest.size() == 2) {
            muteCode = parseChoice(rest.at(0), {u"video"_s, u"audio"_s, u"both"_s});
            muteOn = parseChoice(rest.at(1), {u"off"_s, u"on"_s});
        }
        if (!muteCode || !muteOn)
            return usage(u"usage: mute video|audio|both on|off"_s);
    } else {
        return usage(u"unknown command '%1' (status, power, input, mute)"_s.arg(command));
    }

    const Target target = resolveTarget(args.at(0), portArgument, parser.isSet(portOption));
    if (target.exitCode != ExitOk)
        return target.exitCode == ExitUsage ? usage(target.message)
                                            : fail(target.message, target.exitCode);
    const QString address = target.address;
    const int port = target.port;

    // "-" keeps the password out of the process list and the shell history.
    QByteArray password = parser.value(passwordOption).toLatin1();
    if (password == "-") {
        password = QTextStream(stdin).readLine().toLatin1();
        if (password.isEmpty())
            return usage(u"--password -: standard input holds no password"_s);
    }

    if (PJLInit() != PJL_OK)
        return fail(u"the PJLink client cannot start"_s);
    PJLSetRecvTimeOut(timeout);
    const QByteArray ip = address.toLatin1();
    const int connected = PJLConnectWithPassword(ip.constData(), port, password.constData());
    if (connected != PJL_OK) {
        const bool asked = PJLIsAuthorizationRequired() != 0;
        PJLDisconnect();
        PJLDestroy();
        if (connected == PJL_ERR_AUTH && asked && password.isEmpty())
            return fail(u"%1: the projector asks for a password (--password)"_s.arg(address));
        return fail(u"%1: %2"_s.arg(address, describeResult(connected)));
    }

    int exitCode = ExitOk;
    QTextStream out(stdout);
    if (command == u"status"_s) {
        const auto fields = readStatus();
        if (parser.isSet(jsonOption)) {
            QJsonObject json{{u"address"_s, address},
                             {u"port"_s, port},
                             {u"authentication"_s, PJLIsAuthorizationRequired() != 0}};
            for (const auto &[key, field] : fields)
                json.insert(key, field.json);
            out << QJsonDocument(json).toJson(QJsonDocument::Indented);
        } else {
            out << u"%1  %2:%3"_s.arg(u"address"_s.leftJustified(13), address).arg(port) << '\n';
            for (const auto &[key, field] : fields)
                out << key.leftJustified(13) << "  " << field.human << '\n';
        }
    } else {
        int result = PJL_OK;
        if (powerCode)
            result = PJLPower(*powerCode);
        else if (inputType)
            result = PJLChangeInput(*inputType, *inputNumber);
        else
            result = PJLMute(*muteCode + 1, *muteOn);
        if (parser.isSet(jsonOption)) {
            out << QJsonDocument(QJsonObject{{u"address"_s, address},
                                             {u"command"_s, args.mid(1).join(u' ')},
                                             {u"result"_s, result},
                                             {u"text"_s, describeResult(result)}})
                       .toJson(QJsonDocument::Compact)
                << '\n';
        }
        if (result != PJL_OK)
            exitCode = fail(u"%1: %2"_s.arg(address, describeResult(result)));
        else if (!parser.isSet(jsonOption))
            out << address << ": " << args.mid(1).join(u' ') << ": ok\n";
    }
    out.flush();
    PJLDisconnect();
    PJLDestroy();
    return exitCode;
}
