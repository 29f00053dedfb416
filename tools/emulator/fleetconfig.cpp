#include "tools/emulator/fleetconfig.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <algorithm>
#include <cmath>
#include <iterator>

using namespace Qt::StringLiterals;

namespace {

bool readInt(const QJsonValue &v, int *out)
{
    if (!v.isDouble())
        return false;
    const double d = v.toDouble();
    if (d != std::floor(d) || std::abs(d) > 2147483647.0)
        return false;
    *out = static_cast<int>(d);
    return true;
}

bool readPair(const QJsonValue &v, std::pair<int, int> *out)
{
    const QJsonArray a = v.toArray();
    return v.isArray() && a.size() == 2 && readInt(a[0], &out->first) &&
           readInt(a[1], &out->second);
}

bool readPairs(const QJsonValue &v, std::vector<std::pair<int, int>> *out)
{
    if (!v.isArray())
        return false;
    out->clear();
    for (const QJsonValue &item : v.toArray()) {
        std::pair<int, int> p;
        if (!readPair(item, &p))
            return false;
        out->push_back(p);
    }
    return true;
}

bool readString(const QJsonValue &v, std::string *out)
{
    if (!v.isString())
        return false;
    *out = v.toString().toStdString();
    return true;
}

bool readBool(const QJsonValue &v, bool *out)
{
    if (!v.isBool())
        return false;
    *out = v.toBool();
    return true;
}

bool readErrors(const QJsonValue &v, std::array<int, 6> *out)
{
    const QJsonArray a = v.toArray();
    if (!v.isArray() || a.size() != 6)
        return false;
    for (int i = 0; i < 6; ++i) {
        if (!readInt(a[i], &(*out)[static_cast<std::size_t>(i)]))
            return false;
    }
    return true;
}

bool readSecurity(const QJsonValue &v, EmulatorConfig::Security *out)
{
    using S = EmulatorConfig::Security;
    static const std::pair<QLatin1StringView, S> kinds[] = {{"md5"_L1, S::Md5},
                                                            {"md5-close"_L1, S::Md5Close},
                                                            {"md5-silent"_L1, S::Md5Silent},
                                                            {"sha256"_L1, S::Sha256},
                                                            {"sha256+md5"_L1, S::Sha256Md5}};
    for (const auto &[name, kind] : kinds) {
        if (v.isString() && v.toString() == name) {
            *out = kind;
            return true;
        }
    }
    return false;
}

bool readRawAnswers(const QJsonValue &v, std::map<std::string, std::string> *out)
{
    if (!v.isObject())
        return false;
    const QJsonObject o = v.toObject();
    out->clear();
    for (auto it = o.begin(); it != o.end(); ++it) {
        if (!it.value().isString())
            return false;
        (*out)[it.key().toStdString()] = it.value().toString().toStdString();
    }
    return true;
}

bool readRefusals(const QJsonValue &v, std::map<std::string, int> *out)
{
    if (!v.isObject())
        return false;
    const QJsonObject o = v.toObject();
    out->clear();
    for (auto it = o.begin(); it != o.end(); ++it) {
        int code = 0;
        if (!readInt(it.value(), &code) || code < 1 || code > 4)
            return false;
        (*out)[it.key().toStdString()] = code;
    }
    return true;
}

bool readCommandSet(const QJsonValue &v, std::set<std::string> *out)
{
    if (!v.isArray())
        return false;
    out->clear();
    for (const QJsonValue &command : v.toArray()) {
        if (!command.isString())
            return false;
        out->insert(command.toString().toStdString());
    }
    return true;
}

// {"31": "HDMI 1", "3A": "HDBaseT"}: input code (type digit, number 1-9 or A-Z) to name.
bool readInputNames(const QJsonValue &v, std::map<std::pair<int, int>, std::string> *out)
{
    if (!v.isObject())
        return false;
    const QJsonObject o = v.toObject();
    out->clear();
    for (auto it = o.begin(); it != o.end(); ++it) {
        const QString code = it.key();
        if (code.size() != 2 || !it.value().isString() || code[0] < u'1' || code[0] > u'6')
            return false;
        const QChar n = code[1];
        const int number = n >= u'1' && n <= u'9'   ? n.unicode() - u'0'
                           : n >= u'A' && n <= u'Z' ? n.unicode() - u'A' + 10
                                                    : 0;
        if (number == 0)
            return false;
        (*out)[{code[0].unicode() - u'0', number}] = it.value().toString().toStdString();
    }
    return true;
}

// Every key of a projector, with what it means: the one list --help shows and readField accepts.
const std::pair<const char *, const char *> kKeys[] = {
    {"address", "IPv4 address to serve (127.0.0.0/8, or a namespace's); default 127.0.0.1"},
    {"port", "TCP port; default 4352, 0 picks a free one"},
    {"password", "PJLink password; empty (default): no security, greeting \"PJLINK 0\""},
    {"security", "with a password, how \"PJLINK 2\" is taken: md5 (answered PJLINK ERRA), "
                 "md5-close, md5-silent, sha256 (level 2 only), sha256+md5"},
    {"name", "NAME, UTF-8, up to 64 bytes"},
    {"manufacturer", "INF1"},
    {"product", "INF2"},
    {"otherInfo", "INFO"},
    {"class", "CLSS: 1 or 2; Class 2 answers the %2 commands and speaks UDP"},
    {"serialNumber", "SNUM (Class 2)"},
    {"softwareVersion", "SVER (Class 2)"},
    {"inputNames",
     "INNM (Class 2): {\"31\": \"HDMI 1\", \"6A\": \"Logo\"}, input code to terminal name"},
    {"filterHours", "FILT (Class 2); -1: no filter, ERR1"},
    {"lampModels", "RLMP (Class 2): models separated by blanks"},
    {"filterModels", "RFIL (Class 2): models separated by blanks"},
    {"inputResolution", "IRES (Class 2): \"1920x1080\", \"-\" no signal, \"*\" unknown signal"},
    {"recommendedResolution", "RRES (Class 2)"},
    {"freeze", "FREZ (Class 2): true or false"},
    {"power", "POWR: 0 off, 1 on, 2 cooling, 3 warm-up"},
    {"warmUpMs", "how long warm-up lasts after power on"},
    {"coolingMs", "how long cooling lasts after power off"},
    {"inputs", "INST: [[type, number], ...], types 1-6, numbers 1-35 (10-35 are A-Z, Class 2)"},
    {"input", "INPT: the current input, [type, number]"},
    {"mute", "AVMT: 11, 21, 31 or 30"},
    {"errors", "ERST: six levels (fan, lamp, temperature, cover, filter, other), 0-2 each"},
    {"lamps", "LAMP: [[hours, 0], ...]; the on flag follows power; []: no lamp, ERR1"},
    {"idleTimeoutMs", "an idle connection is closed after this long"},
    {"macAddress", "MAC address of ACKN and LKUP (Class 2), as 00:00:5E:00:53:01"},
    {"answerSearch", "answer %2SRCH (Class 2): true or false"},
    {"udpPort", "UDP port for %2SRCH and where ACKN goes (Class 2)"},
    {"notifyPort", "controller UDP port that notifications go to (Class 2)"},
    {"listening", "false: nothing listens, connects are refused"},
    {"answerDelayMs", "wait before every answer and the greeting"},
    {"dropAfterCommands", "close the connection after this many commands (0: after the greeting)"},
    {"malformedAnswers", "answers that break the PJLink framing: true or false"},
    {"nulPadding", "NUL bytes sent after the CR of every line (0-256)"},
    {"tcpLinkUp", "send an unasked %2LKUP on TCP before each connection's first answer"},
    {"repeatedAnswers",
     "{\"INNM\": 10000}: command to copies of its answer sent after it (0-100000)"},
    {"rawAnswers", "{\"POWR\": \"%1POWR=7\"}: command to the exact answer line sent instead; "
                   "\"PJLINK\" replaces the greeting"},
    {"refusedSets", "{\"POWR\": 3}: set commands answered ERR1-ERR4 without effect"},
    {"droppedSets", "[\"INPT\"]: set commands that close the connection instead of an answer"},
};

bool readRepeats(const QJsonValue &v, std::map<std::string, int> *out)
{
    if (!v.isObject())
        return false;
    const QJsonObject o = v.toObject();
    out->clear();
    for (auto it = o.begin(); it != o.end(); ++it) {
        int copies = 0;
        if (!readInt(it.value(), &copies) || copies < 0 || copies > 100000)
            return false;
        (*out)[it.key().toStdString()] = copies;
    }
    return true;
}

// Empty on success, else what is wrong with key.
QString readField(const QString &key, const QJsonValue &v, EmulatorConfig &c)
{
    const bool documented = std::any_of(std::begin(kKeys), std::end(kKeys), [&](const auto &k) {
        return key == QLatin1StringView(k.first);
    });
    if (!documented)
        return u"unknown key \"%1\""_s.arg(key);
    bool ok = false;
    if (key == "address"_L1)
        ok = readString(v, &c.address);
    else if (key == "port"_L1)
        ok = readInt(v, &c.port);
    else if (key == "password"_L1)
        ok = readString(v, &c.password);
    else if (key == "security"_L1)
        ok = readSecurity(v, &c.security);
    else if (key == "name"_L1)
        ok = readString(v, &c.name);
    else if (key == "manufacturer"_L1)
        ok = readString(v, &c.manufacturer);
    else if (key == "product"_L1)
        ok = readString(v, &c.product);
    else if (key == "otherInfo"_L1)
        ok = readString(v, &c.otherInfo);
    else if (key == "class"_L1)
        ok = readInt(v, &c.pjlinkClass);
    else if (key == "serialNumber"_L1)
        ok = readString(v, &c.serialNumber);
    else if (key == "softwareVersion"_L1)
        ok = readString(v, &c.softwareVersion);
    else if (key == "inputNames"_L1)
        ok = readInputNames(v, &c.inputNames);
    else if (key == "filterHours"_L1)
        ok = readInt(v, &c.filterHours);
    else if (key == "lampModels"_L1)
        ok = readString(v, &c.lampModels);
    else if (key == "filterModels"_L1)
        ok = readString(v, &c.filterModels);
    else if (key == "inputResolution"_L1)
        ok = readString(v, &c.inputResolution);
    else if (key == "recommendedResolution"_L1)
        ok = readString(v, &c.recommendedResolution);
    else if (key == "freeze"_L1)
        ok = readBool(v, &c.freeze);
    else if (key == "power"_L1)
        ok = readInt(v, &c.power);
    else if (key == "warmUpMs"_L1)
        ok = readInt(v, &c.warmUpMs);
    else if (key == "coolingMs"_L1)
        ok = readInt(v, &c.coolingMs);
    else if (key == "inputs"_L1)
        ok = readPairs(v, &c.inputs);
    else if (key == "input"_L1)
        ok = readPair(v, &c.input);
    else if (key == "mute"_L1)
        ok = readInt(v, &c.mute);
    else if (key == "errors"_L1)
        ok = readErrors(v, &c.errors);
    else if (key == "lamps"_L1)
        ok = readPairs(v, &c.lamps);
    else if (key == "idleTimeoutMs"_L1)
        ok = readInt(v, &c.idleTimeoutMs);
    else if (key == "macAddress"_L1)
        ok = readString(v, &c.macAddress);
    else if (key == "answerSearch"_L1)
        ok = readBool(v, &c.answerSearch);
    else if (key == "udpPort"_L1)
        ok = readInt(v, &c.udpPort) && c.udpPort > 0 && c.udpPort < 65536;
    else if (key == "notifyPort"_L1)
        ok = readInt(v, &c.notifyPort) && c.notifyPort > 0 && c.notifyPort < 65536;
    else if (key == "listening"_L1)
        ok = readBool(v, &c.listening);
    else if (key == "answerDelayMs"_L1)
        ok = readInt(v, &c.answerDelayMs);
    else if (key == "dropAfterCommands"_L1)
        ok = readInt(v, &c.dropAfterCommands);
    else if (key == "malformedAnswers"_L1)
        ok = readBool(v, &c.malformedAnswers);
    else if (key == "nulPadding"_L1)
        ok = readInt(v, &c.nulPadding) && c.nulPadding >= 0 && c.nulPadding <= 256;
    else if (key == "tcpLinkUp"_L1)
        ok = readBool(v, &c.tcpLinkUp);
    else if (key == "repeatedAnswers"_L1)
        ok = readRepeats(v, &c.repeatedAnswers);
    else if (key == "rawAnswers"_L1)
        ok = readRawAnswers(v, &c.rawAnswers);
    else if (key == "refusedSets"_L1)
        ok = readRefusals(v, &c.refusedSets);
    else if (key == "droppedSets"_L1)
        ok = readCommandSet(v, &c.droppedSets);
    else
        return u"unknown key \"%1\""_s.arg(key);
    return ok ? QString() : u"bad value for \"%1\""_s.arg(key);
}

} // namespace

