#pragma once
// EosOSCClient: the link to an ETC Eos console over one OSC TCP connection
// in SLIP framing. Sends bare addresses and command lines on
// /eos/user/0/newcmd, presses the blind key first on every connection, and
// reports every line's fate, every connection change and every recognised
// cue reply.
// Once connect() has been called the link comes back by itself: after a
// failed attempt or a lost connection it retries after 0.5 s, doubling up to
// 5 s (reset once a connection has stayed up for stableConnection); an
// address change retries at once. There is never more than one attempt at a
// time. Lines decided while not connected, or while the console has stopped
// reading and the transport's write queue is full, are held (HeldLines, at
// most HeldLines::limit, oldest dropped and reported) and go out, in order,
// right after the blind key or once the queue has drained. A line the
// transport took but never wrote before the connection ended is held again.
// Made by create() and held by a shared_ptr (its transport's handlers and
// timers hold it weakly); owned by the monitor. Main thread only: the
// transport's handlers hop to the main queue, one task per message or
// notification, in arrival order.

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "eos/CueReply.h"
#include "eos/EosConsoleSettings.h"
#include "eos/EosLink.h"
#include "eos/HeldLines.h"
#include "support/MainQueue.h"

namespace lanternwick {

class OSCMessage;
class OSCTCPClient;

class EosOSCClient final : public EosLink, public std::enable_shared_from_this<EosOSCClient> {
    struct Passkey {
        explicit Passkey() = default;
    };

public:
    static std::shared_ptr<EosOSCClient> create(std::shared_ptr<MainQueue> mainQueue);
    EosOSCClient(Passkey, std::shared_ptr<MainQueue> mainQueue);
    ~EosOSCClient() override;

    EosOSCClient(const EosOSCClient&) = delete;
    EosOSCClient& operator=(const EosOSCClient&) = delete;

    void configure(std::string_view host, std::uint16_t port, bool reconnect) override;
    void setFraming(EosFraming framing, bool reconnect) override;
    void connect() override;
    void disconnect() override;
    void sendAddress(std::string_view address) override;
    void sendCommandLine(std::string_view text) override;
    void setCallbacks(EosLinkCallbacks callbacks) override;

    // Reports the message when it is a cue reply, a split one once its
    // parts are in (CueReplyAssembler).
    void handleIncomingMessage(const OSCMessage& message);
    // The transport's two notifications.
    void handleConnected();
    void handleDisconnected(const std::string& reason = {});

    const std::string& eosHost() const { return eosHost_; }
    std::uint16_t eosPort() const { return eosPort_; }
    EosFraming framing() const { return framing_; }
    std::int64_t cueList() const { return cueList_; }
    bool isConnected() const { return isConnected_; }

    std::size_t heldLineCount() const { return held_.size(); }

    // The transport's connect timeout, in seconds.
    static constexpr double connectTimeoutSeconds = 5.0;
    static constexpr MainQueue::Duration firstRetryDelay = std::chrono::milliseconds(500);
    static constexpr MainQueue::Duration longestRetryDelay = std::chrono::seconds(5);
    // A connection that lasts this long resets the retry delay; one that a
    // console accepts and closes at once does not, so the backoff holds.
    static constexpr MainQueue::Duration stableConnection = std::chrono::seconds(2);

private:
    bool transportConnected() const;
    bool readyToSend() const;
    bool attempting() const;
    void startAttempt();
    void reconnectToNewAddress();
    void scheduleRetry();
    void dropTransport();
    void deliver(HeldLine line);
    // False when the transport had no room for the line (the console is not
    // reading); the caller holds it.
    bool sendNow(const HeldLine& line);
    void hold(HeldLine line, std::string_view reason);
    void flushHeld(bool onConnect);
    void written(long tag);
    void holdUnwritten(std::string_view reason);
    void reportDropped(const std::vector<HeldLine>& lines, std::string_view reason);
    void reportConnectionState(bool connected, const std::string& reason = {});
    void reportLinkStatus(LinkState state, const std::string& reason);
    void reportHeldCount();
    void report(SyncOutcome::Detail detail);
    void reportReply(CueReply reply, const std::vector<OSCValue>& values);

    std::shared_ptr<MainQueue> mainQueue_;
    std::string eosHost_{defaultEosHost};
    std::uint16_t eosPort_ = defaultEosPort;
    EosFraming framing_ = EosFraming::slip;
    std::int64_t cueList_ = 1;
    EosLinkCallbacks callbacks_;
    std::shared_ptr<OSCTCPClient> client_;
    bool isConnected_ = false;
    LinkStatus linkStatus_;
    // What the activity log was last told, so that a retry that fails as the
    // last one did is not recorded again every few seconds.
    std::optional<LinkStatus> lastRecordedStatus_;
    bool wantsConnection_ = false;
    bool retrying_ = false;
    std::optional<CancelHandle> retry_;
    std::optional<CancelHandle> stable_;
    MainQueue::Duration retryDelay_ = firstRetryDelay;
    HeldLines held_;
    std::size_t droppedSinceConnected_ = 0;
    // Lines handed to the transport whose last byte the kernel has not yet
    // taken, oldest first, with their send tags; what a dying connection
    // never wrote goes back to the held lines.
    struct InFlight {
        long tag = 0;
        HeldLine line;
    };
    std::deque<InFlight> inFlight_;
    std::size_t inFlightBytes_ = 0;
    long nextTag_ = 0;
    std::shared_ptr<CueReplyAssembler> replies_;
};

}  // namespace lanternwick
