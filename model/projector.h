#pragma once

#include "model/errorstatus.h"
#include "model/inputstatus.h"
#include "model/lampstatus.h"
#include "model/linkresult.h"
#include "model/mutestatus.h"
#include "model/powerstatus.h"
#include "model/projectornode.h"
#include "model/projectorstate.h"

#include <QString>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace pjlink {
class Connection;
struct Datagram;
} // namespace pjlink

// One registered projector: its identity, the state last read from it, its own PJLink
// connection (pjlink/connection.h) and a wrapper for every PJLink call.
//
// A projector is talked to in short connection windows: Connect, reads or one command,
// Disconnect, always opened through a ConnectionWindow (model/connectionwindow.h, where the
// locking rules are written down). Inside the window, on the thread that opened it, the
// wrappers call the projector and remember value and result code. Every other caller, and the
// window's own thread once the window is closed, gets the published copy (ProjectorState) that
// Disconnect makes, read under a short lock that is never held across the network.
//
// Results are the codes of model/linkresult.h: Ok; NoAnswer also when no connection is open or a
// check failed; Unavailable when the projector cannot give or take the value now.
class Projector : public ProjectorNode
{
public:
    enum RegistrationMethod { SpecifyIPAddress = 1 };

    // registration is the letter the projector was registered with ("A" search, "M" by
    // address); it changes nothing.
    Projector(const QString &name, const QString &ipAddress, const QString &password,
              const QString &registration, const QString &path);
    // Name, address, password and path only; the copy starts unread and outside any tree.
    Projector(const Projector &other);
    Projector &operator=(const Projector &) = delete;
    ~Projector() override; // closes an open connection window

    // Identity: any thread, under the state lock.
    QString GetName() const override;
    void Rename(const QString &name) override;
    QString GetIPAddress() const;
    void SetIPAddress(const QString &ipAddress);
    QString GetPassword() const;
    void SetPassword(const QString &password);
    bool HasPassword() const;
    int GetRegistrationMethod() const { return SpecifyIPAddress; }

    // The published state with the current identity; any thread. groupPath is read from the
    // tree, so off the user-interface thread it may lag a move made meanwhile.
    ProjectorState GetState() const;

    bool IsReachable() const;
    bool IsConnected() const; // a connection window is open on some thread
    bool IsAuthenticated() const;
    bool IsAuthorizationRequired() const;
    pjlink::SecurityLevel GetSecurityLevel() const;
    int GetConnectResult() const;
    // The socket error of the last connect that could not reach the projector's port, 0
    // otherwise.
    int GetLastSocketError() const;

    // Opens a connection window (echo check, connect, name read). mode 0 connects on the
    // calling thread; a positive mode on a short-lived thread the caller waits for. Call
    // Disconnect afterwards whatever this returned; ConnectionWindow does both.
    int Connect(int mode);
    // Closes the connection and publishes what the window read.
    int Disconnect();

    // Commands: -1 at once outside a connection window.
    int SetPower(PowerStatus power);
    int ChangeInput(InputStatus input);
    int SetMute(MuteStatus mute, bool on);

    // Reads. The lists are copies of the projector's own items.
    int GetPowerStatus(PowerStatus &power);
    int GetInput(InputStatus &input);
    int GetMuteStatus(MuteStatus &mute);
    int GetErrorStatus(std::vector<ErrorStatus> &errors);
    int GetLampStatus(std::vector<LampStatus> &lamps);
    int GetAvailableInputList(std::vector<InputStatus> &inputs);
    int GetManufacturer(QString &text);
    int GetModelInfo(QString &text);
    int GetOtherInfo(QString &text);
    int GetClass(int &pjlinkClass);
    // Inside a window a non-empty PJLink name also becomes the node's name; an empty one
    // leaves the registered name as it is.
    int GetProjectorName(QString &name);

    // Class 2. Inside a window: reads the class unless it is known, and for a Class 2 projector
    // its Class 2 values (model/class2status.h), the identity values only when not read yet or
    // when everything is asked for; a Class 1 projector gets no Class 2 request. Returns the
    // class, -1 when unknown. Outside a window: the published class, no traffic.
    int ReadClass2Status(bool everything);
    Class2Status GetClass2Status() const;
    // Freeze on or off (Class 2); -1 at once outside a connection window.
    int SetFreeze(bool on);

    // The first category at level error, else the first at warning, else none; result of the
    // error read.
    int GetWorstError(std::optional<ErrorStatus> &worst);

    // A status notification from the projector (power, input, mute or errors) becomes the
    // published value at once, as if just read; any thread but one inside a window. A window
    // open meanwhile publishes its own reads when it closes. True when a value changed.
    bool ApplyNotification(const pjlink::Datagram &notification);

    // Forget everything read (values, not result codes) or set every result code. Inside a
    // window, or while no window is open (then published at once).
    void ResetStatus();
    void SetAllResults(int result);

    // The lock that keeps connection windows on this projector one at a time; ConnectionWindow
    // takes it.
    std::mutex &WindowLock() { return m_windowLock; }

    // True when the address answers an ICMP echo request.
    static bool EchoCheck(const QString &ipAddress);
    // The manufacturer read is the maker's brand, ignoring case.
    static bool IsKorvaneProjector(Projector &projector);

private:
    bool InWindow() const { return m_owner.load() == std::this_thread::get_id(); }
    // Runs read on the working state inside the window, else on the published copy.
    template <typename Read> auto ReadState(Read read) const;
    void Publish();
    void PublishIfOutsideWindow();
    std::optional<int> ConnectLibrary(int mode);
    int ReadText(int (pjlink::Connection::*call)(const char **), int ProjectorState::*result,
                 QString ProjectorState::*stored, QString &text);
    // A Class 2 projector's inputs are read with "%2" (type 6, numbers A..Z); the class must be
    // known from this window or an earlier one.
    bool ReadsClass2Inputs() const;

    // Identity, guarded by m_stateLock.
    QString m_ipAddress;
    QString m_password;

    // The working state: touched only by the thread that holds the window (or by anyone
    // while no window is open and the caller keeps windows out).
    ProjectorState m_work;
    bool m_connected = false;
    // This window read the input list or the input with "%1" before the class was known; a
    // class read that finds Class 2 reads them again with "%2".
    bool m_inputListReadAsClass1 = false;
    bool m_inputReadAsClass1 = false;
    std::unique_ptr<pjlink::Connection> m_connection;

    std::mutex m_windowLock;
    std::atomic<std::thread::id> m_owner{}; // the thread inside Connect .. Disconnect
    mutable std::mutex m_stateLock;         // identity and m_published; short holds only
    ProjectorState m_published;
};
