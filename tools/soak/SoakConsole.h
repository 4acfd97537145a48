#pragma once
// SoakConsole: the console simulator on a loopback port, run by a thread of
// its own, that can be killed (at once, or by itself after a given number of
// executed commands, so that a burst is cut off in the middle) and started
// again on the same port with an empty cue table, as a rebooted console
// would be. While killed, connections to the port are refused.
// Owned by one thread; the simulator's state is read on its own thread.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "console-sim/CueTable.h"

namespace lanternwick::soak {

class SoakConsole {
public:
    // Port 0 picks a free one; later starts reuse it. Throws when the port
    // cannot be bound.
    explicit SoakConsole(std::uint16_t port = 0);
    ~SoakConsole();

    SoakConsole(const SoakConsole&) = delete;
    SoakConsole& operator=(const SoakConsole&) = delete;

    void start();
    // Closes the listening socket and every connection, then stops the thread.
    void kill();
    // Stops serving right after the n-th executed command of this run; bytes
    // already read may still be handled, as on a console dying mid-read.
    void dieAfterExecuted(std::size_t n);
    // Freezes the console for the given time, as a console busy or stopped
    // in a debugger: it neither reads, answers nor accepts until then. Does
    // not wait for it.
    void stopFor(std::chrono::milliseconds duration);

    std::uint16_t port() const { return port_; }
    std::vector<sim::SimulatedCue> cues();
    std::size_t executedCount() const;
    // The JSON log of the current run, or of the last one once killed.
    std::string log() const;
    // Whether the log holds a command the console refused or could not read.
    bool hasRefusals() const;

private:
    struct Running;

    std::uint16_t port_;
    std::unique_ptr<Running> running_;
    std::string lastLog_;
};

}  // namespace lanternwick::soak
