#include "res/stringtable.h"

#include <QFile>
#include <QLocale>

#include <atomic>
#include <mutex>

using namespace Qt::StringLiterals;

// The resource object is linked into every program that links this library; registering it here
// as well keeps the tables reachable should it ever end up inside the archive, where nothing
// would pull it in.
static void RegisterStringResources()
{
    Q_INIT_RESOURCE(strings);
}

namespace {

constexpr int kMaxId = 65535;

// Unset until the first call resolves Auto, so a program that never chooses follows the locale.
constexpr int kUnresolved = -1;
std::atomic<int> g_language{kUnresolved};

StringLanguage LanguageOfLocale()
{
    return QLocale::system().language() == QLocale::Japanese ? StringLanguage::Japanese
                                                             : StringLanguage::English;
}

StringLanguage Resolve(StringLanguage language)
{
    return language == StringLanguage::Auto ? CurrentStringLanguage() : language;
}

// Each table is parsed once, on first use, and never changes afterwards, so readers on any
// thread share it without a lock.
struct Table
{
    std::once_flag loaded;
    QMap<int, QString> entries;
};

const QMap<int, QString> &TableOf(StringLanguage language)
{
    // Never destroyed: workers may still look texts up while exit() destroys static objects.
    static Table *const english = new Table;
    static Table *const japanese = new Table;
    const bool isJapanese = Resolve(language) == StringLanguage::Japanese;
    Table &table = isJapanese ? *japanese : *english;
    std::call_once(table.loaded, [&table, isJapanese] {
        static std::once_flag registered;
        std::call_once(registered, RegisterStringResources);
        QFile file(isJapanese ? u":/strings/ja"_s : u":/strings/en"_s);
        if (!file.open(QIODevice::ReadOnly)) {
            qWarning("String table %s is missing", isJapanese ? "ja" : "en");
            return;
        }
        table.entries = ParseStringTable(file.readAll());
    });
    return table.entries;
}

// Decimal digits only (no sign, no blanks), 1 to kMaxId; 0 for anything else.
int ParseId(QStringView digits)
{
    int id = 0;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9')
            return 0;
        id = id * 10 + (c.unicode() - u'0');
        if (id > kMaxId)
            return 0;
    }
    return id;
}

QString Unescape(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\\' || i + 1 == text.size()) {
            out += c;
            continue;
        }
        const QChar next = text[i + 1];
        if (next == u'n') {
            out += u'\n';
        } else if (next == u't') {
            out += u'\t';
        } else if (next == u'\\') {
            out += u'\\';
        } else {
            // Not an escape: a lone backslash is text, as in a Windows path.
            out += c;
            continue;
        }
        ++i;
    }
    return out;
}

} // namespace

void SetStringLanguage(StringLanguage language)
{
    if (language == StringLanguage::Auto)
        language = LanguageOfLocale();
    g_language.store(static_cast<int>(language));
}

StringLanguage CurrentStringLanguage()
{
    int language = g_language.load();
    if (language == kUnresolved) {
        // A concurrent SetStringLanguage wins over this default.
        const int fromLocale = static_cast<int>(LanguageOfLocale());
        if (g_language.compare_exchange_strong(language, fromLocale))
            language = fromLocale;
    }
    return static_cast<StringLanguage>(language);
}

QString LoadString(int id)
{
    return TableOf(StringLanguage::Auto).value(id);
}

QString LoadStringFor(int id, StringLanguage language)
{
    return TableOf(language).value(id);
}

QList<int> StringTableIds(StringLanguage language)
{
    return TableOf(language).keys();
}

QString FormatText(const QString &format, const QStringList &args)
{
    QString out;
    out.reserve(format.size());
    qsizetype next = 0;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        const QChar spec = i + 1 < format.size() ? format[i + 1] : QChar();
        if (c != u'%' || (spec != u'd' && spec != u's' && spec != u'%')) {
            out += c;
            continue;
        }
        if (spec == u'%')
            out += u'%';
        else if (next < args.size())
            out += args[next++];
        else
            ++next;
        ++i;
    }
    return out;
}

QMap<int, QString> ParseStringTable(QByteArrayView utf8, QStringList *problems)
{
    const auto report = [problems](qsizetype lineNumber, const QString &what) {
        if (problems)
            *problems << u"line %1: %2"_s.arg(lineNumber).arg(what);
    };

    QMap<int, QString> entries;
    int lastId = 0;
    const QString text = QString::fromUtf8(utf8);
    const QList<QStringView> lines = QStringView(text).split(u'\n');
    for (qsizetype n = 0; n < lines.size(); ++n) {
        QStringView line = lines[n];
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const qsizetype tab = line.indexOf(u'\t');
        const int id = tab > 0 ? ParseId(line.first(tab)) : 0;
        if (id == 0) {
            report(n + 1, u"not an entry"_s);
            continue;
        }
        if (entries.contains(id)) {
            report(n + 1, u"id %1 repeated"_s.arg(id));
            continue;
        }
        if (id < lastId)
            report(n + 1, u"id %1 after %2"_s.arg(id).arg(lastId));
        lastId = std::max(lastId, id);
        entries.insert(id, Unescape(line.sliced(tab + 1)));
    }
    return entries;
}
