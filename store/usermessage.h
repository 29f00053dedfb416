#pragma once

#include <QString>

// The one path by which the core tells the user something: the main window shows a message box,
// tests record, command-line tools print. Without a sink, messages go to standard error.

enum class MessageIcon { Warning, Information };

class UserMessageSink
{
public:
    virtual ~UserMessageSink() = default;
    // May be called from any thread; an implementation that shows windows must hand the message
    // to the user-interface thread itself.
    virtual void ShowMessage(const QString &text, MessageIcon icon) = 0;
};

// The sink is not owned; pass nullptr to go back to standard error.
void SetUserMessageSink(UserMessageSink *sink);
void ShowUserMessage(const QString &text, MessageIcon icon = MessageIcon::Warning);
// A numbered text of the string tables (res/stringids.h).
void ShowUserMessage(int textId, MessageIcon icon = MessageIcon::Warning);
