#include "platform/profile.h"

#include <QFile>

namespace platform {

namespace {

bool IsBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

bool IsLineEnd(QChar c)
{
    return c == u'\n' || c == u'\r';
}

// Simple lower-casing, one code unit for one, so that offsets into the folded text are
// offsets into the original too.
QString Fold(QStringView text)
{
    QString folded(text.size(), Qt::Uninitialized);
    QChar *out = folded.data();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (u < 0x80)
            out[i] = (u >= u'A' && u <= u'Z') ? QChar(char16_t(u + 0x20)) : QChar(u);
        else
            out[i] = QChar(u).toLower();
    }
    return folded;
}

} // namespace

ProfileFile::ProfileFile(const QByteArray &content)
{
    QByteArrayView bytes(content);
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    m_text = QString::fromUtf8(bytes);
    Parse();
}

bool ProfileFile::Load(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *this = ProfileFile();
        return false;
    }
    *this = ProfileFile(file.readAll());
    return true;
}

void ProfileFile::Parse()
{
    m_folded = Fold(m_text);
    m_sections.clear();
    m_sectionIndex.clear();

    const QStringView folded(m_folded);
    const QStringView text(m_text);
    const QChar *data = m_text.constData();
    const qsizetype size = m_text.size();

    // Keys before the first header belong to a nameless section. A later header repeating an
    // earlier name starts a section that no lookup reaches: its keys are skipped (current -1).
    m_sections.emplace_back();
    m_sectionIndex.insert(folded.first(0), 0);
    qsizetype current = 0;

    qsizetype lineStart = 0;
    while (lineStart < size) {
        qsizetype lineEnd = lineStart;
        while (lineEnd < size && !IsLineEnd(data[lineEnd]))
            ++lineEnd;
        qsizetype b = lineStart;
        qsizetype e = lineEnd;
        lineStart = lineEnd + 1;

        while (b < e && IsBlank(data[b]))
            ++b;
        while (e > b && IsBlank(data[e - 1]))
            --e;
        if (b == e)
            continue;

        if (data[b] == u'[') {
            const qsizetype close = text.sliced(b, e - b).lastIndexOf(u']');
            // A '[' without ']' is no header; such a line is read as a key like any other.
            if (close > 0) {
                qsizetype nb = b + 1;
                qsizetype ne = b + close;
                while (nb < ne && IsBlank(data[nb]))
                    ++nb;
                while (ne > nb && IsBlank(data[ne - 1]))
                    --ne;
                const QStringView name = folded.sliced(nb, ne - nb);
                if (m_sectionIndex.contains(name)) {
                    current = -1;
                } else {
                    current = static_cast<qsizetype>(m_sections.size());
                    m_sections.emplace_back();
                    m_sectionIndex.insert(name, current);
                }
                continue;
            }
        }
        if (current < 0)
            continue;

        const qsizetype eq = text.sliced(b, e - b).indexOf(u'=');
        qsizetype ke = eq < 0 ? e : b + eq;
        while (ke > b && IsBlank(data[ke - 1]))
            --ke;
        std::optional<QStringView> value;
        if (eq >= 0) {
            qsizetype vb = b + eq + 1;
            while (vb < e && IsBlank(data[vb]))
                ++vb;
            value = text.sliced(vb, e - vb);
        }
        auto &keys = m_sections[static_cast<size_t>(current)];
        const QStringView key = folded.sliced(b, ke - b);
        if (!keys.contains(key))
            keys.insert(key, value);
    }
}

QString ProfileFile::GetString(QStringView section, QStringView key,
                               const QString &defaultValue) const
{
    const auto s = m_sectionIndex.constFind(Fold(section));
    if (s != m_sectionIndex.cend()) {
        const auto &keys = m_sections[static_cast<size_t>(*s)];
        const auto k = keys.constFind(Fold(key));
        if (k != keys.cend() && k->has_value())
            return k->value().left(MAX_VALUE_LENGTH).toString();
    }
    return defaultValue.left(MAX_VALUE_LENGTH);
}

bool ProfileFile::HasSection(QStringView section) const
{
    const QString folded = Fold(section);
    return !folded.isEmpty() && m_sectionIndex.contains(QStringView(folded));
}

QString GetProfileString(const QString &file, QStringView section, QStringView key,
                         const QString &defaultValue)
{
    ProfileFile profile;
    profile.Load(file);
    return profile.GetString(section, key, defaultValue);
}

} // namespace platform
