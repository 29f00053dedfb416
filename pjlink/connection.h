#pragma once

#include "pjlink/security.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pjlink {

// One PJLink Class 1 connection to one projector, with its own receive time-out. The calls and
// result codes are those of pjlink/pjlib.h, whose process-wide connection is one of these.
//
// Not thread-safe: one caller at a time (the owner's lock keeps it so). Arrays and texts
// handed out stay valid until the next call of the same kind, the next connect or Disconnect.
//
// After the projector refused the password (at connect or on any command) every call returns
// 10 without traffic until Disconnect or the next connect.
class Connection
{
public:
    Connection();
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    // A limit for the whole connection, greeting and reads included, however slowly each answer
    // comes: no wait runs past it, and requests after it fail with -1 at once (the connection
    // is then closed). Kept until Disconnect.
    void SetOverallDeadline(std::chrono::steady_clock::time_point deadline);

    // Seconds, kept within 1..60; a setting, not state: it survives Disconnect.
    void SetRecvTimeOut(int seconds);
    int GetRecvTimeOut() const;

    // When a connect to a projector that asks for a password learns whether it took it.
    // AtConnect: the connect sends a query of its own for that (a round trip more), and 10
    // says the password was refused. WithFirstRequest: for callers that query anyway; the
    // connect returns 0, the first request carries the digest, and 10 from it (the projector's
    // "PJLINK ERRA") is the refused password.
    enum class PasswordCheck { AtConnect, WithFirstRequest };

    // With a password and a projector that asks for one, level 2 is asked for first; a projector
    // that does not take it costs one more connection, once per address and port for the life
    // of the process, which then remembers to use MD5 there.
    int ConnectWithPassword(const char *ip, int port, const char *password,
                            PasswordCheck check = PasswordCheck::AtConnect);
    bool IsAuthorizationRequired() const;
    // The check the last connect agreed with the projector; None until a greeting was read.
    SecurityLevel GetSecurityLevel() const;
    void Disconnect(); // also forgets every answer handed out

    int Power(int code);
    int ChangeInput(int type, int number);
    int Mute(int code, int on);
    int GetPowerStatus(int *power);
    int GetInput(int *type, int *number);
    int GetMuteStatus(int *value);
    int GetErrorStatus(const int **levels, int *count);
    int GetLampStatus(const int **pairs, int *count);
    int GetAvailableInputList(const int **pairs, int *count);
    int GetName(const char **text);
    int GetInf1(const char **text);
    int GetInf2(const char **text);
    int GetInfo(const char **text);
    int GetClss(int *cls);

    // One request of class cls ('1' or '2') and the payload of its answer (blanks around it
    // removed); 2 at once for a malformed request. The Class 2 calls (pjlink/class2.h) use it.
    int Request(char cls, std::string_view name, std::string_view parameter, std::string &payload);

    // Defined in the source only.
    struct Link;
    struct Answers;

private:
    int Command(std::string_view name, std::string_view parameter);
    int QueryText(std::string_view name, std::string Answers::*storage, const char **text);

    std::unique_ptr<Link> m_link;
    std::unique_ptr<Answers> m_answers;
};

} // namespace pjlink
