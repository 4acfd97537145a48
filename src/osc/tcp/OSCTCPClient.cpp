#include "osc/tcp/OSCTCPClient.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <utility>

#include "osc/tcp/OSCTCPInbox.h"

namespace lanternwick {

namespace {

// The socket's delegate: forwards to the client while it exists and never
// keeps it alive.
class OSCTCPClientDelegate : public AsyncTCPSocketDelegate {
public:
    std::weak_ptr<OSCTCPClient> oscServer;
    // Shared with the client, which sets it with its write handler.
    std::shared_ptr<const std::atomic<bool>> writesObserved;

    void socketDidConnect(const Socket& socket, const std::string& host, std::uint16_t port) override;
    void socketDidRead(const Socket& socket, const Bytes& data, long tag) override;
    void socketDidWrite(const Socket& socket, long tag) override;
    bool observesWrites() const override { return writesObserved && writesObserved->load(); }
    void socketDidDisconnect(const Socket& socket, const std::optional<AsyncTCPSocketError>& error) override;
};

// A peer that closes the connection, or an operating-system failure such as
// a refused connect, is an ordinary end of the link, not an error to report.
std::optional<AsyncTCPSocketError> mapDisconnectError(const std::optional<AsyncTCPSocketError>& error) {
    if (!error || !error->isSocketError() || error->is(AsyncTCPSocketErrorCode::closed)) return std::nullopt;
    return error;
}

// It ends the link, so it is said as the other reasons the user reads are.
std::string refusedFrameReason(std::size_t announcedBytes) {
    return "the console sent a packet of " + std::to_string(announcedBytes) + " bytes, more than the " +
           std::to_string(OSCTCPClient::maximumFrameBytes) + " bytes Lanternwick reads";
}

struct Origin {
    std::string host;
    std::uint16_t port = 0;
};

using PacketRef = OSCTCPInbox::PacketRef;
// Messages and nested packets point into the decoded packet they belong to
// and keep it alive, so no level of a bundle is copied.
using MessageRef = std::shared_ptr<const OSCMessage>;
using OriginRef = std::shared_ptr<const Origin>;

}  // namespace

// Everything the client's queue owns.
struct OSCTCPClient::Receiver {
    Receiver(OSCTimeTagMode mode, OSCTCPFramingMode framing)
        : timeTagMode(mode), inbox(framing, maximumFrameBytes, receiveBacklogLimit) {}

    std::atomic<OSCTimeTagMode> timeTagMode;
    std::shared_ptr<const ReceiveHandler> receiveHandler;
    DeliveryExecutor deliverVia;
    NotificationHandler notificationHandler;
    WriteHandler writeHandler;
    const std::shared_ptr<std::atomic<bool>> writesObserved = std::make_shared<std::atomic<bool>>(false);
    OSCTCPInbox inbox;
    OriginRef origin = std::make_shared<const Origin>();
    bool linkUp = false;
    bool readOutstanding = false;
    // Set when the stream lost its framing; what still arrives before the
    // close is not OSC any more.
    bool discardingUntilClosed = false;
    // Why we are closing, when it is our own doing; the socket reports such
    // a close with no reason.
    std::string closeReason;

