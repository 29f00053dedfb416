#include "model/projector.h"

#include "model/linkresult.h"
#include "model/linkvalues.h"
#include "pjlink/class2.h"
#include "pjlink/connection.h"
#include "pjlink/datagram.h"
#include "pjlink/pjlib.h"
#include "platform/echo.h"

#include <QByteArray>
#include <QStringDecoder>
#include <algorithm>
#include <system_error>
#include <tuple>
#include <thread>

namespace {

constexpr std::chrono::seconds kMinWindowBudget{15};
constexpr std::chrono::seconds kWindowBudgetPerTimeout{4};

// Library texts are UTF-8; a text that does not decode is not taken.
std::optional<QString> DecodeUtf8(const char *text)
{
    if (text == nullptr)
        return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString decoded = decoder.decode(QByteArrayView(text));
    if (decoder.hasError())
        return std::nullopt;
    return decoded;
}

// A terminal name as the projector sent it: bytes that are not UTF-8 (or are control bytes)
// shown as \xNN, so that a name is never lost to a bad byte and never carries one.
QString TextOrEscaped(const std::string &bytes)
{
    if (const std::optional<QString> decoded = DecodeUtf8(bytes.c_str())) {
        const bool clean = std::none_of(decoded->begin(), decoded->end(), [](QChar c) {
            return c.category() == QChar::Other_Control;
        });
        if (clean)
            return *decoded;
    }
    QString escaped;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7f && byte != '\\')
            escaped += QLatin1Char(c);
        else
            escaped += QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
    }
    return escaped;
}

// The library's mute values; -1 for anything else.
int MuteCodeOf(int value)
{
    switch (value) {
    case 11:
        return MuteStatus::Video;
    case 21:
        return MuteStatus::Audio;
    case 30:
        return MuteStatus::Off;
    case 31:
        return MuteStatus::VideoAndAudio;
    default:
        return -1;
    }
}

// Library arrays may be absent when the count is 0.
int ItemCount(const int *items, int count)
{
    return items == nullptr || count < 0 ? 0 : count;
}

// The first category at level error, else the first at warning.
std::optional<ErrorStatus> WorstOf(const std::vector<ErrorStatus> &errors)
{
    for (const int level : {ErrorStatus::Error, ErrorStatus::Warning}) {
        for (const ErrorStatus &error : errors) {
            if (error.GetLevel() == level)
                return error;
        }
    }
    return std::nullopt;
}

} // namespace

Projector::Projector(const QString &name, const QString &ipAddress, const QString &password,
                     const QString &registration, const QString &path)
    : ProjectorNode(true, name, path), m_ipAddress(ipAddress), m_password(password),
      m_connection(std::make_unique<pjlink::Connection>())
{
    Q_UNUSED(registration);
}

Projector::Projector(const Projector &other)
    : ProjectorNode(true, other.GetName(), other.GetPath()), m_ipAddress(other.GetIPAddress()),
      m_password(other.GetPassword()), m_connection(std::make_unique<pjlink::Connection>())
{}

Projector::~Projector()
{
    ResetStatus();
    if (m_connected)
        Disconnect();
}

QString Projector::GetName() const
{
    std::lock_guard guard(m_stateLock);
    return ProjectorNode::GetName();
}

void Projector::Rename(const QString &name)
{
    std::lock_guard guard(m_stateLock);
    ProjectorNode::Rename(name);
}

QString Projector::GetIPAddress() const
{
    std::lock_guard guard(m_stateLock);
    return m_ipAddress;
}

void Projector::SetIPAddress(const QString &ipAddress)
{
    std::lock_guard guard(m_stateLock);
    m_ipAddress = ipAddress;
}

QString Projector::GetPassword() const
{
    std::lock_guard guard(m_stateLock);
    return m_password;
}

void Projector::SetPassword(const QString &password)
{
    std::lock_guard guard(m_stateLock);
    m_password = password;
}

