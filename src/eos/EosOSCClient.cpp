#include "eos/EosOSCClient.h"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <vector>

#include "eos/EosCommands.h"
#include "net/AsyncTCPSocket.h"
#include "osc/OSCMessage.h"
#include "osc/tcp/OSCTCPClient.h"
#include "osc/tcp/OSCTCPFraming.h"
#include "support/TextRules.h"
#include "support/Uuid.h"

namespace lanternwick {
namespace {

constexpr std::string_view commandAddress = "/eos/user/0/newcmd";
constexpr std::string_view blindKeyAddress = "/eos/user/0/key/blind";
constexpr std::string_view pingAddress = "/eos/ping";
constexpr std::string_view pingAnswerAddress = "/eos/out/ping";
constexpr std::size_t writeQueueLimit = AsyncTCPSocket::defaultMaximumQueuedWriteBytes;
constexpr std::string_view defaultHost = defaultEosHost;

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

OSCMessage messageFor(const HeldLine& line) {
    return line.text.empty() ? OSCMessage(std::string_view(line.address))
                             : OSCMessage(commandAddress, {OSCValue(line.text)});
}

// The bytes the line takes in the write queue; a rough bound first, since
// encoding and framing every line twice would cost a burst dearly.
std::size_t queuedBytes(const HeldLine& line, OSCTCPFramingMode framing) {
    const std::size_t rough = 2 * (line.address.size() + line.text.size() + 16) + 2;
    if (rough <= writeQueueLimit) return rough;
    const auto bytes = messageFor(line).rawData();
    if (!bytes) return 0;
    switch (framing) {
    case OSCTCPFramingMode::osc1_1: return slipEncode(*bytes).size();
    case OSCTCPFramingMode::osc1_0: return bytes->size() + 4;
    case OSCTCPFramingMode::none: break;
    }
    return bytes->size();
}

std::string tooLargeReason(std::size_t bytes) {
    return std::to_string(bytes) + " bytes, more than the " + std::to_string(writeQueueLimit) +
           " bytes the connection can queue";
}

std::string noAnswerReason(const std::string& host, std::uint16_t port) {
    return "no answer from Eos on " + host + ":" + std::to_string(port) +
           ": is this the console's OSC TCP port, and is its OSC TCP mode the framing Lanternwick uses?";
}

}  // namespace

MainQueue::Duration retryDelay(unsigned failures) {
    constexpr MainQueue::Duration first = std::chrono::milliseconds(500);
    constexpr MainQueue::Duration longest = std::chrono::seconds(5);
    MainQueue::Duration delay = first;
    for (unsigned i = 0; i < failures && delay < longest; ++i) delay *= 2;
    return std::min(delay, longest);
}

MainQueue::Duration pingAnswerTimeout(std::uint64_t bytesAhead) {
    // Milliseconds, so a few bytes still count; no overflow below 2^54 bytes.
    const std::uint64_t reading = bytesAhead * 1000 / slowestConsoleBytesPerSecond;
    return EosOSCClient::answerTimeout + std::chrono::milliseconds(reading);
}

std::shared_ptr<EosOSCClient> EosOSCClient::create(std::shared_ptr<MainQueue> mainQueue) {
    return std::make_shared<EosOSCClient>(Passkey{}, std::move(mainQueue));
}

EosOSCClient::EosOSCClient(Passkey, std::shared_ptr<MainQueue> mainQueue) : mainQueue_(std::move(mainQueue)) {}

EosOSCClient::~EosOSCClient() {
    cancelTimers();
    if (retry_) retry_->cancel();
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

// An attempt still under way goes to the old address: it is abandoned like a
// live connection, and the new address is tried at once, however long the
// old one's backoff had grown.
void EosOSCClient::reconnectToNewAddress() {
    if (phase_ != LinkPhase::idle) {
        disconnect();
    }
    failures_ = 0;
    connect();
}


void EosOSCClient::connect() {
    if (phase_ == LinkPhase::idle) {
        startAttempt();
    }
}

void EosOSCClient::cancelTimers() {
    for (auto* timer : {&stable_, &answerDeadline_, &nextPing_}) {
        if (*timer) {
            (*timer)->cancel();
            timer->reset();
        }
    }
}

void EosOSCClient::startAttempt() {
    dropTransport();
    phase_ = LinkPhase::connecting;
    auto transport = OSCTCPClient::create(eosHost_, eosPort_, std::nullopt, OSCTimeTagMode::ignore,
                                          transportFraming(framing_));
    const std::weak_ptr<EosOSCClient> weak = weak_from_this();
    const std::shared_ptr<MainQueue> mainQueue = mainQueue_;
    // The transport being current is checked again on the main thread: a
    // replaced transport's late notifications must not move our state.
    const std::weak_ptr<OSCTCPClient> weakTransport = transport;
    const auto current = [weakTransport](const std::shared_ptr<EosOSCClient>& self) {
        return self && self->client_ != nullptr && self->client_ == weakTransport.lock();
    };
    // Delivered through the main queue by the transport itself, so that its
    // receive backlog counts each reply until the main thread has taken it.
    transport->setReceiveHandler(
        [weak, current](const OSCMessage& message, const OSCTimeTag&, const std::string&, std::uint16_t) {
            if (const auto self = weak.lock(); current(self)) {
                self->handleIncomingMessage(message);
            }
        },
        [mainQueue](OSCTCPClient::DeliveryTask task) { mainQueue->async(std::move(task)); });
    transport->setWriteHandler([weak, mainQueue, current](long tag) {
        mainQueue->async([weak, current, tag] {
            if (const auto self = weak.lock(); current(self)) {
                self->written(tag);
            }
        });
    });
    transport->setNotificationHandler([weak, mainQueue, current](const OSCTCPClient::Notification& n) {
        const bool connected = n.kind == OSCTCPClient::Notification::Kind::connected;
        mainQueue->async([weak, current, connected, reason = n.reason] {
            const auto self = weak.lock();
            if (!current(self)) {
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
        endConnection(LinkState::notConnected, started.error().description());
    }
}

void EosOSCClient::scheduleRetry() {
    if (retry_) {
        return;
    }
    const std::weak_ptr<EosOSCClient> weak = weak_from_this();
    retry_ = mainQueue_->asyncAfter(retryDelay(failures_), [weak] {
        const auto self = weak.lock();
        if (!self) {
            return;
        }
        self->retry_.reset();
        if (self->phase_ == LinkPhase::waitingToRetry) {
            self->retrying_ = true;
            self->startAttempt();
            self->retrying_ = false;
        }
    });
    ++failures_;
}

// A released transport reports nothing more, so whatever it carried that the
// console did not confirm is held again first.
void EosOSCClient::dropTransport() {
    cancelTimers();
    if (client_) {
        holdUnconfirmed("not confirmed before the connection ended");
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
    phase_ = LinkPhase::idle;
    reportConnectionState(false, LinkState::notConnected);
}

void EosOSCClient::endConnection(LinkState state, const std::string& given) {
    std::string reason = given;
    // A refusal is most often the wrong port; said once a session, since a
    // console that is only starting refuses too.
    if (reason == "Connection refused" && !refusalExplained_ && eosPort_ != consoleDocumentedPort) {
        refusalExplained_ = true;
        reason += "; the console listens on " + std::to_string(consoleDocumentedPort) +
                  " unless another port was added in its Show Control setup";
    }
    holdUnconfirmed(reason.empty() ? "not confirmed before the connection ended"
                                   : "not confirmed before the connection ended: " + reason);
    dropTransport();
    phase_ = LinkPhase::waitingToRetry;
    reportConnectionState(false, state, reason);
    scheduleRetry();
}

void EosOSCClient::reportConnectionState(bool connected, LinkState state, const std::string& reason) {
    if (callbacks_.onConnectionStateChanged) {
        callbacks_.onConnectionStateChanged(connected);
    }
    reportLinkStatus(state, reason);
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

Uuid EosOSCClient::report(SyncOutcome::Detail detail) {
    SyncOutcome outcome = makeOutcome(std::move(detail));
    if (callbacks_.onOutcome) {
        callbacks_.onOutcome(outcome);
    }
    return outcome.id;
}

// TCP is up; whether a console is listening is known only once it answers.
// The blind key goes first and exactly once: it is never held.
void EosOSCClient::handleConnected() {
    phase_ = LinkPhase::awaitingAnswer;
    unconfirmed_.clear();
    unconfirmedBytes_ = 0;
    sentOnConnection_ = 0;
    ping_.reset();
    sendNow(HeldLine{std::string(blindKeyAddress), {}});
    if (!pingsEnabled_) {
        becomeConnected();
        return;
    }
    sendPing();
    const std::weak_ptr<EosOSCClient> weak = weak_from_this();
    answerDeadline_ = afterRealTime(answerTimeout, [weak] {
        const auto self = weak.lock();
        if (self && self->phase_ == LinkPhase::awaitingAnswer) {
            self->answerDeadline_.reset();
            self->endConnection(LinkState::noAnswer, noAnswerReason(self->eosHost_, self->eosPort_));
        }
    });
}

void EosOSCClient::becomeConnected() {
    if (answerDeadline_) {
        answerDeadline_->cancel();
        answerDeadline_.reset();
    }
    phase_ = LinkPhase::connected;
    everConnected_ = true;
    const std::weak_ptr<EosOSCClient> weak = weak_from_this();
    stable_ = mainQueue_->asyncAfter(stableConnection, [weak] {
        if (const auto self = weak.lock()) {
            self->failures_ = 0;
        }
    });
    droppedSinceConnected_ = 0;
    reportConnectionState(true, LinkState::connected);
    flushHeld(true);
    if (callbacks_.onConnectionEstablished) {
        callbacks_.onConnectionEstablished();
    }
}

// Even lines the kernel had taken, or the console may have run, go back to
// the held lines unless an answer confirmed them: each sets a value or names
// a cue, so running one twice leaves the console as the file says, while
// losing one does not (HeldLines.h).
void EosOSCClient::handleDisconnected(const std::string& reason) {
    // A console set to the other framing cannot read our first packet and
    // closes at once; what the user needs then is the same hint as for a
    // peer that never answers, not only the socket's words.
    if (phase_ == LinkPhase::awaitingAnswer) {
        const std::string hint = noAnswerReason(eosHost_, eosPort_);
        endConnection(LinkState::noAnswer, reason.empty() ? hint : reason + ": " + hint);
        return;
    }
    endConnection(LinkState::notConnected, reason);
}

// One ping at a time: lines sent while it is out wait for the next one,
// which goes as soon as its answer is in. So a burst costs one ping, and the
// console's answers pace the pings rather than the lines.
void EosOSCClient::sendPing() {
    if (!pingsEnabled_ || ping_ || !client_) {
        return;
    }
    if (nextPing_) {
        nextPing_->cancel();
        nextPing_.reset();
    }
    const std::int32_t sequence = ++nextPingSequence_;
    const long tag = ++nextTag_;
    if (!client_->send(OSCMessage(pingAddress, {OSCValue(sequence)}), tag)) {
        // No room: the console is not reading, which the write stall ends.
        schedulePing(idlePingInterval);
        return;
    }
    unwritten_.push_back({tag, 0});
    ping_ = Ping{sequence, sentOnConnection_, tag, std::chrono::steady_clock::now()};
    if (phase_ != LinkPhase::connected) {
        // The first answer has a deadline of its own, from TCP coming up.
        return;
    }
    const std::weak_ptr<EosOSCClient> weak = weak_from_this();
    // Counted from the sending, with time for the console to read every line
    // before the ping: a console working through a large edit is alive, and
    // ending its connection would only send the edit again from the start,
    // for ever. One that stops reading is still found, later by that time.
    answerDeadline_ = afterRealTime(pingAnswerTimeout(unconfirmedBytes_), [weak, sequence] {
        const auto self = weak.lock();
        if (self && self->ping_ && self->ping_->sequence == sequence && self->phase_ == LinkPhase::connected) {
            self->answerDeadline_.reset();
            self->endConnection(LinkState::notConnected, "the console stopped answering");
        }
    });
}

// Answers come over the network in real time, so their deadlines and the
// idle pings run on the transport's clock even when the main queue's clock
// is driven by hand; the task itself runs on the main queue.
CancelHandle EosOSCClient::afterRealTime(MainQueue::Duration delay, MainQueue::Task task) {
    const CancelHandle handle;
    if (!client_) {
        return handle;
    }
    const std::weak_ptr<MainQueue> weakQueue = mainQueue_;
    client_->queue().asyncAfter(delay, [weakQueue, handle, task = std::move(task)]() mutable {
        if (const auto queue = weakQueue.lock()) {
            queue->async([handle, task = std::move(task)] {
                if (!handle.isCancelled()) task();
            });
        }
    });
    return handle;
}

void EosOSCClient::schedulePing(MainQueue::Duration delay) {
    if (nextPing_) {
        nextPing_->cancel();
    }
    const std::weak_ptr<EosOSCClient> weak = weak_from_this();
    nextPing_ = afterRealTime(delay, [weak] {
        if (const auto self = weak.lock()) {
            self->nextPing_.reset();
            self->sendPing();
        }
    });
}

void EosOSCClient::handlePingAnswer(const OSCMessage& message) {
    if (!ping_ || message.values().size() != 1 || message.values()[0].asInt32() != ping_->sequence) {
        return;
    }
    const Ping answered = *ping_;
    ping_.reset();
    if (answerDeadline_) {
        answerDeadline_->cancel();
        answerDeadline_.reset();
    }
    std::size_t confirmed = 0;
    std::deque<Uuid> newest;
    while (!unconfirmed_.empty() && unconfirmed_.front().order < answered.covers) {
        ++confirmed;
        newest.push_back(unconfirmed_.front().sentOutcome);
        if (newest.size() > DeliveryConfirmed::confirmedIdLimit) newest.pop_front();
        unconfirmedBytes_ -= unconfirmed_.front().bytes;
        unconfirmed_.pop_front();
    }
    if (confirmed > 0) {
        const auto latency = std::chrono::steady_clock::now() - answered.sentAt;
        report(DeliveryConfirmed{confirmed, std::chrono::duration_cast<std::chrono::milliseconds>(latency).count(),
                                 {newest.begin(), newest.end()}});
    }
    if (phase_ == LinkPhase::awaitingAnswer) {
        becomeConnected();
    }
    if (phase_ != LinkPhase::connected) {
        return;
    }
    if (!unconfirmed_.empty()) {
        sendPing();
    } else {
        schedulePing(idlePingInterval);
    }
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
        reportLines(replaced, LineFate::replaced, "replaced by the full update on connect");
        lines = std::move(kept);
    }
    for (std::size_t sent = 0; sent < lines.size(); ++sent) {
        if (phase_ != LinkPhase::connected || !sendNow(lines[sent])) {
            // The rest keeps its turn, ahead of anything held meanwhile.
            reportHeld(held_.holdInFront({std::make_move_iterator(lines.begin() + static_cast<std::ptrdiff_t>(sent)),
                                          std::make_move_iterator(lines.end())}));
            break;
        }
    }
    reportHeldCount();
}

void EosOSCClient::written(long tag) {
    while (!unwritten_.empty() && unwritten_.front().tag <= tag) {
        unwrittenBytes_ -= unwritten_.front().bytes;
        unwritten_.pop_front();
    }
    // Lines held because the console stopped reading go once it has caught up by half.
    if (!held_.empty() && phase_ == LinkPhase::connected && unwrittenBytes_ < writeQueueLimit / 2) {
        flushHeld(false);
    }
}

void EosOSCClient::holdUnconfirmed(const std::string& reason) {
    std::vector<HeldLine> lines;
    for (Unconfirmed& entry : unconfirmed_) {
        if (entry.line.address != blindKeyAddress) {
            lines.push_back(std::move(entry.line));
        }
    }
    unconfirmed_.clear();
    unconfirmedBytes_ = 0;
    unwritten_.clear();
    unwrittenBytes_ = 0;
    ping_.reset();
    if (!lines.empty()) {
        reportLines(lines, LineFate::held, reason);
        reportHeld(held_.holdInFront(std::move(lines)));
        reportHeldCount();
    }
}

void EosOSCClient::reportHeld(const HeldLines::Held& held) {
    reportLines(held.replaced, LineFate::replaced, "replaced by a newer line for the same cue");
    if (!held.dropped.empty()) {
        droppedSinceConnected_ += held.dropped.size();
        reportLines(held.dropped, LineFate::dropped,
                    "held lines are full (" + std::to_string(HeldLines::limit) + "); " +
                        std::to_string(droppedSinceConnected_) + " oldest dropped since the console was last connected");
    }
}

void EosOSCClient::reportLines(const std::vector<HeldLine>& lines, LineFate fate, const std::string& reason) {
    for (const HeldLine& line : lines) {
        report(LineOutcome{line.address, cappedText(line.text), fate, reason});
    }
}

bool EosOSCClient::skipIfTooLarge(const HeldLine& line) {
    const std::size_t bytes = queuedBytes(line, transportFraming(framing_));
    if (bytes <= writeQueueLimit) {
        return false;
    }
    report(LineOutcome{line.address, cappedText(line.text), LineFate::skipped, tooLargeReason(bytes)});
    return true;
}

void EosOSCClient::deliver(HeldLine line) {
    if (skipIfTooLarge(line)) {
        return;
    }
    // Lines already held go first: a new one waits behind them.
    if (phase_ == LinkPhase::connected && held_.empty() && sendNow(line)) {
        return;
    }
    const char* reason = phase_ == LinkPhase::connected ? "the console is not reading"
                         : phase_ == LinkPhase::awaitingAnswer ? "waiting for the console to answer"
                                                               : "not connected";
    hold(std::move(line), reason);
    connect();
}

void EosOSCClient::hold(HeldLine line, std::string_view reason) {
    const LineFate fate = everConnected_ ? LineFate::held : LineFate::waiting;
    report(LineOutcome{line.address, cappedText(line.text), fate, std::string(reason)});
    reportHeld(held_.hold(std::move(line)));
    reportHeldCount();
}

bool EosOSCClient::sendNow(const HeldLine& line) {
    if (!client_) {
        return false;
    }
    const long tag = ++nextTag_;
    const auto sent = client_->send(messageFor(line), tag);
    if (!sent) {
        if (sent.error().isWriteQueueFull()) {
            return false;
        }
        report(LineOutcome{line.address, cappedText(line.text), LineFate::dropped, sent.error().description()});
        return true;
    }
    const std::size_t bytes = line.address.size() + line.text.size();
    unwritten_.push_back({tag, bytes});
    unwrittenBytes_ += bytes;
    unconfirmed_.push_back({sentOnConnection_++, line, {}, bytes});
    unconfirmedBytes_ += bytes;
    const std::string kept = cappedText(line.text);
    if (callbacks_.onOutgoingMessage) {
        callbacks_.onOutgoingMessage(outgoingRecord(line.address, kept.empty() ? noValuesText : kept));
    }
    unconfirmed_.back().sentOutcome = report(LineOutcome{line.address, kept, LineFate::sent, {}});
    if (phase_ == LinkPhase::connected && !ping_ && !burstPingPosted_) {
        // Posted, not sent: the rest of the burst goes in this same turn of
        // the main queue, and one ping follows it all.
        burstPingPosted_ = true;
        const std::weak_ptr<EosOSCClient> weak = weak_from_this();
        mainQueue_->async([weak] {
            if (const auto self = weak.lock()) {
                self->burstPingPosted_ = false;
                if (self->phase_ == LinkPhase::connected) self->sendPing();
            }
        });
    }
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
    if (message.address() == pingAnswerAddress) {
        handlePingAnswer(message);
        return;
    }
    if (!replies_) {
        const std::weak_ptr<EosOSCClient> weak = weak_from_this();
        replies_ = CueReplyAssembler::create(mainQueue_, [weak](CueReply reply, const std::vector<OSCValue>& values) {
            if (const auto self = weak.lock()) {
                self->reportReply(std::move(reply), values);
            }
        });
    }
    replies_->take(message);
}

void EosOSCClient::reportReply(CueReply reply, const std::vector<OSCValue>& values) {
    IncomingOSCMessage record{Uuid::random(), std::chrono::system_clock::now(), std::move(reply.address),
                              valuesText(values), reply.cueList, std::move(reply.cueNumber), reply.part,
                              std::move(reply.label), reply.upTimeMs, std::move(reply.timecode),
                              reply.missingValues};
    if (callbacks_.onIncomingCueMessage) {
        callbacks_.onIncomingCueMessage(record);
    }
    report(ReceivedReply{record.address, record.valuesText, record.cueList, record.cueNumber, record.cuePart,
                         record.label, record.upTimeMs, record.timecode, record.missingValues});
}

}  // namespace lanternwick
