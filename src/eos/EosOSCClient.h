#pragma once
// EosOSCClient: the link to an ETC Eos console over one OSC TCP connection.
// Sends bare addresses and command lines on /eos/user/0/newcmd, presses the
// blind key first on every connection, and reports every line's fate, every
// connection change and every recognised cue reply.
// Delivered means the console has it: after lines are written one /eos/ping
// follows the burst (and one about every second while idle), and its answer
// confirms every line written before it on that connection. The link counts
// as connected only once the console has answered on it; a peer that
// accepted but gives no answer within answerTimeout is "no answer", and a
// ping left without answer for pingAnswerTimeout (which grows with the lines
// it waits behind) ends the connection. Whatever
// ends a connection, every line it did not confirm is held again (see
// HeldLines.h for why sending a line twice is safe).
// Once connect() has been called the link comes back by itself, after
// retryDelay(failures); a connection the console answered on and that stayed
// up for stableConnection starts the count again, and an address change
// tries at once. There is never more than one attempt at a time. Lines
// decided while not connected, or while the console has stopped reading and
// the transport's write queue is full, are held (HeldLines, at most
// HeldLines::limit, oldest dropped and reported) and go out, in order, right
// after the console's first answer or once the queue has drained. A line
// larger than the write queue can ever take is skipped.
// Made by create() and held by a shared_ptr (its transport's handlers and
// timers hold it weakly); owned by the monitor. Main thread only: the
// transport's handlers hop to the main queue, one task per message or
// notification, in arrival order.

#include <chrono>
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

// Where the link is. Only `connected` lets lines go out.
enum class LinkPhase {
    // Nobody asked for a connection, or it was closed on request.
    idle,
    // TCP is being set up.
    connecting,
    // TCP is up and the blind key and a ping have gone; the console has not
    // answered yet.
    awaitingAnswer,
    connected,
    // The last attempt or connection ended; the next one waits its turn.
    waitingToRetry,
};

// How long to wait before the next attempt after `failures` attempts in a
// row that did not give a lasting connection: 0.5 s, doubling, at most 5 s.
MainQueue::Duration retryDelay(unsigned failures);

// A console carries out command lines far more slowly than the network
// brings them, so a ping sent after a large burst is read only once the
// console has worked through the burst: the slowest rate at which a console
// that is still alive is taken to read the lines before a ping.
inline constexpr std::uint64_t slowestConsoleBytesPerSecond = 8 * 1024;

// How long a ping's answer may take when `bytesAhead` bytes of lines were
// sent before it and are not confirmed: the answer timeout, plus the time
// the slowest live console needs to read them.
MainQueue::Duration pingAnswerTimeout(std::uint64_t bytesAhead);

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

    // Without pings a connection counts as connected once TCP is up and
    // nothing is ever confirmed: only for measuring what the pings cost.
    void setConfirmationPings(bool enabled) { pingsEnabled_ = enabled; }

    // Takes the ping answers; reports the message when it is a cue reply,
    // a split one once its parts are in (CueReplyAssembler).
    void handleIncomingMessage(const OSCMessage& message);
    // The transport's two notifications.
    void handleConnected();
    void handleDisconnected(const std::string& reason = {});

    const std::string& eosHost() const { return eosHost_; }
    std::uint16_t eosPort() const { return eosPort_; }
    EosFraming framing() const { return framing_; }
    std::int64_t cueList() const { return cueList_; }
    LinkPhase phase() const { return phase_; }
    bool isConnected() const { return phase_ == LinkPhase::connected; }

    std::size_t heldLineCount() const { return held_.size(); }
    // Lines sent on this connection that the console has not confirmed yet.
    std::size_t unconfirmedLineCount() const { return unconfirmed_.size(); }

    // The transport's connect timeout, in seconds.
    static constexpr double connectTimeoutSeconds = 5.0;
    // For the first answer on a connection and for every ping.
    static constexpr MainQueue::Duration answerTimeout = std::chrono::seconds(5);
    static constexpr MainQueue::Duration idlePingInterval = std::chrono::seconds(1);
    // A connection that lasts this long after the console's first answer
    // resets the retry delay; one that a console accepts and closes at once
    // does not, so the backoff holds.
    static constexpr MainQueue::Duration stableConnection = std::chrono::seconds(2);

