#pragma once

#include <QDateTime>
#include <QJsonObject>

class ActionEvent;
class Projector;

// lumarinctl's JSON for scripts. Every value is a fixed English word, a number, a boolean or
// null where nothing is known, whatever the locale; the texts the user sees in the projector
// list sit apart under "cells". The man page documents the layout as schema 1: add keys, never
// change or remove one, without raising kJsonSchema.
inline constexpr int kJsonSchema = 1;

// One projector as its last connection left it; nothing is contacted.
QJsonObject ProjectorStatusJson(Projector &projector);
QJsonObject EventJson(const ActionEvent &event);

// ISO 8601 with the local offset: "2026-12-10T22:30:00+09:00".
QString IsoTime(const QDateTime &time);

// Fixed words of the status values; null for an unknown value.
QJsonValue PowerWord(int code);
QJsonValue LevelWord(int level);            // of an error category: ok, warning, error
QJsonValue EventLevelWord(int level);       // information, warning, error, debug
QJsonValue ErrorCategoryWord(int category); // fan, lamp, temperature, cover, filter, other
