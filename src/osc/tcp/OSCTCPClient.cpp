#include "osc/tcp/OSCTCPClient.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>

#include "osc/tcp/OSCTCPFrameAssembler.h"

namespace lanternwick {

namespace {

// The socket's delegate: forwards to the client while it exists and never
// keeps it alive.
class OSCTCPClientDelegate : public AsyncTCPSocketDelegate {
public:
    std::weak_ptr<OSCTCPClient> oscServer;

    void socketDidConnect(const Socket& socket, const std::string& host, std::uint16_t port) override;
    void socketDidRead(const Socket& socket, const Bytes& data, long tag) override;
    void socketDidDisconnect(const Socket& socket, const std::optional<AsyncTCPSocketError>& error) override;
};

// A peer that closes the connection, or an operating-system failure such as
// a refused connect, is an ordinary end of the link, not an error to report.
std::optional<AsyncTCPSocketError> mapDisconnectError(const std::optional<AsyncTCPSocketError>& error) {
    if (!error || !error->isSocketError() || error->is(AsyncTCPSocketErrorCode::closed)) return std::nullopt;
    return error;
}

}  // namespace

// Everything the client's queue owns.
struct OSCTCPClient::Receiver {
    Receiver(OSCTimeTagMode mode, OSCTCPFramingMode framing)
        : timeTagMode(mode), assembler(framing, maximumFrameBytes) {}

    std::atomic<OSCTimeTagMode> timeTagMode;
    ReceiveHandler receiveHandler;
    NotificationHandler notificationHandler;
    OSCTCPFrameAssembler assembler;
    // Set when the stream lost its framing; what still arrives before the
    // close is not OSC any more.
    bool discardingUntilClosed = false;

