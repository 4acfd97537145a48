#include "eos/EosOSCClient.h"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <vector>

#include "eos/EosCommands.h"
#include "osc/OSCMessage.h"
#include "osc/tcp/OSCTCPClient.h"
#include "support/TextRules.h"
#include "support/Uuid.h"

namespace lanternwick {
namespace {

constexpr std::string_view commandAddress = "/eos/user/0/newcmd";
constexpr std::string_view blindKeyAddress = "/eos/user/0/key/blind";
constexpr std::string_view defaultHost = defaultEosHost;

std::vector<std::string_view> addressPieces(std::string_view address) {
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    while (start <= address.size()) {
        const std::size_t slash = address.find('/', start);
        const std::size_t end = slash == std::string_view::npos ? address.size() : slash;
        if (end > start) {
            pieces.push_back(address.substr(start, end - start));
        }
        if (slash == std::string_view::npos) {
            break;
        }
        start = slash + 1;
    }
    return pieces;
}

std::optional<std::int64_t> parseSignedInteger(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
            return std::nullopt;
        }
    }
    if (text.empty()) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// Capped while it is built: a reply of a million Impulse tags is 1 MB on the
// wire and would be a 9 MB text.
std::string valuesText(const std::vector<OSCValue>& values) {
    CappedTextBuilder joined;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) {
            joined.append(", ");
        }
        joined.append(values[i].plainText());
    }
    return joined.size() == 0 ? std::string(noValuesText) : joined.text();
}

OutgoingOSCMessage outgoingRecord(std::string_view address, std::string_view values) {
    return OutgoingOSCMessage{Uuid::random(), std::chrono::system_clock::now(), std::string(address),
                              std::string(values)};
}

}  // namespace

std::optional<CueReplyAddress> parseCueReplyAddress(std::string_view address) {
    const auto pieces = addressPieces(address);
    if (pieces.size() != 6 || pieces[0] != "eos" || pieces[1] != "out" || pieces[2] != "get" ||
        pieces[3] != "cue") {
        return std::nullopt;
    }
    const auto list = parseSignedInteger(pieces[4]);
    if (!list) {
        return std::nullopt;
    }
    std::string cue = trimmed(pieces[5]);
    if (cue.empty()) {
        return std::nullopt;
    }
    return CueReplyAddress{*list, std::move(cue)};
}

std::shared_ptr<EosOSCClient> EosOSCClient::create(std::shared_ptr<MainQueue> mainQueue) {
    return std::make_shared<EosOSCClient>(Passkey{}, std::move(mainQueue));
}

EosOSCClient::EosOSCClient(Passkey, std::shared_ptr<MainQueue> mainQueue) : mainQueue_(std::move(mainQueue)) {}

EosOSCClient::~EosOSCClient() {
    if (retry_) retry_->cancel();
    if (stable_) stable_->cancel();
}

void EosOSCClient::setCallbacks(EosLinkCallbacks callbacks) { callbacks_ = std::move(callbacks); }

void EosOSCClient::configure(std::string_view host, std::uint16_t port, bool reconnect) {
    std::string trimmedHost = trimmed(host);
    if (trimmedHost.empty()) {
        trimmedHost = std::string(defaultHost);
    }
    const bool changed = trimmedHost != eosHost_ || port != eosPort_;
    eosHost_ = std::move(trimmedHost);
    eosPort_ = port;
    if (reconnect && changed) {
        reconnectToNewAddress();
    }
}

void EosOSCClient::setFraming(EosFraming framing, bool reconnect) {
    const bool changed = framing != framing_;
    framing_ = framing;
    if (reconnect && changed) {
        reconnectToNewAddress();
    }
}

void EosOSCClient::reconnectToNewAddress() {
    // An attempt still under way goes to the old address: it is abandoned
    // like a live connection, and the new address is tried at once.
    if (isConnected_ || client_) {
        disconnect();
    }
    // A retry waiting its turn would hold the new address back for as
    // long as the old one's backoff had grown.
    if (retry_) {
        retry_->cancel();
        retry_.reset();
    }
    retryDelay_ = firstRetryDelay;
    connect();
}

bool EosOSCClient::transportConnected() const { return client_ && client_->isConnected(); }

