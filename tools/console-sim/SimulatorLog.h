#pragma once
// SimulatorLog: what the simulator prints, one line per happening, either as
// plain text for people or as JSON objects (one per line) for tests and
// scripts. Every line is flushed at once so a reader on a pipe sees it
// immediately. Owned by the program; called from the server thread only.
//
// JSON lines carry "event" and, depending on it:
//   listening     host, port
//   connected / disconnected   peer
//   received      peer, address, values (numbers as numbers, the rest as text)
//   executed      command, cue {list, cue, label, time, timecode} or deleted {list, cue}
//   refused       command, reason
//   unterminated  command (text after the last "#", left on the command line)
//   key           key
//   reply         address, values
//   dropped       peer, reason (a frame or packet that could not be read,
//                 after which the connection is closed)
//   unhandled     address (also a query for a cue that does not exist,
//                 which the console leaves unanswered)

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "console-sim/CueTable.h"
#include "osc/OSCMessage.h"

namespace lanternwick::sim {

class SimulatorLog {
public:
    enum class Format { text, json };

    SimulatorLog(std::ostream& out, Format format) : out_(out), format_(format) {}

    void listening(std::string_view host, unsigned port);
    void connected(std::string_view peer);
    void disconnected(std::string_view peer);
    void received(std::string_view peer, const OSCMessage& message);
    void executed(std::string_view command, const SimulatedCue& cue);
    void deleted(std::string_view command, std::int64_t cueList, std::string_view cueNumber);
    void refused(std::string_view command, std::string_view reason);
    void unterminated(std::string_view command);
    void keyPressed(std::string_view key);
    void replied(const OSCMessage& reply);
    void dropped(std::string_view peer, std::string_view reason);
    void unhandled(std::string_view address);

private:
    void line(const std::string& text);

    std::ostream& out_;
    Format format_;
};

// The values of a message as a JSON array: int32/int64/float/double as JSON
// numbers (non-finite ones as text), everything else as its plain text.
std::string jsonValues(const std::vector<OSCValue>& values);

}  // namespace lanternwick::sim