bool Projector::HasPassword() const
{
    std::lock_guard guard(m_stateLock);
    return !m_password.isEmpty();
}

ProjectorState Projector::GetState() const
{
    ProjectorState state;
    {
        std::lock_guard guard(m_stateLock);
        state = m_published;
        state.name = ProjectorNode::GetName();
        state.ipAddress = m_ipAddress;
    }
    state.groupPath = GetPath();
    return state;
}

template <typename Read> auto Projector::ReadState(Read read) const
{
    if (InWindow())
        return read(m_work);
    std::lock_guard guard(m_stateLock);
    return read(m_published);
}

bool Projector::IsReachable() const
{
    return ReadState([](const ProjectorState &s) { return s.reachable; });
}

bool Projector::IsConnected() const
{
    return m_owner.load() != std::thread::id();
}

bool Projector::IsAuthenticated() const
{
    return ReadState([](const ProjectorState &s) { return s.authenticated; });
}

bool Projector::IsAuthorizationRequired() const
{
    return ReadState([](const ProjectorState &s) { return s.authorizationRequired; });
}

pjlink::SecurityLevel Projector::GetSecurityLevel() const
{
    return ReadState([](const ProjectorState &s) { return s.security; });
}

int Projector::GetConnectResult() const
{
    return ReadState([](const ProjectorState &s) { return s.connectResult; });
}

int Projector::GetLastSocketError() const
{
    return ReadState([](const ProjectorState &s) { return s.lastSocketError; });
}

void Projector::Publish()
{
    m_work.worstError = WorstOf(m_work.errors);
    m_work.isKorvane = m_work.manufacturerResult == LinkResult::Ok &&
                       m_work.manufacturer.compare(KorvaneBrandName(), Qt::CaseInsensitive) == 0;
    // Copied outside the lock; the lock is held for a swap only.
    ProjectorState copy = m_work;
    std::lock_guard guard(m_stateLock);
    std::swap(m_published, copy);
}

void Projector::PublishIfOutsideWindow()
{
    if (!m_connected)
        Publish();
}

int Projector::Connect(int mode)
{
    m_owner.store(std::this_thread::get_id());
    m_connected = true;
    m_inputListReadAsClass1 = false;
    m_inputReadAsClass1 = false;
    m_work.reachable = false;
    m_work.authenticated = false;
    m_work.lastSocketError = 0;

    if (!EchoCheck(GetIPAddress())) {
        m_work.connectResult = -1;
        SetAllResults(-1);
        ResetStatus();
        return -1;
    }

    const std::optional<int> connected = ConnectLibrary(mode);
    if (!connected) {
        m_work.connectResult = -1;
        return -1;
    }
    m_work.connectResult = *connected;
    SetAllResults(m_work.connectResult);
    m_work.authorizationRequired = m_connection->IsAuthorizationRequired();
    if (m_work.connectResult != LinkResult::NoAnswer)
        m_work.security = m_connection->GetSecurityLevel();
    if (m_work.connectResult == LinkResult::NoAnswer) {
        ResetStatus();
        return -1;
    }
    if (m_work.connectResult != LinkResult::Ok) {
        // Typically 10: the projector is there but refuses us; what was read before stays.
        m_work.reachable = true;
        return m_work.connectResult;
    }

    // A projector found by the search arrives without a name, and one renamed on its own
    // side shows the new name from here on.
    QString name;
    const int result = GetProjectorName(name);
    SetAllResults(result);
    if (result == LinkResult::Ok) {
        m_work.reachable = true;
        m_work.authenticated = true;
        m_work.connectResult = 0;
    } else if (result == LinkResult::NoAnswer) {
        m_work.reachable = false;
        m_work.authenticated = false;
        ResetStatus();
    } else {
        // 10 here is the password refused, as at connect: what was read before stays.
        m_work.reachable = true;
        if (result == LinkResult::AuthFailed)
            m_work.connectResult = result;
    }
    return result;
}

