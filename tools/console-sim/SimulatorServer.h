#pragma once
// SimulatorServer: the console's OSC TCP server, in SLIP or packet-length
// framing. Accepts any number of clients, one after another or at once,
// reassembles frames across reads, hands every decoded packet to the
// ConsoleSimulator and sends its replies back to the client that asked.
// Clients that disconnect, send garbage or split frames do not disturb the
// others. As on the console, a client that sends a packet that cannot be read
// (a bad frame, a frame over 1 MiB, bytes that are no OSC packet) is
// reported and disconnected.
// With splitReplies every reply goes out in two TCP writes with a pause in
// between, so that clients' reassembly gets exercised.
// Owned by the program; everything runs on the given io_context, which must
// be run by exactly one thread (the simulator is not locked). Call start and
// stop on that thread or before it runs.

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include <asio.hpp>

#include "console-sim/ConsoleSimulator.h"
#include "console-sim/SimulatorLog.h"
#include "eos/EosConsoleSettings.h"
#include "osc/tcp/OSCTCPFraming.h"
#include "support/Result.h"

namespace lanternwick::sim {

struct SimulatorServerOptions {
    std::string host{defaultEosHost};
    std::uint16_t port = defaultEosPort;  // 0 picks a free port
    bool splitReplies = false;
    std::chrono::milliseconds splitPause{30};
    // osc1_1 is SLIP, osc1_0 the packet-length header.
    OSCTCPFramingMode framing = OSCTCPFramingMode::osc1_1;
};

class SimulatorServer {
public:
    SimulatorServer(asio::io_context& io, ConsoleSimulator& simulator, SimulatorLog& log,
                    SimulatorServerOptions options);
    ~SimulatorServer();

    SimulatorServer(const SimulatorServer&) = delete;
    SimulatorServer& operator=(const SimulatorServer&) = delete;

    // Binds, listens and starts accepting; the result is the bound port, or
    // the reason binding failed.
    Result<std::uint16_t, std::string> start();
    // Stops accepting and closes every connection.
    void stop();

    std::size_t connectionCount() const { return connections_.size(); }

private:
    class Connection;

    void accept();
    void forget(const Connection* connection);

    asio::io_context& io_;
    ConsoleSimulator& simulator_;
    SimulatorLog& log_;
    SimulatorServerOptions options_;
    asio::ip::tcp::acceptor acceptor_;
    std::map<const Connection*, std::weak_ptr<Connection>> connections_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace lanternwick::sim
