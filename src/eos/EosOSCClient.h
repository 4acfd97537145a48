#pragma once
// EosOSCClient: the link to an ETC Eos console over one OSC TCP connection
// in SLIP framing. Connects on demand, sends bare addresses and command lines
// on /eos/user/0/newcmd, presses the blind key once per connection, and
// reports sent messages and recognised cue replies as log records.
// Made by create() and held by a shared_ptr (its transport's handlers hold
// it weakly); owned by the monitor. Main thread only: the transport's
// handlers hop to the main queue, one task per message or notification, in
// arrival order. Nothing is queued: a send while not connected starts a
// connection attempt and is itself dropped.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "eos/EosLink.h"
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
    void connect() override;
    void disconnect() override;
    void sendAddress(std::string_view address) override;
    void sendCommandLine(std::string_view text) override;
    void setCallbacks(EosLinkCallbacks callbacks) override;

    // Reports the message when it is a cue reply (/eos/out/get/cue/<list>/<cue>).
    void handleIncomingMessage(const OSCMessage& message);
    // The transport's two notifications.
    void handleConnected();
    void handleDisconnected(const std::string& reason = {});

    const std::string& eosHost() const { return eosHost_; }
    std::uint16_t eosPort() const { return eosPort_; }
    std::int64_t cueList() const { return cueList_; }
    bool isConnected() const { return isConnected_; }

    // The transport's connect timeout, in seconds.
    static constexpr double connectTimeoutSeconds = 5.0;

private:
    bool transportConnected() const;
    bool readyToSend() const;
    void reportConnectionState(bool connected, const std::string& reason = {});
    void reportLinkStatus(LinkState state, const std::string& reason);
    void report(SyncOutcome::Detail detail);

    std::shared_ptr<MainQueue> mainQueue_;
    std::string eosHost_ = "127.0.0.1";
    std::uint16_t eosPort_ = 8555;
    std::int64_t cueList_ = 1;
    EosLinkCallbacks callbacks_;
    std::shared_ptr<OSCTCPClient> client_;
    bool isConnected_ = false;
    LinkStatus linkStatus_;
};

// The cue reply's list and number, or absent for any other address.
struct CueReplyAddress {
    std::int64_t cueList = 0;
    std::string cueNumber;

    friend bool operator==(const CueReplyAddress&, const CueReplyAddress&) = default;
};
std::optional<CueReplyAddress> parseCueReplyAddress(std::string_view address);

}  // namespace lanternwick
