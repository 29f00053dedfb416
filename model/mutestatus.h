#pragma once

#include <QString>

// Audio/video mute state of a projector as last read or as a command parameter.
class MuteStatus
{
public:
    enum Code { Unknown = -1, Off = 0, Video = 1, Audio = 2, VideoAndAudio = 3 };

    MuteStatus() = default;
    explicit MuteStatus(int code); // a value outside the codes becomes Unknown

    int GetCode() const { return m_code; }
    QString GetText() const; // "Video", "Audio", "Video & Audio"; empty when off or unknown

private:
    int m_code = Unknown;
};
