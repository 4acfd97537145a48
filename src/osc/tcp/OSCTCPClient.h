#pragma once
// OSCTCPClient: OSC packets over one outgoing TCP connection. It frames
// every packet it sends (SLIP, length header or none), reads while
// connected, reassembles frames that TCP splits across reads, decodes them
// and hands each message to the receive handler and each connection change
// to the notification handler. Made by create() and held by a shared_ptr by
// one owner (the Eos client); releasing it closes the connection at once,
// without waiting for the peer (queued writes go to the kernel as far as it
// takes them there and then; the rest is dropped), and no handler runs
// after that. Every public member may be called from any thread. Handlers run on
// the client's serial queue, never on the caller's thread, one at a time,
// and messages arrive in the order they were received (delayed bundles
// aside); with a delivery executor the receive handler runs where that
// executor runs it, in the same order.
// Bounds, each with its policy:
// - a frame longer than maximumFrameBytes is dropped (SLIP resumes at the
//   next END; with length headers the connection is closed, as the stream
//   cannot be resynchronised, and the disconnection's reason gives the size
//   the peer announced).
// - received packets not yet delivered: about receiveBacklogLimit bytes
//   (received bytes plus decoded values, see OSCTCPInbox). At the limit the
//   client stops decoding and stops reading, so the peer is held back by
//   TCP itself; it goes on once the backlog is below half. Each read takes
//   at most readChunkBytes. A delivery counts until its handler has run
//   (through the executor, until the task has run or been destroyed), and a
//   delayed bundle's messages count until their time.
// - queued writes: at most the socket's 4 MiB; send() refuses a packet that
//   would pass it. A peer that takes no byte for 10 s while writes wait is
//   dropped with the write timeout error (see AsyncTCPSocket).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "net/AsyncTCPSocket.h"
#include "osc/OSCBundle.h"
#include "osc/OSCEncodeError.h"
#include "osc/OSCMessage.h"
#include "osc/OSCPacket.h"
#include "osc/OSCTimeTag.h"
#include "osc/tcp/OSCTCPFraming.h"
#include "osc/tcp/OSCTCPSendError.h"
#include "support/Result.h"
#include "support/SerialQueue.h"

namespace lanternwick {

// osc1_0 honours bundle time tags; ignore delivers every message at once.
enum class OSCTimeTagMode { osc1_0, ignore };

class OSCTCPClient : public std::enable_shared_from_this<OSCTCPClient> {
public:
    struct Notification {
        enum class Kind { connected, disconnected };

        Kind kind = Kind::connected;
        // Set only for disconnected, and only when the socket layer closed
        // for a reason of its own (a connect timeout, for instance).
        std::optional<AsyncTCPSocketError> error;
        // For disconnected: the description of whatever ended the link,
        // operating-system failures and a peer's close included ("Connection
        // refused"), so that the user can be told; empty after a close of
        // our own, unless the peer's stream made us close.
        std::string reason;

        static Notification connected() { return {Kind::connected, std::nullopt, {}}; }
        static Notification disconnected(std::optional<AsyncTCPSocketError> error = std::nullopt,
                                         std::string reason = {}) {
            return {Kind::disconnected, std::move(error), std::move(reason)};
        }

        friend bool operator==(const Notification&, const Notification&) = default;
    };

    using ReceiveHandler = std::function<void(const OSCMessage& message, const OSCTimeTag& timeTag,
                                              const std::string& remoteHost, std::uint16_t remotePort)>;
    using NotificationHandler = std::function<void(const Notification& notification)>;
    // Called on the client's queue with the tag of a packet once its last
    // byte has been handed to the kernel (not: read by the peer).
    using WriteHandler = std::function<void(long tag)>;
    using DeliveryTask = std::function<void()>;
    // Runs each task it is given later, in the order given (a main queue's
    // async). It is called on the client's queue.
    using DeliveryExecutor = std::function<void(DeliveryTask task)>;

    static constexpr std::size_t maximumFrameBytes = 1024 * 1024;
    static constexpr std::size_t receiveBacklogLimit = 4 * 1024 * 1024;
    static constexpr std::size_t readChunkBytes = 256 * 1024;

