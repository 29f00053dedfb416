#include "model/registration.h"

#include "model/automaticsearch.h"
#include "model/connectionwindow.h"
#include "model/limits.h"
#include "model/linkresult.h"
#include "model/projector.h"
#include "model/projectormanager.h"
#include "res/stringids.h"
#include "res/stringtable.h"

#include <algorithm>
#include <memory>

QString RegistrationMessageText(int messageId)
{
    if (messageId == MSG_REGISTRATION_FULL)
        return FormatText(LoadString(messageId), {QString::number(MAX_PROJECTORS)});
    return LoadString(messageId);
}

int CheckPassword(const QString &password)
{
    // What a PJLink projector can be given: at most 32 characters, printable ASCII. Anything
    // else could never authenticate, and would be stored for nothing.
    if (password.size() > kMaxPasswordLength)
        return MSG_PASSWORD_INVALID;
    for (const QChar c : password) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7E)
            return MSG_PASSWORD_INVALID;
    }
    return 0;
}

int CheckNewAddress(const ProjectorManager &manager, const QString &text, QString *normalized)
{
    // 0.0.0.0/8 means "this host"; the limited broadcast and multicast reach no single
    // projector, and a connect there must never be tried.
    const std::optional<quint32> parsed = ParseIPv4(text.trimmed());
    if (!parsed || (*parsed >> 24) == 0 || *parsed == 0xFFFFFFFFu || (*parsed >> 28) == 0xE)
        return MSG_ADDRESS_INVALID;
    const QString address = FormatIPv4(*parsed);
    if (manager.IsIPRegistered(address))
        return MSG_ADDRESS_REGISTERED;
    if (normalized)
        *normalized = address;
    return 0;
}

int CheckRoomFor(const ProjectorManager &manager, const std::vector<const Projector *> &chosen)
{
    const auto unregistered = std::count_if(chosen.begin(), chosen.end(), [&](const Projector *p) {
        return !manager.IsIPRegistered(p->GetIPAddress());
    });
    return manager.GetProjectorCount() + unregistered > MAX_PROJECTORS ? MSG_REGISTRATION_FULL : 0;
}

int ProbeCandidate(Projector &candidate)
{
    ConnectionWindow window(candidate, 0);
    return window.GetResult();
}

int AuthenticateAll(const std::vector<Projector *> &candidates, const QString &password,
                    int *accepted)
{
    if (accepted)
        *accepted = 0;
    if (password.isEmpty() || CheckPassword(password) != 0)
        return MSG_PASSWORD_INVALID;
    int count = 0;
    for (Projector *candidate : candidates) {
        if (!candidate || candidate->IsAuthenticated())
            continue;
        candidate->SetPassword(password);
        if (ProbeCandidate(*candidate) == 0)
            ++count;
    }
    if (accepted)
        *accepted = count;
    return count == 0 ? MSG_PASSWORD_INVALID : 0;
}

int AddCandidate(ProjectorManager &manager, const Projector &candidate, Projector **registered)
{
    if (manager.IsIPRegistered(candidate.GetIPAddress()))
        return MSG_ADDRESS_REGISTERED;
    if (CheckPassword(candidate.GetPassword()) != 0)
        return MSG_PASSWORD_INVALID;
    Projector *added = manager.AddProjector(std::make_unique<Projector>(candidate));
    if (!added)
        return MSG_REGISTRATION_FULL;
    if (registered)
        *registered = added;
    return 0;
}

void RefreshRegistered(ProjectorManager &manager, Projector &registered,
                       const ProjectorManager::EventSink &sink)
{
    if (std::unique_ptr<ActionEvent> event = manager.UpdateStatus(&registered, true))
        sink(std::move(event));
}

int RegisterProjector(ProjectorManager &manager, const Projector &candidate,
                      const ProjectorManager::EventSink &sink, Projector **registered)
{
    Projector *added = nullptr;
    if (const int refusal = AddCandidate(manager, candidate, &added))
        return refusal;
    RefreshRegistered(manager, *added, sink);
    if (registered)
        *registered = added;
    return 0;
}

int ChangePassword(Projector &projector, const QString &newPassword)
{
    if (CheckPassword(newPassword) != 0)
        return MSG_PASSWORD_INVALID;
    // The password changes inside the window, so that no refresh connects with a password that
    // is about to be taken back.
    std::unique_lock lock(projector.WindowLock());
    const QString oldPassword = projector.GetPassword();
    projector.SetPassword(newPassword);
    ConnectionWindow window(std::move(lock), projector, 0);
    const int result = window.GetResult();
    if (result == LinkResult::Ok)
        return 0;
    projector.SetPassword(oldPassword);
    return result == LinkResult::AuthFailed ? MSG_PASSWORD_INVALID : MSG_FAILED_TO_COMMUNICATE;
}

int ProbeNewAddress(const ProjectorManager &manager, Projector &work, const QString &address,
                    const QString &password)
{
    QString normalized;
    if (const int refusal = CheckNewAddress(manager, address, &normalized))
        return refusal;
    if (CheckPassword(password) != 0)
        return MSG_PASSWORD_INVALID;
    const QString oldAddress = work.GetIPAddress();
    const QString oldPassword = work.GetPassword();
    work.SetIPAddress(normalized);
    work.SetPassword(password);
    const int result = ProbeCandidate(work);
    if (result == LinkResult::Ok)
        return 0;
    work.SetIPAddress(oldAddress);
    work.SetPassword(oldPassword);
    return result == LinkResult::AuthFailed ? MSG_PASSWORD_INVALID : MSG_NO_PROJECTOR_FOUND;
}

int ChangeIPAddress(Projector &projector, const QString &address, const QString &password)
{
    if (CheckPassword(password) != 0)
        return MSG_PASSWORD_INVALID;
    std::unique_lock lock(projector.WindowLock());
    const QString oldAddress = projector.GetIPAddress();
    const QString oldPassword = projector.GetPassword();
    projector.SetIPAddress(address);
    projector.SetPassword(password);
    ConnectionWindow window(std::move(lock), projector, 0);
    const int result = window.GetResult();
    if (result == LinkResult::Ok)
        return 0;
    projector.SetIPAddress(oldAddress);
    projector.SetPassword(oldPassword);
    return result == LinkResult::AuthFailed ? MSG_PASSWORD_INVALID : MSG_NO_PROJECTOR_FOUND;
}
