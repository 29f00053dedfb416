#pragma once

#include "res/stringids.h"
#include "res/stringtable.h"
#include "store/usermessage.h"

#include <QList>
#include <QStringList>

#include <mutex>
#include <utility>

// The sinks tests hand the core for what it tells the user (store/usermessage.h).

// Drops every message.
class SilentMessageSink : public UserMessageSink
{
public:
    void ShowMessage(const QString &, MessageIcon) override {}
};

// The number of a message text of the string table (300..399, or the password rule), 0 when
// none matches.
inline int MessageNumber(const QString &text)
{
    for (int id = 300; id < 400; ++id) {
        const QString entry = LoadString(id);
        if (!entry.isEmpty() && entry == text)
            return id;
    }
    if (text == LoadString(STR_PASSWORD_RULES))
        return STR_PASSWORD_RULES;
    // Messages with a filled-in name: compare the text before the conversion.
    for (int id : {302, 303}) {
        const QString head = LoadString(id).section(QLatin1Char('%'), 0, 0);
        if (text.startsWith(head))
            return id;
    }
    return 0;
}

// Records every message, from any thread; the Take calls hand over what was recorded and
// forget it, oldest first.
class RecordingMessageSink : public UserMessageSink
{
public:
    void ShowMessage(const QString &text, MessageIcon icon) override
    {
        std::lock_guard lock(m_lock);
        m_texts << text;
        m_icons << icon;
    }

    QStringList Texts() const
    {
        std::lock_guard lock(m_lock);
        return m_texts;
    }
    void Clear() { Take(); }

    QStringList Take()
    {
        std::lock_guard lock(m_lock);
        m_icons.clear();
        return std::exchange(m_texts, {});
    }
    // Information messages marked "(i) ".
    QStringList TakeMarked()
    {
        std::lock_guard lock(m_lock);
        QStringList marked;
        for (qsizetype i = 0; i < m_texts.size(); ++i)
            marked << (m_icons[i] == MessageIcon::Information ? u"(i) " + m_texts[i] : m_texts[i]);
        m_texts.clear();
        m_icons.clear();
        return marked;
    }
    QList<int> TakeIds()
    {
        QList<int> ids;
        for (const QString &text : Take())
            ids << MessageNumber(text);
        return ids;
    }
    QList<MessageIcon> TakeIcons()
    {
        std::lock_guard lock(m_lock);
        m_texts.clear();
        return std::exchange(m_icons, {});
    }

private:
    mutable std::mutex m_lock;
    QStringList m_texts;
    QList<MessageIcon> m_icons;
};

// A recording sink that is the core's sink for as long as it lives.
class InstalledRecordingSink : public RecordingMessageSink
{
public:
    InstalledRecordingSink() { SetUserMessageSink(this); }
    ~InstalledRecordingSink() override { SetUserMessageSink(nullptr); }
    InstalledRecordingSink(const InstalledRecordingSink &) = delete;
    InstalledRecordingSink &operator=(const InstalledRecordingSink &) = delete;
};