// The connect proper; none when the thread for it could not be started.
std::optional<int> Projector::ConnectLibrary(int mode)
{
    const QByteArray ip = GetIPAddress().toLocal8Bit();
    const QByteArray password = GetPassword().toLocal8Bit();
    const int port = GetLinkPort();
    m_connection->SetRecvTimeOut(GetLinkRecvTimeOut());
    // However slowly a projector answers each request, its whole window ends within this, so
    // one projector cannot hold a refresh cycle.
    const auto budget =
        std::max(kMinWindowBudget, kWindowBudgetPerTimeout * m_connection->GetRecvTimeOut());
    m_connection->SetOverallDeadline(std::chrono::steady_clock::now() + budget);
    int result = -1;
    const auto connect = [&] {
        // Connect reads the name at once: that read tells whether the password was taken.
        result = m_connection->ConnectWithPassword(
            ip.data(), port, password.data(), pjlink::Connection::PasswordCheck::WithFirstRequest);
    };

    if (mode > 0) {
        std::thread thread;
        try {
            thread = std::thread(connect);
        } catch (const std::system_error &) {
            return std::nullopt;
        }
        thread.join();
    } else {
        connect();
    }

    if (result > PJL_ERR_SOCKET_BASE) {
        m_work.lastSocketError = result - PJL_ERR_SOCKET_BASE;
        return -1;
    }
    return result;
}

int Projector::Disconnect()
{
    if (m_connected) {
        m_connection->Disconnect();
        m_connected = false;
        Publish();
    }
    m_owner.store(std::thread::id());
    return 0;
}

int Projector::SetPower(PowerStatus power)
{
    if (!InWindow() || !m_connected)
        return -1;
    m_work.powerResult = m_connection->Power(power.GetCode());
    return m_work.powerResult;
}

int Projector::ChangeInput(InputStatus input)
{
    if (!InWindow() || !m_connected)
        return -1;
    // An input that Class 1 can name goes as "%1INPT" to every projector, as it always has.
    if (input.NeedsClass2())
        m_work.inputResult =
            ReadsClass2Inputs()
                ? pjlink::class2::ChangeInput(*m_connection, {input.GetType(), input.GetNumber()})
                : ResultCode(LinkResult::OutOfParameter);
    else
        m_work.inputResult = m_connection->ChangeInput(input.GetType(), input.GetNumber());
    if (m_work.inputResult == LinkResult::Unavailable)
        m_work.input.SetType(InputStatus::Unavailable);
    return m_work.inputResult;
}

int Projector::SetMute(MuteStatus mute, bool on)
{
    if (!InWindow() || !m_connected)
        return -1;
    m_work.muteResult = m_connection->Mute(mute.GetCode(), on ? 1 : 0);
    if (m_work.muteResult == LinkResult::Unavailable)
        m_work.mute = MuteStatus(MuteStatus::Off);
    return m_work.muteResult;
}

int Projector::GetPowerStatus(PowerStatus &power)
{
    if (!InWindow()) {
        std::lock_guard guard(m_stateLock);
        power = m_published.powerResult == LinkResult::Ok ? m_published.power : PowerStatus();
        return m_published.powerResult;
    }
    int code = -1;
    m_work.powerResult = m_connection->GetPowerStatus(&code);
    if (m_work.powerResult == LinkResult::Ok) {
        m_work.power = PowerStatus(code);
        power = m_work.power;
    }
    return m_work.powerResult;
}

