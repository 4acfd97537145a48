#pragma once
// socket_system: the few operating-system calls AsyncTCPSocket makes on its
// own sockets, and nothing else; waiting for readiness is Asio's. One
// implementation file per platform (SocketSystemPosix.cpp here) holds every
// system header and call, so a port adds a file instead of editing the
// socket. Free functions without state: each acts on the handle it is given
// and may run on any thread, though the socket calls them only on its own
// queue. None of them waits: sockets are opened non-blocking, and the looks
// at readiness return at once. Errors are the system's error numbers, the
// codes of POSIXErrorDomain.

#include <cstddef>
#include <cstdint>
#include <string>

namespace lanternwick {

struct SocketAddress;

#ifdef _WIN32
using NativeSocket = std::uintptr_t;
inline constexpr NativeSocket noNativeSocket = ~NativeSocket{0};
#else
using NativeSocket = int;
inline constexpr NativeSocket noNativeSocket = -1;
#endif

namespace socket_system {

// The outcome of one read, peek or send that does not wait.
struct Transfer {
    enum class Outcome { moved, wouldBlock, interrupted, failed };
    Outcome outcome = Outcome::moved;
    // Bytes moved; zero from a read or peek is the end of the stream.
    std::size_t count = 0;
    int error = 0;
};

// What a look at readiness finds without waiting. `faulted` is ready with an
// error or hang-up pending, which the next call will report.
enum class Readiness { notReady, ready, faulted };

// The options every connected socket gets, in this order: no delay, keep-
// alive with its idle time, interval and probe count, and the timeout for
// unacknowledged data where the platform has one. Failures are ignored: each
// only makes a dead peer show sooner or a small write go out sooner.
struct ConnectedOptions {
    int keepAliveIdleSeconds = 0;
    int keepAliveIntervalSeconds = 0;
    int keepAliveProbeCount = 0;
    int userTimeoutMilliseconds = 0;
};

struct Opened {
    NativeSocket handle = noNativeSocket;
    int error = 0;
};

// A non-blocking TCP socket of the address family given, not inherited by
// child processes.
Opened openStreamSocket(int family);
void closeSocket(NativeSocket socket);
// Zero or the error number. Binding to a given port first allows reusing an
// address still in TIME_WAIT.
int bindTo(NativeSocket socket, const SocketAddress& local);
// Zero when the connection is made or under way (its result then comes
// with writability, from pendingError), else the error number.
int startConnect(NativeSocket socket, const SocketAddress& peer);
// The error a connect under way ended with, zero for none.
int pendingError(NativeSocket socket);
void setConnectedOptions(NativeSocket socket, const ConnectedOptions& options);
bool setNonBlocking(NativeSocket socket);

Readiness readable(NativeSocket socket);
Readiness writable(NativeSocket socket);
// Looks at the next byte without taking it.
Transfer peekByte(NativeSocket socket);
Transfer receive(NativeSocket socket, std::uint8_t* into, std::size_t length);
// Never raises a signal when the peer has gone.
Transfer send(NativeSocket socket, const std::uint8_t* from, std::size_t length);

// The texts of POSIXErrorDomain and NetDBErrorDomain errors.
std::string errorText(int errorNumber);
std::string resolverErrorText(int resolverCode);

}  // namespace socket_system

}  // namespace lanternwick
