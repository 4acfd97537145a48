#include "console-sim/SimulatorLog.h"

#include <cmath>
#include <sstream>

namespace lanternwick::sim {

namespace {

std::string jsonNumber(const double value, const std::string& plain) {
    if (!std::isfinite(value)) return jsonString(plain);
    return plain;
}

std::string jsonValue(const OSCValue& value) {
    if (const auto v = value.getIf<std::int32_t>()) return std::to_string(*v);
    if (const auto v = value.getIf<std::int64_t>()) return std::to_string(*v);
    if (const auto v = value.getIf<float>()) return jsonNumber(*v, value.plainText());
    if (const auto v = value.getIf<double>()) return jsonNumber(*v, value.plainText());
    return jsonString(value.plainText());
}

std::string cueJSON(const SimulatedCue& cue) {
    return "{\"list\":" + std::to_string(cue.cueList) + ",\"cue\":" + jsonString(cue.cueNumber) +
           ",\"label\":" + jsonString(cue.label) + ",\"time\":" + jsonString(cue.time) +
           ",\"timecode\":" + jsonString(cue.timecode) + "}";
}

std::string textValues(const std::vector<OSCValue>& values) {
    if (values.empty()) return "(no values)";
    return listDescription(values);
}

std::string event(std::string_view name) { return "{\"event\":" + jsonString(name); }

}  // namespace

std::string jsonValues(const std::vector<OSCValue>& values) {
    std::string json = "[";
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) json += ',';
        json += jsonValue(values[i]);
    }
    return json + "]";
}

void SimulatorLog::line(const std::string& text) {
    out_ << text << '\n';
    out_.flush();
}

void SimulatorLog::listening(const std::string_view host, const unsigned port) {
    if (format_ == Format::json) {
        line(event("listening") + ",\"host\":" + jsonString(host) + ",\"port\":" + std::to_string(port) + "}");
    } else {
        line("listening on " + std::string(host) + ":" + std::to_string(port));
    }
}

void SimulatorLog::connected(const std::string_view peer) {
    if (format_ == Format::json) {
        line(event("connected") + ",\"peer\":" + jsonString(peer) + "}");
    } else {
        line("client connected: " + std::string(peer));
    }
}

void SimulatorLog::disconnected(const std::string_view peer) {
    if (format_ == Format::json) {
        line(event("disconnected") + ",\"peer\":" + jsonString(peer) + "}");
    } else {
        line("client disconnected: " + std::string(peer));
    }
}

void SimulatorLog::received(const std::string_view peer, const OSCMessage& message) {
    if (format_ == Format::json) {
        line(event("received") + ",\"peer\":" + jsonString(peer) + ",\"address\":" + jsonString(message.address()) +
             ",\"values\":" + jsonValues(message.values()) + "}");
    } else {
        line("<- " + message.address() + " " + textValues(message.values()));
    }
}

void SimulatorLog::executed(const std::string_view command, const SimulatedCue& cue) {
    if (format_ == Format::json) {
        line(event("executed") + ",\"command\":" + jsonString(command) + ",\"cue\":" + cueJSON(cue) + "}");
    } else {
        std::ostringstream text;
        text << "   executed: " << command << "  => cue " << cue.cueList << " / " << cue.cueNumber << " label "
             << jsonString(cue.label) << " time " << jsonString(cue.time) << " timecode " << jsonString(cue.timecode);
        line(text.str());
    }
}

void SimulatorLog::deleted(const std::string_view command, const std::int64_t cueList,
                           const std::string_view cueNumber) {
    if (format_ == Format::json) {
        line(event("executed") + ",\"command\":" + jsonString(command) + ",\"deleted\":{\"list\":" +
             std::to_string(cueList) + ",\"cue\":" + jsonString(cueNumber) + "}}");
    } else {
        line("   executed: " + std::string(command) + "  => cue " + std::to_string(cueList) + " / " +
             std::string(cueNumber) + " deleted");
    }
}

void SimulatorLog::refused(const std::string_view command, const std::string_view reason) {
    if (format_ == Format::json) {
        line(event("refused") + ",\"command\":" + jsonString(command) + ",\"reason\":" + jsonString(reason) + "}");
    } else {
        line("   not understood: " + jsonString(command) + " (" + std::string(reason) + ")");
    }
}

void SimulatorLog::unterminated(const std::string_view command) {
    if (format_ == Format::json) {
        line(event("unterminated") + ",\"command\":" + jsonString(command) + "}");
    } else {
        line("   left on the command line (no #): " + jsonString(command));
    }
}

void SimulatorLog::keyPressed(const std::string_view key) {
    if (format_ == Format::json) {
        line(event("key") + ",\"key\":" + jsonString(key) + "}");
    } else {
        line("   key pressed: " + std::string(key));
    }
}

void SimulatorLog::replied(const OSCMessage& reply) {
    if (format_ == Format::json) {
        line(event("reply") + ",\"address\":" + jsonString(reply.address()) +
             ",\"values\":" + jsonValues(reply.values()) + "}");
    } else {
        line("-> " + reply.address() + " " + textValues(reply.values()));
    }
}

void SimulatorLog::dropped(const std::string_view peer, const std::string_view reason) {
    if (format_ == Format::json) {
        line(event("dropped") + ",\"peer\":" + jsonString(peer) + ",\"reason\":" + jsonString(reason) + "}");
    } else {
        line("   dropped from " + std::string(peer) + ": " + std::string(reason));
    }
}

void SimulatorLog::unhandled(const std::string_view address) {
    if (format_ == Format::json) {
        line(event("unhandled") + ",\"address\":" + jsonString(address) + "}");
    } else {
        line("   ignored: " + std::string(address));
    }
}

}  // namespace lanternwick::sim
