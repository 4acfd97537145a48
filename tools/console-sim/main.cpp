// lanternwick-console-sim: a stand-in lighting console for demos and
// end-to-end tests. See --help.

#include <csignal>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <asio.hpp>

#include "console-sim/ConsoleSimulator.h"
#include "console-sim/SimulatorServer.h"
#include "LanternwickVersion.h"

namespace {

using namespace lanternwick::sim;

constexpr std::string_view usage =
    "usage: lanternwick-console-sim [--host HOST] [--port PORT] [--json] [--dump FILE] [--split]\n"
    "  --host HOST   address to listen on (default 127.0.0.1)\n"
    "  --port PORT   TCP port to listen on, 0 for any free one (default 8555)\n"
    "  --json        print one JSON object per line instead of text\n"
    "  --dump FILE   keep FILE updated with the cue table as JSON (at most every 100 ms)\n"
    "  --split       send every reply in two TCP writes with a short pause\n"
    "  --version     print the version and exit\n";

struct Options {
    SimulatorServerOptions server;
    bool json = false;
    std::optional<std::filesystem::path> dumpFile;
};

std::optional<std::uint16_t> portNumber(const std::string_view text) {
    if (text.empty() || text.size() > 5) return std::nullopt;
    unsigned value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

// Returns nothing after printing the reason when the arguments are unusable.
std::optional<Options> parseArguments(const std::vector<std::string_view>& args) {
    Options options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        const auto value = [&]() -> std::optional<std::string_view> {
            if (i + 1 >= args.size()) return std::nullopt;
            return args[++i];
        };
        if (arg == "--json") {
            options.json = true;
        } else if (arg == "--split") {
            options.server.splitReplies = true;
        } else if (arg == "--host") {
            const auto host = value();
            if (!host || host->empty()) {
                std::cerr << "--host needs a host name or address\n";
                return std::nullopt;
            }
            options.server.host = std::string(*host);
        } else if (arg == "--port") {
            const auto text = value();
            const auto port = text ? portNumber(*text) : std::nullopt;
            if (!port) {
                std::cerr << "--port needs a number from 0 to 65535\n";
                return std::nullopt;
            }
            options.server.port = *port;
        } else if (arg == "--dump") {
            const auto file = value();
            if (!file || file->empty()) {
                std::cerr << "--dump needs a file name\n";
                return std::nullopt;
            }
            options.dumpFile = std::filesystem::path(*file);
        } else {
            std::cerr << "unknown argument: " << arg << "\n";
            return std::nullopt;
        }
    }
    return options;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    for (const std::string_view arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::cout << usage;
            return 0;
        }
        if (arg == "--version") {
            std::cout << "lanternwick-console-sim " << lanternwick::version << "\n";
            return 0;
        }
    }
    const std::optional<Options> options = parseArguments(args);
    if (!options) {
        std::cerr << usage;
        return 2;
    }

    asio::io_context io;
    SimulatorLog log(std::cout, options->json ? SimulatorLog::Format::json : SimulatorLog::Format::text);
    std::optional<DumpOptions> dump;
    if (options->dumpFile) dump = DumpOptions{.file = *options->dumpFile, .executor = io.get_executor()};
    // Destroyed before io: its last write happens on the way out.
    ConsoleSimulator simulator(log, std::move(dump));
    SimulatorServer server(io, simulator, log, options->server);
    const auto port = server.start();
    if (!port) {
        std::cerr << port.error() << "\n";
        return 1;
    }

    asio::signal_set signals(io, SIGINT, SIGTERM);
    signals.async_wait([&](std::error_code, int) {
        server.stop();
        io.stop();
    });
    io.run();
    return 0;
}
