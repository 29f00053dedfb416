#include "store/usermessage.h"

#include "res/stringtable.h"

#include <QTextStream>

#include <atomic>

namespace {
std::atomic<UserMessageSink *> g_sink{nullptr};
}

void SetUserMessageSink(UserMessageSink *sink)
{
    g_sink.store(sink);
}

void ShowUserMessage(const QString &text, MessageIcon icon)
{
    if (UserMessageSink *sink = g_sink.load()) {
        sink->ShowMessage(text, icon);
        return;
    }
    QTextStream(stderr) << text << Qt::endl;
}

void ShowUserMessage(int textId, MessageIcon icon)
{
    ShowUserMessage(LoadString(textId), icon);
}
