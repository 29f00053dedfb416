#include "store/prometheusmetrics.h"

#include "model/linkresult.h"

#include <QStringList>

#include <functional>
#include <iterator>

using namespace Qt::StringLiterals;

namespace {

// The categories of the error status, in the order of its six digits.
constexpr const char16_t *kCategories[] = {u"fan",   u"lamp",   u"temperature",
                                           u"cover", u"filter", u"other"};

constexpr const char16_t *kInputTypes[] = {u"rgb",     u"video",   u"digital",
                                           u"storage", u"network", u"internal"};

QString Number(double value)
{
    return QString::number(value, 'g', 15);
}

class Writer
{
public:
    explicit Writer(const MetricsRead &read) : m_read(read) {}

    void Family(const QString &name, const QString &type, const QString &help)
    {
        m_name = name;
        m_text += u"# HELP "_s + name + u' ' + help + u'\n';
        m_text += u"# TYPE "_s + name + u' ' + type + u'\n';
    }

    // A family of per-projector values, which a scrape never reads from the projector itself.
    void ProjectorFamily(const QString &name, const QString &type, const QString &help)
    {
        Family(name, type,
               help +
                   u" As of the last background read of the register, not read at scrape time."_s);
    }

    // A sample of the current family; labels after "register" as name="value" pairs.
    void Sample(const QStringList &labels, double value)
    {
        m_text += m_name + u"{register=\""_s + EscapeLabelValue(m_read.registerName) + u'"';
        for (int i = 0; i + 1 < labels.size(); i += 2)
            m_text += u',' + labels[i] + u"=\""_s + EscapeLabelValue(labels[i + 1]) + u'"';
        m_text += u"} "_s + Number(value) + u'\n';
    }

    // One sample per projector for which value gives one.
    void PerProjector(const std::function<void(const ProjectorState &, const QStringList &)> &each)
    {
        for (const ProjectorState &state : m_read.projectors)
            each(state, {u"name"_s, state.name, u"address"_s, state.ipAddress, u"group"_s,
                         state.groupPath});
    }

    QByteArray Text() const { return m_text.toUtf8(); }

private:
    const MetricsRead &m_read;
    QString m_name;
    QString m_text;
};

} // namespace

QString EscapeLabelValue(const QString &value)
{
    QString escaped;
    escaped.reserve(value.size());
    for (const QChar c : value) {
        if (c == u'\\')
            escaped += u"\\\\"_s;
        else if (c == u'"')
            escaped += u"\\\""_s;
        else if (c == u'\n')
            escaped += u"\\n"_s;
        else
            escaped += c;
    }
    return escaped;
}