// A loopback socket can be connected before its notification has reached the
// main queue; sending only once the notification is in keeps the blind key
// press first on every connection.
bool EosOSCClient::readyToSend() const { return isConnected_ && transportConnected(); }

bool EosOSCClient::attempting() const { return client_ && !isConnected_ && linkStatus_.state == LinkState::connecting; }

void EosOSCClient::connect() {
    wantsConnection_ = true;
    // A connection that has ended without its notice having reached us yet
    // is left to that notice: only after it is it known which of the lines
    // handed to it were written, and a new attempt now would send those again.
    if (transportConnected() || attempting() || retry_ || (client_ && isConnected_)) {
        return;
    }
    startAttempt();
}

void EosOSCClient::startAttempt() {
    // The old transport's "disconnected" notice may still be queued; once the
    // transport is replaced it would be ignored, so its state ends here.
    if (client_ && isConnected_) {
        reportConnectionState(false);
    }
    dropTransport();
    auto transport = OSCTCPClient::create(eosHost_, eosPort_, std::nullopt, OSCTimeTagMode::ignore,
                                          transportFraming(framing_));
    const std::weak_ptr<EosOSCClient> weak = weak_from_this();
    const std::shared_ptr<MainQueue> mainQueue = mainQueue_;
    // The transport being current is checked again on the main thread: a
    // replaced transport's late notifications must not move our state.
    const std::weak_ptr<OSCTCPClient> weakTransport = transport;
    // Delivered through the main queue by the transport itself, so that its
    // receive backlog counts each reply until the main thread has taken it.
    transport->setReceiveHandler(
        [weak](const OSCMessage& message, const OSCTimeTag&, const std::string&, std::uint16_t) {
            if (const auto self = weak.lock()) {
                self->handleIncomingMessage(message);
            }
        },
        [mainQueue](OSCTCPClient::DeliveryTask task) { mainQueue->async(std::move(task)); });
    transport->setWriteHandler([weak, mainQueue, weakTransport](long tag) {
        mainQueue->async([weak, weakTransport, tag] {
            const auto self = weak.lock();
            if (self && self->client_ != nullptr && self->client_ == weakTransport.lock()) {
                self->written(tag);
            }
        });
    });
    transport->setNotificationHandler([weak, mainQueue, weakTransport](const OSCTCPClient::Notification& n) {
        const bool connected = n.kind == OSCTCPClient::Notification::Kind::connected;
        mainQueue->async([weak, weakTransport, connected, reason = n.reason] {
            const auto self = weak.lock();
            if (!self || self->client_ == nullptr || self->client_ != weakTransport.lock()) {
                return;
            }
            if (connected) {
                self->handleConnected();
            } else {
                self->handleDisconnected(reason);
            }
        });
    });
    client_ = std::move(transport);
    reportLinkStatus(LinkState::connecting, {});
    if (auto started = client_->connect(connectTimeoutSeconds); !started) {
        dropTransport();
        reportConnectionState(false, started.error().description());
        scheduleRetry();
    }
}

void EosOSCClient::scheduleRetry() {
    if (!wantsConnection_ || retry_) {
        return;
    }
    const std::weak_ptr<EosOSCClient> weak = weak_from_this();
    retry_ = mainQueue_->asyncAfter(retryDelay_, [weak] {
        const auto self = weak.lock();
        if (!self) {
            return;
        }
        self->retry_.reset();
        if (!self->transportConnected() && !self->attempting()) {
            self->retrying_ = true;
            self->startAttempt();
            self->retrying_ = false;
        }
    });
    retryDelay_ = std::min(retryDelay_ * 2, longestRetryDelay);
}

void EosOSCClient::dropTransport() {
    if (stable_) {
        stable_->cancel();
        stable_.reset();
    }
    // A released transport reports nothing more: what it has not written by now it never will.
    holdUnwritten("not written before the connection ended");
    if (client_) {
        client_->close();
    }
    client_.reset();
}

void EosOSCClient::disconnect() {
    if (retry_) {
        retry_->cancel();
        retry_.reset();
    }
    dropTransport();
    reportConnectionState(false);
}

void EosOSCClient::reportConnectionState(bool connected, const std::string& reason) {
    isConnected_ = connected;
    if (callbacks_.onConnectionStateChanged) {
        callbacks_.onConnectionStateChanged(connected);
    }
    reportLinkStatus(connected ? LinkState::connected : LinkState::notConnected, reason);
}

