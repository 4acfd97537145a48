#include "eos/EosOSCClient.h"

#include <charconv>
#include <vector>

#include "osc/OSCMessage.h"
#include "osc/tcp/OSCTCPClient.h"
#include "support/TextRules.h"
#include "support/Uuid.h"

namespace lanternwick {
namespace {

constexpr std::string_view commandAddress = "/eos/user/0/newcmd";
constexpr std::string_view blindKeyAddress = "/eos/user/0/key/blind";
constexpr std::string_view defaultHost = "127.0.0.1";

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

std::string valuesText(const std::vector<OSCValue>& values) {
    std::string joined;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) {
            joined += ", ";
        }
        joined += values[i].plainText();
    }
    return joined.empty() ? std::string(noValuesText) : joined;
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

EosOSCClient::~EosOSCClient() = default;

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
        if (isConnected_) {
            disconnect();
        }
        connect();
    }
}

bool EosOSCClient::transportConnected() const { return client_ && client_->isConnected(); }

// A loopback socket can be connected before its notification has reached the
// main queue; sending only once the notification is in keeps the blind key
// press first on every connection and drops the send that started it.
bool EosOSCClient::readyToSend() const { return isConnected_ && transportConnected(); }

void EosOSCClient::connect() {
    if (transportConnected()) {
        return;
    }
    // The old transport's "disconnected" notice may still be queued; once the
    // transport is replaced it would be ignored, so its state ends here.
    if (client_ && isConnected_) {
        reportConnectionState(false);
    }
    auto transport = OSCTCPClient::create(eosHost_, eosPort_, std::nullopt, OSCTimeTagMode::ignore,
                                          OSCTCPFramingMode::osc1_1);
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
    if (auto started = client_->connect(connectTimeoutSeconds); !started) {
        reportConnectionState(false, started.error().description());
        return;
    }
    reportLinkStatus(LinkState::connecting, {});
}

void EosOSCClient::disconnect() {
    if (client_) {
        client_->close();
    }
    client_.reset();
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
    LinkStatus status{state, reason, 0};
    if (status == linkStatus_) {
        return;
    }
    linkStatus_ = std::move(status);
    if (callbacks_.onLinkStatusChanged) {
        callbacks_.onLinkStatusChanged(linkStatus_);
    }
    report(ConnectionChange{linkStatus_, eosHost_, eosPort_});
}

void EosOSCClient::report(SyncOutcome::Detail detail) {
    if (callbacks_.onOutcome) {
        callbacks_.onOutcome(makeOutcome(std::move(detail)));
    }
}

void EosOSCClient::handleConnected() {
    reportConnectionState(true);
    sendAddress(blindKeyAddress);
    if (callbacks_.onConnectionEstablished) {
        callbacks_.onConnectionEstablished();
    }
}

void EosOSCClient::handleDisconnected(const std::string& reason) { reportConnectionState(false, reason); }

void EosOSCClient::sendAddress(std::string_view address) {
    const std::string trimmedAddress = trimmed(address);
    if (trimmedAddress.empty()) {
        return;
    }
    connect();
    if (!readyToSend()) {
        report(LineOutcome{trimmedAddress, {}, LineFate::dropped, "not connected"});
        return;
    }
    if (auto sent = client_->send(OSCMessage(std::string_view(trimmedAddress))); !sent) {
        report(LineOutcome{trimmedAddress, {}, LineFate::dropped, sent.error().description()});
        return;
    }
    if (callbacks_.onOutgoingMessage) {
        callbacks_.onOutgoingMessage(outgoingRecord(trimmedAddress, noValuesText));
    }
    report(LineOutcome{trimmedAddress, {}, LineFate::sent, {}});
}

void EosOSCClient::sendCommandLine(std::string_view text) {
    const std::string command = trimmed(text);
    if (command.empty()) {
        return;
    }
    connect();
    if (!readyToSend()) {
        report(LineOutcome{std::string(commandAddress), command, LineFate::dropped, "not connected"});
        return;
    }
    if (auto sent = client_->send(OSCMessage(commandAddress, {OSCValue(command)})); !sent) {
        report(LineOutcome{std::string(commandAddress), command, LineFate::dropped, sent.error().description()});
        return;
    }
    if (callbacks_.onOutgoingMessage) {
        callbacks_.onOutgoingMessage(outgoingRecord(commandAddress, command));
    }
    report(LineOutcome{std::string(commandAddress), command, LineFate::sent, {}});
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