int Projector::GetInput(InputStatus &input)
{
    if (!InWindow()) {
        std::lock_guard guard(m_stateLock);
        const ProjectorState &s = m_published;
        if (s.inputResult != LinkResult::Ok && s.input.GetType() != InputStatus::Unavailable)
            input = InputStatus();
        else
            input = s.input;
        return s.inputResult;
    }
    int type = -1;
    int number = -1;
    m_inputReadAsClass1 = !ReadsClass2Inputs();
    if (!m_inputReadAsClass1) {
        pjlink::class2::Input read{-1, -1};
        m_work.inputResult = pjlink::class2::GetInput(*m_connection, read);
        std::tie(type, number) = read;
        // A class remembered from an earlier window may be stale (another projector now).
        m_inputReadAsClass1 = m_work.inputResult == LinkResult::UndefinedCommand;
    }
    if (m_inputReadAsClass1)
        m_work.inputResult = m_connection->GetInput(&type, &number);
    if (m_work.inputResult == LinkResult::Ok) {
        m_work.input = InputStatus(type, number);
    } else if (m_work.inputResult == LinkResult::Unavailable &&
               m_work.connectResult == LinkResult::Ok) {
        // No input now (standby, warm-up): a state to show, not a failure.
        m_work.input = InputStatus(InputStatus::Unavailable, number);
        m_work.inputResult = 0;
    }
    if (m_work.inputResult == LinkResult::Ok)
        input = m_work.input;
    return m_work.inputResult;
}

int Projector::GetMuteStatus(MuteStatus &mute)
{
    if (!InWindow()) {
        std::lock_guard guard(m_stateLock);
        const ProjectorState &s = m_published;
        mute = s.muteResult == LinkResult::Ok || s.mute.GetCode() == MuteStatus::Off ? s.mute
                                                                                     : MuteStatus();
        return s.muteResult;
    }
    int value = -1;
    const int result = m_connection->GetMuteStatus(&value);
    if (result == LinkResult::Ok) {
        const int code = MuteCodeOf(value);
        m_work.muteResult = code == -1 ? -1 : 0;
        if (code != -1)
            m_work.mute = MuteStatus(code);
    } else if (result == LinkResult::Unavailable && m_work.connectResult == LinkResult::Ok) {
        m_work.mute = MuteStatus(MuteStatus::Off);
        m_work.muteResult = 0;
    } else {
        m_work.muteResult = result;
    }
    if (m_work.muteResult == LinkResult::Ok)
        mute = m_work.mute;
    return m_work.muteResult;
}

int Projector::GetErrorStatus(std::vector<ErrorStatus> &errors)
{
    if (!InWindow()) {
        std::lock_guard guard(m_stateLock);
        if (m_published.errorResult == LinkResult::Ok)
            errors = m_published.errors;
        return m_published.errorResult;
    }
    const int *levels = nullptr;
    int count = 0;
    m_work.errorResult = m_connection->GetErrorStatus(&levels, &count);
    if (m_work.errorResult == LinkResult::Ok) {
        m_work.errors.clear();
        for (int i = 0; i < ItemCount(levels, count); ++i)
            m_work.errors.emplace_back(i, levels[i]);
        errors = m_work.errors;
    }
    return m_work.errorResult;
}

int Projector::GetLampStatus(std::vector<LampStatus> &lamps)
{
    if (!InWindow()) {
        std::lock_guard guard(m_stateLock);
        if (m_published.lampResult == LinkResult::Ok)
            lamps = m_published.lamps;
        return m_published.lampResult;
    }
    const int *pairs = nullptr;
    int count = 0;
    m_work.lampResult = m_connection->GetLampStatus(&pairs, &count);
    if (m_work.lampResult == LinkResult::Ok) {
        m_work.lamps.clear();
        for (int i = 0; i < ItemCount(pairs, count); ++i)
            m_work.lamps.emplace_back(pairs[2 * i + 1], pairs[2 * i]);
        lamps = m_work.lamps;
    }
    return m_work.lampResult;
}

