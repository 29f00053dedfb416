#pragma once

#include "store/usermessage.h"

#include <QString>
#include <QStringList>

class QWidget;

// The one way the main window shows a message box: modal, an OK button, the application title
// as caption, a warning icon unless told otherwise. User-interface thread only; messages from
// other threads come through CMessageBoxSink.
//
// Tests answer the boxes in advance: with SetAnswerInAdvance(true), Show records the message,
// does not open a window and returns at once, as if OK had been pressed.
class CMessageBox
{
public:
    static void Show(const QString &text, MessageIcon icon = MessageIcon::Warning,
                     QWidget *parent = nullptr);

    static void SetAnswerInAdvance(bool answer);
    // The texts shown (or answered in advance) since the last call, oldest first.
    static QStringList TakeShown();
};

// The core's messages (store/usermessage.h) shown through CMessageBox. A message from another
// thread is posted to the user-interface thread and shown there; the sender does not wait.
class CMessageBoxSink : public UserMessageSink
{
public:
    void ShowMessage(const QString &text, MessageIcon icon) override;
};