QByteArray FormatPrometheusMetrics(const MetricsRead &read)
{
    Writer out(read);

    out.Family(u"lumarin_projectors_registered"_s, u"gauge"_s, u"Projectors in the register."_s);
    out.Sample({}, read.registered);
    out.Family(u"lumarin_read_timestamp_seconds"_s, u"gauge"_s,
               u"When the last read of the projectors ended, in seconds since the epoch."_s);
    out.Sample({}, double(read.readAt.toMSecsSinceEpoch()) / 1000.0);
    out.Family(u"lumarin_read_duration_seconds"_s, u"gauge"_s,
               u"How long the last read of the projectors took."_s);
    out.Sample({}, read.durationSeconds);

    out.ProjectorFamily(
        u"lumarin_projector_up"_s, u"gauge"_s,
        u"1 when the projector answered and took its stored password at the last read."_s);
    out.PerProjector([&](const ProjectorState &state, const QStringList &labels) {
        out.Sample(labels, state.connectResult == LinkResult::Ok ? 1 : 0);
    });

    // Identity in one series, for alerts and dashboards to join (on register and address) rather
    // than repeat on every sample; only when the projector told some of it at this read.
    out.ProjectorFamily(u"lumarin_projector_info"_s, u"gauge"_s,
                        u"The projector's manufacturer, product and class (Class 2 also serial "
                        u"number and software version) in labels; always 1."_s);
    out.PerProjector([&](const ProjectorState &state, const QStringList &labels) {
        if (state.manufacturerResult != 0 && state.modelResult != 0 && state.classResult != 0)
            return;
        QStringList identity = labels;
        identity << u"manufacturer"_s
                 << (state.manufacturerResult == 0 ? state.manufacturer : QString()) << u"product"_s
                 << (state.modelResult == 0 ? state.modelInfo : QString()) << u"class"_s
                 << (state.classResult == 0 && state.pjlinkClass > 0
                         ? QString::number(state.pjlinkClass)
                         : QString());
        if (state.classResult == 0 && state.pjlinkClass == 2) {
            if (!state.class2.serialNumber.isEmpty())
                identity << u"serial_number"_s << state.class2.serialNumber;
            if (!state.class2.softwareVersion.isEmpty())
                identity << u"software_version"_s << state.class2.softwareVersion;
        }
        out.Sample(identity, 1);
    });

    out.ProjectorFamily(u"lumarin_projector_power_state"_s, u"gauge"_s,
                        u"Power: 0 off, 1 on, 2 cooling, 3 warm-up."_s);
    out.PerProjector([&](const ProjectorState &state, const QStringList &labels) {
        if (state.powerResult == LinkResult::Ok && state.power.GetCode() >= PowerStatus::Off)
            out.Sample(labels, state.power.GetCode());
    });

    out.ProjectorFamily(u"lumarin_projector_error_state"_s, u"gauge"_s,
                        u"Error status per category: 0 ok, 1 warning, 2 error."_s);
    out.PerProjector([&](const ProjectorState &state, const QStringList &labels) {
        if (state.errorResult != LinkResult::Ok)
            return;
        for (const ErrorStatus &error : state.errors) {
            const int category = error.GetCategory();
            if (category < 0 || category >= int(std::size(kCategories)) || error.GetLevel() < 0)
                continue;
            out.Sample(labels +
                           QStringList{u"category"_s, QString::fromUtf16(kCategories[category])},
                       error.GetLevel());
        }
    });

    // Prometheus's base unit of time is the second; the projector counts whole hours.
    out.ProjectorFamily(u"lumarin_projector_lamp_usage_seconds"_s, u"gauge"_s,
                        u"How long each lamp has burnt (the projector counts whole hours)."_s);
    out.PerProjector([&](const ProjectorState &state, const QStringList &labels) {
        if (state.lampResult != LinkResult::Ok)
            return;
        for (std::size_t i = 0; i < state.lamps.size(); ++i)
            out.Sample(labels + QStringList{u"lamp"_s, QString::number(i + 1)},
                       state.lamps[i].GetHours() * 3600.0);
    });

    // Class 2 projectors only; the others have no sample.
    out.ProjectorFamily(
        u"lumarin_projector_filter_usage_seconds"_s, u"gauge"_s,
        u"How long the filter has been used (Class 2; the projector counts whole hours)."_s);
    out.PerProjector([&](const ProjectorState &state, const QStringList &labels) {
        if (state.class2.filterHours)
            out.Sample(labels, *state.class2.filterHours * 3600.0);
    });

    out.ProjectorFamily(u"lumarin_projector_input_info"_s, u"gauge"_s,
                        u"The input selected, in the labels type and number; always 1."_s);
    out.PerProjector([&](const ProjectorState &state, const QStringList &labels) {
        const int type = state.input.GetType();
        if (state.inputResult != LinkResult::Ok || type < InputStatus::RGB ||
            type > InputStatus::Internal)
            return;
        // The number as PJLink writes it: 1 to 9, then A to Z.
        out.Sample(labels + QStringList{u"type"_s, QString::fromUtf16(kInputTypes[type - 1]),
                                        u"number"_s,
                                        InputStatus::NumberText(state.input.GetNumber())},
                   1);
    });

    // Never the password or anything derived from it: only which check the projector uses.
    out.ProjectorFamily(u"lumarin_projector_security_info"_s, u"gauge"_s,
                        u"How the projector checks the password, in the label level: none, md5 "
                        u"or sha256; always 1."_s);
    out.PerProjector([&](const ProjectorState &state, const QStringList &labels) {
        if (state.connectResult == LinkResult::NoAnswer)
            return;
        out.Sample(labels + QStringList{u"level"_s, QString::fromLatin1(
                                                        pjlink::securityLevelName(state.security))},
                   1);
    });

    out.ProjectorFamily(u"lumarin_projector_mute"_s, u"gauge"_s,
                        u"1 when the picture (kind video) or the sound (kind audio) is muted."_s);
    out.PerProjector([&](const ProjectorState &state, const QStringList &labels) {
        const int code = state.mute.GetCode();
        if (state.muteResult != LinkResult::Ok || code < MuteStatus::Off)
            return;
        const bool video = code == MuteStatus::Video || code == MuteStatus::VideoAndAudio;
        const bool audio = code == MuteStatus::Audio || code == MuteStatus::VideoAndAudio;
        out.Sample(labels + QStringList{u"kind"_s, u"video"_s}, video ? 1 : 0);
        out.Sample(labels + QStringList{u"kind"_s, u"audio"_s}, audio ? 1 : 0);
    });
    return out.Text();
}
