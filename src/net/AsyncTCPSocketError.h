#pragma once
// AsyncTCPSocketError: why a socket refused a request or closed. A value:
// a domain, a code within it, the text that description() returns and, for
// operating-system failures, the call that failed. Three domains occur: the
// socket's own (codes in AsyncTCPSocketErrorCode), POSIX errors (errno as
// code, failure reason "Error in connect() function" and the like) and name
// resolution errors (the resolver's EAI_* code).

#include <string>
#include <string_view>

namespace lanternwick {

inline constexpr std::string_view asyncTCPSocketErrorDomain = "AsyncTCPSocketErrorDomain";
inline constexpr std::string_view posixErrorDomain = "POSIXErrorDomain";
inline constexpr std::string_view netDBErrorDomain = "NetDBErrorDomain";

enum class AsyncTCPSocketErrorCode {
    badConfig = 1,
    badParam = 2,
    connectTimeout = 3,
    readTimeout = 4,
    writeTimeout = 5,
    readMaxedOut = 6,
    closed = 7,
    other = 8,
};

struct AsyncTCPSocketError {
    std::string domain;
    int code = 0;
    std::string text;
    std::string failureReason;

    const std::string& description() const { return text; }

    bool isSocketError() const { return domain == asyncTCPSocketErrorDomain; }
    bool is(AsyncTCPSocketErrorCode c) const { return isSocketError() && code == static_cast<int>(c); }

    // Codes 3 to 7 carry fixed texts; 1, 2 and 8 carry the text given.
    static AsyncTCPSocketError socketError(AsyncTCPSocketErrorCode code, std::string_view text = {});
    static AsyncTCPSocketError posix(int errorNumber, std::string_view failureReason);
    static AsyncTCPSocketError netDB(int resolverCode);

    friend bool operator==(const AsyncTCPSocketError&, const AsyncTCPSocketError&) = default;
};

}  // namespace lanternwick