int Projector::GetAvailableInputList(std::vector<InputStatus> &inputs)
{
    if (!InWindow()) {
        std::lock_guard guard(m_stateLock);
        if (m_published.inputListResult == LinkResult::Ok)
            inputs = m_published.inputs;
        return m_published.inputListResult;
    }
    std::vector<pjlink::class2::Input> read;
    m_inputListReadAsClass1 = !ReadsClass2Inputs();
    if (!m_inputListReadAsClass1) {
        m_work.inputListResult = pjlink::class2::GetInputList(*m_connection, read);
        // A class remembered from an earlier window may be stale (another projector now).
        m_inputListReadAsClass1 = m_work.inputListResult == LinkResult::UndefinedCommand;
    }
    if (m_inputListReadAsClass1) {
        const int *pairs = nullptr;
        int count = 0;
        m_work.inputListResult = m_connection->GetAvailableInputList(&pairs, &count);
        read.clear();
        for (int i = 0; i < ItemCount(pairs, count); ++i)
            read.emplace_back(pairs[2 * i], pairs[2 * i + 1]);
    }
    if (m_work.inputListResult == LinkResult::Ok) {
        m_work.inputs.clear();
        for (const auto &[type, number] : read) {
            // Number 0 is no input a user could switch to.
            if (number != 0)
                m_work.inputs.emplace_back(type, number);
        }
        inputs = m_work.inputs;
    }
    return m_work.inputListResult;
}

int Projector::GetManufacturer(QString &text)
{
    return ReadText(&pjlink::Connection::GetInf1, &ProjectorState::manufacturerResult,
                    &ProjectorState::manufacturer, text);
}

int Projector::GetModelInfo(QString &text)
{
    return ReadText(&pjlink::Connection::GetInf2, &ProjectorState::modelResult,
                    &ProjectorState::modelInfo, text);
}

int Projector::GetOtherInfo(QString &text)
{
    return ReadText(&pjlink::Connection::GetInfo, &ProjectorState::otherInfoResult,
                    &ProjectorState::otherInfo, text);
}

int Projector::ReadText(int (pjlink::Connection::*call)(const char **), int ProjectorState::*result,
                        QString ProjectorState::*stored, QString &text)
{
    if (!InWindow()) {
        std::lock_guard guard(m_stateLock);
        if (m_published.*result == LinkResult::Ok)
            text = m_published.*stored;
        return m_published.*result;
    }
    const char *raw = nullptr;
    m_work.*result = ((*m_connection).*call)(&raw);
    if (m_work.*result == LinkResult::Ok) {
        if (std::optional<QString> decoded = DecodeUtf8(raw))
            m_work.*stored = *decoded;
        text = m_work.*stored;
    }
    return m_work.*result;
}

int Projector::GetClass(int &pjlinkClass)
{
    if (!InWindow()) {
        std::lock_guard guard(m_stateLock);
        if (m_published.classResult == LinkResult::Ok)
            pjlinkClass = m_published.pjlinkClass;
        return m_published.classResult;
    }
    int value = -1;
    m_work.classResult = m_connection->GetClss(&value);
    if (m_work.classResult == LinkResult::Ok) {
        m_work.pjlinkClass = value;
        pjlinkClass = value;
        // What "%1" told of the inputs leaves out type 6 and the letters; "%2" tells them all.
        if (ReadsClass2Inputs()) {
            std::vector<InputStatus> inputs;
            InputStatus input;
            if (m_inputListReadAsClass1)
                GetAvailableInputList(inputs);
            if (m_inputReadAsClass1)
                GetInput(input);
        }
    }
    return m_work.classResult;
}

bool Projector::ReadsClass2Inputs() const
{
    return m_work.classResult == LinkResult::Ok && m_work.pjlinkClass >= 2;
}