private:
    struct Ping {
        std::int32_t sequence = 0;
        // Lines sent on this connection before it; it confirms those below.
        std::uint64_t covers = 0;
        long tag = 0;
        std::chrono::steady_clock::time_point sentAt;
    };
    struct Unconfirmed {
        std::uint64_t order = 0;
        HeldLine line;
        Uuid sentOutcome;
        std::size_t bytes = 0;
    };
    struct Unwritten {
        long tag = 0;
        std::size_t bytes = 0;
    };

    void startAttempt();
    void reconnectToNewAddress();
    void scheduleRetry();
    void dropTransport();
    void becomeConnected();
    void endConnection(LinkState state, const std::string& reason);
    void sendPing();
    void schedulePing(MainQueue::Duration delay);
    CancelHandle afterRealTime(MainQueue::Duration delay, MainQueue::Task task);
    void handlePingAnswer(const OSCMessage& message);
    void deliver(HeldLine line);
    // False when the transport had no room for the line (the console is not
    // reading); the caller holds it.
    bool sendNow(const HeldLine& line);
    // True when the line can never fit the write queue; it is reported skipped.
    bool skipIfTooLarge(const HeldLine& line);
    void hold(HeldLine line, std::string_view reason);
    void flushHeld(bool onConnect);
    void written(long tag);
    void holdUnconfirmed(const std::string& reason);
    void reportHeld(const HeldLines::Held& held);
    void reportLines(const std::vector<HeldLine>& lines, LineFate fate, const std::string& reason);
    void reportConnectionState(bool connected, LinkState state, const std::string& reason = {});
    void reportLinkStatus(LinkState state, const std::string& reason);
    void reportHeldCount();
    // The outcome's id.
    Uuid report(SyncOutcome::Detail detail);
    void cancelTimers();
    void reportReply(CueReply reply, const std::vector<OSCValue>& values);

    std::shared_ptr<MainQueue> mainQueue_;
    std::string eosHost_{defaultEosHost};
    std::uint16_t eosPort_ = defaultEosPort;
    EosFraming framing_ = EosFraming::slip;
    std::int64_t cueList_ = 1;
    EosLinkCallbacks callbacks_;
    std::shared_ptr<OSCTCPClient> client_;
    LinkPhase phase_ = LinkPhase::idle;
    bool pingsEnabled_ = true;
    bool burstPingPosted_ = false;
    // Lines held before the run's first answer are "waiting", not "held".
    bool everConnected_ = false;
    LinkStatus linkStatus_;
    // What the activity log was last told, so that a retry that fails as the
    // last one did is not recorded again every few seconds.
    std::optional<LinkStatus> lastRecordedStatus_;
    bool retrying_ = false;
    bool refusalExplained_ = false;
    unsigned failures_ = 0;
    std::optional<CancelHandle> retry_;
    std::optional<CancelHandle> stable_;
    // The first answer's deadline, then the outstanding ping's.
    std::optional<CancelHandle> answerDeadline_;
    // The next idle ping.
    std::optional<CancelHandle> nextPing_;
    HeldLines held_;
    std::size_t droppedSinceConnected_ = 0;
    // Every line sent on this connection that no answer has confirmed yet,
    // oldest first; what a dying connection leaves here is held again.
    std::deque<Unconfirmed> unconfirmed_;
    // Their address and text bytes: what the console reads before the next ping.
    std::uint64_t unconfirmedBytes_ = 0;
    std::uint64_t sentOnConnection_ = 0;
    std::optional<Ping> ping_;
    std::int32_t nextPingSequence_ = 0;
    // Packets handed to the transport whose last byte the kernel has not
    // taken yet, for the write queue's fill.
    std::deque<Unwritten> unwritten_;
    std::size_t unwrittenBytes_ = 0;
    long nextTag_ = 0;
    std::shared_ptr<CueReplyAssembler> replies_;
};

}  // namespace lanternwick
