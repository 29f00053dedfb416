#pragma once

#include <QObject>
#include <QPointer>

class QWidget;

// While it exists, the window takes no input from mouse, keyboard or wheel (other top-level
// windows, such as a message box, still do) and shows the busy cursor; it keeps painting.
// User-interface thread only.
class InputBlocker : public QObject
{
public:
    explicit InputBlocker(QWidget *window);
    ~InputBlocker() override;

    InputBlocker(const InputBlocker &) = delete;
    InputBlocker &operator=(const InputBlocker &) = delete;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<QWidget> m_window;
};
