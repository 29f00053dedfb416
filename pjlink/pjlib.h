#pragma once

// PJLink Class 1 client with one projector connection at a time for the whole process.
// After PJLConnectWithPassword every call addresses that projector until PJLDisconnect.
//
// Result codes:
//   0        success
//   1 .. 4   the projector answered ERR1 (undefined command), ERR2 (out of parameter),
//            ERR3 (unavailable time), ERR4 (projector failure)
//   5        the answer does not parse as the PJLink answer to the command sent
//   10       authentication failed (PJLINK ERRA, or a password is asked for and none was given);
//            after it every call answers 10 without traffic until the next connect or
//            PJLDisconnect
//   -1       no connection is open, no answer within the receive time-out, or the connection
//            broke (it is then closed)
//   10000+errno  PJLConnectWithPassword only: the TCP connection could not be made
//
// Arrays and texts handed out stay valid until the next call of the same kind or PJLDisconnect.
// One pjlink::Connection (pjlink/connection.h) serves these calls; programs that talk to
// several projectors at once use connection objects of their own. All state sits behind one
// internal lock, so callers that break the one-caller rule cannot
// corrupt memory; they only interleave their connections.

#ifdef __cplusplus
extern "C" {
#endif

enum {
    PJL_OK = 0,
    PJL_ERR_UNDEFINED = 1,
    PJL_ERR_PARAMETER = 2,
    PJL_ERR_UNAVAILABLE = 3,
    PJL_ERR_FAILURE = 4,
    PJL_ERR_BAD_ANSWER = 5,
    PJL_ERR_AUTH = 10,
    PJL_ERR_CONNECTION = -1,
    PJL_ERR_SOCKET_BASE = 10000
};

int PJLInit(void);
int PJLDestroy(void);
int PJLSetRecvTimeOut(int seconds);
int PJLConnectWithPassword(const char *ip, int port, const char *password);
int PJLIsAuthorizationRequired(void);
int PJLDisconnect(void);
int PJLPower(int code); /* 0 off, 1 on */
int PJLChangeInput(int type, int number);
int PJLMute(int code, int on); /* code 1 video, 2 audio, 3 both */
int PJLGetPowerStatus(int *power);
int PJLGetInput(int *type, int *number);
int PJLGetMuteStatus(int *value); /* 11, 21, 31, 30 as the projector says */
int PJLGetErrorStatus(const int **levels, int *count);
int PJLGetLampStatus(const int **pairs, int *count);         /* count lamps; pairs: hours, on */
int PJLGetAvailableInputList(const int **pairs, int *count); /* count inputs; pairs: type, number */
int PJLGetName(const char **text);                           /* UTF-8, NUL-terminated */
int PJLGetInf1(const char **text);
int PJLGetInf2(const char **text);
int PJLGetInfo(const char **text);
int PJLGetClss(int *cls);

#ifdef __cplusplus
}
#endif
