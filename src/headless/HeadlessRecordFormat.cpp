#include "headless/HeadlessRecordFormat.h"

#include <cstdio>
#include <ctime>

#include "eos/CueDeletionPrompt.h"
#include "eos/CueReply.h"
#include "headless/LocalTime.h"
#include "support/TextRules.h"

namespace lanternwick {
namespace {

using std::chrono::system_clock;

constexpr char32_t replacementCharacter = 0xFFFD;

// The code point starting at text[i] and its length in bytes; an ill-formed
// sequence (overlong, surrogate, beyond U+10FFFF, cut short) is one byte of
// U+FFFD.
std::pair<char32_t, std::size_t> codePointAt(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return {lead, 1};
    std::size_t length = 0;
    char32_t value = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, value = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, value = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, value = lead & 0x07u;
    } else {
        return {replacementCharacter, 1};
    }
    if (i + length > text.size()) return {replacementCharacter, 1};
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(k) & 0xC0u) != 0x80u) return {replacementCharacter, 1};
        value = (value << 6) | (byte(k) & 0x3Fu);
    }
    const bool overlong = (length == 3 && value < 0x800) || (length == 4 && value < 0x10000);
    if (overlong || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF) return {replacementCharacter, 1};
    return {value, length};
}

void appendUTF8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void appendHex(std::string& out, const char* format, unsigned value) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, format, value);
    out += buffer;
}

bool isControl(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

LocalTime localTimeOf(system_clock::time_point time) {
    return localTime(system_clock::to_time_t(std::chrono::floor<std::chrono::seconds>(time)));
}

int millisecondsOf(system_clock::time_point time) {
    const auto withinSecond = time - std::chrono::floor<std::chrono::seconds>(time);
    return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(withinSecond).count());
}

std::string_view jsonKindName(LightingChangeEvent::Kind kind) {
    switch (kind) {
    case LightingChangeEvent::Kind::initial: return "initial";
    case LightingChangeEvent::Kind::modified: return "modified";
    case LightingChangeEvent::Kind::created: return "created";
    case LightingChangeEvent::Kind::deleted: return "deleted";
    case LightingChangeEvent::Kind::unreadable: return "unreadable";
    }
    return "initial";
}

std::string_view jsonStateName(LinkState state) {
    switch (state) {
    case LinkState::notConnected: return "notConnected";
    case LinkState::connecting: return "connecting";
    case LinkState::connected: return "connected";
    case LinkState::noAnswer: return "noAnswer";
    }
    return "notConnected";
}

// Builds one JSON object; keys are this file's own literals.
class JsonObject {
public:
    JsonObject(system_clock::time_point time, std::string_view type, const Uuid& id) {
        text("time", rfc3339Text(time));
        text("type", type);
        text("id", id.text());
    }
    JsonObject& text(std::string_view key, std::string_view value) { return raw(key, jsonString(value)); }
    JsonObject& number(std::string_view key, std::int64_t value) { return raw(key, std::to_string(value)); }
    JsonObject& boolean(std::string_view key, bool value) { return raw(key, value ? "true" : "false"); }
    JsonObject& optionalText(std::string_view key, const std::optional<std::string>& value) {
        return value ? text(key, *value) : raw(key, "null");
    }
    JsonObject& optionalNumber(std::string_view key, std::optional<std::int64_t> value) {
        return value ? number(key, *value) : raw(key, "null");
    }
    std::string line() const { return line_ + "}\n"; }

private:
    JsonObject& raw(std::string_view key, std::string_view value) {
        line_ += line_.empty() ? "{" : ",";
        line_ += '"';
        line_ += key;
        line_ += "\":";
        line_ += value;
        return *this;
    }
    std::string line_;
};

struct OutcomeJson {
    JsonObject& object;

    void operator()(const LineOutcome& line) const {
        object.text("address", line.address).text("text", line.text).text("fate", displayName(line.fate));
        if (line.fate != LineFate::sent) object.text("reason", line.reason);
    }
    void operator()(const SkippedCommand& skipped) const {
        object.number("list", skipped.list).text("cue", skipped.cue).text("what", skipped.what)
            .text("reason", skipped.reason);
    }
    void operator()(const ConnectionChange& change) const {
        object.text("state", jsonStateName(change.status.state)).text("reason", change.status.reason)
            .number("held", static_cast<std::int64_t>(change.status.heldLines)).text("host", change.host)
            .number("port", change.port);
    }
    void operator()(const ReceivedReply& reply) const {
        object.text("address", reply.address).text("values", reply.valuesText).optionalNumber("list", reply.list)
            .optionalText("cue", reply.cue).optionalNumber("part", reply.part).optionalText("label", reply.label)
            .optionalNumber("upTimeMs", reply.upTimeMs).optionalText("timecode", reply.timecode)
            .number("missingValues", static_cast<std::int64_t>(reply.missingValues));
    }
    void operator()(const DeliveryConfirmed& confirmed) const {
        object.number("lines", static_cast<std::int64_t>(confirmed.lines)).number("latencyMs", confirmed.latencyMs);
    }
    void operator()(const DeletionQuestion& question) const {
        object.number("list", question.list).text("cue", question.cue).boolean("confirmed", question.confirmed)
            .boolean("doNotAskAgain", question.doNotAskAgain);
    }
};

