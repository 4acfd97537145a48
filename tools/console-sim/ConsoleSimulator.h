#pragma once
// ConsoleSimulator: the console's behaviour as Lanternwick sees it, without
// the sockets. It executes the command lines sent to /eos/user/0/newcmd on
// its CueTable, answers /eos/get/cue/L/C queries in the console's list form,
// /eos/get/version and /eos/ping (with its arguments; not logged, since a
// connected client pings about once a second), notes key presses, and
// keeps an optional dump file up to date with the table (CueTableDump: at
// most one write per 100 ms, the last state always written). Owned by the
// program; used from the server thread only.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "console-sim/CueTable.h"
#include "console-sim/CueTableDump.h"
#include "console-sim/SimulatorLog.h"
#include "osc/OSCMessage.h"
#include "osc/OSCPacket.h"

namespace lanternwick::sim {

struct ConsoleBehaviour {
    // Off, the simulator stands in for a console that never answers a ping.
    bool answersPing = true;
    // The one string of the /eos/out/get/version answer.
    std::string version = "lanternwick-console-sim";
};

class ConsoleSimulator {
public:
    explicit ConsoleSimulator(SimulatorLog& log, std::optional<DumpOptions> dump = std::nullopt,
                              ConsoleBehaviour behaviour = {});

    // Handles one received packet (bundles element by element) and returns
    // the replies for the client that sent it, in order.
    std::vector<OSCMessage> handlePacket(std::string_view peer, const OSCPacket& packet);
    std::vector<OSCMessage> handleMessage(std::string_view peer, const OSCMessage& message);

    // Runs every command of one command line; returns whether the table changed.
    bool executeCommandLine(std::string_view line);

    const CueTable& cueTable() const { return table_; }

private:
    std::optional<std::vector<OSCMessage>> answerCueQuery(std::string_view address);

    SimulatorLog& log_;
    ConsoleBehaviour behaviour_;
    CueTable table_;
    // After the table, which it reads until its last write.
    std::optional<CueTableDump> dump_;
};

// Up and down time in milliseconds from a cue's Time text: one time for both
// ("3", "1:05", "1:00:00") or up and down apart ("1.5 / 2"); nothing for an
// empty text or one the console would not read as times.
struct CueTimes {
    std::int32_t up = 0;
    std::int32_t down = 0;

    friend bool operator==(const CueTimes&, const CueTimes&) = default;
};
std::optional<CueTimes> cueTimes(std::string_view time);

// The base cue's 30 values in the console's order: index, UID, label, up
// time, up delay, down time, down delay, focus, color and beam times and
// delays, preheat, curve, rate, mark, block, assert, link, follow, hang, all
// fade, loop, solo, timecode, part count, notes, scene text, scene end.
// Times are in ms; the category times and follow and hang, which the
// simulator does not model, are -1 (not set); a cue without a time has 0.
std::vector<OSCValue> baseCueValues(const SimulatedCue& cue, std::int32_t index);

// The values as list messages "<prefix>/list/<index>/<count>", as many as
// keep each packet within `packetLimit` bytes (a single value too big for one
// goes alone).
std::vector<OSCMessage> listMessages(std::string_view prefix, const std::vector<OSCValue>& values,
                                     std::size_t packetLimit = 512);

// The answer to a cue query: nothing when the address is not one; no
// message for a cue that does not exist; otherwise its part 0 list at
// /eos/out/get/cue/L/C/0/list/<index>/30.
std::optional<std::vector<OSCMessage>> cueQueryReply(const CueTable& table, std::string_view address);

}  // namespace lanternwick::sim
