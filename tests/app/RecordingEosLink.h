#pragma once
// RecordingEosLink: a console link that connects nowhere. It records what
// the monitor asks of it and lets a test report connection changes the way
// the real client would.

#include <string>
#include <vector>

#include "eos/EosLink.h"

namespace lanternwick::testing {

class RecordingEosLink final : public EosLink {
public:
    struct Configuration {
        std::string host;
        std::uint16_t port = 0;
        bool reconnect = false;
        friend bool operator==(const Configuration&, const Configuration&) = default;
    };

    void configure(std::string_view host, std::uint16_t port, bool reconnect) override {
        configurations.push_back({std::string(host), port, reconnect});
    }
    void connect() override { ++connectCount; }
    void disconnect() override {}
    void sendAddress(std::string_view address) override { sent.emplace_back(address); }
    void sendCommandLine(std::string_view text) override { sent.emplace_back(text); }
    void setCallbacks(EosLinkCallbacks newCallbacks) override { callbacks = std::move(newCallbacks); }

    void reportConnected(bool connected) const {
        if (callbacks.onConnectionStateChanged) {
            callbacks.onConnectionStateChanged(connected);
        }
    }

    std::vector<Configuration> configurations;
    std::vector<std::string> sent;
    int connectCount = 0;
    EosLinkCallbacks callbacks;
};

}  // namespace lanternwick::testing