std::string_view outcomeType(const SyncOutcome::Detail& detail) {
    constexpr std::string_view types[] = {"line", "skipped", "connection", "received", "question", "confirmed"};
    static_assert(std::size(types) == std::variant_size_v<SyncOutcome::Detail>);
    return types[detail.index()];
}

std::string withText(std::string_view address, std::string_view text) {
    std::string line = printableText(address);
    if (!text.empty()) line += " " + printableText(text);
    return line;
}

std::string connectionText(const ConnectionChange& change) {
    const std::string where = printableText(change.host) + ":" + std::to_string(change.port);
    std::string line = "== ";
    switch (change.status.state) {
    case LinkState::connecting: line += "connecting to " + where; break;
    case LinkState::connected: line += "connected to " + where; break;
    case LinkState::notConnected:
        line += "not connected to " + where;
        if (!change.status.reason.empty()) line += " (" + printableText(change.status.reason) + ")";
        break;
    case LinkState::noAnswer: line += printableText(change.status.reason); break;
    }
    if (change.status.heldLines > 0) line += " \u00b7 " + std::to_string(change.status.heldLines) + " held";
    return line;
}

struct OutcomeText {
    std::string operator()(const LineOutcome& line) const {
        switch (line.fate) {
        case LineFate::sent: return "-> sent " + withText(line.address, line.text);
        case LineFate::held: return ".. held " + withText(line.address, line.text);
        case LineFate::waiting: return ".. waiting " + withText(line.address, line.text);
        case LineFate::replaced: return ".. replaced " + withText(line.address, line.text);
        case LineFate::dropped:
        case LineFate::skipped: break;
        }
        std::string text = "!! " + std::string(displayName(line.fate)) + " " + withText(line.address, line.text);
        if (!line.reason.empty()) text += " (" + printableText(line.reason) + ")";
        return text;
    }
    std::string operator()(const SkippedCommand& skipped) const {
        return "!! skipped cue " + std::to_string(skipped.list) + "/" + printableText(displayValue(skipped.cue)) +
               " " + printableText(skipped.what) + ": " + printableText(skipped.reason);
    }
    std::string operator()(const ConnectionChange& change) const { return connectionText(change); }
    std::string operator()(const ReceivedReply& reply) const {
        if (const auto summary = cueReplySummary(reply)) {
            return "<- " + printableText(*summary);
        }
        return "<- " + withText(reply.address, reply.valuesText);
    }
    std::string operator()(const DeliveryConfirmed& confirmed) const {
        return "ok " + std::to_string(confirmed.lines) + " confirmed (" + std::to_string(confirmed.latencyMs) + " ms)";
    }
    std::string operator()(const DeletionQuestion& question) const {
        std::string text = "?? " + printableText(cueDeletionMessageText(question.list, question.cue));
        text += question.confirmed ? " yes" : " no";
        if (question.doNotAskAgain) text += ", do not ask again";
        return text;
    }
};

}  // namespace

std::string localClockText(system_clock::time_point time) {
    const std::tm calendar = localTimeOf(time).calendar;
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d.%03d", calendar.tm_hour, calendar.tm_min, calendar.tm_sec,
                  millisecondsOf(time));
    return buffer;
}

std::string rfc3339Text(system_clock::time_point time) {
    const LocalTime local = localTimeOf(time);
    const std::tm& calendar = local.calendar;
    const long offsetMinutes = local.utcOffsetSeconds / 60;
    const long offset = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02ld:%02ld", calendar.tm_year + 1900,
                  calendar.tm_mon + 1, calendar.tm_mday, calendar.tm_hour, calendar.tm_min, calendar.tm_sec,
                  millisecondsOf(time), offsetMinutes < 0 ? '-' : '+', offset / 60, offset % 60);
    return buffer;
}

std::string headlessEventText(const LightingChangeEvent& event) {
    // Summaries of events with content already open with the kind's name.
    const std::string prefix = std::string(displayName(event.kind)) + ": ";
    std::string text = printableText(event.summary.starts_with(prefix) ? event.summary : prefix + event.summary) + "\n";
    std::string_view details = event.details;
    while (!details.empty()) {
        const std::size_t end = details.find('\n');
        text += "    " + printableText(details.substr(0, end)) + "\n";
        if (end == std::string_view::npos) break;
        details.remove_prefix(end + 1);
    }
    return text;
}

std::string headlessOutcomeText(const SyncOutcome::Detail& detail) { return std::visit(OutcomeText{}, detail); }

std::string eventJsonLine(const LightingChangeEvent& event) {
    JsonObject object(event.timestamp, "event", event.id);
    object.text("kind", jsonKindName(event.kind)).text("summary", event.summary).text("details", event.details);
    return object.line();
}

