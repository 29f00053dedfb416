#include "model/projector.h"

#include "model/projectormanager.h"
#include "pjlink/pjlib.h"
#include "platform/echo.h"

#include <QByteArray>
#include <QStringDecoder>
#include <system_error>
#include <thread>

namespace {

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

} // namespace

Projector::Projector(const QString &name, const QString &ipAddress, const QString &password,
                     const QString &registration, const QString &path)
    : ProjectorNode(true, name, path), m_ipAddress(ipAddress), m_password(password)
{
    Q_UNUSED(registration);
}

Projector::Projector(const Projector &other)
    : ProjectorNode(true, other.GetName(), other.GetPath()), m_ipAddress(other.m_ipAddress),
      m_password(other.m_password)
{}

Projector::~Projector()
{
    ResetStatus();
    if (m_connected)
        Disconnect();
}

int Projector::Connect(int mode)
{
    m_connected = true;
    m_reachable = false;
    m_authenticated = false;
    m_lastSocketError = 0;

    if (!EchoCheck(m_ipAddress)) {
        m_connectResult = -1;
        SetAllResults(-1);
        ResetStatus();
        return -1;
    }

    const std::optional<int> connected = ConnectLibrary(mode);
    if (!connected) {
        m_connectResult = -1;
        return -1;
    }
    m_connectResult = *connected;
    SetAllResults(m_connectResult);
    m_authorizationRequired = PJLIsAuthorizationRequired() != 0;
    if (m_connectResult == -1) {
        ResetStatus();
        return -1;
    }
    if (m_connectResult != 0) {
        // Typically 10: the projector is there but refuses us; what was read before stays.
        m_reachable = true;
        return m_connectResult;
    }

    // A projector found by the search arrives without a name, and one renamed on its own
    // side shows the new name from here on.
    QString name;
    const int result = GetProjectorName(name);
    SetAllResults(result);
    if (result == 0) {
        m_reachable = true;
        m_authenticated = true;
        m_connectResult = 0;
    } else if (result == -1) {
        m_reachable = false;
        m_authenticated = false;
        ResetStatus();
    } else {
        m_reachable = true;
    }
    return result;
}

// The library connect proper; none when the thread for it could not be started.
std::optional<int> Projector::ConnectLibrary(int mode)
{
    const QByteArray ip = m_ipAddress.toLocal8Bit();
    const QByteArray password = m_password.toLocal8Bit();
    const int port = ProjectorManager::GetPort();
    int result = -1;
    const auto connect = [&] { result = PJLConnectWithPassword(ip.data(), port, password.data()); };

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
        m_lastSocketError = result - PJL_ERR_SOCKET_BASE;
        return -1;
    }
    return result;
}

int Projector::Disconnect()
{
    // Only our own window: the library's connection may belong to another projector by now.
    if (m_connected)
        PJLDisconnect();
    m_connected = false;
    return 0;
}

int Projector::SetPower(PowerStatus power)
{
    if (!m_connected)
        return -1;
    m_powerResult = PJLPower(power.GetCode());
    return m_powerResult;
}

int Projector::ChangeInput(InputStatus input)
{
    if (!m_connected)
        return -1;
    m_inputResult = PJLChangeInput(input.GetType(), input.GetNumber());
    if (m_inputResult == PJL_ERR_UNAVAILABLE)
        m_input.SetType(InputStatus::Unavailable);
    return m_inputResult;
}

int Projector::SetMute(MuteStatus mute, bool on)
{
    if (!m_connected)
        return -1;
    m_muteResult = PJLMute(mute.GetCode(), on ? 1 : 0);
    if (m_muteResult == PJL_ERR_UNAVAILABLE)
        m_mute = MuteStatus(MuteStatus::Off);
    return m_muteResult;
}

int Projector::GetPowerStatus(PowerStatus &power)
{
    if (m_connected) {
        int code = -1;
        m_powerResult = PJLGetPowerStatus(&code);
        if (m_powerResult == 0)
            m_power = PowerStatus(code);
    }
    if (m_powerResult == 0)
        power = m_power;
    else if (!m_connected)
        power = PowerStatus();
    return m_powerResult;
}

int Projector::GetInput(InputStatus &input)
{
    if (m_connected) {
        int type = -1;
        int number = -1;
        m_inputResult = PJLGetInput(&type, &number);
        if (m_inputResult == 0) {
            m_input = InputStatus(type, number);
        } else if (m_inputResult == PJL_ERR_UNAVAILABLE && m_connectResult == 0) {
            // No input now (standby, warm-up): a state to show, not a failure.
            m_input = InputStatus(InputStatus::Unavailable, number);
            m_inputResult = 0;
        }
        if (m_inputResult == 0)
            input = m_input;
        return m_inputResult;
    }
    if (m_inputResult != 0 && m_input.GetType() != InputStatus::Unavailable)
        input = InputStatus();
    else
        input = m_input;
    return m_inputResult;
}

