#pragma once

#include "model/errorstatus.h"
#include "model/inputstatus.h"
#include "model/lampstatus.h"
#include "model/mutestatus.h"
#include "model/powerstatus.h"
#include "model/projectornode.h"

#include <QString>
#include <optional>
#include <vector>

// One registered projector: its identity, the state last read from it, and a wrapper for every
// call of the PJLink library (pjlink/pjlib.h).
//
// The library holds one connection for the whole process, so a projector is talked to only in
// a short window: Connect, reads or one command, Disconnect. Inside the window the wrappers call
// the library and remember value and result code; outside it they answer from what was
// remembered, without touching the library.
//
// Results: 0 success; -1 no connection open, no answer, or a failed check; 3 the projector
// cannot give or take the value now; 10 authentication failed; else the library's code.
//
// A Projector has no lock. Its callers serialize every connection window across all projectors
// (the refresh worker and the search each hold theirs), and nothing else may touch a projector
// while a window is open.
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

    const QString &GetIPAddress() const { return m_ipAddress; }
    void SetIPAddress(const QString &ipAddress) { m_ipAddress = ipAddress; }
    const QString &GetPassword() const { return m_password; }
    void SetPassword(const QString &password) { m_password = password; }
    bool HasPassword() const { return !m_password.isEmpty(); }
    int GetRegistrationMethod() const { return SpecifyIPAddress; }
    bool IsReachable() const { return m_reachable; }
    bool IsConnected() const { return m_connected; }
    bool IsAuthenticated() const { return m_authenticated; }
    bool IsAuthorizationRequired() const { return m_authorizationRequired; }
    int GetConnectResult() const { return m_connectResult; }
    // The socket error of the last library connect that could not reach the projector's
    // port, 0 otherwise.
    int GetLastSocketError() const { return m_lastSocketError; }

    // Opens a connection window (echo check, library connect, name read). mode 0 connects on
    // the calling thread; a positive mode on a short-lived thread the caller waits for.
    // Call Disconnect afterwards whatever this returned.
    int Connect(int mode);
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
    // Inside a window the projector's own name also becomes the node's name.
    int GetProjectorName(QString &name);

    // The first category at level error, else the first at warning, else none; result of the
    // error read.
    int GetWorstError(std::optional<ErrorStatus> &worst);

    // Forgets everything read (values, not result codes).
    void ResetStatus();
    void SetAllResults(int result);

    // True when the address answers an ICMP echo request.
    static bool EchoCheck(const QString &ipAddress);
    // The manufacturer read is the maker's brand, ignoring case.
    static bool IsKorvaneProjector(Projector &projector);

private:
    std::optional<int> ConnectLibrary(int mode);
    int ReadText(int (*call)(const char **), int &result, QString &stored, QString &text);

    QString m_ipAddress;
    QString m_password;
    bool m_reachable = false;
    bool m_connected = false;
    int m_connectResult = -1;
    int m_lastSocketError = 0;
    PowerStatus m_power;
    InputStatus m_input;
    MuteStatus m_mute;
    std::vector<InputStatus> m_inputs;

    // A command and the matching read share one code.
    int m_powerResult = -1;
    int m_inputResult = -1;
    int m_muteResult = -1;
    int m_inputListResult = -1;
    int m_errorResult = -1;
    int m_lampResult = -1;
    int m_manufacturerResult = -1;
    int m_modelResult = -1;
    int m_otherInfoResult = -1;
    int m_classResult = -1;

    int m_class = -1;
    QString m_manufacturer;
    QString m_modelInfo;
    QString m_otherInfo;
    bool m_authenticated = false;
    std::vector<ErrorStatus> m_errors;
    std::vector<LampStatus> m_lamps;
    bool m_authorizationRequired = false;
};