int Projector::ReadClass2Status(bool everything)
{
    if (!InWindow()) {
        std::lock_guard guard(m_stateLock);
        return m_published.classResult == LinkResult::Ok ? m_published.pjlinkClass : -1;
    }
    int pjlinkClass = -1;
    if (m_work.classResult == LinkResult::Ok && m_work.pjlinkClass >= 0)
        pjlinkClass = m_work.pjlinkClass;
    else if (GetClass(pjlinkClass) != LinkResult::Ok)
        return -1;
    if (pjlinkClass < 2)
        return pjlinkClass;

    namespace class2 = pjlink::class2;
    Class2Status &status = m_work.class2;
    pjlink::Connection &link = *m_connection;
    int first = 0;
    bool lost = false;
    // A failed read leaves its value empty; the first failure is the status's result.
    const auto note = [&first, &lost](int result) {
        if (first == LinkResult::Ok)
            first = result;
        lost = lost || result == LinkResult::NoAnswer;
        return result == LinkResult::Ok;
    };
    const auto toResolution = [](const pjlink::ResolutionAnswer &answer) {
        Class2Status::Resolution resolution;
        resolution.signal = static_cast<Class2Status::Resolution::Signal>(answer.signal);
        resolution.width = answer.width;
        resolution.height = answer.height;
        return resolution;
    };
    const auto toTexts = [](const std::vector<std::string> &texts) {
        QStringList list;
        for (const std::string &text : texts)
            list.append(QString::fromLatin1(text));
        return list;
    };

    int hours = 0;
    status.filterHours.reset();
    if (note(class2::GetFilterHours(link, hours)))
        status.filterHours = hours;
    pjlink::ResolutionAnswer resolution;
    status.inputResolution.reset();
    if (note(class2::GetInputResolution(link, resolution)))
        status.inputResolution = toResolution(resolution);
    bool frozen = false;
    status.freeze.reset();
    if (note(class2::GetFreeze(link, frozen)))
        status.freeze = frozen;

    if (everything || !status.identityRead) {
        std::string text;
        status.serialNumber.clear();
        if (note(class2::GetSerialNumber(link, text)))
            status.serialNumber = DecodeUtf8(text.c_str()).value_or(QString());
        status.softwareVersion.clear();
        if (note(class2::GetSoftwareVersion(link, text)))
            status.softwareVersion = DecodeUtf8(text.c_str()).value_or(QString());
        std::vector<std::string> models;
        status.lampModels.clear();
        if (note(class2::GetLampModels(link, models)))
            status.lampModels = toTexts(models);
        status.filterModels.clear();
        if (note(class2::GetFilterModels(link, models)))
            status.filterModels = toTexts(models);
        status.recommendedResolution.reset();
        if (note(class2::GetRecommendedResolution(link, resolution)))
            status.recommendedResolution = toResolution(resolution);
        status.inputNames.clear();
        std::vector<class2::Input> inputs;
        if (note(class2::GetInputList(link, inputs))) {
            // The list is the projector's, so bounded by its answer's length (136 bytes).
            for (const class2::Input &input : inputs) {
                std::string name;
                if (note(class2::GetInputName(link, input, name)) && !name.empty())
                    status.inputNames.emplace_back(InputStatus(input.first, input.second),
                                                   TextOrEscaped(name));
            }
        }
        // A dropped connection leaves them for the next read to try again.
        status.identityRead = !lost;
    }
    status.result = first;
    status.attempted = true;
    return pjlinkClass;
}

Class2Status Projector::GetClass2Status() const
{
    return ReadState([](const ProjectorState &s) { return s.class2; });
}

int Projector::SetFreeze(bool on)
{
    if (!InWindow())
        return -1;
    const int result = pjlink::class2::Freeze(*m_connection, on);
    if (result == LinkResult::Ok)
        m_work.class2.freeze = on;
    return result;
}

int Projector::GetProjectorName(QString &name)
{
    if (!InWindow()) {
        name = GetName();
        return 0;
    }
    const char *raw = nullptr;
    const int result = m_connection->GetName(&raw);
    if (result == LinkResult::Ok) {
        // A projector without a PJLink name keeps the name it was registered with.
        std::optional<QString> decoded = DecodeUtf8(raw);
        if (decoded && !decoded->isEmpty())
            Rename(*decoded);
        name = GetName();
    }
    return result;
}

int Projector::GetWorstError(std::optional<ErrorStatus> &worst)
{
    std::vector<ErrorStatus> errors;
    const int result = GetErrorStatus(errors);
    if (result != LinkResult::Ok)
        return result;
    worst = WorstOf(errors);
    return 0;
}

