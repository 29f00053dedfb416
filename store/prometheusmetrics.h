#pragma once

#include "model/projectorstate.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <vector>

// One read of a register in the Prometheus text exposition format (version 0.0.4), for
// lumarinctl metrics and the exporter. Pure: it formats the published states it is given and
// talks to nobody. Passwords are not in a ProjectorState, so they can never appear.
struct MetricsRead
{
    QString registerName;                   // the "register" label of every sample
    std::vector<ProjectorState> projectors; // the targeted projectors, in list order
    int registered = 0;                     // projectors in the register
    QDateTime readAt;                       // when the read ended
    double durationSeconds = 0;             // how long the read took
};

// Every family once, with # HELP and # TYPE; a value that was not read (no answer, an error
// code) has no sample, so that an alert never fires on a stale or made-up number.
QByteArray FormatPrometheusMetrics(const MetricsRead &read);

// A label value as the format requires: backslash, double quote and line feed escaped.
QString EscapeLabelValue(const QString &value);
