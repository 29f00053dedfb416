#pragma once

#include "store/usermessage.h"

#include <QStringList>

#include <mutex>

// The message sink of lumarinctl: every message goes to standard error and is kept for the
// JSON report. While holding, messages are only kept, so that those of the document's creation
// can be sifted before they are shown. Installs itself for its lifetime.
class MessageCapture : public UserMessageSink
{
public:
    MessageCapture();
    ~MessageCapture() override;

    MessageCapture(const MessageCapture &) = delete;
    MessageCapture &operator=(const MessageCapture &) = delete;

    void ShowMessage(const QString &text, MessageIcon icon) override;

    void Hold();
    // Shows the held messages, except those equal to any text of dropped, and stops holding.
    void Release(const QStringList &dropped);

    QStringList GetShown() const;

private:
    mutable std::mutex m_lock; // messages may come from worker threads
    bool m_holding = false;
    QStringList m_held;
    QStringList m_shown;
};
