#pragma once

#include "model/inputstatus.h"
#include "model/linkresult.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <utility>
#include <vector>

// What a Class 2 projector tells beyond Class 1. Read only from projectors whose class query
// answered 2; a Class 1 projector keeps it empty (result NoAnswer).
struct Class2Status
{
    struct Resolution
    {
        enum Signal { Present, NoSignal, UnknownSignal };
        Signal signal = Present;
        int width = 0;
        int height = 0;
    };

    // 0 when the last Class 2 read got every value; else the first failure's code (-1 until a
    // read, and for a read cut off). A value that could not be read stays empty, the others are
    // kept.
    int result = ResultCode(LinkResult::NoAnswer);
    QString serialNumber;
    QString softwareVersion;
    std::optional<int> filterHours;
    QStringList lampModels;
    QStringList filterModels;
    std::optional<Resolution> inputResolution;
    std::optional<Resolution> recommendedResolution;
    std::optional<bool> freeze;
    // The terminal name of each input of the Class 2 input list that has one.
    std::vector<std::pair<InputStatus, QString>> inputNames;
    // Identity values (serial number, version, models, recommended resolution, names) are read
    // once; the others at every read.
    bool identityRead = false;

    // A read was made; with result NoAnswer it was cut off (no answer, the connection lost), which
    // is a failure and not the "never read" of a Class 1 projector.
    bool attempted = false;

    bool IsRead() const { return attempted; }
    // The name of the terminal, empty when it has none.
    QString InputName(const InputStatus &input) const;
};

// "1920 x 1080", or the text for no signal or an unknown one.
QString ResolutionText(const Class2Status::Resolution &resolution);