int Projector::GetMuteStatus(MuteStatus &mute)
{
    if (m_connected) {
        int value = -1;
        const int result = PJLGetMuteStatus(&value);
        if (result == 0) {
            const int code = MuteCodeOf(value);
            m_muteResult = code == -1 ? -1 : 0;
            if (code != -1)
                m_mute = MuteStatus(code);
        } else if (result == PJL_ERR_UNAVAILABLE && m_connectResult == 0) {
            m_mute = MuteStatus(MuteStatus::Off);
            m_muteResult = 0;
        } else {
            m_muteResult = result;
        }
        if (m_muteResult == 0)
            mute = m_mute;
        return m_muteResult;
    }
    if (m_muteResult == 0 || m_mute.GetCode() == MuteStatus::Off)
        mute = m_mute;
    else
        mute = MuteStatus();
    return m_muteResult;
}

int Projector::GetErrorStatus(std::vector<ErrorStatus> &errors)
{
    if (m_connected) {
        const int *levels = nullptr;
        int count = 0;
        m_errorResult = PJLGetErrorStatus(&levels, &count);
        if (m_errorResult == 0) {
            m_errors.clear();
            for (int i = 0; i < ItemCount(levels, count); ++i)
                m_errors.emplace_back(i, levels[i]);
        }
    }
    if (m_errorResult == 0)
        errors = m_errors;
    return m_errorResult;
}

int Projector::GetLampStatus(std::vector<LampStatus> &lamps)
{
    if (m_connected) {
        const int *pairs = nullptr;
        int count = 0;
        m_lampResult = PJLGetLampStatus(&pairs, &count);
        if (m_lampResult == 0) {
            m_lamps.clear();
            for (int i = 0; i < ItemCount(pairs, count); ++i)
                m_lamps.emplace_back(pairs[2 * i + 1], pairs[2 * i]);
        }
    }
    if (m_lampResult == 0)
        lamps = m_lamps;
    return m_lampResult;
}

int Projector::GetAvailableInputList(std::vector<InputStatus> &inputs)
{
    if (m_connected) {
        const int *pairs = nullptr;
        int count = 0;
        m_inputListResult = PJLGetAvailableInputList(&pairs, &count);
        if (m_inputListResult == 0) {
            m_inputs.clear();
            for (int i = 0; i < ItemCount(pairs, count); ++i) {
                // Number 0 is no input a user could switch to.
                if (pairs[2 * i + 1] != 0)
                    m_inputs.emplace_back(pairs[2 * i], pairs[2 * i + 1]);
            }
        }
    }
    if (m_inputListResult == 0)
        inputs = m_inputs;
    return m_inputListResult;
}

int Projector::GetManufacturer(QString &text)
{
    return ReadText(PJLGetInf1, m_manufacturerResult, m_manufacturer, text);
}

int Projector::GetModelInfo(QString &text)
{
    return ReadText(PJLGetInf2, m_modelResult, m_modelInfo, text);
}

int Projector::GetOtherInfo(QString &text)
{
    return ReadText(PJLGetInfo, m_otherInfoResult, m_otherInfo, text);
}

int Projector::ReadText(int (*call)(const char **), int &result, QString &stored, QString &text)
{
    if (m_connected) {
        const char *raw = nullptr;
        result = call(&raw);
        if (result == 0) {
            if (std::optional<QString> decoded = DecodeUtf8(raw))
                stored = *decoded;
        }
    }
    if (result == 0)
        text = stored;
    return result;
}

int Projector::GetClass(int &pjlinkClass)
{
    if (m_connected) {
        int value = -1;
        m_classResult = PJLGetClss(&value);
        if (m_classResult == 0)
            m_class = value;
    }
    if (m_classResult == 0)
        pjlinkClass = m_class;
    return m_classResult;
}

int Projector::GetProjectorName(QString &name)
{
    if (!m_connected) {
        name = GetName();
        return 0;
    }
    const char *raw = nullptr;
    const int result = PJLGetName(&raw);
    if (result == 0) {
        if (std::optional<QString> decoded = DecodeUtf8(raw))
            Rename(*decoded);
        name = GetName();
    }
    return result;
}

int Projector::GetWorstError(std::optional<ErrorStatus> &worst)
{
    std::vector<ErrorStatus> errors;
    const int result = GetErrorStatus(errors);
    if (result != 0)
        return result;
    worst.reset();
    for (const int level : {ErrorStatus::Error, ErrorStatus::Warning}) {
        for (const ErrorStatus &error : errors) {
            if (error.GetLevel() == level) {
                worst = error;
                return 0;
            }
        }
    }
    return 0;
}

void Projector::ResetStatus()
{
    m_power = PowerStatus();
    m_input = InputStatus();
    m_mute = MuteStatus();
    m_class = -1;
    m_manufacturer.clear();
    m_modelInfo.clear();
    m_otherInfo.clear();
    m_inputs.clear();
    m_errors.clear();
    m_lamps.clear();
}

void Projector::SetAllResults(int result)
{
    for (int *code :
         {&m_powerResult, &m_inputResult, &m_muteResult, &m_inputListResult, &m_errorResult,
          &m_lampResult, &m_manufacturerResult, &m_modelResult, &m_otherInfoResult, &m_classResult})
        *code = result;
}

bool Projector::EchoCheck(const QString &ipAddress)
{
    return platform::EchoCheck(ipAddress, ProjectorManager::GetPort());
}

bool Projector::IsKorvaneProjector(Projector &projector)
{
    QString manufacturer;
    projector.GetManufacturer(manufacturer);
    return manufacturer.compare(ProjectorManager::KorvaneBrand(), Qt::CaseInsensitive) == 0;
}