    static void connected(OSCTCPClient& client, const std::string& host, std::uint16_t port);
    static void received(OSCTCPClient& client, const AsyncTCPSocket::Bytes& chunk);
    static void wrote(OSCTCPClient& client, long tag);
    static void disconnected(OSCTCPClient& client, std::optional<AsyncTCPSocketError> error, std::string reason);
    static void pump(OSCTCPClient& client);
    static void dispatch(const std::weak_ptr<OSCTCPClient>& weak, const SerialQueue& queue, PacketRef packet,
                         OSCTimeTag timeTag, OriginRef origin);
    static void deliver(const std::weak_ptr<OSCTCPClient>& weak, const SerialQueue& queue, MessageRef message,
                        OSCTimeTag timeTag, OriginRef origin);
    static void handOver(OSCTCPClient& client, MessageRef message, OSCTimeTag timeTag, OriginRef origin);
    static void callReceiveHandler(const std::weak_ptr<OSCTCPClient>& weak, const OSCMessage& message,
                                   const OSCTimeTag& timeTag, const Origin& origin);
};

void OSCTCPClientDelegate::socketDidConnect(const Socket&, const std::string& host, std::uint16_t port) {
    if (auto client = oscServer.lock()) OSCTCPClient::Receiver::connected(*client, host, port);
}

void OSCTCPClientDelegate::socketDidRead(const Socket&, const Bytes& data, long) {
    if (auto client = oscServer.lock()) OSCTCPClient::Receiver::received(*client, data);
}

void OSCTCPClientDelegate::socketDidWrite(const Socket&, long tag) {
    if (auto client = oscServer.lock()) OSCTCPClient::Receiver::wrote(*client, tag);
}

void OSCTCPClientDelegate::socketDidDisconnect(const Socket&, const std::optional<AsyncTCPSocketError>& error) {
    if (auto client = oscServer.lock()) {
        OSCTCPClient::Receiver::disconnected(*client, mapDisconnectError(error), error ? error->description() : "");
    }
}

void OSCTCPClient::Receiver::connected(OSCTCPClient& client, const std::string& host, std::uint16_t port) {
    Receiver& r = *client.receiver_;
    r.inbox.reset();
    r.discardingUntilClosed = false;
    r.closeReason.clear();
    r.linkUp = true;
    r.readOutstanding = false;
    r.origin = std::make_shared<const Origin>(Origin{host, port});
    if (r.notificationHandler) r.notificationHandler(Notification::connected());
    pump(client);
}

void OSCTCPClient::Receiver::received(OSCTCPClient& client, const AsyncTCPSocket::Bytes& chunk) {
    Receiver& r = *client.receiver_;
    r.readOutstanding = false;
    if (r.discardingUntilClosed) return;
    if (const auto refused = r.inbox.append(chunk)) {
        r.discardingUntilClosed = true;
        r.closeReason = refusedFrameReason(*refused);
        // Not disconnect(): that waits for the socket queue, and this runs on
        // one of the two shared threads.
        client.tcpSocket_->disconnectAfterWriting();
    }
    pump(client);
}

void OSCTCPClient::Receiver::wrote(OSCTCPClient& client, long tag) {
    Receiver& r = *client.receiver_;
    if (r.writeHandler) r.writeHandler(tag);
}

void OSCTCPClient::Receiver::disconnected(OSCTCPClient& client, std::optional<AsyncTCPSocketError> error,
                                          std::string reason) {
    Receiver& r = *client.receiver_;
    r.linkUp = false;
    r.readOutstanding = false;
    if (r.discardingUntilClosed) {
        r.inbox.reset();
    } else {
        r.inbox.finish();
    }
    r.discardingUntilClosed = false;
    if (!r.closeReason.empty()) reason = std::exchange(r.closeReason, {});
    pump(client);
    if (r.notificationHandler) {
        r.notificationHandler(Notification::disconnected(std::move(error), std::move(reason)));
    }
}

// Decodes and dispatches while the backlog has room, then reads when every
// waiting frame is out. A full backlog stops both until its deliveries have
// brought it below half; then this runs again on the queue.
void OSCTCPClient::Receiver::pump(OSCTCPClient& client) {
    Receiver& r = *client.receiver_;
    const std::weak_ptr<OSCTCPClient> weak = client.weak_from_this();
    const auto resume = [weak, queue = client.queue_] {
        queue.async([weak] {
            if (auto c = weak.lock()) pump(*c);
        });
    };
    while (!r.inbox.backlog()->waitIfFull(resume)) {
        PacketRef packet = r.inbox.next();
        if (!packet) {
            if (r.linkUp && !r.readOutstanding && !r.discardingUntilClosed) {
                r.readOutstanding = true;
                client.tcpSocket_->readData(-1, 0, readChunkBytes);
            }
            return;
        }
        dispatch(weak, client.queue_, std::move(packet), OSCTimeTag::immediate(), r.origin);
    }
}

void OSCTCPClient::Receiver::dispatch(const std::weak_ptr<OSCTCPClient>& weak, const SerialQueue& queue,
                                      PacketRef packet, OSCTimeTag timeTag, OriginRef origin) {
    queue.async([weak, queue, packet = std::move(packet), timeTag, origin = std::move(origin)] {
        if (const OSCBundle* bundle = packet->bundle()) {
            for (const auto& element : bundle->elements()) {
                dispatch(weak, queue, PacketRef(packet, &element), bundle->timeTag(), origin);
            }
        } else if (const OSCMessage* message = packet->message()) {
            deliver(weak, queue, MessageRef(packet, message), timeTag, origin);
        }
    });
}

void OSCTCPClient::Receiver::deliver(const std::weak_ptr<OSCTCPClient>& weak, const SerialQueue& queue,
                                     MessageRef message, OSCTimeTag timeTag, OriginRef origin) {
    auto client = weak.lock();
    if (!client) return;
    const bool honourTag = client->receiver_->timeTagMode.load() == OSCTimeTagMode::osc1_0;
    const double delay = (honourTag && !timeTag.isImmediate() && timeTag.isFuture()) ? timeTag.secondsUntil() : 0;
    const auto micros = static_cast<long long>(std::floor(delay * 1e6));
    if (micros <= 0) {
        handOver(*client, std::move(message), timeTag, std::move(origin));
        return;
    }
    queue.asyncAfter(std::chrono::microseconds(micros),
                     [weak, message = std::move(message), timeTag, origin = std::move(origin)]() mutable {
                         if (auto c = weak.lock()) handOver(*c, std::move(message), timeTag, std::move(origin));
                     });
}

void OSCTCPClient::Receiver::handOver(OSCTCPClient& client, MessageRef message, OSCTimeTag timeTag,
                                      OriginRef origin) {
    Receiver& r = *client.receiver_;
    const std::weak_ptr<OSCTCPClient> weak = client.weak_from_this();
    if (!r.deliverVia) {
        client.queue_.async([weak, message = std::move(message), timeTag, origin = std::move(origin)] {
            callReceiveHandler(weak, *message, timeTag, *origin);
        });
        return;
    }
    if (!r.receiveHandler) return;
    r.deliverVia([weak, handler = r.receiveHandler, message = std::move(message), timeTag, origin = std::move(origin)] {
        if (!weak.expired() && *handler) (*handler)(*message, timeTag, origin->host, origin->port);
    });
}

void OSCTCPClient::Receiver::callReceiveHandler(const std::weak_ptr<OSCTCPClient>& weak, const OSCMessage& message,
                                                const OSCTimeTag& timeTag, const Origin& origin) {
    auto client = weak.lock();
    if (!client) return;
    const auto handler = client->receiver_->receiveHandler;
    if (handler && *handler) (*handler)(message, timeTag, origin.host, origin.port);
}

std::shared_ptr<OSCTCPClient> OSCTCPClient::create(std::string_view remoteHost, std::uint16_t remotePort,
                                                   std::optional<std::string> interface, OSCTimeTagMode timeTagMode,
                                                   OSCTCPFramingMode framingMode, std::optional<SerialQueue> queue,
                                                   ReceiveHandler receiveHandler) {
    auto client = std::make_shared<OSCTCPClient>(Key{}, remoteHost, remotePort, std::move(interface), timeTagMode,
                                                 framingMode, queue ? *queue : SerialQueue("OSCTCPClient"));
    auto delegate = std::make_shared<OSCTCPClientDelegate>();
    delegate->oscServer = client;
    delegate->writesObserved = client->receiver_->writesObserved;
    client->tcpDelegate_ = delegate;
    client->tcpSocket_ = AsyncTCPSocket::create(delegate, client->queue_);
    if (receiveHandler) {
        client->receiver_->receiveHandler = std::make_shared<const ReceiveHandler>(std::move(receiveHandler));
    }
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
// Nobody can ask for the queued writes any more, and a peer that does not
// read would keep them, and the socket, for the whole stall timeout.
OSCTCPClient::~OSCTCPClient() {
    if (tcpSocket_) tcpSocket_->disconnectSoon();
}

void OSCTCPClient::setReceiveHandler(ReceiveHandler handler, DeliveryExecutor deliverVia) {
    queue_.async([weak = weak_from_this(), handler = std::move(handler), deliverVia = std::move(deliverVia)]() mutable {
        auto client = weak.lock();
        if (!client) return;
        Receiver& r = *client->receiver_;
        r.receiveHandler = handler ? std::make_shared<const ReceiveHandler>(std::move(handler)) : nullptr;
        r.deliverVia = std::move(deliverVia);
    });
}

void OSCTCPClient::setNotificationHandler(NotificationHandler handler) {
    queue_.async([weak = weak_from_this(), handler = std::move(handler)]() mutable {
        if (auto client = weak.lock()) client->receiver_->notificationHandler = std::move(handler);
    });
}

void OSCTCPClient::setWriteHandler(WriteHandler handler) {
    receiver_->writesObserved->store(static_cast<bool>(handler));
    queue_.async([weak = weak_from_this(), handler = std::move(handler)]() mutable {
        if (auto client = weak.lock()) client->receiver_->writeHandler = std::move(handler);
    });
}

OSCTimeTagMode OSCTCPClient::timeTagMode() const { return receiver_->timeTagMode.load(); }

void OSCTCPClient::setTimeTagMode(OSCTimeTagMode mode) { receiver_->timeTagMode.store(mode); }

Result<void, AsyncTCPSocketError> OSCTCPClient::connect(double timeoutSeconds) {
    return tcpSocket_->connectToHost(remoteHost_, remotePort_, interface_, std::max(timeoutSeconds, 1.0));
}

void OSCTCPClient::close() { tcpSocket_->disconnectAfterWriting(); }

bool OSCTCPClient::isConnected() const { return tcpSocket_->isConnected(); }

std::size_t OSCTCPClient::receiveBacklogBytes() const { return receiver_->inbox.backlog()->bytes(); }

Result<void, OSCTCPSendError> OSCTCPClient::send(const OSCMessage& message, long tag) {
    auto bytes = message.rawData();
    if (!bytes) return fail(bytes.error());
    return sendBytes(*bytes, tag);
}

Result<void, OSCTCPSendError> OSCTCPClient::send(const OSCBundle& bundle, long tag) {
    auto bytes = bundle.rawData();
    if (!bytes) return fail(bytes.error());
    return sendBytes(*bytes, tag);
}

Result<void, OSCTCPSendError> OSCTCPClient::send(const OSCPacket& packet, long tag) {
    auto bytes = packet.rawData();
    if (!bytes) return fail(bytes.error());
    return sendBytes(*bytes, tag);
}

Result<void, OSCTCPSendError> OSCTCPClient::sendBytes(const OSCBytes& packetBytes, long tag) {
    OSCBytes framed;
    switch (framingMode_) {
    case OSCTCPFramingMode::osc1_1: framed = slipEncode(packetBytes); break;
    case OSCTCPFramingMode::osc1_0: {
        auto withHeader = lengthHeaderEncode(packetBytes);
        if (!withHeader) return fail(withHeader.error());
        framed = std::move(withHeader).value();
        break;
    }
    case OSCTCPFramingMode::none: framed = packetBytes; break;
    }
    if (auto queued = tcpSocket_->writeData(std::move(framed), -1, tag); !queued) return fail(queued.error());
    return {};
}

}  // namespace lanternwick
