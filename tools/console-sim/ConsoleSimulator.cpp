#include "console-sim/ConsoleSimulator.h"

#include <algorithm>
#include <charconv>
#include <limits>

namespace lanternwick::sim {

namespace {

constexpr std::string_view commandLineAddress = "/eos/user/0/newcmd";
constexpr std::string_view keyPrefix = "/eos/user/0/key/";
constexpr std::string_view pingAddress = "/eos/ping";
constexpr std::string_view pingReplyAddress = "/eos/out/ping";

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

std::optional<std::int64_t> integerPiece(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace

std::optional<OSCMessage> cueQueryReply(const CueTable& table, const std::string_view address) {
    const std::vector<std::string_view> pieces = addressPieces(address);
    if (pieces.size() != 5 || pieces[0] != "eos" || pieces[1] != "get" || pieces[2] != "cue") return std::nullopt;
    const std::optional<std::int64_t> list = integerPiece(pieces[3]);
    if (!list) return std::nullopt;
    const std::string replyAddress =
        "/eos/out/get/cue/" + std::to_string(*list) + "/" + std::string(pieces[4]);
    const std::optional<SimulatedCue> cue = table.find(*list, pieces[4]);
    if (!cue) return OSCMessage(std::string_view(replyAddress));
    // The reply carries the list as int32; lists beyond it are out of the
    // console's range anyway, so they are clamped rather than wrapped.
    const auto wireList = static_cast<std::int32_t>(std::clamp<std::int64_t>(
        cue->cueList, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
    return OSCMessage(std::string_view(replyAddress), {OSCValue(cue->label), OSCValue(wireList), OSCValue(cue->time),
                                     OSCValue(cue->timecode)});
}

ConsoleSimulator::ConsoleSimulator(SimulatorLog& log, std::optional<DumpOptions> dump) : log_(log) {
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
    if (address == pingAddress) return {OSCMessage(pingReplyAddress, message.values())};
    log_.received(peer, message);
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
    if (std::optional<OSCMessage> reply = answerCueQuery(address)) return {std::move(*reply)};
    log_.unhandled(address);
    return {};
}

std::optional<OSCMessage> ConsoleSimulator::answerCueQuery(const std::string_view address) {
    std::optional<OSCMessage> reply = cueQueryReply(table_, address);
    if (reply) log_.replied(*reply);
    return reply;
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
