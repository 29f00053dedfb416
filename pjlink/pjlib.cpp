#include "pjlink/pjlib.h"

#include "pjlink/connection.h"

#include <mutex>

namespace {

// The one connection of the C interface. Every entry point takes the lock before touching it.
struct Library
{
    std::mutex mutex;
    pjlink::Connection connection;
};

// Never destroyed: a worker may still be inside a call while exit() destroys the static objects
// (Qt ends the process that way when its display goes away). PJLDestroy closes the connection.
Library &library()
{
    static Library *const instance = new Library;
    return *instance;
}

// Runs one call on the library's connection under its lock.
template <typename Call> int Locked(Call call)
{
    Library &lib = library();
    const std::lock_guard lock(lib.mutex);
    return call(lib.connection);
}

} // namespace

extern "C" {

// Also resets the connection state. The receive time-out is a setting, not state: it is
// usually given while the settings load, before the application starts the library, and must
// survive that.
int PJLInit(void)
{
    return Locked([](pjlink::Connection &c) { return c.Disconnect(), PJL_OK; });
}

int PJLDestroy(void)
{
    return Locked([](pjlink::Connection &c) { return c.Disconnect(), PJL_OK; });
}

int PJLSetRecvTimeOut(int seconds)
{
    return Locked([seconds](pjlink::Connection &c) { return c.SetRecvTimeOut(seconds), PJL_OK; });
}

int PJLConnectWithPassword(const char *ip, int port, const char *password)
{
    return Locked([&](pjlink::Connection &c) { return c.ConnectWithPassword(ip, port, password); });
}

int PJLIsAuthorizationRequired(void)
{
    return Locked([](pjlink::Connection &c) { return c.IsAuthorizationRequired() ? 1 : 0; });
}

int PJLDisconnect(void)
{
    return Locked([](pjlink::Connection &c) { return c.Disconnect(), PJL_OK; });
}

int PJLPower(int code)
{
    return Locked([&](pjlink::Connection &c) { return c.Power(code); });
}

int PJLChangeInput(int type, int number)
{
    return Locked([&](pjlink::Connection &c) { return c.ChangeInput(type, number); });
}

int PJLMute(int code, int on)
{
    return Locked([&](pjlink::Connection &c) { return c.Mute(code, on); });
}

int PJLGetPowerStatus(int *power)
{
    return Locked([&](pjlink::Connection &c) { return c.GetPowerStatus(power); });
}

int PJLGetInput(int *type, int *number)
{
    return Locked([&](pjlink::Connection &c) { return c.GetInput(type, number); });
}

int PJLGetMuteStatus(int *value)
{
    return Locked([&](pjlink::Connection &c) { return c.GetMuteStatus(value); });
}

int PJLGetErrorStatus(const int **levels, int *count)
{
    return Locked([&](pjlink::Connection &c) { return c.GetErrorStatus(levels, count); });
}

int PJLGetLampStatus(const int **pairs, int *count)
{
    return Locked([&](pjlink::Connection &c) { return c.GetLampStatus(pairs, count); });
}

int PJLGetAvailableInputList(const int **pairs, int *count)
{
    return Locked([&](pjlink::Connection &c) { return c.GetAvailableInputList(pairs, count); });
}

int PJLGetName(const char **text)
{
    return Locked([&](pjlink::Connection &c) { return c.GetName(text); });
}

int PJLGetInf1(const char **text)
{
    return Locked([&](pjlink::Connection &c) { return c.GetInf1(text); });
}

int PJLGetInf2(const char **text)
{
    return Locked([&](pjlink::Connection &c) { return c.GetInf2(text); });
}

int PJLGetInfo(const char **text)
{
    return Locked([&](pjlink::Connection &c) { return c.GetInfo(text); });
}

int PJLGetClss(int *cls)
{
    return Locked([&](pjlink::Connection &c) { return c.GetClss(cls); });
}

} // extern "C"
