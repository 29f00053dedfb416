#include "model/class2status.h"

#include "res/stringids.h"
#include "res/stringtable.h"

QString Class2Status::InputName(const InputStatus &input) const
{
    for (const auto &[named, name] : inputNames) {
        if (named == input)
            return name;
    }
    return QString();
}

QString ResolutionText(const Class2Status::Resolution &resolution)
{
    switch (resolution.signal) {
    case Class2Status::Resolution::NoSignal:
        return LoadString(STR_CLASS2_NO_SIGNAL);
    case Class2Status::Resolution::UnknownSignal:
        return LoadString(STR_CLASS2_UNKNOWN_SIGNAL);
    case Class2Status::Resolution::Present:
        break;
    }
    return QString::number(resolution.width) + u" x " + QString::number(resolution.height);
}
