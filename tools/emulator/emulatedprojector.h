#pragma once

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

// What one emulated PJLink Class 1 projector is and does. Plain data: copy it, change it, hand
// it to EmulatedProjector (or to EmulatedProjector::update while it runs).
struct EmulatorConfig
{
    std::string address = "127.0.0.1"; // any 127.0.0.0/8 address, or an address of a namespace
    int port = 4352;
    std::string password; // empty: security off ("PJLINK 0")
    // With a password: how the projector takes the controller's "PJLINK 2" (the level 2 query).
    enum class Security {
        Md5,       // "md5": level 1 only, the query answered "PJLINK ERRA" (then closed)
        Md5Close,  // "md5-close": level 1 only, the connection closed on the query
        Md5Silent, // "md5-silent": level 1 only, the query ignored
        Sha256,    // "sha256": level 2 only, an MD5 digest refused
        Sha256Md5  // "sha256+md5": level 2 when asked for, else level 1
    };
    Security security = Security::Md5;

    std::string name = "Projector";      // NAME, UTF-8, up to 64 bytes
    std::string manufacturer = "Emulux"; // INF1
    std::string product = "EP-100";      // INF2
    std::string otherInfo;               // INFO
    int pjlinkClass = 1;                 // CLSS

    int power = 0;        // 0 off, 1 on, 2 cooling, 3 warm-up
    int warmUpMs = 3000;  // warm-up after "power on", then on
    int coolingMs = 3000; // cooling after "power off", then off
    // INST
    std::vector<std::pair<int, int>> inputs{{1, 1}, {1, 2}, {2, 1}, {3, 1}, {5, 1}};
    std::pair<int, int> input{1, 1}; // INPT
    int mute = 30;                   // AVMT: 11, 21, 31 or 30
    std::array<int, 6> errors{};     // ERST: fan, lamp, temperature, cover, filter, other
    std::vector<std::pair<int, int>> lamps{{1200, 0}}; // LAMP hours; the on flag follows power
                                                       // (empty: no lamp, LAMP answers ERR1)
    int idleTimeoutMs = 30000; // an idle connection is closed after this long

    // Class 2, answered under "%2" when pjlinkClass is 2 (a Class 1 emulator answers ERR1).
    // Input numbers 10..35 are the letters A..Z; type 6 is "internal".
    std::string serialNumber = "EMX0000001";               // SNUM
    std::string softwareVersion = "1.00";                  // SVER
    std::map<std::pair<int, int>, std::string> inputNames; // INNM, per input of INST
    int filterHours = 0;                                   // FILT; -1: no filter (ERR1)
    std::string lampModels = "LMP-100";                    // RLMP, models separated by blanks
    std::string filterModels = "FLT-100";                  // RFIL
    std::string inputResolution = "1920x1080";             // IRES: "-" no signal, "*" unknown
    std::string recommendedResolution = "1920x1200";       // RRES
    bool freeze = false;                                   // FREZ
    int speakerVolume = 10;                                // SVOL steps, 0..20
    int microphoneVolume = 10;                             // MVOL steps, 0..20

    // Class 2 over UDP. udpPort is where it answers "%2SRCH" (with "%2ACKN=<macAddress>" to that
    // port of the searcher); notifyPort is the controller port its notifications go to.
    std::string macAddress = "00:00:5E:00:53:01";
    bool answerSearch = true;
    int udpPort = 4352;
    int notifyPort = 4352;

    // Faults on demand.
    bool listening = true;         // false: nothing listens, connects are refused
    int answerDelayMs = 0;         // wait before every answer (and before the greeting)
    int dropAfterCommands = -1;    // close the connection after receiving this many commands
                                   // (0: right after the greeting)
    bool malformedAnswers = false; // answers that break the PJLink framing
    int nulPadding = 0;            // NUL bytes sent after the CR of every line, as some firmware
    bool tcpLinkUp = false;        // "%2LKUP=<macAddress>" unasked on TCP before each connection's
                                   // first answer
    std::map<std::string, int> repeatedAnswers;    // command ("INNM") -> copies of its answer
                                                   // sent right after it, as a flooding projector
    std::map<std::string, std::string> rawAnswers; // command ("POWR") -> exact answer line
                                                   // sent instead of the normal one, without CR
                                                   // (the command then has no effect);
                                                   // "PJLINK" replaces the greeting
    // Refusals of set commands only; their queries answer as usual.
    std::map<std::string, int> refusedSets; // command ("POWR") -> 1 to 4: answered ERRn, and
                                            // the command has no effect
    std::set<std::string> droppedSets;      // commands whose set form closes the connection
                                            // instead of an answer
};

// One emulated projector serving its address and port on a thread of its own.
// All members are thread-safe.
class EmulatedProjector
{
public:
    explicit EmulatedProjector(EmulatorConfig config);
    ~EmulatedProjector(); // stops and joins

    EmulatedProjector(const EmulatedProjector &) = delete;
    EmulatedProjector &operator=(const EmulatedProjector &) = delete;

    // Binds and starts serving; false with a reason when the address cannot be bound.
    // Port 0 binds a free port, which config().port then reports.
    bool start(std::string *error = nullptr);
    void stop();

    EmulatorConfig config() const; // power as it is now, warm-up and cooling included

    // Runs change under the emulator's lock, so it must not call back into this object.
    // Setting power to 3 or 2 starts warm-up or cooling anew. listening=false closes the
    // listening socket and every open connection; a new address or port is bound anew.
    void update(const std::function<void(EmulatorConfig &)> &change);

    // Every command line received after authentication, in order, as "POWR 1" or "INPT ?".
    std::vector<std::string> receivedCommands() const;
    // The same lines with their class, as sent: "%1POWR 1", "%2INPT 6A".
    std::vector<std::string> receivedRequests() const;
    void clearReceivedCommands();
    std::vector<std::string> takeReceivedCommands(); // returns and clears, atomically
    int connectionCount() const;                     // TCP connections accepted so far

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
