#include "model/linkvalues.h"

#include <algorithm>
#include <atomic>

using namespace Qt::StringLiterals;

namespace {

std::atomic<int> s_port{0};
std::atomic<int> s_recvTimeOut{5};

} // namespace

void SetLinkPort(int port)
{
    s_port.store(port);
}

int GetLinkPort()
{
    return s_port.load();
}

void SetLinkRecvTimeOut(int seconds)
{
    s_recvTimeOut.store(std::clamp(seconds, 1, 60));
}

int GetLinkRecvTimeOut()
{
    return s_recvTimeOut.load();
}

const QString &KorvaneBrandName()
{
    static const QString brand = u"korvane"_s;
    return brand;
}
