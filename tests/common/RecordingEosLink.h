#pragma once
// A console link that records what would have been sent, as "address" for
// bare addresses and "cmd <line>" for command lines, plus every configure
// and connect, so tests can compare exact traffic without a socket.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "eos/EosLink.h"

namespace lanternwick::testing {

struct ConfigureCall {
    std::string host;
    std::uint16_t port = 0;
    bool reconnect = false;

    friend bool operator==(const ConfigureCall&, const ConfigureCall&) = default;
};

class RecordingEosLink final : public EosLink {
public:
    void configure(std::string_view host, std::uint16_t port, bool reconnect) override {
        configures.push_back({std::string(host), port, reconnect});
    }
    void connect() override { ++connectCount; }
    void disconnect() override { ++disconnectCount; }
    void sendAddress(std::string_view address) override { sent.push_back(std::string(address)); }
    void sendCommandLine(std::string_view text) override {
        sent.push_back("cmd " + std::string(text));
        if (onCommand) {
            onCommand(std::string(text));
        }
    }
    void setCallbacks(EosLinkCallbacks newCallbacks) override { callbacks = std::move(newCallbacks); }

    std::vector<ConfigureCall> configures;
    int connectCount = 0;
    int disconnectCount = 0;
    std::vector<std::string> sent;
    EosLinkCallbacks callbacks;
    std::function<void(const std::string&)> onCommand;
};

}  // namespace lanternwick::testing