    static void connected(OSCTCPClient& client);
    static void received(OSCTCPClient& client, const AsyncTCPSocket::Bytes& chunk, const AsyncTCPSocketDelegate::Socket& socket);
    static void disconnected(OSCTCPClient& client, std::optional<AsyncTCPSocketError> error, std::string reason,
                             const AsyncTCPSocketDelegate::Socket& socket);
    static void dispatchPackets(OSCTCPClient& client, const std::vector<OSCBytes>& packets,
                                const AsyncTCPSocketDelegate::Socket& socket);
    static void dispatch(const std::weak_ptr<OSCTCPClient>& weak, const SerialQueue& queue, OSCPacket packet,
                         OSCTimeTag timeTag, std::string host, std::uint16_t port);
    static void deliver(const std::weak_ptr<OSCTCPClient>& weak, const SerialQueue& queue, const OSCMessage& message,
                        const OSCTimeTag& timeTag, const std::string& host, std::uint16_t port);
    static void callReceiveHandler(const std::weak_ptr<OSCTCPClient>& weak, const OSCMessage& message,
                                   const OSCTimeTag& timeTag, const std::string& host, std::uint16_t port);
};

void OSCTCPClientDelegate::socketDidConnect(const Socket&, const std::string&, std::uint16_t) {
    if (auto client = oscServer.lock()) {
        OSCTCPClient::Receiver::connected(*client);
        client->tcpSocket()->readData(-1, 0);
    }
}

void OSCTCPClientDelegate::socketDidRead(const Socket& socket, const Bytes& data, long tag) {
    if (auto client = oscServer.lock()) OSCTCPClient::Receiver::received(*client, data, socket);
    if (socket) socket->readData(-1, tag);
}

void OSCTCPClientDelegate::socketDidDisconnect(const Socket& socket, const std::optional<AsyncTCPSocketError>& error) {
    if (auto client = oscServer.lock()) {
        OSCTCPClient::Receiver::disconnected(*client, mapDisconnectError(error), error ? error->description() : "",
                                             socket);
    }
}

void OSCTCPClient::Receiver::connected(OSCTCPClient& client) {
    Receiver& r = *client.receiver_;
    r.assembler.reset();
    r.discardingUntilClosed = false;
    if (r.notificationHandler) r.notificationHandler(Notification::connected());
}

void OSCTCPClient::Receiver::received(OSCTCPClient& client, const AsyncTCPSocket::Bytes& chunk,
                                      const AsyncTCPSocketDelegate::Socket& socket) {
    Receiver& r = *client.receiver_;
    if (r.discardingUntilClosed) return;
    auto output = r.assembler.append(chunk);
    dispatchPackets(client, output.packets, socket);
    if (output.mustClose) {
        r.discardingUntilClosed = true;
        // Not disconnect(): that waits for the socket queue, and this runs on
        // one of the two shared threads.
        if (socket) socket->disconnectAfterWriting();
    }
}

void OSCTCPClient::Receiver::disconnected(OSCTCPClient& client, std::optional<AsyncTCPSocketError> error,
                                          std::string reason, const AsyncTCPSocketDelegate::Socket& socket) {
    Receiver& r = *client.receiver_;
    auto tail = r.assembler.finish();
    if (!r.discardingUntilClosed) dispatchPackets(client, tail, socket);
    r.discardingUntilClosed = false;
    if (r.notificationHandler) {
        r.notificationHandler(Notification::disconnected(std::move(error), std::move(reason)));
    }
}

void OSCTCPClient::Receiver::dispatchPackets(OSCTCPClient& client, const std::vector<OSCBytes>& packets,
                                             const AsyncTCPSocketDelegate::Socket& socket) {
    if (packets.empty()) return;
    const std::string host = socket ? socket->connectedHost() : std::string();
    const std::uint16_t port = socket ? socket->connectedPort() : 0;
    const std::weak_ptr<OSCTCPClient> weak = client.weak_from_this();
    for (const auto& bytes : packets) {
        auto decoded = OSCPacket::decode(OSCByteView(bytes));
        if (!decoded || !decoded->has_value()) continue;
        dispatch(weak, client.queue_, std::move(**decoded), OSCTimeTag::immediate(), host, port);
    }
}

void OSCTCPClient::Receiver::dispatch(const std::weak_ptr<OSCTCPClient>& weak, const SerialQueue& queue,
                                      OSCPacket packet, OSCTimeTag timeTag, std::string host, std::uint16_t port) {
    queue.async([weak, queue, packet = std::move(packet), timeTag, host = std::move(host), port] {
        if (const OSCBundle* bundle = packet.bundle()) {
            for (const auto& element : bundle->elements()) dispatch(weak, queue, element, bundle->timeTag(), host, port);
        } else if (const OSCMessage* message = packet.message()) {
            deliver(weak, queue, *message, timeTag, host, port);
        }
    });
}

void OSCTCPClient::Receiver::deliver(const std::weak_ptr<OSCTCPClient>& weak, const SerialQueue& queue,
                                     const OSCMessage& message, const OSCTimeTag& timeTag, const std::string& host,
                                     std::uint16_t port) {
    auto client = weak.lock();
    if (!client) return;
    const bool honourTag = client->receiver_->timeTagMode.load() == OSCTimeTagMode::osc1_0;
    const double delay = (honourTag && !timeTag.isImmediate() && timeTag.isFuture()) ? timeTag.secondsUntil() : 0;
    const auto micros = static_cast<long long>(std::floor(delay * 1e6));
    if (micros <= 0) {
        queue.async([weak, message, timeTag, host, port] { callReceiveHandler(weak, message, timeTag, host, port); });
        return;
    }
    queue.asyncAfter(std::chrono::microseconds(micros), [weak, message, timeTag, host, port] {
        callReceiveHandler(weak, message, timeTag, host, port);
    });
}

void OSCTCPClient::Receiver::callReceiveHandler(const std::weak_ptr<OSCTCPClient>& weak, const OSCMessage& message,
                                                const OSCTimeTag& timeTag, const std::string& host,
                                                std::uint16_t port) {
    auto client = weak.lock();
    if (!client) return;
    const auto& handler = client->receiver_->receiveHandler;
    if (handler) handler(message, timeTag, host, port);
}

std::shared_ptr<OSCTCPClient> OSCTCPClient::create(std::string_view remoteHost, std::uint16_t remotePort,
                                                   std::optional<std::string> interface, OSCTimeTagMode timeTagMode,
                                                   OSCTCPFramingMode framingMode, std::optional<SerialQueue> queue,
                                                   ReceiveHandler receiveHandler) {
    auto client = std::make_shared<OSCTCPClient>(Key{}, remoteHost, remotePort, std::move(interface), timeTagMode,
                                                 framingMode, queue ? *queue : SerialQueue("OSCTCPClient"));
    auto delegate = std::make_shared<OSCTCPClientDelegate>();
    delegate->oscServer = client;
    client->tcpDelegate_ = delegate;
    client->tcpSocket_ = AsyncTCPSocket::create(delegate, client->queue_);
    client->receiver_->receiveHandler = std::move(receiveHandler);
    return client;
}

OSCTCPClient::OSCTCPClient(Key, std::string_view remoteHost, std::uint16_t remotePort,
                           std::optional<std::string> interface, OSCTimeTagMode timeTagMode,
                           OSCTCPFramingMode framingMode, SerialQueue queue)
    : queue_(std::move(queue)),
      receiver_(std::make_unique<Receiver>(timeTagMode, framingMode)),
      remoteHost_(remoteHost),
      remotePort_(remotePort),
      interface_(std::move(interface)),
      framingMode_(framingMode) {}

// Handlers owned by the receiver may still be referenced by a task running
// on the queue, but such a task holds the client, so it cannot be here.
OSCTCPClient::~OSCTCPClient() {
    if (tcpSocket_) tcpSocket_->disconnectAfterWriting();
}

void OSCTCPClient::setReceiveHandler(ReceiveHandler handler) {
    queue_.async([weak = weak_from_this(), handler = std::move(handler)]() mutable {
        if (auto client = weak.lock()) client->receiver_->receiveHandler = std::move(handler);
    });
}

void OSCTCPClient::setNotificationHandler(NotificationHandler handler) {
    queue_.async([weak = weak_from_this(), handler = std::move(handler)]() mutable {
        if (auto client = weak.lock()) client->receiver_->notificationHandler = std::move(handler);
    });
}

OSCTimeTagMode OSCTCPClient::timeTagMode() const { return receiver_->timeTagMode.load(); }

void OSCTCPClient::setTimeTagMode(OSCTimeTagMode mode) { receiver_->timeTagMode.store(mode); }

Result<void, AsyncTCPSocketError> OSCTCPClient::connect(double timeoutSeconds) {
    return tcpSocket_->connectToHost(remoteHost_, remotePort_, interface_, std::max(timeoutSeconds, 1.0));
}

void OSCTCPClient::close() { tcpSocket_->disconnectAfterWriting(); }

bool OSCTCPClient::isConnected() const { return tcpSocket_->isConnected(); }

Result<void, OSCEncodeError> OSCTCPClient::send(const OSCMessage& message, long tag) {
    auto bytes = message.rawData();
    if (!bytes) return fail(bytes.error());
    return sendBytes(*bytes, tag);
}

Result<void, OSCEncodeError> OSCTCPClient::send(const OSCBundle& bundle, long tag) {
    auto bytes = bundle.rawData();
    if (!bytes) return fail(bytes.error());
    return sendBytes(*bytes, tag);
}

Result<void, OSCEncodeError> OSCTCPClient::send(const OSCPacket& packet, long tag) {
    auto bytes = packet.rawData();
    if (!bytes) return fail(bytes.error());
    return sendBytes(*bytes, tag);
}

Result<void, OSCEncodeError> OSCTCPClient::sendBytes(const OSCBytes& packetBytes, long tag) {
    switch (framingMode_) {
    case OSCTCPFramingMode::osc1_1: (void)tcpSocket_->writeData(slipEncode(packetBytes), -1, tag); break;
    case OSCTCPFramingMode::osc1_0: {
        auto framed = lengthHeaderEncode(packetBytes);
        if (!framed) return fail(framed.error());
        (void)tcpSocket_->writeData(std::move(framed).value(), -1, tag);
        break;
    }
    case OSCTCPFramingMode::none: (void)tcpSocket_->writeData(packetBytes, -1, tag); break;
    }
    return {};
}

}  // namespace lanternwick
