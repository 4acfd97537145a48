#pragma once
// SendingLink: a stand-in console link for the programs that drive a monitor
// without a network (the memory benchmark, the kept-texts fuzz target).
// Every line goes out and is reported so, as on a connected console, through
// the same callbacks a real link calls; it counts them. Header only; one
// thread, the monitor's.

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

#include "eos/EosLink.h"
#include "eos/SyncOutcome.h"
#include "support/Uuid.h"

namespace lanternwick::soak {

class SendingLink final : public EosLink {
public:
    void configure(std::string_view, std::uint16_t, bool) override {}
    void connect() override {}
    void disconnect() override {}
    void sendAddress(std::string_view address) override { send(address, {}); }
    void sendCommandLine(std::string_view text) override { send("/eos/user/0/newcmd", text); }
    void setCallbacks(EosLinkCallbacks callbacks) override { callbacks_ = std::move(callbacks); }

    std::size_t lines = 0;

private:
    void send(std::string_view address, std::string_view text) {
        ++lines;
        if (callbacks_.onOutgoingMessage) {
            callbacks_.onOutgoingMessage(
                {Uuid::random(), std::chrono::system_clock::now(), std::string(address), std::string(text)});
        }
        if (callbacks_.onOutcome) {
            callbacks_.onOutcome(
                makeOutcome(LineOutcome{std::string(address), std::string(text), LineFate::sent, {}}));
        }
    }

    EosLinkCallbacks callbacks_;
};

}  // namespace lanternwick::soak
