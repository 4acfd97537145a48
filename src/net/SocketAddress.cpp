#include "net/SocketAddress.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netdb.h>
#include <netinet/in.h>

#include <cstring>
#include <memory>

namespace lanternwick {

namespace {

sockaddr_in* asIPv4(sockaddr_storage& s) { return reinterpret_cast<sockaddr_in*>(&s); }
sockaddr_in6* asIPv6(sockaddr_storage& s) { return reinterpret_cast<sockaddr_in6*>(&s); }
const sockaddr_in* asIPv4(const sockaddr_storage& s) { return reinterpret_cast<const sockaddr_in*>(&s); }
const sockaddr_in6* asIPv6(const sockaddr_storage& s) { return reinterpret_cast<const sockaddr_in6*>(&s); }

void keepFirst(AddressPair& pair, const SocketAddress& address) {
    if (address.family() == AF_INET && !pair.ipv4) pair.ipv4 = address;
    if (address.family() == AF_INET6 && !pair.ipv6) pair.ipv6 = address;
}

}  // namespace

SocketAddress SocketAddress::loopbackIPv4(std::uint16_t port) {
    SocketAddress a;
    auto* in = asIPv4(a.storage);
    in->sin_family = AF_INET;
    in->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    in->sin_port = htons(port);
    a.length = sizeof(sockaddr_in);
    return a;
}

SocketAddress SocketAddress::loopbackIPv6(std::uint16_t port) {
    SocketAddress a;
    auto* in6 = asIPv6(a.storage);
    in6->sin6_family = AF_INET6;
    in6->sin6_addr = in6addr_loopback;
    in6->sin6_port = htons(port);
    a.length = sizeof(sockaddr_in6);
    return a;
}

std::optional<SocketAddress> SocketAddress::fromSockaddr(const sockaddr* address, socklen_t length) {
    if (address == nullptr) return std::nullopt;
    if (address->sa_family == AF_INET && length >= static_cast<socklen_t>(sizeof(sockaddr_in))) {
        SocketAddress a;
        std::memcpy(&a.storage, address, sizeof(sockaddr_in));
        a.length = sizeof(sockaddr_in);
        return a;
    }
    if (address->sa_family == AF_INET6 && length >= static_cast<socklen_t>(sizeof(sockaddr_in6))) {
        SocketAddress a;
        std::memcpy(&a.storage, address, sizeof(sockaddr_in6));
        a.length = sizeof(sockaddr_in6);
        return a;
    }
    return std::nullopt;
}

std::optional<SocketAddress> SocketAddress::fromNumericHost(std::string_view host, std::uint16_t port) {
    const std::string text(host);
    SocketAddress a;
    if (inet_pton(AF_INET, text.c_str(), &asIPv4(a.storage)->sin_addr) == 1) {
        asIPv4(a.storage)->sin_family = AF_INET;
        a.length = sizeof(sockaddr_in);
        a.setPort(port);
        return a;
    }
    if (inet_pton(AF_INET6, text.c_str(), &asIPv6(a.storage)->sin6_addr) == 1) {
        asIPv6(a.storage)->sin6_family = AF_INET6;
        a.length = sizeof(sockaddr_in6);
        a.setPort(port);
        return a;
    }
    return std::nullopt;
}

std::optional<SocketAddress> SocketAddress::peerOf(NativeSocket socket) {
    sockaddr_storage storage{};
    socklen_t length = sizeof(storage);
    if (getpeername(socket, reinterpret_cast<sockaddr*>(&storage), &length) != 0) return std::nullopt;
    return fromSockaddr(reinterpret_cast<const sockaddr*>(&storage), length);
}

std::string SocketAddress::hostText() const {
    char text[INET6_ADDRSTRLEN] = {};
    if (family() == AF_INET) {
        inet_ntop(AF_INET, &asIPv4(storage)->sin_addr, text, sizeof(text));
    } else if (family() == AF_INET6) {
        inet_ntop(AF_INET6, &asIPv6(storage)->sin6_addr, text, sizeof(text));
    }
    return text;
}

std::uint16_t SocketAddress::port() const {
    if (family() == AF_INET) return ntohs(asIPv4(storage)->sin_port);
    if (family() == AF_INET6) return ntohs(asIPv6(storage)->sin6_port);
    return 0;
}

void SocketAddress::setPort(std::uint16_t port) {
    if (family() == AF_INET) asIPv4(storage)->sin_port = htons(port);
    if (family() == AF_INET6) asIPv6(storage)->sin6_port = htons(port);
}

std::optional<AddressPair> addressesWithoutLookup(std::string_view host, std::uint16_t port) {
    if (host == "localhost" || host == "loopback") {
        return AddressPair{SocketAddress::loopbackIPv4(port), SocketAddress::loopbackIPv6(port)};
    }
    if (auto numeric = SocketAddress::fromNumericHost(host, port)) {
        AddressPair pair;
        keepFirst(pair, *numeric);
        return pair;
    }
    return std::nullopt;
}

Result<AddressPair, AsyncTCPSocketError> resolveHost(std::string_view host, std::uint16_t port) {
    if (auto known = addressesWithoutLookup(host, port)) {
        return *std::move(known);
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    const std::string hostText(host);
    const std::string portText = std::to_string(port);
    const int status = getaddrinfo(hostText.c_str(), portText.c_str(), &hints, &found);
    if (status != 0) return fail(AsyncTCPSocketError::netDB(status));
    const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> results(found, &freeaddrinfo);

    AddressPair pair;
    for (const addrinfo* info = found; info != nullptr; info = info->ai_next) {
        auto address = SocketAddress::fromSockaddr(info->ai_addr, info->ai_addrlen);
        if (!address) continue;
        if (address->family() == AF_INET6 && address->port() == 0) address->setPort(port);
        keepFirst(pair, *address);
    }
    if (!pair.ipv4 && !pair.ipv6) return fail(AsyncTCPSocketError::netDB(EAI_FAIL));
    return pair;
}

std::optional<AddressPair> lookupInterface(std::string_view interface) {
    if (interface == "localhost" || interface == "loopback") {
        return AddressPair{SocketAddress::loopbackIPv4(0), SocketAddress::loopbackIPv6(0)};
    }
    if (auto numeric = SocketAddress::fromNumericHost(interface, 0)) {
        AddressPair pair;
        keepFirst(pair, *numeric);
        return pair;
    }
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return std::nullopt;
    const std::unique_ptr<ifaddrs, decltype(&freeifaddrs)> owner(list, &freeifaddrs);
    AddressPair pair;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_name == nullptr || interface != entry->ifa_name || entry->ifa_addr == nullptr) continue;
        const socklen_t length = entry->ifa_addr->sa_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
        if (auto address = SocketAddress::fromSockaddr(entry->ifa_addr, length)) keepFirst(pair, *address);
    }
    if (!pair.ipv4 && !pair.ipv6) return std::nullopt;
    return pair;
}

}  // namespace lanternwick
