// lanternwick-console-sim: a stand-in lighting console for demos and
// end-to-end tests. See --help.

#include <csignal>
#include <cstdint>
#include <filesystem>
#include <getopt.h>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <asio.hpp>

#include "console-sim/ConsoleSimulator.h"
#include "console-sim/SimulatorServer.h"
#include "eos/EosConsoleSettings.h"
#include "support/IntegerText.h"
#include "LanternwickVersion.h"

namespace {

using namespace lanternwick::sim;

constexpr std::string_view programName = "lanternwick-console-sim";

const std::string usage = std::string(
    "usage: lanternwick-console-sim [--host HOST] [--port PORT] [--framing slip|length] [--json] [--dump FILE]\n"
    "                               [--split] [--no-ping]\n"
    "  --host HOST       address to listen on (default ") + std::string(lanternwick::defaultEosHost) + ")\n"
    "  --port PORT       TCP port to listen on, 0 for any free one (default " +
    std::to_string(lanternwick::defaultEosPort) + ")\n"
    "  --framing MODE    slip (OSC 1.1, the default) or length (OSC 1.0: each packet after its size\n"
    "                    as a 4-byte big-endian integer, the console's own default)\n"
    "  --json            print one JSON object per line instead of text\n"
    "  --dump FILE       keep FILE updated with the cue table as JSON (at most every 100 ms)\n"
    "  --split           send every reply in two TCP writes with a short pause\n"
    "  --no-ping         never answer /eos/ping, as a console that does not answer\n"
    "  --version         print the version and exit\n";

struct Options {
    SimulatorServerOptions server;
    ConsoleBehaviour behaviour;
    bool json = false;
    std::optional<std::filesystem::path> dumpFile;
};

void complain(const std::string_view text) { std::cerr << programName << ": " << text << "\n"; }

std::optional<std::uint16_t> portNumber(const std::string_view text) {
    if (text.size() > 5) return std::nullopt;
    return lanternwick::parseInteger<std::uint16_t>(text);
}

enum Flag { host = 1000, port, framing, json, dump, split, noPing, help, version };

// Whether the option was understood; prints the reason when it was not.
bool applyOption(Options& options, const int flag, const std::string_view value) {
    switch (flag) {
    case json: options.json = true; return true;
    case split: options.server.splitReplies = true; return true;
    case noPing: options.behaviour.answersPing = false; return true;
    case host:
        if (value.empty()) {
            complain("--host needs a host name or address");
            return false;
        }
        options.server.host = std::string(value);
        return true;
    case port:
        if (const auto number = portNumber(value)) {
            options.server.port = *number;
            return true;
        }
        complain("--port needs a number from 0 to 65535");
        return false;
    case framing:
        if (value == "slip" || value == "length") {
            options.server.framing = value == "slip" ? lanternwick::OSCTCPFramingMode::osc1_1
                                                     : lanternwick::OSCTCPFramingMode::osc1_0;
            return true;
        }
        complain("--framing needs slip or length");
        return false;
    case dump:
        if (value.empty()) {
            complain("--dump needs a file name");
            return false;
        }
        options.dumpFile = std::filesystem::path(value);
        return true;
    default: return false;
    }
}

struct Parsed {
    std::optional<Options> options;
    // --help or --version, which end the run at once.
    std::optional<Flag> early;
};

Parsed parseArguments(int argc, char** argv) {
    static const option longOptions[] = {
        {"host", required_argument, nullptr, host},     {"port", required_argument, nullptr, port},
        {"framing", required_argument, nullptr, framing}, {"json", no_argument, nullptr, json},
        {"dump", required_argument, nullptr, dump},     {"split", no_argument, nullptr, split},
        {"no-ping", no_argument, nullptr, noPing},      {"help", no_argument, nullptr, help},
        {"version", no_argument, nullptr, version},     {nullptr, 0, nullptr, 0},
    };
    Options options;
    opterr = 0;
    // "+": the first argument that is not an option ends the options, so that
    // it is named as unknown rather than quietly moved to the end; ":": a
    // missing value is told apart from an unknown option.
    for (int flag; (flag = getopt_long(argc, argv, "+:h", longOptions, nullptr)) != -1;) {
        if (flag == help || flag == 'h') return {std::nullopt, help};
        if (flag == version) return {std::nullopt, version};
        if (flag == '?') {
            complain("unknown argument: " + std::string(argv[optind - 1]));
            return {};
        }
        // A missing value is judged as an empty one, so that each option says what it needs.
        const bool missing = flag == ':';
        const std::string_view value = missing || optarg == nullptr ? std::string_view() : std::string_view(optarg);
        if (!applyOption(options, missing ? optopt : flag, value)) return {};
    }
    if (optind < argc) {
        complain("unknown argument: " + std::string(argv[optind]));
        return {};
    }
    return {std::move(options), std::nullopt};
}

}  // namespace

int main(int argc, char** argv) {
    const Parsed parsed = parseArguments(argc, argv);
    if (parsed.early == help) {
        std::cout << usage;
        return 0;
    }
    if (parsed.early == version) {
        std::cout << programName << " " << lanternwick::version << "\n";
        return 0;
    }
    if (!parsed.options) {
        std::cerr << usage;
        return 2;
    }
    const Options* options = &*parsed.options;

    asio::io_context io;
    SimulatorLog log(std::cout, options->json ? SimulatorLog::Format::json : SimulatorLog::Format::text);
    std::optional<DumpOptions> dump;
    if (options->dumpFile) dump = DumpOptions{.file = *options->dumpFile, .executor = io.get_executor()};
    // Destroyed before io: its last write happens on the way out.
    ConsoleSimulator simulator(log, std::move(dump), options->behaviour);
    SimulatorServer server(io, simulator, log, options->server);
    const auto port = server.start();
    if (!port) {
        complain(port.error());
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