    // Without a queue the client makes its own, labelled "OSCTCPClient".
    static std::shared_ptr<OSCTCPClient> create(std::string_view remoteHost, std::uint16_t remotePort,
                                                std::optional<std::string> interface, OSCTimeTagMode timeTagMode,
                                                OSCTCPFramingMode framingMode,
                                                std::optional<SerialQueue> queue = std::nullopt,
                                                ReceiveHandler receiveHandler = {});
    ~OSCTCPClient();

    OSCTCPClient(const OSCTCPClient&) = delete;
    OSCTCPClient& operator=(const OSCTCPClient&) = delete;

    // Take effect on the queue after the work already queued there; an empty
    // function clears the handler.
    //
    // With `deliverVia`, every message goes to it as a task that calls the
    // handler, instead of running on the client's queue, and the message's
    // bytes count against the receive backlog until that task has run (or
    // been destroyed unrun). So a consumer that hops to its own thread
    // passes that hop here rather than posting from inside the handler, and
    // reading waits for it when it falls behind. A task already handed over
    // calls the handler it was made with; none calls a handler once the
    // client has been released.
    void setReceiveHandler(ReceiveHandler handler, DeliveryExecutor deliverVia = {});
    void setNotificationHandler(NotificationHandler handler);
    // Reports, in sending order, each packet whose bytes the kernel has
    // fully taken. Every report of a connection comes before its
    // disconnected notification; a packet still unreported then was not
    // sent, and none is reported after it. Set it before the first send:
    // packets written before the call are not reported.
    void setWriteHandler(WriteHandler handler);

    OSCTimeTagMode timeTagMode() const;
    void setTimeTagMode(OSCTimeTagMode mode);

    // Starts connecting with a timeout of at least one second. Fails only
    // when the socket refuses at once (already connected, empty host);
    // every later outcome arrives as a notification.
    Result<void, AsyncTCPSocketError> connect(double timeoutSeconds);
    // Closes after the queued writes have gone out (or the peer has stalled
    // for the write stall timeout).
    void close();
    bool isConnected() const;
    // Bytes of received packets not yet delivered.
    std::size_t receiveBacklogBytes() const;

    // Encodes, frames and queues the packet. Fails when it cannot be encoded
    // or the write queue has no room for it; write failures show up as a
    // disconnect.
    Result<void, OSCTCPSendError> send(const OSCMessage& message, long tag = 0);
    Result<void, OSCTCPSendError> send(const OSCBundle& bundle, long tag = 0);
    Result<void, OSCTCPSendError> send(const OSCPacket& packet, long tag = 0);

    const std::string& remoteHost() const { return remoteHost_; }
    std::uint16_t remotePort() const { return remotePort_; }
    const std::optional<std::string>& interface() const { return interface_; }
    OSCTCPFramingMode framingMode() const { return framingMode_; }
    const SerialQueue& queue() const { return queue_; }
    const std::shared_ptr<AsyncTCPSocket>& tcpSocket() const { return tcpSocket_; }

    struct Receiver;

    // Only create() can make the key, so every client lives in a shared_ptr.
    class Key {
        friend class OSCTCPClient;
        explicit Key() = default;
    };
    OSCTCPClient(Key, std::string_view remoteHost, std::uint16_t remotePort, std::optional<std::string> interface,
                 OSCTimeTagMode timeTagMode, OSCTCPFramingMode framingMode, SerialQueue queue);

private:

    Result<void, OSCTCPSendError> sendBytes(const OSCBytes& packetBytes, long tag);

    std::shared_ptr<AsyncTCPSocket> tcpSocket_;
    std::shared_ptr<AsyncTCPSocketDelegate> tcpDelegate_;
    SerialQueue queue_;
    std::unique_ptr<Receiver> receiver_;
    std::string remoteHost_;
    std::uint16_t remotePort_;
    std::optional<std::string> interface_;
    OSCTCPFramingMode framingMode_;
};

}  // namespace lanternwick