namespace {

// Applies one notification to a state; true when a shown value changed.
bool ApplyTo(ProjectorState &s, const pjlink::Datagram &d)
{
    switch (d.kind) {
    case pjlink::Datagram::Power: {
        const bool changed = s.powerResult != LinkResult::Ok || s.power.GetCode() != d.value;
        s.power = PowerStatus(d.value);
        s.powerResult = 0;
        // Outside "on" there is no input and no mute, as a read would find (ERR3).
        if (d.value != PowerStatus::On) {
            s.input.SetType(InputStatus::Unavailable);
            s.inputResult = 0;
            s.mute = MuteStatus(MuteStatus::Off);
            s.muteResult = 0;
        }
        return changed;
    }
    case pjlink::Datagram::Input: {
        const bool changed = s.inputResult != LinkResult::Ok || s.input.GetType() != d.inputType ||
                             s.input.GetNumber() != d.inputNumber;
        s.input = InputStatus(d.inputType, d.inputNumber);
        s.inputResult = 0;
        return changed;
    }
    case pjlink::Datagram::Mute: {
        const int code = MuteCodeOf(d.value);
        const bool changed = s.muteResult != LinkResult::Ok || s.mute.GetCode() != code;
        s.mute = MuteStatus(code);
        s.muteResult = 0;
        return changed;
    }
    case pjlink::Datagram::Errors: {
        std::vector<ErrorStatus> errors;
        for (int i = 0; i < int(d.levels.size()); ++i)
            errors.emplace_back(i, d.levels[size_t(i)]);
        bool changed = s.errorResult != LinkResult::Ok || s.errors.size() != errors.size();
        for (size_t i = 0; !changed && i < errors.size(); ++i)
            changed = s.errors[i].GetLevel() != errors[i].GetLevel();
        s.errors = std::move(errors);
        s.errorResult = 0;
        s.worstError = WorstOf(s.errors);
        return changed;
    }
    default:
        return false;
    }
}

} // namespace

bool Projector::ApplyNotification(const pjlink::Datagram &notification)
{
    // With no window open the working state takes the value too, so that the next window
    // that only sends a command does not publish the old one again.
    std::unique_lock window(m_windowLock, std::try_to_lock);
    if (window.owns_lock() && !m_connected)
        ApplyTo(m_work, notification);
    std::lock_guard guard(m_stateLock);
    return ApplyTo(m_published, notification);
}

void Projector::ResetStatus()
{
    m_work.power = PowerStatus();
    m_work.input = InputStatus();
    m_work.mute = MuteStatus();
    m_work.pjlinkClass = -1;
    m_work.class2 = Class2Status();
    m_work.manufacturer.clear();
    m_work.modelInfo.clear();
    m_work.otherInfo.clear();
    m_work.inputs.clear();
    m_work.errors.clear();
    m_work.lamps.clear();
    PublishIfOutsideWindow();
}

void Projector::SetAllResults(int result)
{
    for (int ProjectorState::*code :
         {&ProjectorState::powerResult, &ProjectorState::inputResult, &ProjectorState::muteResult,
          &ProjectorState::inputListResult, &ProjectorState::errorResult,
          &ProjectorState::lampResult, &ProjectorState::manufacturerResult,
          &ProjectorState::modelResult, &ProjectorState::otherInfoResult,
          &ProjectorState::classResult})
        m_work.*code = result;
    PublishIfOutsideWindow();
}

bool Projector::EchoCheck(const QString &ipAddress)
{
    return platform::EchoCheck(ipAddress, GetLinkPort());
}

bool Projector::IsKorvaneProjector(Projector &projector)
{
    QString manufacturer;
    projector.GetManufacturer(manufacturer);
    return manufacturer.compare(KorvaneBrandName(), Qt::CaseInsensitive) == 0;
}