std::string outcomeJsonLine(const SyncOutcome& outcome) {
    JsonObject object(outcome.timestamp, outcomeType(outcome.detail), outcome.id);
    std::visit(OutcomeJson{object}, outcome.detail);
    return object.line();
}

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto [c, length] = codePointAt(text, i);
        i += length;
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            // U+2028 and U+2029 are escaped as well: JavaScript that evaluates
            // a line would take them for line ends.
            if (c < 0x20 || c == 0x7F || c == 0x2028 || c == 0x2029) {
                appendHex(out, "\\u%04x", static_cast<unsigned>(c));
            } else {
                appendUTF8(out, c);
            }
        }
    }
    return out + "\"";
}

std::string printableText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto [c, length] = codePointAt(text, i);
        i += length;
        if (isControl(c)) {
            appendHex(out, "\\x%02x", static_cast<unsigned>(c));
        } else {
            appendUTF8(out, c);
        }
    }
    return out;
}

}  // namespace lanternwick

namespace lanternwick {

namespace {

std::string_view optionWords(std::string_view name) {
    if (name == "updateOnConnect") return "update on connect";
    if (name == "syncLabels") return "sync labels";
    if (name == "deleteCues") return "delete cues";
    return name;
}

std::string_view deletionWords(StartNote::Deletion deletion) {
    switch (deletion) {
    case StartNote::Deletion::ask: return "cues of deleted markers will be deleted after asking";
    case StartNote::Deletion::noTerminal:
        return "cues of deleted markers would be deleted after asking, but there is no terminal to ask, so none "
               "will be";
    case StartNote::Deletion::yes: return "cues of deleted markers will be deleted without asking (--assume-yes)";
    case StartNote::Deletion::no: return "cues of deleted markers will be kept (--assume-no)";
    }
    return "";
}

std::string_view deletionName(StartNote::Deletion deletion) {
    switch (deletion) {
    case StartNote::Deletion::ask: return "ask";
    case StartNote::Deletion::noTerminal: return "noTerminal";
    case StartNote::Deletion::yes: return "yes";
    case StartNote::Deletion::no: return "no";
    }
    return "ask";
}

}  // namespace

std::string startNoteText(const StartNote& note) {
    const std::string consoleSource = note.hostSource == note.portSource
                                          ? printableText(note.hostSource)
                                          : "host " + printableText(note.hostSource) + ", port " +
                                                printableText(note.portSource);
    std::string text = "Watching " + printableText(note.file) + " (" + printableText(note.fileSource) +
                       "), console " + printableText(note.host) + ":" + std::to_string(note.port) + " (" +
                       consoleSource + "), framing " + std::string(displayName(note.framing)) + " (" +
                       printableText(note.framingSource) + ") (Ctrl-C stops)\n";
    text += "Options: ";
    bool first = true;
    for (const StartNote::Option& option : note.options) {
        if (!first) text += ", ";
        first = false;
        const bool deletes = option.name == "deleteCues" && option.on;
        text += std::string(optionWords(option.name)) + (deletes ? " ON" : option.on ? " on" : " off");
        text += " (" + printableText(option.source);
        if (deletes) text += ": " + std::string(deletionWords(note.deletion));
        text += ")";
    }
    return text + "\n";
}

std::string startJsonLine(const StartNote& note, const Uuid& id) {
    std::string options = "{";
    for (const StartNote::Option& option : note.options) {
        if (options.size() > 1) options += ",";
        options += jsonString(option.name) + ":{\"on\":" + (option.on ? "true" : "false") +
                   ",\"source\":" + jsonString(option.source) + "}";
    }
    options += "}";
    const std::string sources = "{\"file\":" + jsonString(note.fileSource) + ",\"host\":" + jsonString(note.hostSource) +
                                ",\"port\":" + jsonString(note.portSource) +
                                ",\"framing\":" + jsonString(note.framingSource) + "}";
    std::string line = "{\"time\":" + jsonString(rfc3339Text(note.time)) + ",\"type\":\"start\",\"id\":" +
                       jsonString(id.text()) + ",\"file\":" + jsonString(note.file) +
                       ",\"host\":" + jsonString(note.host) + ",\"port\":" + std::to_string(note.port) +
                       ",\"framing\":" + jsonString(settingText(note.framing)) + ",\"sources\":" + sources +
                       ",\"options\":" + options + ",\"deletion\":" + jsonString(deletionName(note.deletion)) + "}\n";
    return line;
}

std::string notPrintedText(std::uint64_t count) {
    return "!! " + std::to_string(count) + (count == 1 ? " record" : " records") +
           " not printed: the output was not read";
}

std::string notPrintedJsonLine(std::chrono::system_clock::time_point time, const Uuid& id, std::uint64_t count) {
    return "{\"time\":" + jsonString(rfc3339Text(time)) + ",\"type\":\"notPrinted\",\"id\":" + jsonString(id.text()) +
           ",\"count\":" + std::to_string(count) + "}\n";
}

}  // namespace lanternwick