void EosOSCClient::reportLinkStatus(LinkState state, const std::string& reason) {
    LinkStatus status{state, reason, held_.size()};
    if (status == linkStatus_) {
        return;
    }
    linkStatus_ = std::move(status);
    if (callbacks_.onLinkStatusChanged) {
        callbacks_.onLinkStatusChanged(linkStatus_);
    }
    // A console that stays away costs one record, not one per retry.
    const bool repeat = retrying_ || (lastRecordedStatus_ && lastRecordedStatus_->state == state &&
                                      lastRecordedStatus_->reason == reason);
    if (repeat && state != LinkState::connected) {
        return;
    }
    lastRecordedStatus_ = linkStatus_;
    report(ConnectionChange{linkStatus_, eosHost_, eosPort_});
}

void EosOSCClient::reportHeldCount() {
    if (linkStatus_.heldLines == held_.size()) {
        return;
    }
    linkStatus_.heldLines = held_.size();
    if (callbacks_.onLinkStatusChanged) {
        callbacks_.onLinkStatusChanged(linkStatus_);
    }
}

void EosOSCClient::report(SyncOutcome::Detail detail) {
    if (callbacks_.onOutcome) {
        callbacks_.onOutcome(makeOutcome(std::move(detail)));
    }
}

void EosOSCClient::handleConnected() {
    if (retry_) {
        retry_->cancel();
        retry_.reset();
    }
    const std::weak_ptr<EosOSCClient> weak = weak_from_this();
    stable_ = mainQueue_->asyncAfter(stableConnection, [weak] {
        if (const auto self = weak.lock()) {
            self->retryDelay_ = firstRetryDelay;
        }
    });
    droppedSinceConnected_ = 0;
    reportConnectionState(true);
    // Never held: every connection presses it itself.
    if (readyToSend()) {
        sendNow(HeldLine{std::string(blindKeyAddress), {}});
    }
    flushHeld(true);
    if (callbacks_.onConnectionEstablished) {
        callbacks_.onConnectionEstablished();
    }
}

// Lines the kernel had taken from the connection that just ended are not
// held again: the console may well have read and run them before it went
// away, and a line run twice (an Enter or a Delete on a cue that moved
// meanwhile) is worse than one the next full update or edit puts right.
// Lines it never took cannot have reached the console; they are held again.
void EosOSCClient::handleDisconnected(const std::string& reason) {
    holdUnwritten(reason.empty() ? "not written before the connection ended" : "not written: " + reason);
    dropTransport();
    reportConnectionState(false, reason);
    scheduleRetry();
}

// With the full update on connect about to send every cue of the file, the
// held command lines other than deletions would only repeat older states of
// it; deletions, emptied labels (which the full line leaves out) and cue
// queries (which the update does not ask) still go.
void EosOSCClient::flushHeld(bool onConnect) {
    if (held_.empty()) {
        return;
    }
    std::vector<HeldLine> lines = held_.takeAll();
    if (onConnect && callbacks_.replacesHeldWithFullUpdate && callbacks_.replacesHeldWithFullUpdate()) {
        std::vector<HeldLine> kept;
        std::vector<HeldLine> replaced;
        for (HeldLine& line : lines) {
            const auto key = cueLineKey(line.address, line.text);
            const bool keep = line.text.empty() || (key && key->part == CueLineKey::Part::deletion) ||
                              clearsCueLabel(line.address, line.text);
            (keep ? kept : replaced).push_back(std::move(line));
        }
        std::stable_partition(kept.begin(), kept.end(), [](const HeldLine& line) { return !line.text.empty(); });
        reportDropped(replaced, "replaced by the full update on connect");
        lines = std::move(kept);
    }
    for (std::size_t sent = 0; sent < lines.size(); ++sent) {
        if (!readyToSend() || !sendNow(lines[sent])) {
            // The rest keeps its turn, ahead of anything held meanwhile.
            held_.holdInFront({std::make_move_iterator(lines.begin() + static_cast<std::ptrdiff_t>(sent)),
                               std::make_move_iterator(lines.end())});
            break;
        }
    }
    reportHeldCount();
}

