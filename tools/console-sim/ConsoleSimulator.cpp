#include "console-sim/ConsoleSimulator.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "support/IntegerText.h"

namespace lanternwick::sim {

namespace {

constexpr std::string_view commandLineAddress = "/eos/user/0/newcmd";
constexpr std::string_view keyPrefix = "/eos/user/0/key/";
constexpr std::string_view pingAddress = "/eos/ping";
constexpr std::string_view pingReplyAddress = "/eos/out/ping";
constexpr std::string_view versionAddress = "/eos/get/version";
constexpr std::string_view versionReplyAddress = "/eos/out/get/version";

std::vector<std::string_view> addressPieces(std::string_view address) {
    std::vector<std::string_view> pieces;
    while (!address.empty()) {
        const std::size_t slash = address.find('/');
        const std::string_view piece = address.substr(0, slash);
        if (!piece.empty()) pieces.push_back(piece);
        if (slash == std::string_view::npos) break;
        address.remove_prefix(slash + 1);
    }
    return pieces;
}

// One console time in ms: seconds with an optional fraction, after optional
// minutes and hours ("1.5", "1:05", "1:00:00"); blanks around it allowed.
std::optional<std::int32_t> timeMilliseconds(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (text.empty()) return std::nullopt;
    double total = 0;
    int fields = 0;
    while (true) {
        const std::size_t colon = text.find(':');
        const std::string_view field = text.substr(0, colon);
        const bool last = colon == std::string_view::npos;
        if (field.empty() || ++fields > 3) return std::nullopt;
        for (const char c : field) {
            if ((c < '0' || c > '9') && !(last && c == '.')) return std::nullopt;
        }
        double value = 0;
        const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
        if (error != std::errc() || end != field.data() + field.size()) return std::nullopt;
        total = total * 60 + value;
        if (last) break;
        text.remove_prefix(colon + 1);
    }
    const double milliseconds = std::round(total * 1000);
    if (milliseconds > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
    return static_cast<std::int32_t>(milliseconds);
}

}  // namespace

std::optional<std::vector<OSCMessage>> cueQueryReply(const CueTable& table, const std::string_view address) {
    const std::vector<std::string_view> pieces = addressPieces(address);
    if (pieces.size() != 5 || pieces[0] != "eos" || pieces[1] != "get" || pieces[2] != "cue") return std::nullopt;
    const std::optional<std::int64_t> list = parseInteger<std::int64_t>(pieces[3], PlusSign::allowed);
    if (!list) return std::nullopt;
    const std::optional<SimulatedCue> cue = table.find(*list, pieces[4]);
    if (!cue) return std::vector<OSCMessage>{};
    const std::vector<SimulatedCue> cues = table.cues();
    const auto position = std::find(cues.begin(), cues.end(), *cue) - cues.begin();
    const std::string prefix = "/eos/out/get/cue/" + std::to_string(*list) + "/" + cue->cueNumber + "/0";
    return listMessages(prefix, baseCueValues(*cue, static_cast<std::int32_t>(position)));
}

std::optional<CueTimes> cueTimes(const std::string_view time) {
    const std::size_t slash = time.find('/');
    const auto up = timeMilliseconds(time.substr(0, slash));
    if (!up) return std::nullopt;
    if (slash == std::string_view::npos) return CueTimes{*up, *up};
    const auto down = timeMilliseconds(time.substr(slash + 1));
    if (!down) return std::nullopt;
    return CueTimes{*up, *down};
}

std::vector<OSCValue> baseCueValues(const SimulatedCue& cue, const std::int32_t index) {
    const CueTimes times = cueTimes(cue.time).value_or(CueTimes{});
    constexpr std::int32_t notSet = -1;
    return {index, "sim-" + std::to_string(cue.cueList) + "-" + cue.cueNumber, cue.label, times.up,
            std::int32_t{0}, times.down, std::int32_t{0},
            notSet, notSet, notSet, notSet, notSet, notSet,
            false, std::int32_t{0}, std::int32_t{100}, "", "", "", "",
            notSet, notSet, false, std::int32_t{0}, false, cue.timecode,
            std::int32_t{0}, "", "", false};
}

std::vector<OSCMessage> listMessages(const std::string_view prefix, const std::vector<OSCValue>& values,
                                     const std::size_t packetLimit) {
    const std::string count = std::to_string(values.size());
    const auto message = [&](std::size_t from, std::size_t to) {
        const std::string address = std::string(prefix) + "/list/" + std::to_string(from) + "/" + count;
        return OSCMessage(std::string_view(address), std::vector<OSCValue>(values.begin() + static_cast<std::ptrdiff_t>(from),
                                                                           values.begin() + static_cast<std::ptrdiff_t>(to)));
    };
    const auto fits = [&](const OSCMessage& m) {
        const auto bytes = m.rawData();
        return bytes && bytes->size() <= packetLimit;
    };
    std::vector<OSCMessage> messages;
    std::size_t from = 0;
    while (from < values.size()) {
        std::size_t to = from + 1;
        while (to < values.size() && fits(message(from, to + 1))) ++to;
        messages.push_back(message(from, to));
        from = to;
    }
    return messages;
}

ConsoleSimulator::ConsoleSimulator(SimulatorLog& log, std::optional<DumpOptions> dump, ConsoleBehaviour behaviour)
    : log_(log), behaviour_(std::move(behaviour)) {
    if (dump) dump_.emplace(table_, log_, std::move(*dump));
}

std::vector<OSCMessage> ConsoleSimulator::handlePacket(const std::string_view peer, const OSCPacket& packet) {
    if (const OSCMessage* message = packet.message()) return handleMessage(peer, *message);
    std::vector<OSCMessage> replies;
    for (const OSCPacket& element : packet.bundle()->elements()) {
        std::vector<OSCMessage> more = handlePacket(peer, element);
        replies.insert(replies.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
    }
    return replies;
}

std::vector<OSCMessage> ConsoleSimulator::handleMessage(const std::string_view peer, const OSCMessage& message) {
    const std::string& address = message.address();
    // The console answers a ping with its arguments, whatever they are. Not
    // logged: a connected client pings about once a second.
    if (address == pingAddress) {
        if (!behaviour_.answersPing) return {};
        return {OSCMessage(pingReplyAddress, message.values())};
    }
    log_.received(peer, message);
    if (address == versionAddress) {
        OSCMessage reply(versionReplyAddress, {OSCValue(behaviour_.version)});
        log_.replied(reply);
        return {std::move(reply)};
    }
    if (address == commandLineAddress) {
        const std::optional<std::string_view> line = message.stringArgument(0);
        if (!line || message.values().size() != 1) {
            log_.refused(message.description(), "a command line is one string argument");
            return {};
        }
        executeCommandLine(*line);
        return {};
    }
    if (address.starts_with(keyPrefix) && address.size() > keyPrefix.size()) {
        log_.keyPressed(std::string_view(address).substr(keyPrefix.size()));
        return {};
    }
    if (std::optional<std::vector<OSCMessage>> replies = answerCueQuery(address)) return std::move(*replies);
    log_.unhandled(address);
    return {};
}

std::optional<std::vector<OSCMessage>> ConsoleSimulator::answerCueQuery(const std::string_view address) {
    std::optional<std::vector<OSCMessage>> replies = cueQueryReply(table_, address);
    if (replies) {
        for (const OSCMessage& reply : *replies) log_.replied(reply);
        if (replies->empty()) log_.unhandled(address);
    }
    return replies;
}

bool ConsoleSimulator::executeCommandLine(const std::string_view line) {
    const CommandLinePieces pieces = splitCommandLine(line);
    bool changed = false;
    for (const std::string& text : pieces.commands) {
        const auto command = parseConsoleCommand(text);
        if (!command) {
            log_.refused(text, command.error().reason);
            continue;
        }
        const std::optional<SimulatedCue> cue = table_.apply(*command);
        if (cue) {
            log_.executed(text, *cue);
        } else {
            log_.deleted(text, command->cueList, command->cueNumber);
        }
        changed = true;
    }
    if (!pieces.unterminated.empty()) log_.unterminated(pieces.unterminated);
    if (changed && dump_) dump_->tableChanged();
    return changed;
}

}  // namespace lanternwick::sim
