#pragma once
// OSCTCPSendError: why OSCTCPClient::send refused a packet. Either the
// packet could not be encoded (OSCEncodeError), or the socket's write queue
// had no room for it (an AsyncTCPSocketError whose text says the queue is
// full: the peer has stopped reading). description() is the cause's text.
// A plain value.

#include <string>
#include <variant>

#include "net/AsyncTCPSocketError.h"
#include "osc/OSCEncodeError.h"

namespace lanternwick {

struct OSCTCPSendError {
    std::variant<OSCEncodeError, AsyncTCPSocketError> cause;

    OSCTCPSendError() = default;
    OSCTCPSendError(OSCEncodeError error) : cause(std::move(error)) {}
    OSCTCPSendError(AsyncTCPSocketError error) : cause(std::move(error)) {}

    std::string description() const {
        return std::visit([](const auto& error) { return std::string(error.description()); }, cause);
    }
    bool isWriteQueueFull() const { return std::holds_alternative<AsyncTCPSocketError>(cause); }

    friend bool operator==(const OSCTCPSendError&, const OSCTCPSendError&) = default;
};

}  // namespace lanternwick
