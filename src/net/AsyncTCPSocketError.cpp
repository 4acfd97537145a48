#include "net/AsyncTCPSocketError.h"

#include "net/SocketSystem.h"

namespace lanternwick {

AsyncTCPSocketError AsyncTCPSocketError::socketError(AsyncTCPSocketErrorCode code, std::string_view text) {
    std::string description;
    switch (code) {
    case AsyncTCPSocketErrorCode::connectTimeout: description = "Attempt to connect to host timed out"; break;
    case AsyncTCPSocketErrorCode::readTimeout: description = "Read operation timed out"; break;
    case AsyncTCPSocketErrorCode::writeTimeout: description = "Write operation timed out"; break;
    case AsyncTCPSocketErrorCode::readMaxedOut: description = "Read operation reached set maximum length"; break;
    case AsyncTCPSocketErrorCode::closed: description = "Socket closed by remote peer"; break;
    case AsyncTCPSocketErrorCode::badConfig:
    case AsyncTCPSocketErrorCode::badParam:
    case AsyncTCPSocketErrorCode::other: description = std::string(text); break;
    }
    return {std::string(asyncTCPSocketErrorDomain), static_cast<int>(code), std::move(description), {}};
}

AsyncTCPSocketError AsyncTCPSocketError::posix(int errorNumber, std::string_view failureReason) {
    return {std::string(posixErrorDomain), errorNumber, socket_system::errorText(errorNumber), std::string(failureReason)};
}

AsyncTCPSocketError AsyncTCPSocketError::netDB(int resolverCode) {
    return {std::string(netDBErrorDomain), resolverCode, socket_system::resolverErrorText(resolverCode), {}};
}

}  // namespace lanternwick
