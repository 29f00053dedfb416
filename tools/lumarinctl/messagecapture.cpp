#include "tools/lumarinctl/messagecapture.h"

#include <QTextStream>

namespace {

void PrintToStandardError(const QString &text)
{
    QTextStream(stderr) << text << Qt::endl;
}

} // namespace

MessageCapture::MessageCapture()
{
    SetUserMessageSink(this);
}

MessageCapture::~MessageCapture()
{
    SetUserMessageSink(nullptr);
}

void MessageCapture::ShowMessage(const QString &text, MessageIcon)
{
    std::lock_guard guard(m_lock);
    if (m_holding) {
        m_held << text;
        return;
    }
    m_shown << text;
    PrintToStandardError(text);
}

void MessageCapture::Hold()
{
    std::lock_guard guard(m_lock);
    m_holding = true;
}

void MessageCapture::Release(const QStringList &dropped)
{
    std::lock_guard guard(m_lock);
    m_holding = false;
    for (const QString &text : std::as_const(m_held)) {
        if (dropped.contains(text))
            continue;
        m_shown << text;
        PrintToStandardError(text);
    }
    m_held.clear();
}

QStringList MessageCapture::GetShown() const
{
    std::lock_guard guard(m_lock);
    return m_shown;
}
