#pragma once

#include <QObject>
#include <QPointer>

// Counts what keeps pointers to the registry's nodes beyond the call it runs in: an open dialog,
// a running command, a drop's message. The registry is replaced (File > Open) only while none
// does, since a modal dialog's loop also delivers the events that would run the replacement.
// User-interface thread only.
class NodeHolds : public QObject
{
    Q_OBJECT

public:
    // One hold while it lives; an empty one (no counter) holds nothing.
    class Hold
    {
    public:
        Hold() = default;
        explicit Hold(NodeHolds *holds);
        ~Hold();
        Hold(Hold &&other) noexcept;
        Hold &operator=(Hold &&other) noexcept;
        Hold(const Hold &) = delete;
        Hold &operator=(const Hold &) = delete;

    private:
        void Release();
        QPointer<NodeHolds> m_holds;
    };

    using QObject::QObject;

    bool IsHeld() const { return m_count > 0; }

signals:
    // The last hold went; emitted from the hold's destructor, so receivers should be queued.
    void released();

private:
    int m_count = 0;
};
