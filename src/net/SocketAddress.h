#pragma once
// SocketAddress: one IPv4 or IPv6 socket address (address and port) as the
// socket calls take it, plus the blocking lookups that produce them: the
// system resolver and the local interface lookup. A plain value; the lookups
// block and belong on BackgroundPool or a caller that may wait, except
// addressesWithoutLookup, which never asks the resolver.

#include <sys/socket.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/AsyncTCPSocketError.h"
#include "net/SocketSystem.h"
#include "support/Result.h"

namespace lanternwick {

struct SocketAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;

    int family() const { return storage.ss_family; }
    const sockaddr* data() const { return reinterpret_cast<const sockaddr*>(&storage); }

    static SocketAddress loopbackIPv4(std::uint16_t port);
    static SocketAddress loopbackIPv6(std::uint16_t port);
    static std::optional<SocketAddress> fromSockaddr(const sockaddr* address, socklen_t length);
    // A numeric IPv4 or IPv6 address, nothing for anything else.
    static std::optional<SocketAddress> fromNumericHost(std::string_view host, std::uint16_t port);
    // The peer of a connected socket.
    static std::optional<SocketAddress> peerOf(NativeSocket socket);

    // "127.0.0.1", "::1".
    std::string hostText() const;
    std::uint16_t port() const;
    void setPort(std::uint16_t port);
};

// The first IPv4 and the first IPv6 address of a lookup; either may be absent.
struct AddressPair {
    std::optional<SocketAddress> ipv4;
    std::optional<SocketAddress> ipv6;
};

// Numeric IPv4 and IPv6 addresses, "localhost" and "loopback": what they
// stand for, at once; nothing for a name that needs the resolver.
std::optional<AddressPair> addressesWithoutLookup(std::string_view host, std::uint16_t port);

// Blocks, unless addressesWithoutLookup knows the host. Resolver failures
// are NetDBErrorDomain errors.
Result<AddressPair, AsyncTCPSocketError> resolveHost(std::string_view host, std::uint16_t port);

// An interface name ("lo", "eth0") or a local numeric address to the local
// addresses to bind before connecting; nothing when it names neither.
std::optional<AddressPair> lookupInterface(std::string_view interface);

}  // namespace lanternwick
