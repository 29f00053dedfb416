#pragma once

#include "pjlink/pjlib.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Pure parsers for what a PJLink projector sends: line framing, the greeting, the answer line
// and the payload of every Class 1 answer. No sockets and no state, so they can be fuzzed.
// Result codes are those of pjlink/pjlib.h.
namespace pjlink {

// The standard allows 136 bytes per answer including its CR.
inline constexpr std::size_t kMaxAnswerLine = 135;
// Bytes read while looking for a line end before the framing counts as lost.
inline constexpr std::size_t kMaxUnframedBytes = 512;

struct LineSplit
{
    enum Status { Line, NeedMore, FramingLost };
    Status status = NeedMore;
    std::string_view line;    // without its terminator; Line only
    std::size_t consumed = 0; // bytes of the buffer used up, terminator included; with NeedMore
                              // the NUL padding that may be dropped
};

// The first line of buffer, ended by CR or LF (so CR LF yields a line and an empty line). NUL
// bytes before a line are padding and skipped.
LineSplit splitLine(std::string_view buffer);

// "%2LKUP=...", "%2POWR=1": a status line a projector may send unasked on the command connection
// (before its greeting too).
bool isNotificationLine(std::string_view line);

struct Greeting
{
    int code = PJL_ERR_CONNECTION; // 0, PJL_ERR_AUTH for "PJLINK ERRA", -1 for anything else
    bool security = false;
    std::string_view random; // the digest seed when security is on
};

Greeting parseGreeting(std::string_view line);

bool isAuthError(std::string_view line);

struct AnswerLine
{
    enum Kind { Skip, Result };
    Kind kind = Result;
    int code = PJL_ERR_BAD_ANSWER; // 0 with a payload, ERR1..4, 5 or 10
    std::string_view payload;      // blanks around it removed
};

// Matches one received line against the four-letter command sent with the class digit cls ('1'
// or '2'). Empty lines and lines that are clearly not meant for us (a notification of another
// class or command) are Skip; the caller keeps waiting.
AnswerLine matchAnswer(std::string_view line, std::string_view command, char cls = '1');

struct IntAnswer
{
    int code = PJL_ERR_BAD_ANSWER;
    int value = 0;
};

struct InputAnswer
{
    int code = PJL_ERR_BAD_ANSWER;
    int type = 0;
    int number = 0;
};

struct ListAnswer
{
    int code = PJL_ERR_BAD_ANSWER;
    std::vector<int> values; // flat: pairs for lamps and inputs, levels for errors
};

struct TextAnswer
{
    int code = PJL_ERR_BAD_ANSWER;
    std::string text;
};

int parseSetResult(std::string_view payload);          // "OK"
IntAnswer parsePower(std::string_view payload);        // POWR
InputAnswer parseInput(std::string_view payload);      // INPT
IntAnswer parseMute(std::string_view payload);         // AVMT
ListAnswer parseErrorStatus(std::string_view payload); // ERST, six levels
ListAnswer parseLamps(std::string_view payload);       // LAMP, hours and on per lamp
ListAnswer parseInputList(std::string_view payload);   // INST, type and number per input
IntAnswer parseClass(std::string_view payload);        // CLSS
TextAnswer parseText(std::string_view payload);        // NAME, INF1, INF2, INFO

// Class 2 answers.
struct ResolutionAnswer
{
    enum Signal { Present, NoSignal, UnknownSignal };
    int code = PJL_ERR_BAD_ANSWER;
    Signal signal = Present;
    int width = 0; // Present only
    int height = 0;
};

struct TextListAnswer
{
    int code = PJL_ERR_BAD_ANSWER;
    std::vector<std::string> texts;
};

// IRES ("1920x1080", "-" no signal, "*" unknown signal) and RRES (sizes only).
ResolutionAnswer parseResolution(std::string_view payload, bool signalMarksAllowed);
IntAnswer parseHours(std::string_view payload);       // FILT
TextListAnswer parseModels(std::string_view payload); // RLMP, RFIL: blank-separated, may be empty
IntAnswer parseFreeze(std::string_view payload);      // FREZ: 0 or 1

// The digit or letter of an input number: 1..9 as digits, 10..35 as A..Z; 0 when out of range.
char inputNumberChar(int number);

} // namespace pjlink
