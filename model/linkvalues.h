#pragma once

#include <QString>

// The PJLink values every projector connection uses, set while the settings load and read by
// any thread: the TCP port (0 until the settings are loaded, then 4352) and the response wait
// time in seconds (1..60, 5 until set).
void SetLinkPort(int port);
int GetLinkPort();
void SetLinkRecvTimeOut(int seconds);
int GetLinkRecvTimeOut();

// The maker whose equipment names its RGB9 input "Camera" (lower case).
const QString &KorvaneBrandName();