bool parseFleetConfig(const QByteArray &json, std::vector<EmulatorConfig> *fleet, QString *error)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (doc.isNull())
        return fail(parseError.errorString());
    QJsonArray list;
    if (doc.isArray())
        list = doc.array();
    else if (doc.object().value("projectors"_L1).isArray())
        list = doc.object().value("projectors"_L1).toArray();
    else
        return fail(u"expected an array of projectors, or {\"projectors\": [...]}"_s);

    std::vector<EmulatorConfig> result;
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (!list[i].isObject())
            return fail(u"projector %1: not an object"_s.arg(i + 1));
        EmulatorConfig c;
        const QJsonObject o = list[i].toObject();
        for (auto it = o.begin(); it != o.end(); ++it) {
            const QString why = readField(it.key(), it.value(), c);
            if (!why.isEmpty())
                return fail(u"projector %1: %2"_s.arg(i + 1).arg(why));
        }
        result.push_back(std::move(c));
    }
    *fleet = std::move(result);
    return true;
}

QString fleetConfigHelp()
{
    QString help = u"The file is a JSON array of projectors, or {\"projectors\": [...]}; each "
                   u"projector is an object with these keys, all optional:\n"_s;
    for (const auto &[key, meaning] : kKeys)
        help += u"  "_s + QString::fromLatin1(key).leftJustified(22) + u' ' +
                QString::fromUtf8(meaning) + u'\n';
    return help;
}

QStringList fleetConfigKeys()
{
    QStringList keys;
    for (const auto &entry : kKeys)
        keys << QString::fromLatin1(entry.first);
    return keys;
}
