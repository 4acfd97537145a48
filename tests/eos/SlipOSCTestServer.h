#pragma once
// A small console stand-in for loopback tests: a TCP server on 127.0.0.1 with
// an ephemeral port that reassembles SLIP frames across reads, decodes each
// with the project's own OSC decoder, and records what arrived, in order.
// It can send an OSC message back on the newest connection and drop every
// connection. All I/O runs on one thread of its own; every member may be
// called from the test thread.

#include <asio/ip/tcp.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <asio/write.hpp>

#include <algorithm>
#include <array>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "osc/OSCMessage.h"
#include "osc/tcp/OSCTCPFraming.h"

namespace lanternwick::testing {

struct ReceivedOSCMessage {
    std::string address;
    std::vector<std::string> values;
};

class SlipOSCTestServer {
public:
    SlipOSCTestServer() : acceptor_(io_, asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), 0)) {
        accept();
        thread_ = std::thread([this] { io_.run(); });
    }

    ~SlipOSCTestServer() {
        io_.stop();
        thread_.join();
    }

    SlipOSCTestServer(const SlipOSCTestServer&) = delete;
    SlipOSCTestServer& operator=(const SlipOSCTestServer&) = delete;

    std::uint16_t port() const { return acceptor_.local_endpoint().port(); }

    int connectionCount() const {
        const std::lock_guard lock(mutex_);
        return accepted_;
    }

    std::vector<ReceivedOSCMessage> messages() const {
        const std::lock_guard lock(mutex_);
        return messages_;
    }

    // "address" for a message without arguments, "address|v1|v2" otherwise.
    std::vector<std::string> messageTexts() const {
        std::vector<std::string> texts;
        for (const auto& message : messages()) {
            std::string text = message.address;
            for (const auto& value : message.values) {
                text += "|" + value;
            }
            texts.push_back(std::move(text));
        }
        return texts;
    }

    // The command lines received on /eos/user/0/newcmd, in order.
    std::vector<std::string> commandLines() const {
        std::vector<std::string> lines;
        for (const auto& message : messages()) {
            if (message.address == "/eos/user/0/newcmd" && message.values.size() == 1) {
                lines.push_back(message.values[0]);
            }
        }
        return lines;
    }

    void clearMessages() {
        const std::lock_guard lock(mutex_);
        messages_.clear();
    }

    void sendToNewest(const OSCMessage& message) {
        auto encoded = message.rawData();
        if (!encoded) {
            return;
        }
        auto framed = std::make_shared<OSCBytes>(slipEncode(*encoded));
        asio::post(io_, [this, framed] {
            if (connections_.empty()) {
                return;
            }
            auto connection = connections_.back();
            asio::async_write(connection->socket, asio::buffer(*framed),
                              [framed, connection](std::error_code, std::size_t) {});
        });
    }

    void dropConnections() {
        std::promise<void> done;
        asio::post(io_, [this, &done] {
            for (auto& connection : connections_) {
                std::error_code ignored;
                connection->socket.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
                connection->socket.close(ignored);
            }
            connections_.clear();
            done.set_value();
        });
        done.get_future().wait();
    }

private:
    struct Connection {
        explicit Connection(asio::io_context& io) : socket(io) {}
        asio::ip::tcp::socket socket;
        std::array<std::uint8_t, 4096> buffer{};
        OSCBytes pending;
    };

    void accept() {
        auto connection = std::make_shared<Connection>(io_);
        acceptor_.async_accept(connection->socket, [this, connection](std::error_code error) {
            if (error) {
                return;
            }
            {
                const std::lock_guard lock(mutex_);
                ++accepted_;
            }
            connections_.push_back(connection);
            read(connection);
            accept();
        });
    }

    void read(const std::shared_ptr<Connection>& connection) {
        connection->socket.async_read_some(
            asio::buffer(connection->buffer), [this, connection](std::error_code error, std::size_t count) {
                if (error) {
                    return;
                }
                connection->pending.insert(connection->pending.end(), connection->buffer.begin(),
                                           connection->buffer.begin() + static_cast<std::ptrdiff_t>(count));
                takeFrames(*connection);
                read(connection);
            });
    }

    void takeFrames(Connection& connection) {
        auto& pending = connection.pending;
        while (true) {
            const auto end = std::find(pending.begin(), pending.end(), slip::END);
            if (end == pending.end()) {
                return;
            }
            OSCBytes frame(pending.begin(), end + 1);
            pending.erase(pending.begin(), end + 1);
            const auto packets = slipDecode(frame);
            if (!packets) {
                continue;
            }
            for (const auto& packet : *packets) {
                const auto message = OSCMessage::decode(OSCByteView(packet));
                if (!message) {
                    continue;
                }
                ReceivedOSCMessage received{message->address(), {}};
                for (const auto& value : message->values()) {
                    received.values.push_back(value.plainText());
                }
                const std::lock_guard lock(mutex_);
                messages_.push_back(std::move(received));
            }
        }
    }

    asio::io_context io_;
    asio::ip::tcp::acceptor acceptor_;
    std::vector<std::shared_ptr<Connection>> connections_;
    mutable std::mutex mutex_;
    int accepted_ = 0;
    std::vector<ReceivedOSCMessage> messages_;
    std::thread thread_;
};

}  // namespace lanternwick::testing