void EosOSCClient::written(long tag) {
    while (!inFlight_.empty() && inFlight_.front().tag <= tag) {
        inFlightBytes_ -= inFlight_.front().line.address.size() + inFlight_.front().line.text.size();
        inFlight_.pop_front();
    }
    // Lines held because the console stopped reading go once it has caught up by half.
    if (!held_.empty() && readyToSend() && inFlightBytes_ < OSCTCPClient::receiveBacklogLimit / 2) {
        flushHeld(false);
    }
}

void EosOSCClient::holdUnwritten(std::string_view reason) {
    std::vector<HeldLine> unwritten;
    for (InFlight& entry : inFlight_) {
        if (entry.line.address != blindKeyAddress) {
            report(LineOutcome{entry.line.address, entry.line.text, LineFate::held, std::string(reason)});
            unwritten.push_back(std::move(entry.line));
        }
    }
    inFlight_.clear();
    inFlightBytes_ = 0;
    if (!unwritten.empty()) {
        reportDropped(held_.holdInFront(std::move(unwritten)), "held lines are full");
        reportHeldCount();
    }
}

void EosOSCClient::reportDropped(const std::vector<HeldLine>& lines, std::string_view reason) {
    for (const HeldLine& line : lines) {
        report(LineOutcome{line.address, line.text, LineFate::dropped, std::string(reason)});
    }
}

void EosOSCClient::deliver(HeldLine line) {
    // Lines already held go first: a new one waits behind them.
    if (readyToSend() && held_.empty() && sendNow(line)) {
        return;
    }
    hold(std::move(line), isConnected_ ? "the console is not reading" : "not connected");
    // A send is a reason to try now unless a retry is already waiting its turn.
    connect();
}

void EosOSCClient::hold(HeldLine line, std::string_view reason) {
    report(LineOutcome{line.address, line.text, LineFate::held, std::string(reason)});
    const auto dropped = held_.hold(std::move(line));
    if (!dropped.empty()) {
        droppedSinceConnected_ += dropped.size();
        reportDropped(dropped, "held lines are full (" + std::to_string(HeldLines::limit) + "); " +
                                   std::to_string(droppedSinceConnected_) +
                                   " oldest dropped since the console was last connected");
    }
    reportHeldCount();
}

bool EosOSCClient::sendNow(const HeldLine& line) {
    const bool bare = line.text.empty();
    const long tag = ++nextTag_;
    const auto sent = bare ? client_->send(OSCMessage(std::string_view(line.address)), tag)
                           : client_->send(OSCMessage(commandAddress, {OSCValue(line.text)}), tag);
    if (!sent) {
        if (sent.error().isWriteQueueFull()) {
            return false;
        }
        report(LineOutcome{line.address, line.text, LineFate::dropped, sent.error().description()});
        return true;
    }
    inFlight_.push_back({tag, line});
    inFlightBytes_ += line.address.size() + line.text.size();
    if (callbacks_.onOutgoingMessage) {
        callbacks_.onOutgoingMessage(outgoingRecord(line.address, bare ? noValuesText : std::string_view(line.text)));
    }
    report(LineOutcome{line.address, line.text, LineFate::sent, {}});
    return true;
}

void EosOSCClient::sendAddress(std::string_view address) {
    std::string trimmedAddress = trimmed(address);
    if (trimmedAddress.empty()) {
        return;
    }
    deliver(HeldLine{std::move(trimmedAddress), {}});
}

void EosOSCClient::sendCommandLine(std::string_view text) {
    std::string command = trimmed(text);
    if (command.empty()) {
        return;
    }
    deliver(HeldLine{std::string(commandAddress), std::move(command)});
}

void EosOSCClient::handleIncomingMessage(const OSCMessage& message) {
    const auto reply = parseCueReplyAddress(message.address());
    if (!reply) {
        return;
    }
    IncomingOSCMessage record{Uuid::random(), std::chrono::system_clock::now(), message.address(),
                              valuesText(message.values()), reply->cueList, reply->cueNumber};
    if (callbacks_.onIncomingCueMessage) {
        callbacks_.onIncomingCueMessage(record);
    }
    report(ReceivedReply{record.address, record.valuesText});
}

}  // namespace lanternwick
