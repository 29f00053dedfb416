#pragma once

#include "model/projectormanager.h"

#include <QString>

#include <vector>

class Projector;

// Registering projectors and changing registered ones: the rules that the registration pages,
// the password prompt, the Change Password and Change IP Address dialogs and lumarinctl share.
// Functions that answer an int answer 0 on success, else the number of the string-table
// message (res/stringids.h) that tells the user why; RegistrationMessageText gives its text.
// Projectors are talked to only inside connection windows (model/connectionwindow.h), one at a
// time. User-interface thread; the calls that connect block for up to the response wait time.

// The text of a message number these functions answer, with 314's limit filled in.
QString RegistrationMessageText(int messageId);

// The longest password a PJLink projector takes.
constexpr int kMaxPasswordLength = 32;

// 317 when the password is one that PJLink cannot carry: longer than kMaxPasswordLength, or
// holding a character other than printable ASCII (U+0020 to U+007E).
int CheckPassword(const QString &password);

// An address as typed: 315 when it is no dotted IPv4 address, or one in 0.0.0.0/8, the limited
// broadcast 255.255.255.255 or a multicast address (224.0.0.0/4); 316 when a
// registered projector has it (also the projector's own current address). On 0, normalized
// (when given) receives the address as "%d.%d.%d.%d".
int CheckNewAddress(const ProjectorManager &manager, const QString &text,
                    QString *normalized = nullptr);

// One connection window on the candidate with the address and password it carries; the connect
// result (model/linkresult.h): Ok (the candidate then carries the name it reported), AuthFailed
// when the password is missing or wrong, NoAnswer, else another failure.
int ProbeCandidate(Projector &candidate);

// The password prompt of the Auto Search page: password is tried on every candidate that is not
// authenticated yet; *accepted (when given) receives how many took it. 317 when password is
// empty or refused by CheckPassword (nothing is tried), and when no candidate took it (the
// tried password stays on the candidates).
int AuthenticateAll(const std::vector<Projector *> &candidates, const QString &password,
                    int *accepted = nullptr);

// 314 when the chosen candidates do not all fit: those whose address is not registered yet,
// added to the projectors registered, would pass MAX_PROJECTORS. Candidates registered already
// do not count (each is refused on its own, 316).
int CheckRoomFor(const ProjectorManager &manager, const std::vector<const Projector *> &chosen);

// A copy of the candidate joins the registry, in the group its path names or else the root, is
// refreshed once, and the event of that refresh goes to sink. 316 when its address is registered
// already, 317 when its password is refused by CheckPassword, 314 when MAX_PROJECTORS are
// registered. On 0, registered (when given) receives the copy, owned by the registry.
int RegisterProjector(ProjectorManager &manager, const Projector &candidate,
                      const ProjectorManager::EventSink &sink, Projector **registered = nullptr);

// RegisterProjector in its two steps, for the window, which keeps the network off its
// user-interface thread. AddCandidate: the checks and the copy joining the registry, without
// any network, on the user-interface thread; answers as RegisterProjector. RefreshRegistered:
// the first refresh of a projector AddCandidate registered, with its event given to sink; any
// thread.
int AddCandidate(ProjectorManager &manager, const Projector &candidate,
                 Projector **registered = nullptr);
void RefreshRegistered(ProjectorManager &manager, Projector &registered,
                       const ProjectorManager::EventSink &sink);

// Change Password: the new password is tried in a connection window on the registered
// projector. 0 when the projector took it (the caller shows 318); 317 when the projector refused
// it or CheckPassword does; 341 when it did not answer. On any refusal the old password is
// back. An empty password is tried like any other.
int ChangePassword(Projector &projector, const QString &newPassword);

// Change IP Address, Confirm: work (a copy of the registered projector) is tried at the typed
// address with password. 315 or 316 as CheckNewAddress (nothing is tried), 317 when the
// projector refuses the password or CheckPassword does, 311 when nothing answers. On 0 work
// carries the new address, the password and the name the projector reported; otherwise work
// keeps the address and password it had.
int ProbeNewAddress(const ProjectorManager &manager, Projector &work, const QString &address,
                    const QString &password);

// Change IP Address, OK: the confirmed address and password are given to the registered
// projector inside its connection window, which connects at once. 0 on success (the caller
// shows 319); when the connect fails meanwhile the old address and password are back, and 317
// (password refused) or 311 (no answer) tells why.
int ChangeIPAddress(Projector &projector, const QString &address, const QString &password);
