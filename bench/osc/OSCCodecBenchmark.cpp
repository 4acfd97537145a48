// Encoding the console command (plus SLIP framing) and decoding a cue reply,
// with our OSC layer, oscpack and liblo in one run; prints our time over the
// faster peer's. Every contender produces the same result: framed bytes from
// the command (from its text, or from a message value that already exists),
// and an owned decoded message (address and arguments) from the reply's
// bytes. All three share one SLIP encoder, so the framing cost is the same
// for each.

#include <benchmark/benchmark.h>

#include <lo/lo.h>
#include <osc/OscOutboundPacketStream.h>
#include <osc/OscReceivedElements.h>

#include <array>
#include <cstdio>
#include <map>
#include <string>
#include <variant>
#include <vector>

#include "osc/OSCPacket.h"
#include "osc/tcp/OSCTCPFraming.h"

namespace {

using namespace lanternwick;

const std::string commandText = "Cue 1 / 12 Label Intro #";  // a typical 25-character command line
const char* const commandAddress = "/eos/user/0/newcmd";

// What a peer library's user must build to hold a received reply past the
// receive call: the address and owned argument values.
struct OwnedReply {
    std::string address;
    std::vector<std::variant<std::int32_t, std::string>> arguments;
};

OSCBytes cueReplyBytes() {
    return OSCMessage("/eos/out/get/cue/1/12", {"Intro", 12, "5", "00:01:02:03"}).rawData().value();
}

// From a freshly formatted command line, as the console client has one per
// command: every contender pays for that string, ours moves it into the
// message. The encoded bytes go to a reused buffer, as the peers write into a
// caller's buffer.
void buildAndEncodeOurs(benchmark::State& state) {
    OSCBytes scratch;
    for (auto _ : state) {
        std::string line(commandText);
        const auto message = OSCMessage::withValues(commandAddress, std::move(line));
        scratch.clear();
        if (!message.appendRawData(scratch).ok()) {
            state.SkipWithError("encoding failed");
        }
        auto framed = slipEncode(scratch);
        benchmark::DoNotOptimize(framed.data());
    }
}

// From a message value that already exists, as the console client holds it
// when it sends.
void encodeOurs(benchmark::State& state) {
    const auto message = OSCMessage::withValues(commandAddress, std::string(commandText));
    OSCBytes scratch;
    for (auto _ : state) {
        scratch.clear();
        if (!message.appendRawData(scratch).ok()) {
            state.SkipWithError("encoding failed");
        }
        auto framed = slipEncode(scratch);
        benchmark::DoNotOptimize(framed.data());
    }
}

void buildAndEncodeOscpack(benchmark::State& state) {
    for (auto _ : state) {
        const std::string line(commandText);
        std::array<char, 1024> buffer;
        osc::OutboundPacketStream stream(buffer.data(), buffer.size());
        stream << osc::BeginMessage(commandAddress) << line.c_str() << osc::EndMessage;
        auto framed = slipEncode(OSCByteView(reinterpret_cast<const std::uint8_t*>(stream.Data()), stream.Size()));
        benchmark::DoNotOptimize(framed.data());
    }
}

void encodeOscpack(benchmark::State& state) {
    for (auto _ : state) {
        std::array<char, 1024> buffer;
        osc::OutboundPacketStream stream(buffer.data(), buffer.size());
        stream << osc::BeginMessage(commandAddress) << commandText.c_str() << osc::EndMessage;
        auto framed = slipEncode(OSCByteView(reinterpret_cast<const std::uint8_t*>(stream.Data()), stream.Size()));
        benchmark::DoNotOptimize(framed.data());
    }
}

void buildAndEncodeLiblo(benchmark::State& state) {
    for (auto _ : state) {
        const std::string line(commandText);
        std::array<char, 1024> buffer;
        lo_message message = lo_message_new();
        lo_message_add_string(message, line.c_str());
        std::size_t size = buffer.size();
        lo_message_serialise(message, commandAddress, buffer.data(), &size);
        lo_message_free(message);
        auto framed = slipEncode(OSCByteView(reinterpret_cast<const std::uint8_t*>(buffer.data()), size));
        benchmark::DoNotOptimize(framed.data());
    }
}

void encodeLiblo(benchmark::State& state) {
    lo_message message = lo_message_new();
    lo_message_add_string(message, commandText.c_str());
    for (auto _ : state) {
        std::array<char, 1024> buffer;
        std::size_t size = buffer.size();
        lo_message_serialise(message, commandAddress, buffer.data(), &size);
        auto framed = slipEncode(OSCByteView(reinterpret_cast<const std::uint8_t*>(buffer.data()), size));
        benchmark::DoNotOptimize(framed.data());
    }
    lo_message_free(message);
}

void decodeOurs(benchmark::State& state) {
    const auto bytes = cueReplyBytes();
    for (auto _ : state) {
        auto packet = OSCPacket::decode(bytes);
        benchmark::DoNotOptimize(packet.value()->message()->values().data());
    }
}

// The receive path: a SLIP chunk holding one reply, unframed, then decoded.
// Ours takes over the unframed buffer as the message's received bytes.
void receiveOurs(benchmark::State& state) {
    const auto chunk = slipEncode(cueReplyBytes());
    for (auto _ : state) {
        auto packets = slipDecode(chunk);
        auto packet = OSCPacket::decode(std::move(packets.value().front()));
        benchmark::DoNotOptimize(packet.value()->message()->values().data());
    }
}

OwnedReply oscpackReply(const OSCBytes& bytes) {
    const osc::ReceivedPacket packet(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const osc::ReceivedMessage message(packet);
    OwnedReply reply{message.AddressPattern(), {}};
    reply.arguments.reserve(message.ArgumentCount());
    for (auto arg = message.ArgumentsBegin(); arg != message.ArgumentsEnd(); ++arg) {
        if (arg->IsString()) {
            reply.arguments.emplace_back(std::string(arg->AsStringUnchecked()));
        } else if (arg->IsInt32()) {
            reply.arguments.emplace_back(arg->AsInt32Unchecked());
        }
    }
    return reply;
}

void receiveOscpack(benchmark::State& state) {
    const auto chunk = slipEncode(cueReplyBytes());
    for (auto _ : state) {
        auto packets = slipDecode(chunk);
        auto reply = oscpackReply(packets.value().front());
        benchmark::DoNotOptimize(reply.arguments.data());
    }
}

OwnedReply libloReply(OSCBytes& bytes) {
    int result = 0;
    lo_message message = lo_message_deserialise(bytes.data(), bytes.size(), &result);
    OwnedReply reply{reinterpret_cast<const char*>(bytes.data()), {}};
    const int count = lo_message_get_argc(message);
    const char* types = lo_message_get_types(message);
    lo_arg** argv = lo_message_get_argv(message);
    reply.arguments.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        if (types[i] == 's') {
            reply.arguments.emplace_back(std::string(&argv[i]->s));
        } else if (types[i] == 'i') {
            reply.arguments.emplace_back(argv[i]->i);
        }
    }
    lo_message_free(message);
    return reply;
}

void receiveLiblo(benchmark::State& state) {
    const auto chunk = slipEncode(cueReplyBytes());
    for (auto _ : state) {
        auto packets = slipDecode(chunk);
        auto reply = libloReply(packets.value().front());
        benchmark::DoNotOptimize(reply.arguments.data());
    }
}

void decodeOscpack(benchmark::State& state) {
    const auto bytes = cueReplyBytes();
    for (auto _ : state) {
        auto reply = oscpackReply(bytes);
        benchmark::DoNotOptimize(reply.arguments.data());
    }
}

void decodeLiblo(benchmark::State& state) {
    auto bytes = cueReplyBytes();
    for (auto _ : state) {
        auto reply = libloReply(bytes);
        benchmark::DoNotOptimize(reply.arguments.data());
    }
}

BENCHMARK(buildAndEncodeOurs);
BENCHMARK(buildAndEncodeOscpack);
BENCHMARK(buildAndEncodeLiblo);
BENCHMARK(encodeOurs);
BENCHMARK(encodeOscpack);
BENCHMARK(encodeLiblo);
BENCHMARK(decodeOurs);
BENCHMARK(decodeOscpack);
BENCHMARK(decodeLiblo);
BENCHMARK(receiveOurs);
BENCHMARK(receiveOscpack);
BENCHMARK(receiveLiblo);

// Prints the usual table, then the ratios from the same run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        // With --benchmark_repetitions the median stands for the benchmark.
        for (const auto& run : runs) {
            if (run.error_occurred) {
                continue;
            }
            if (run.run_type == Run::RT_Iteration) {
                nanoseconds_[run.run_name.function_name] = run.GetAdjustedCPUTime();
            } else if (run.aggregate_name == "median") {
                medians_[run.run_name.function_name] = run.GetAdjustedCPUTime();
            }
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        printRatio("build+encode+SLIP", "buildAndEncode");
        printRatio("encode + SLIP", "encode");
        printRatio("decode cue reply", "decode");
        printRatio("unframe + decode", "receive");
    }

private:
    double cpuTime(const std::string& name) {
        return medians_.count(name) ? medians_[name] : nanoseconds_[name];
    }

    void printRatio(const char* label, const std::string& prefix) {
        const double ours = cpuTime(prefix + "Ours");
        const double oscpack = cpuTime(prefix + "Oscpack");
        const double liblo = cpuTime(prefix + "Liblo");
        if (ours <= 0 || oscpack <= 0 || liblo <= 0) {
            return;
        }
        const double fastest = std::min(oscpack, liblo);
        std::printf("%-17s ours %.1f ns, oscpack %.1f ns, liblo %.1f ns: ours/oscpack %.2f, ours/liblo %.2f, "
                    "ours/fastest %.2f (%s)\n",
                    label, ours, oscpack, liblo, ours / oscpack, ours / liblo, ours / fastest,
                    ours <= fastest ? "goal met" : "slower than the fastest peer");
    }

    std::map<std::string, double> nanoseconds_;
    std::map<std::string, double> medians_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
