#pragma once
// ConsoleSimulator: the console's behaviour as Lanternwick sees it, without
// the sockets. It executes the command lines sent to /eos/user/0/newcmd on
// its CueTable, answers /eos/get/cue/L/C queries, notes key presses, and
// keeps an optional dump file up to date with the table (CueTableDump: at
// most one write per 100 ms, the last state always written). Owned by the
// program; used from the server thread only.

#include <optional>
#include <string_view>
#include <vector>

#include "console-sim/CueTable.h"
#include "console-sim/CueTableDump.h"
#include "console-sim/SimulatorLog.h"
#include "osc/OSCMessage.h"
#include "osc/OSCPacket.h"

namespace lanternwick::sim {

class ConsoleSimulator {
public:
    explicit ConsoleSimulator(SimulatorLog& log, std::optional<DumpOptions> dump = std::nullopt);

    // Handles one received packet (bundles element by element) and returns
    // the replies for the client that sent it, in order.
    std::vector<OSCMessage> handlePacket(std::string_view peer, const OSCPacket& packet);
    std::vector<OSCMessage> handleMessage(std::string_view peer, const OSCMessage& message);

    // Runs every command of one command line; returns whether the table changed.
    bool executeCommandLine(std::string_view line);

    const CueTable& cueTable() const { return table_; }

private:
    std::optional<OSCMessage> answerCueQuery(std::string_view address);

    SimulatorLog& log_;
    CueTable table_;
    // After the table, which it reads until its last write.
    std::optional<CueTableDump> dump_;
};

// The reply the console gives to a cue query for this table: label (string),
// list (int32), time and timecode (strings) when the cue exists, no values
// when it does not. Nothing when the address is not a cue query.
std::optional<OSCMessage> cueQueryReply(const CueTable& table, std::string_view address);

}  // namespace lanternwick::sim
