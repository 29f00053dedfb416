#include "app/cmessagebox.h"

#include "res/stringids.h"
#include "res/stringtable.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QPointer>
#include <QThread>

#include <atomic>
#include <mutex>
#include <utility>

namespace {

std::atomic<bool> g_answerInAdvance{false};
std::mutex g_shownLock;
QStringList g_shown; // under g_shownLock

void Record(const QString &text)
{
    const std::lock_guard lock(g_shownLock);
    g_shown.append(text);
}

} // namespace

void CMessageBox::Show(const QString &text, MessageIcon icon, QWidget *parent)
{
    Record(text);
    if (g_answerInAdvance.load())
        return;
    if (!parent)
        parent = QApplication::activeWindow();
    QMessageBox box(icon == MessageIcon::Information ? QMessageBox::Information
                                                     : QMessageBox::Warning,
                    LoadString(STR_APPLICATION_TITLE), text, QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("messageBox"));
    box.setAccessibleName(text);
    box.exec();
}

void CMessageBox::SetAnswerInAdvance(bool answer)
{
    g_answerInAdvance.store(answer);
}

QStringList CMessageBox::TakeShown()
{
    const std::lock_guard lock(g_shownLock);
    return std::exchange(g_shown, QStringList());
}

void CMessageBoxSink::ShowMessage(const QString &text, MessageIcon icon)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app)
        return;
    if (QThread::currentThread() == app->thread()) {
        CMessageBox::Show(text, icon);
        return;
    }
    QMetaObject::invokeMethod(
        app, [text, icon] { CMessageBox::Show(text, icon); }, Qt::QueuedConnection);
}
